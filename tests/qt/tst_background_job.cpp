// Tests of the shape every window's job shares: its end handed back on the window's thread,
// progress while it runs, Cancel that returns with the thread stopped, and a job destroyed
// while its work goes on.
#include <QElapsedTimer>
#include <QTest>
#include <QThread>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include "windows/qt/background_job.hpp"

using quobel::windows::qt::BackgroundJob;

namespace {

// How a piece of work ended, as the job saw it.
struct End {
    std::int64_t count = 0;
    bool whole = false;
    QThread* thread = nullptr;
    bool running = true;
};

// Counts up to a target, a millisecond a step, looking at its stop flag at every step.
class Counting final : public BackgroundJob::Work {
  public:
    Counting(std::int64_t target, bool* destroyed) : target_(target), destroyed_(destroyed) {}
    ~Counting() override {
        if (destroyed_ != nullptr) {
            *destroyed_ = true;
        }
    }
    void run() override {
        while (!stop_ && count < target_) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            ++count;
        }
    }
    void stop() override { stop_ = true; }

    std::atomic<std::int64_t> count{0};
    bool whole() const { return count == target_; }

  private:
    std::atomic<bool> stop_{false};
    const std::int64_t target_;
    bool* destroyed_;
};

class CountingJob final : public BackgroundJob {
  public:
    explicit CountingJob(std::vector<End>& ends) : ends_(ends) {}

    bool start(std::int64_t target, bool* destroyed = nullptr) {
        return BackgroundJob::start(std::make_unique<Counting>(target, destroyed));
    }
    std::int64_t count() const { return static_cast<Counting*>(work())->count; }
    int progress_calls = 0;

  protected:
    void progress() override { ++progress_calls; }
    void finished(std::unique_ptr<Work> work) override {
        const auto& counting = static_cast<const Counting&>(*work);
        ends_.push_back({counting.count, counting.whole(), QThread::currentThread(), running()});
    }

  private:
    std::vector<End>& ends_;
};

constexpr std::int64_t endless = 1'000'000'000;

}  // namespace

class TestBackgroundJob : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        ends_.clear();
        job_ = std::make_unique<CountingJob>(ends_);
    }
    void cleanup() { job_.reset(); }

    void workRunsToItsEndAndEndsOnTheWindowsThread() {
        QVERIFY(job_->start(20));
        QVERIFY(job_->running());
        QVERIFY(!job_->start(20));  // one piece of work at a time
        // The end comes through the event loop, never from the work's own thread.
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        QVERIFY(ends_.empty());
        QTRY_COMPARE(ends_.size(), std::size_t{1});
        QCOMPARE(ends_[0].count, 20);
        QVERIFY(ends_[0].whole);
        QCOMPARE(ends_[0].thread, QThread::currentThread());
        QVERIFY(!ends_[0].running);
        QVERIFY(!job_->running());
        QVERIFY(job_->start(5));  // the job takes the next piece of work
        QTRY_COMPARE(ends_.size(), std::size_t{2});
    }

    void progressIsLookedAtOnlyWhileTheWorkRuns() {
        QVERIFY(job_->start(endless));
        QTRY_VERIFY(job_->progress_calls >= 3);
        QVERIFY(job_->count() > 0);
        job_->cancel();
        const int calls = job_->progress_calls;
        QTest::qWait(200);
        QCOMPARE(job_->progress_calls, calls);
    }

    void cancelReturnsPromptlyWithTheWorkEnded() {
        QVERIFY(job_->start(endless));
        QTest::qWait(30);
        QElapsedTimer clock;
        clock.start();
        job_->cancel();
        QVERIFY(clock.elapsed() < 100);
        QVERIFY(!job_->running());
        QCOMPARE(ends_.size(), std::size_t{1});
        QVERIFY(!ends_[0].whole);
        QVERIFY(ends_[0].count > 0);
        job_->cancel();  // nothing under way: nothing happens
        QCOMPARE(ends_.size(), std::size_t{1});
    }

    void theQueuedEndOfACancelledWorkIsNotTakenForTheNext() {
        QVERIFY(job_->start(1));
        // Its thread ends and queues its end, which the event loop has not seen yet.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        job_->cancel();
        QCOMPARE(ends_.size(), std::size_t{1});
        QVERIFY(job_->start(endless));
        QTest::qWait(100);
        QVERIFY(job_->running());
        QCOMPARE(ends_.size(), std::size_t{1});
    }

    void destroyingARunningJobStopsItsWork() {
        bool destroyed = false;
        QVERIFY(job_->start(endless, &destroyed));
        QTest::qWait(30);
        QElapsedTimer clock;
        clock.start();
        job_.reset();
        QVERIFY(clock.elapsed() < 100);
        QVERIFY(destroyed);
        QTest::qWait(50);
        QVERIFY(ends_.empty());
    }

  private:
    std::vector<End> ends_;
    std::unique_ptr<CountingJob> job_;
};

QTEST_MAIN(TestBackgroundJob)
#include "tst_background_job.moc"
