// Long runs of the random iteration without drawing: the invariant density of r, the time
// average, the orbit's Lyapunov exponent and the frequency of each map, on any thread.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

#include "analysis/maps_in_use.hpp"
#include "model/model_state.hpp"
#include "model/step_log.hpp"

namespace quobel::analysis {

using model::TrajectoryPoint;

inline constexpr std::int64_t default_long_run_steps = 1'000'000;
inline constexpr std::int64_t max_long_run_steps = 100'000'000;
inline constexpr int kept_steps = 1000;  // the tail of the run kept as a trajectory
inline constexpr int max_bins = 10'000;

struct LongRunSettings {
    std::int64_t steps = default_long_run_steps;  // 0 .. max_long_run_steps
    std::int64_t burn_in = 10'000;  // steps left out of every statistic but the map counts
    std::uint64_t seed = 1;         // of the run's own generator
    int bins = 100;                 // histogram bins over [0, 1]
};

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

struct LongRunResult {
    LongRunEnd end = LongRunEnd::finished;
    std::int64_t steps_taken = 0;
    double start = 0;
    double last = 0;  // the point after the last step taken
    // For not_finite: the map of the failed step and the point it was applied to.
    int failed_map = 0;
    double failed_from = 0;

    // Steps after the burn-in: the histogram, the mean and the exponent are over their points.
    std::int64_t recorded = 0;
    std::vector<std::int64_t>
        histogram;           // bin i holds i / bins <= r < (i + 1) / bins; r = 1 in the last
    std::int64_t below = 0;  // points under 0
    std::int64_t above = 0;  // points over 1 (or NaN, which no step leaves)
    double mean_r = 0;       // NaN when nothing was recorded
    // (1/T) sum_t log tau'_{s_t}(r_{t-1}) over the recorded steps; NaN when nothing was recorded.
    double lyapunov = 0;

    // Every step counts here, burn-in included, beside the chance of each map.
    MapsInUse maps;
    std::array<std::int64_t, 3> draws{};

    std::vector<TrajectoryPoint> last_steps;  // up to kept_steps, oldest first

    // The histogram as a density over [0, 1] whose integral is the share of recorded points inside
    // [0, 1] (1 unless points left the interval).
    std::vector<double> density() const;
};

// A run set up from a copy of the parameters, so the model may change while it runs elsewhere.
class LongRun {
  public:
    LongRun(const model::ModelState& model, double start, const LongRunSettings& settings);

    // Settings brought into range: steps within 0 .. max_long_run_steps, burn_in within
    // 0 .. steps, bins within 1 .. max_bins.
    const LongRunSettings& settings() const { return settings_; }

    // Runs from the start with a fresh generator, so the same run gives the same result.
    LongRunResult run(LongRunControl& control) const;

    // One map of the run: its coefficients for stocks 1..K at 0..K-1.
    struct MapCoefficients {
        std::array<double, model::max_stocks> R{}, la1{}, la2{};
        std::array<double, model::max_stocks> slope{};  // R la1 la2, the numerator of tau'
    };

  private:
    LongRunSettings settings_;
    double start_;
    int stocks_;
    MapsInUse maps_;
    std::array<MapCoefficients, 3> coefficients_;
};

}  // namespace quobel::analysis
