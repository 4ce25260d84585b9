// A parameter sweep on threads of its own: started from a copy of the parameters, its points
// handed to the window's thread in grid order as they come, cancelled on request.
#pragma once

#include <QObject>
#include <QTimer>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "model/model_state.hpp"
#include "sweep/sweep.hpp"

namespace quobel::windows::qt {

class SweepJob final : public QObject {
    Q_OBJECT

  public:
    explicit SweepJob(QObject* parent = nullptr);
    // Cancels a sweep under way and waits for its threads.
    ~SweepJob() override;

    // Starts a sweep on every core; false while another sweep goes on.
    bool start(const model::ModelState& model, const sweep::SweepSettings& settings);
    // Stops the sweep and waits for its threads, a few milliseconds; `ended` follows at once.
    void cancel();
    bool running() const { return run_ != nullptr; }

    // The points computed since the last call, in grid order.
    std::vector<sweep::PointResult> take_points();

  signals:
    // New points are waiting: every 50 ms while there are.
    void progressed();
    // The sweep ended, every point computed or cancelled; the last points are waiting.
    void ended(bool complete);
    // From the sweep's thread, queued.
    void worker_done(QPrivateSignal);

  private:
    struct Run;

    void finish(bool complete);

    std::unique_ptr<Run> run_;
    std::thread worker_;
    QTimer* timer_ = nullptr;
    std::vector<sweep::PointResult> left_;  // the points of a sweep that has ended
    // Counts the sweeps started, so that the end of a cancelled sweep is not taken for the end of
    // the one after it.
    std::uint64_t started_ = 0;
};

}  // namespace quobel::windows::qt
