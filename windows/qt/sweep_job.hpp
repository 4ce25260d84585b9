// A parameter sweep on threads of its own: started from a copy of the parameters, its points
// handed to the window's thread in grid order as they come, cancelled on request.
#pragma once

#include <memory>
#include <vector>

#include "model/model_state.hpp"
#include "sweep/sweep.hpp"
#include "windows/qt/background_job.hpp"

namespace quobel::windows::qt {

class SweepJob final : public BackgroundJob {
    Q_OBJECT

  public:
    explicit SweepJob(QObject* parent = nullptr);

    // Starts a sweep on every core; false while another sweep goes on.
    bool start(const model::ModelState& model, const sweep::SweepSettings& settings);

    // The points computed since the last call, in grid order.
    std::vector<sweep::PointResult> take_points();

  signals:
    // New points may be waiting: every 50 ms while the sweep goes on.
    void progressed();
    // The sweep ended, every point computed or cancelled; the last points are waiting.
    void ended(bool complete);

  private:
    struct Run;

    void progress() override;
    void finished(std::unique_ptr<Work> work) override;

    std::vector<sweep::PointResult> left_;  // the points of a sweep that has ended
    // The runs' results of one sweep for the next; shared with the sweep under way, which may
    // outlive the job.
    std::shared_ptr<sweep::RunMemory> memory_ = std::make_shared<sweep::RunMemory>();
};

}  // namespace quobel::windows::qt
