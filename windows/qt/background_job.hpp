// The shape of every job a window runs on a thread of its own: one piece of work at a time,
// progress looked at every 50 ms, Cancel that returns with the thread stopped, and the end
// handed back on the window's thread.
#pragma once

#include <QObject>
#include <QTimer>
#include <cstdint>
#include <memory>
#include <thread>

namespace quobel::windows::qt {

class BackgroundJob : public QObject {
    Q_OBJECT

  public:
    // Everything the job's thread touches. The job owns it until the thread has ended, so the
    // window's thread may read what the thread shares (atomics, a locked queue) while it runs.
    class Work {
      public:
        virtual ~Work() = default;
        // On the job's thread; returns soon after `stop`.
        virtual void run() = 0;
        // From the window's thread while `run` goes on.
        virtual void stop() = 0;
    };

    explicit BackgroundJob(QObject* parent = nullptr);
    // Stops work under way and waits for its thread; `finished` is not called.
    ~BackgroundJob() override;
    BackgroundJob(const BackgroundJob&) = delete;
    BackgroundJob& operator=(const BackgroundJob&) = delete;

    bool running() const { return work_ != nullptr; }
    // Stops the work and waits for its thread, a few milliseconds at most; `finished` has been
    // called when this returns.
    void cancel();

  protected:
    // Starts `work` on a thread of its own; false while other work goes on.
    bool start(std::unique_ptr<Work> work);
    // The work under way, or null.
    Work* work() const { return work_.get(); }
    // Every 50 ms while the work goes on.
    virtual void progress() = 0;
    // On the window's thread once the work's thread has ended, whether it ran to its end or was
    // cancelled; the job is no longer running.
    virtual void finished(std::unique_ptr<Work> work) = 0;

  private:
    void finish();

    std::unique_ptr<Work> work_;
    std::thread worker_;
    QTimer* timer_ = nullptr;
    // Counts the works started, so that the queued end of a cancelled work is not taken for the
    // end of the one after it.
    std::uint64_t started_ = 0;
};

}  // namespace quobel::windows::qt
