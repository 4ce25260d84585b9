// Many long runs at once: independent chains of one set of parameters, or the runs of many
// parameter sets (a sweep's points), advanced together, one per lane of the processor's vectors.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "analysis/long_run.hpp"

namespace quobel::analysis {

// The most chains one ensemble run takes.
inline constexpr int max_chains = 256;

// One chain of a long run. A chain's numbers come from its run's seed and its own index alone, so
// its result is the same bits whatever lanes, threads or shards it runs among.
struct ChainTask {
    const LongRun* run = nullptr;  // the parameters, start and settings
    std::uint64_t chain = 0;       // the chain's index among those of the same seed
    LongRunResult* result = nullptr;
    // Where the chain's counts go (histogram, log-odds histogram, below, above, at_boundary);
    // its own result when null. Chains of one call may share one: counts are whole numbers, and
    // their sum is the same in any order. run_chains sizes its histograms (zeros) when they are
    // not of the run's bins yet and adds to them otherwise; the result's own histograms are then
    // left empty. Not for chains of calls that run at the same time.
    LongRunResult* counts = nullptr;
    bool keep_last_steps = false;  // fill result->last_steps
};

// Runs every task to its end (or to the cancel), its result as LongRun::run gives it for chain 0,
// to the bit. All tasks of one call have the same steps, burn-in and bins. control.steps_done
// counts the steps of all the tasks together. The tasks run in blocks of up to 32 chains of the
// same stock count, one per lane of the processor's vectors, block after block; a cancel ends the
// block under way within cancel_check_steps steps and leaves the later ones at step 0, cancelled.
void run_chains(std::span<const ChainTask> tasks, LongRunControl& control);

// `chains` replicas of one run from the same start, chains 0 .. chains - 1.
struct EnsembleResult {
    // The counts of every chain together; mean_r and lyapunov over all their recorded points; the
    // batch-means errors of the mean over the chains; the last steps of chain 0.
    LongRunResult pooled;
    int chains = 0;
    // The error of the mean from the spread between the chains' own means: the sample standard
    // deviation over sqrt(chains); NaN with fewer than two chains that finished.
    double mean_r_chain_error = 0;
    double lyapunov_chain_error = 0;
    std::vector<double> chain_mean_r, chain_lyapunov;  // by chain
};
EnsembleResult run_ensemble(const LongRun& run, int chains, LongRunControl& control);

}  // namespace quobel::analysis
