// The latest steps of the random iteration, kept for export as a trajectory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quobel::model {

struct TrajectoryPoint {
    std::int64_t step = 0;  // 0 for the start point, 1 for the point after the first step
    int map = 0;            // the map that step applied; 0 for the start point
    double r = 0;           // the point after the step
    friend bool operator==(const TrajectoryPoint&, const TrajectoryPoint&) = default;
};

// A ring of fixed capacity: a session of many long runs keeps only the latest points, so memory
// stays bounded however long the user iterates.
class StepLog {
  public:
    static constexpr std::size_t default_capacity = 10001;  // a start point and a "Next 10000"

    explicit StepLog(std::size_t capacity = default_capacity) : capacity_(capacity) {}

    // A new start point: forgets the steps before it.
    void start(double r);
    void record(int map, double r);

    // The kept points, oldest first.
    std::vector<TrajectoryPoint> points() const;
    std::size_t size() const { return ring_.size(); }

  private:
    std::size_t capacity_;
    std::vector<TrajectoryPoint> ring_;  // grows to capacity_, then wraps at next_
    std::size_t next_ = 0;
    std::int64_t steps_ = 0;
};

}  // namespace quobel::model
