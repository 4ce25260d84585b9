// A long run on a thread of its own: started from a copy of the parameters, cancelled on request,
// its progress read while it goes and its result handed back on the window's thread.
#pragma once

#include <QObject>
#include <QTimer>
#include <memory>
#include <optional>
#include <thread>

#include "analysis/long_run.hpp"
#include "model/model_state.hpp"

namespace quobel::windows::qt {

// A run that has ended, with the parameters and settings it ran with.
struct FinishedRun {
    analysis::LongRunResult result;
    model::ModelState parameters;
    analysis::LongRunSettings settings;
};

class LongRunJob final : public QObject {
    Q_OBJECT

  public:
    explicit LongRunJob(QObject* parent = nullptr);
    // Cancels a run under way and waits for its thread, a fraction of a millisecond.
    ~LongRunJob() override;

    // Starts a run from the model's current point; false while another run goes on.
    bool start(const model::ModelState& model, const analysis::LongRunSettings& settings);
    void cancel();
    bool running() const { return run_ != nullptr; }
    // The settings of the run under way, brought into range.
    const analysis::LongRunSettings& settings() const;

    // Thousandths of the run's steps taken, 1000 for a run of no steps.
    static int per_mille(std::int64_t done, std::int64_t steps);

  signals:
    void progressed(int per_mille);
    // A run ended (finished, cancelled or stopped), with its result.
    void ended(const FinishedRun& run);
    // From the worker thread, queued.
    void worker_done(QPrivateSignal);

  private:
    struct Run;

    void report_progress();
    void take_result();

    std::unique_ptr<Run> run_;
    std::thread worker_;
    QTimer* timer_ = nullptr;
};

}  // namespace quobel::windows::qt
