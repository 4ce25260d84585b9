// A parameter sweep on threads of its own.
#include "windows/qt/sweep_job.hpp"

#include <mutex>

namespace quobel::windows::qt {

// The sweep and everything its threads touch.
struct SweepJob::Run {
    Run(const model::ModelState& model, const sweep::SweepSettings& settings)
        : parameters(model), settings(settings) {}

    const model::ModelState parameters;
    const sweep::SweepSettings settings;
    sweep::SweepControl control;
    bool complete = false;  // written by the sweep's thread before its last act
    std::mutex mutex;
    std::vector<sweep::PointResult> points;  // handed on, not yet taken
};

SweepJob::SweepJob(QObject* parent) : QObject(parent), timer_(new QTimer(this)) {
    timer_->setInterval(50);
    connect(timer_, &QTimer::timeout, this, [this] {
        if (run_) {
            emit progressed();
        }
    });
}

SweepJob::~SweepJob() {
    if (run_) {
        run_->control.runs.cancel = true;
        worker_.join();
    }
}

bool SweepJob::start(const model::ModelState& model, const sweep::SweepSettings& settings) {
    if (run_) {
        return false;
    }
    left_.clear();
    run_ = std::make_unique<Run>(model, settings);
    timer_->start();
    Run* run = run_.get();
    const int threads = sweep::core_count();
    const std::uint64_t sweep = ++started_;
    worker_ = std::thread([this, run, threads, sweep] {
        run->complete =
            sweep::run_sweep(run->parameters, run->settings, 0, sweep::grid_size(run->settings),
                             threads, run->control, [run](const sweep::PointResult& point) {
                                 const std::lock_guard lock(run->mutex);
                                 run->points.push_back(point);
                             });
        // Queued to the window's thread; a sweep that was cancelled has been finished already.
        QMetaObject::invokeMethod(
            this,
            [this, sweep] {
                if (run_ && started_ == sweep) {
                    worker_.join();
                    finish(run_->complete);
                }
            },
            Qt::QueuedConnection);
    });
    return true;
}

void SweepJob::cancel() {
    if (!run_) {
        return;
    }
    run_->control.runs.cancel = true;
    // The sweep looks at the flag every few milliseconds and its runs every few thousand steps.
    worker_.join();
    finish(false);
}

std::vector<sweep::PointResult> SweepJob::take_points() {
    std::vector<sweep::PointResult> points;
    if (!run_) {
        points.swap(left_);
        return points;
    }
    const std::lock_guard lock(run_->mutex);
    points.swap(run_->points);
    return points;
}

void SweepJob::finish(bool complete) {
    timer_->stop();
    const std::unique_ptr<Run> run = std::move(run_);
    // The thread has ended: its last points are the window's to take.
    left_ = std::move(run->points);
    emit ended(complete);
}

}  // namespace quobel::windows::qt
