// The shape of every job a window runs on a thread of its own.
#include "windows/qt/background_job.hpp"

namespace quobel::windows::qt {

BackgroundJob::BackgroundJob(QObject* parent) : QObject(parent), timer_(new QTimer(this)) {
    timer_->setInterval(50);
    connect(timer_, &QTimer::timeout, this, [this] {
        if (work_) {
            progress();
        }
    });
}

BackgroundJob::~BackgroundJob() {
    if (work_) {
        work_->stop();
        worker_.join();
    }
    // An end the thread queued is dropped with the object.
}

bool BackgroundJob::start(std::unique_ptr<Work> work) {
    if (work_) {
        return false;
    }
    work_ = std::move(work);
    timer_->start();
    Work* running = work_.get();
    const std::uint64_t started = ++started_;
    worker_ = std::thread([this, running, started] {
        running->run();
        // The thread's last act. A work that was cancelled has been finished already.
        QMetaObject::invokeMethod(
            this,
            [this, started] {
                if (work_ && started_ == started) {
                    finish();
                }
            },
            Qt::QueuedConnection);
    });
    return true;
}

void BackgroundJob::cancel() {
    if (work_) {
        work_->stop();
        finish();
    }
}

void BackgroundJob::finish() {
    // After `stop`, or once the thread has queued its end, this wait is short.
    worker_.join();
    timer_->stop();
    finished(std::move(work_));
}

}  // namespace quobel::windows::qt
