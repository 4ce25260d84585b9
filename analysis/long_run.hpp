// Long runs of the random iteration without drawing: the invariant density of r and of its
// log-odds, the time average and the orbit's Lyapunov exponent with their standard errors, how
// close r came to each boundary and when, and the frequency of each map, on any thread.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "analysis/log_odds_bins.hpp"
#include "analysis/maps_in_use.hpp"
#include "model/model_state.hpp"
#include "model/step_log.hpp"

namespace quobel::analysis {

using model::TrajectoryPoint;

inline constexpr std::int64_t default_long_run_steps = 1'000'000;
inline constexpr std::int64_t max_long_run_steps = 100'000'000;
inline constexpr int kept_steps = 1000;  // the tail of the run kept as a trajectory
inline constexpr int max_bins = 10'000;

// The recorded steps fall into this many batches of (nearly) equal length for the standard errors.
inline constexpr int batch_count = 32;
// Each batch is this many shorter ones, whose error tells whether the batches' error still grows
// with their length.
inline constexpr int batch_split = 4;

// The distances to a boundary whose first crossing a run notes.
inline constexpr std::array<double, 2> nearness{1e-6, 1e-12};

// A nearness level as a person writes it: "1e-6" for nearness[0]. The levels are powers of ten.
std::string nearness_text(std::size_t level);

struct LongRunSettings {
    std::int64_t steps = default_long_run_steps;  // 0 .. max_long_run_steps
    std::int64_t burn_in = 10'000;  // steps left out of every statistic but the map counts
    std::uint64_t seed = 1;         // of the run's own generator
    int bins = 100;                 // histogram bins over [0, 1]
};

// Why a run with these settings cannot start, or empty when it can: a burn-in that takes every
// step leaves nothing recorded, so that every figure of the run would be NaN. No steps at all is
// no such run (a sweep then computes the exponents alone). The command line and both windows
// refuse with this message.
inline std::string run_settings_refusal(const LongRunSettings& settings) {
    if (settings.steps <= 0 || settings.burn_in < settings.steps) {
        return {};
    }
    return "A burn-in of " + std::to_string(settings.burn_in) +
           " steps leaves nothing to record in a run of " + std::to_string(settings.steps) +
           " steps: make the burn-in shorter than the run.";
}

// Steps between two looks at the cancel flag: about a tenth of a millisecond at full speed.
inline constexpr std::int64_t cancel_check_steps = 4096;

// Shared between the run and whoever watches it; the run reads `cancel` and writes `steps_done`
// every cancel_check_steps steps.
struct LongRunControl {
    std::atomic<bool> cancel{false};
    std::atomic<std::int64_t> steps_done{0};
};

enum class LongRunEnd {
    finished,
    cancelled,
    not_finite,  // a step had no finite result; the run stopped before it
    no_map,      // the map count is not 1, 2 or 3
};

// How a run came near one boundary. Step 0 is the start; -1 means never.
struct BoundaryApproach {
    std::array<std::int64_t, 2> first_within{-1, -1};  // by nearness
    // The step whose distance to the boundary underflowed: from there r is the boundary itself.
    std::int64_t absorbed = -1;
};

struct LongRunResult {
    LongRunEnd end = LongRunEnd::finished;
    std::int64_t steps_taken = 0;
    double start = 0;
    double last = 0;  // the point after the last step taken
    // For not_finite: the map of the failed step and the point it was applied to.
    int failed_map = 0;
    double failed_from = 0;

    // Steps after the burn-in: the histograms, the mean and the exponent are over their points.
    std::int64_t recorded = 0;
    std::vector<std::int64_t>
        histogram;           // bin i holds i / bins <= r < (i + 1) / bins; r = 1 in the last
    std::int64_t below = 0;  // points under 0 (only when the shares are not all positive)
    std::int64_t above = 0;  // points over 1 (likewise)
    double mean_r = 0;       // NaN when nothing was recorded
    // (1/T) sum_t log tau'_{s_t}(r_{t-1}) over the recorded steps; NaN when nothing was recorded.
    double lyapunov = 0;
    // Standard errors by batch means over the whole batches recorded; NaN with fewer than two.
    double mean_r_error = 0;
    double lyapunov_error = 0;
    int batches = 0;
    // Either error exceeds that of batches a quarter as long beyond chance: the batches are not
    // long against the correlation time, and the errors are likely too small.
    bool errors_may_be_too_small = false;

    // The log-odds of the recorded points inside (0, 1), by LogOddsBins.
    std::vector<std::int64_t> log_odds_histogram;
    // Recorded points at exactly 0 and exactly 1, whose log-odds are infinite.
    std::array<std::int64_t, 2> at_boundary{};

    std::array<BoundaryApproach, 2> boundaries;  // r = 0, r = 1
    // The boundary within nearness[0] of the last point, or -1.
    int approached = -1;
    // Lambda_0 and Lambda_1 of the run's parameters, to set beside the orbit's exponent.
    std::array<double, 2> boundary_lambda{};

    // Every step counts here, burn-in included, beside the chance of each map.
    MapsInUse maps;
    std::array<std::int64_t, 3> draws{};

    std::vector<TrajectoryPoint> last_steps;  // up to kept_steps, oldest first

    // The histogram as a density over [0, 1] whose integral is the share of recorded points inside
    // [0, 1] (1 unless points left the interval).
    std::vector<double> density() const;
};

// "error bars may be too small: run longer" when the run says so, else empty.
std::string error_bar_warning(const LongRunResult& result);

// The boundary, 0 or 1, whose distance underflowed in the run, or -1.
int absorbed_boundary(const LongRunResult& result);

// What absorption at a boundary means, or empty without it: "reached r = 0 to within the smallest
// double at step 12: from there r is 0 itself, and the orbit's exponent is then Lambda_0's".
std::string absorption_text(const LongRunResult& result);

// Set after the time average of r of an absorbed run, whose points from the absorption on are the
// boundary itself, so that an error of 0 does not read as certainty; empty without absorption.
std::string absorbed_average_note(const LongRunResult& result);

// A run set up from a copy of the parameters, so the model may change while it runs elsewhere.
//
// Unlike the main window's cobweb, which evaluates tau exactly as the model states it, the run
// scales rows that miss 1 only by their storage rounding to add up to 1, and carries the smaller
// of r and 1 - r, computing 1 - tau from its own sum of terms: both boundaries are then exactly
// fixed and the distance to the nearer one keeps its full relative precision. It draws its maps
// with 32 bits of its own counter-based generator (Philox4x32-10, keyed by the seed) rather than
// the window's 24, so that small chances are met as stated; the run is chain 0 of its seed, the
// same bits as chain 0 of run_chains.
class LongRun {
  public:
    LongRun(const model::ModelState& model, double start, const LongRunSettings& settings);

    // Settings brought into range: steps within 0 .. max_long_run_steps, burn_in within
    // 0 .. steps, bins within 1 .. max_bins.
    const LongRunSettings& settings() const { return settings_; }

    // Runs from the start with a fresh generator, so the same run gives the same result; its last
    // steps are kept.
    LongRunResult run(LongRunControl& control) const;

    // One map of the run, stocks 1..K at 0..K-1.
    struct MapCoefficients {
        std::array<double, model::max_stocks> la1{}, la2{};
        std::array<double, model::max_stocks> R{};
        std::array<double, model::max_stocks> R_la1{}, R_la2{};  // the numerators' factors
        std::array<double, model::max_stocks> slope{};           // R la1 la2, the numerator of tau'
        bool complementary = false;  // 1 - tau is the sum of the terms R la2 (1 - r) / ...
    };

    // What the chains of the run start from.
    const std::array<MapCoefficients, 3>& coefficients() const { return coefficients_; }
    const MapsInUse& maps() const { return maps_; }
    int stocks() const { return stocks_; }
    double start() const { return start_; }
    const std::array<double, 2>& boundary_lambda() const { return lambda_; }

  private:
    LongRunSettings settings_;
    double start_;
    int stocks_;
    MapsInUse maps_;
    std::array<MapCoefficients, 3> coefficients_;
    std::array<double, 2> lambda_{};
};

}  // namespace quobel::analysis
