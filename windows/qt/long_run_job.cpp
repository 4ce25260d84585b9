// A long run on a thread of its own.
#include "windows/qt/long_run_job.hpp"

#include <algorithm>

namespace quobel::windows::qt {

// The run and everything its thread touches.
struct LongRunJob::Run final : BackgroundJob::Work {
    Run(const model::ModelState& model, const analysis::LongRunSettings& settings, int chains)
        : parameters(model),
          long_run(model, model.current_r.value(), settings),
          chains(std::clamp(chains, 1, analysis::max_chains)) {}

    void run() override { result = analysis::run_ensemble(long_run, chains, control); }
    // Every chain's steps together.
    std::int64_t all_steps() const { return long_run.settings().steps * chains; }
    void stop() override { control.cancel = true; }

    model::ModelState parameters;
    analysis::LongRun long_run;
    int chains;
    analysis::LongRunControl control;
    analysis::EnsembleResult result;
};

LongRunJob::LongRunJob(QObject* parent) : BackgroundJob(parent) {}

bool LongRunJob::start(const model::ModelState& model, const analysis::LongRunSettings& settings,
                       int chains) {
    return !running() && BackgroundJob::start(std::make_unique<Run>(model, settings, chains));
}

LongRunJob::Run& LongRunJob::current_run() const {
    return static_cast<Run&>(*work());
}

const analysis::LongRunSettings& LongRunJob::settings() const {
    return current_run().long_run.settings();
}

int LongRunJob::per_mille(std::int64_t done, std::int64_t steps) {
    return steps == 0 ? 1000 : static_cast<int>(done * 1000 / steps);
}

void LongRunJob::progress() {
    emit progressed(per_mille(current_run().control.steps_done.load(std::memory_order_relaxed),
                              current_run().all_steps()));
}

void LongRunJob::finished(std::unique_ptr<Work> work) {
    auto& ended_run = static_cast<Run&>(*work);
    emit ended(FinishedRun{std::move(ended_run.result), ended_run.parameters,
                           ended_run.long_run.settings()});
}

}  // namespace quobel::windows::qt
