// A long run of one or more chains on a thread of its own: started from a copy of the parameters,
// cancelled on request, its progress read while it goes and its result handed back on the
// window's thread.
#pragma once

#include <cstdint>

#include "analysis/ensemble.hpp"
#include "analysis/long_run.hpp"
#include "model/model_state.hpp"
#include "windows/qt/background_job.hpp"

namespace quobel::windows::qt {

// A run that has ended, with the parameters and settings it ran with.
struct FinishedRun {
    analysis::EnsembleResult result;
    model::ModelState parameters;
    analysis::LongRunSettings settings;
};

class LongRunJob final : public BackgroundJob {
    Q_OBJECT

  public:
    explicit LongRunJob(QObject* parent = nullptr);

    // Starts `chains` chains of a run from the model's current point; false while another run
    // goes on.
    bool start(const model::ModelState& model, const analysis::LongRunSettings& settings,
               int chains = 1);
    // The settings of the run under way, brought into range.
    const analysis::LongRunSettings& settings() const;

    // Thousandths of the steps of all the chains taken, 1000 for a run of no steps.
    static int per_mille(std::int64_t done, std::int64_t steps);

  signals:
    void progressed(int per_mille);
    // A run ended (finished, cancelled or stopped), with its result.
    void ended(const FinishedRun& run);

  private:
    struct Run;

    Run& current_run() const;
    void progress() override;
    void finished(std::unique_ptr<Work> work) override;
};

}  // namespace quobel::windows::qt
