// The latest steps of the random iteration.
#include "model/step_log.hpp"

namespace quobel::model {

void StepLog::start(double r) {
    ring_.clear();
    next_ = 0;
    steps_ = 0;
    ring_.push_back({0, 0, r});
}

void StepLog::record(int map, double r) {
    const TrajectoryPoint point{++steps_, map, r};
    if (capacity_ == 0) {
        return;
    }
    if (ring_.size() < capacity_) {
        ring_.push_back(point);
        return;
    }
    ring_[next_] = point;
    next_ = (next_ + 1) % capacity_;
}

std::vector<TrajectoryPoint> StepLog::points() const {
    std::vector<TrajectoryPoint> points;
    points.reserve(ring_.size());
    for (std::size_t i = 0; i < ring_.size(); ++i) {
        points.push_back(ring_[(next_ + i) % ring_.size()]);
    }
    return points;
}

}  // namespace quobel::model
