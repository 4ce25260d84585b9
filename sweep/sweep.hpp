// Parameter sweeps: the exponents, the verdict and optionally a long run at every point of a line
// or a plane of parameter values, computed on several threads and handed on in grid order.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "analysis/boundary_exponents.hpp"
#include "analysis/long_run.hpp"
#include "model/model_state.hpp"
#include "sweep/parameter_names.hpp"

namespace quobel::sweep {

// Whether a point's values could be put in place, and if not, why: which vector has no finite
// renormalisation with them and what keeps it from one, as a flag the user reads.
struct Applied {
    std::string why_not;
    explicit operator bool() const { return why_not.empty(); }
};

// Puts each value in place of its component, then renormalises every vector holding one of them as
// "Recalculate !!!" does with those components as the only edits. Where every value already is
// its component's, nothing changes: that point is the file itself, rows that do not add up to 1
// and all. A vector that has no finite outcome is left as it is where it already holds its values
// (as Recalculate leaves it); any other such vector fails the point, and the model may then be
// partly changed.
Applied set_parameters(model::ModelState& model,
                       const std::vector<std::pair<ParameterName, double>>& values);

struct SweepSettings {
    std::vector<Axis> axes;         // a line or a plane; the first axis changes slowest
    analysis::LongRunSettings run;  // run.steps 0: the exponents alone
    double start = 0.5;
    // A line's points also keep their log-odds rows, for a heat map; not part of the CSV.
    bool log_odds = false;
};

std::int64_t grid_size(const SweepSettings& settings);

// How far a sweep may reach: the values along the axis of a line and along each axis of a plane,
// and the points of the whole grid.
struct SweepLimits {
    std::int64_t line_values = max_axis_count;
    std::int64_t plane_values = max_axis_count;
    std::int64_t points = max_grid_size;
};

// The first thing that keeps a sweep from running, in this order: the number of axes; for each
// axis its parameter (when there is a model to look in), its range and its count; two axes that
// name the same parameter; the size of the grid. Each caller words it in its own terms.
struct SweepProblem {
    enum class Kind {
        none,
        axes,               // not one or two
        missing_parameter,  // `missing` says why
        range_not_finite,
        too_many_values,  // fewer than 1 or more than `limit`
        same_parameter,
        too_many_points,  // more than `limit`
    };
    Kind kind = Kind::none;
    std::size_t axis = 0;  // the axis concerned, for the problems of one axis
    std::string missing{};
    std::int64_t limit = 0;
    explicit operator bool() const { return kind != Kind::none; }
};
SweepProblem sweep_problem(const model::ModelState* model, const SweepSettings& settings,
                           const SweepLimits& limits);

// The problem in one line, `option` naming the setting that gives the axes ("--vary" for
// quobel-cli).
std::string problem_text(const SweepProblem& problem, const SweepSettings& settings,
                         std::string_view option);

// The grid points [first, last) of block `shard` (1..shards) of `shards` contiguous blocks.
std::pair<std::int64_t, std::int64_t> shard_range(std::int64_t size, std::int64_t shard,
                                                  std::int64_t shards);

// Asked for, a line's runs also give their log-odds log(r / (1 - r)) in this many rows over
// [-log_odds_reach, log_odds_reach].
inline constexpr int log_odds_rows = 160;
inline constexpr double log_odds_reach = 40;

struct PointResult {
    std::int64_t index = 0;
    std::array<double, 2> values{};  // along the first and second axis
    // False when a renormalisation had no finite outcome: the exponents and the run are then NaN
    // and the verdict not defined.
    bool applied = true;
    double lambda_0 = 0;
    double lambda_1 = 0;
    analysis::Verdict verdict = analysis::Verdict::not_defined;
    // Why the values have no renormalisation, or else the flags of the exponents at the point.
    std::vector<std::string> flags;
    // The run's figures, NaN when it did not finish; the density only for a line.
    double mean_r = 0;
    double mean_r_error = 0;
    double lyapunov = 0;
    double lyapunov_error = 0;
    std::vector<double> density;
    std::vector<double> log_odds;  // with settings.log_odds, each row's share of the points
};

// The point's parameters: the model with the point's values set.
std::optional<model::ModelState> point_model(const model::ModelState& model,
                                             const SweepSettings& settings, std::int64_t index);

// The runs' results of finished sweeps, for the next one to fill again. Each run counts its
// points in 32,768 log-odds bins, and memory the process has not touched yet costs a page fault
// every 4 KB: in a line of short runs, fresh memory took a third of the time. Whoever runs sweeps
// one after another keeps one for them.
class RunMemory {
  public:
    std::vector<analysis::LongRunResult> take();
    void give(std::vector<analysis::LongRunResult> results);

  private:
    // About 34 MB: two threads' blocks of a line.
    static constexpr std::size_t most_kept = 128;

    std::mutex mutex_;
    std::vector<std::vector<analysis::LongRunResult>> kept_;
    std::size_t count_ = 0;
};

// Shared with whoever watches a sweep. Setting runs.cancel stops it within a long run's cancel
// check; points_done counts the points handed on. Without a memory the sweep keeps its runs'
// results for itself alone.
struct SweepControl {
    analysis::LongRunControl runs;
    std::atomic<std::int64_t> points_done{0};
    RunMemory* memory = nullptr;
};

// The threads a sweep runs on unless told otherwise: the machine's cores, 1 when it cannot tell.
int core_count();

// Computes the points [first, last) on `threads` threads and hands each to `emit` on the calling
// thread, in grid order, as soon as it and every point before it are done. Threads run at most a
// few points ahead of `emit`, so memory stays bounded. False when cancelled.
bool run_sweep(const model::ModelState& model, const SweepSettings& settings, std::int64_t first,
               std::int64_t last, int threads, SweepControl& control,
               const std::function<void(const PointResult&)>& emit);

}  // namespace quobel::sweep
