// A parameter sweep on threads of its own.
#include "windows/qt/sweep_job.hpp"

#include <mutex>

namespace quobel::windows::qt {

// The sweep and everything its threads touch.
struct SweepJob::Run final : BackgroundJob::Work {
    Run(const model::ModelState& model, const sweep::SweepSettings& settings,
        std::shared_ptr<sweep::RunMemory> memory)
        : parameters(model), settings(settings), memory(std::move(memory)) {
        control.memory = this->memory.get();
    }

    void run() override {
        complete =
            sweep::run_sweep(parameters, settings, 0, sweep::grid_size(settings),
                             sweep::core_count(), control, [this](const sweep::PointResult& point) {
                                 const std::lock_guard lock(mutex);
                                 points.push_back(point);
                             });
    }
    // The sweep looks at the flag every few milliseconds and its runs every few thousand steps.
    void stop() override { control.runs.cancel = true; }

    const model::ModelState parameters;
    const sweep::SweepSettings settings;
    const std::shared_ptr<sweep::RunMemory> memory;
    sweep::SweepControl control;
    bool complete = false;  // written by the sweep's thread before it ends
    std::mutex mutex;
    std::vector<sweep::PointResult> points;  // handed on, not yet taken
};

SweepJob::SweepJob(QObject* parent) : BackgroundJob(parent) {}

bool SweepJob::start(const model::ModelState& model, const sweep::SweepSettings& settings) {
    if (running()) {
        return false;
    }
    left_.clear();
    return BackgroundJob::start(std::make_unique<Run>(model, settings, memory_));
}

std::vector<sweep::PointResult> SweepJob::take_points() {
    std::vector<sweep::PointResult> points;
    if (!running()) {
        points.swap(left_);
        return points;
    }
    auto& run = static_cast<Run&>(*work());
    const std::lock_guard lock(run.mutex);
    points.swap(run.points);
    return points;
}

void SweepJob::progress() {
    emit progressed();
}

void SweepJob::finished(std::unique_ptr<Work> work) {
    // The thread has ended: its last points are the window's to take.
    auto& run = static_cast<Run&>(*work);
    left_ = std::move(run.points);
    emit ended(run.complete);
}

}  // namespace quobel::windows::qt
