// A long run on a thread of its own.
#include "windows/qt/long_run_job.hpp"

namespace quobel::windows::qt {

// The run and everything its thread touches; the window's thread reads the result only after
// the queued signal, which the thread sends as its last act.
struct LongRunJob::Run {
    Run(const model::ModelState& model, const analysis::LongRunSettings& settings)
        : parameters(model), run(model, model.current_r.value(), settings) {}

    model::ModelState parameters;
    analysis::LongRun run;
    analysis::LongRunControl control;
    analysis::LongRunResult result;
};

LongRunJob::LongRunJob(QObject* parent) : QObject(parent), timer_(new QTimer(this)) {
    timer_->setInterval(50);
    connect(timer_, &QTimer::timeout, this, &LongRunJob::report_progress);
    connect(this, &LongRunJob::worker_done, this, &LongRunJob::take_result, Qt::QueuedConnection);
}

LongRunJob::~LongRunJob() {
    if (run_) {
        run_->control.cancel = true;
        worker_.join();
    }
}

const analysis::LongRunSettings& LongRunJob::settings() const {
    return run_->run.settings();
}

int LongRunJob::per_mille(std::int64_t done, std::int64_t steps) {
    return steps == 0 ? 1000 : static_cast<int>(done * 1000 / steps);
}

bool LongRunJob::start(const model::ModelState& model, const analysis::LongRunSettings& settings) {
    if (run_) {
        return false;
    }
    run_ = std::make_unique<Run>(model, settings);
    timer_->start();
    Run* run = run_.get();
    worker_ = std::thread([this, run] {
        run->result = run->run.run(run->control);
        emit worker_done(QPrivateSignal());
    });
    return true;
}

void LongRunJob::cancel() {
    if (run_) {
        run_->control.cancel = true;
    }
}

void LongRunJob::report_progress() {
    if (run_) {
        emit progressed(per_mille(run_->control.steps_done.load(std::memory_order_relaxed),
                                  run_->run.settings().steps));
    }
}

void LongRunJob::take_result() {
    if (!run_) {
        return;
    }
    // The signal is the thread's last act, so this wait is over at once.
    worker_.join();
    timer_->stop();
    const std::unique_ptr<Run> run = std::move(run_);
    const FinishedRun finished{std::move(run->result), run->parameters, run->run.settings()};
    emit ended(finished);
}

}  // namespace quobel::windows::qt
