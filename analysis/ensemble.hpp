// Many long runs at once: independent chains of one set of parameters, or the runs of many
// parameter sets (a sweep's points), advanced together, one per lane of the processor's vectors.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
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
    // The counts, steps and draws of every chain together; mean_r and lyapunov over all their
    // recorded points; the batch-means errors of that mean, sqrt(sum e_i^2) / chains; the doubt
    // about the error bars of any chain; for each boundary and nearness the earliest step of any
    // chain; the boundary that every chain ended near, if any; the worst end, and the failed step
    // of the first chain that had one; start, last point, batches and last steps of chain 0.
    LongRunResult pooled;
    int chains = 0;
    std::array<int, 2> absorbed_chains{};  // how many chains were absorbed at r = 0 and r = 1
    // The error of the mean from the spread between the chains' own means: the sample standard
    // deviation over sqrt(chains); NaN with fewer than two chains that finished.
    double mean_r_chain_error = 0;
    double lyapunov_chain_error = 0;
    std::vector<double> chain_mean_r, chain_lyapunov;  // by chain
};
// With `chains` clamped to 1 .. max_chains; one chain gives the run's own result.
EnsembleResult run_ensemble(const LongRun& run, int chains, LongRunControl& control);

// absorption_text and absorbed_average_note of an ensemble: those of its run for one chain, else
// for each boundary how many of the chains it absorbed and from which step the first.
std::string ensemble_absorption_text(const EnsembleResult& ensemble);
std::string ensemble_absorbed_average_note(const EnsembleResult& ensemble);

}  // namespace quobel::analysis
