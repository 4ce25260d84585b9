// Parameter sweeps: grid values, the renormalised point parameters and each point's figures.
#include "sweep/sweep.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <mutex>
#include <thread>

#include "analysis/analysed_maps.hpp"
#include "analysis/boundary_exponents.hpp"
#include "analysis/chart_data.hpp"
#include "analysis/ensemble.hpp"
#include "editing/recalculation.hpp"
#include "model/number_text.hpp"
#include "sweep/ordered_pool.hpp"

namespace quobel::sweep {

namespace {

using Table = ParameterName::Table;

// The vector a component belongs to: (table, map) for the stock tables, prob alone otherwise.
std::pair<Table, int> vector_of(const ParameterName& name) {
    return {name.table, name.table == Table::prob ? 0 : name.map};
}

// Stored as recalculation stores what it computes.
void set(model::ModelState& m, Table table, int s, int k, double value) {
    if (table == Table::prob) {
        m.prob(s) = value;
    } else {
        editing::set_component(m, stock_parameter(table), s, k, value);
    }
}

using Vector = std::array<double, model::max_stocks>;

int vector_size(const model::ModelState& m, Table table) {
    return table == Table::prob ? m.maps_in_tables() : m.stocks_in_tables();
}

// Component j = 1..n of a vector as (map, stock).
std::pair<int, int> component(Table table, int map, int j) {
    return table == Table::prob ? std::pair{j, 0} : std::pair{map, j};
}

Vector read_vector(const model::ModelState& m, Table table, int map) {
    Vector x{};
    for (int j = 1; j <= vector_size(m, table); ++j) {
        const auto [s, k] = component(table, map, j);
        x[static_cast<std::size_t>(j - 1)] = parameter_value(m, {table, s, k});
    }
    return x;
}

void write_vector(model::ModelState& m, Table table, int map, const Vector& x) {
    for (int j = 1; j <= vector_size(m, table); ++j) {
        const auto [s, k] = component(table, map, j);
        set(m, table, s, k, x[static_cast<std::size_t>(j - 1)]);
    }
}

// A vector after "Recalculate !!!", or why it has none.
struct VectorOutcome {
    std::optional<Vector> values;
    editing::NoRenormalisation why_not{};
};

// Whether each of `values` is already the value of its component in the model.
bool holds(const model::ModelState& m,
           const std::vector<std::pair<ParameterName, double>>& values) {
    return std::all_of(values.begin(), values.end(), [&m](const auto& edit) {
        return parameter_value(m, edit.first) == edit.second;
    });
}

// The vector (table, map) after "Recalculate !!!" with those of `values` that lie in it as its
// edits; nothing when it has no finite outcome and does not already hold those values, which
// Recalculate would leave unapplied.
VectorOutcome recalculated(const model::ModelState& m, Table table, int map,
                           const std::vector<std::pair<ParameterName, double>>& values) {
    const auto size = static_cast<std::size_t>(vector_size(m, table));
    const Vector x = read_vector(m, table, map);
    Vector pending{};
    std::array<std::int16_t, model::max_stocks> edited{};
    bool held = true;
    for (const auto& [name, value] : values) {
        if (vector_of(name) == std::pair{table, map}) {
            const auto j = static_cast<std::size_t>(table == Table::prob ? name.map : name.stock);
            pending[j - 1] = value;
            edited[j - 1] = 1;
            held = held && x[j - 1] == value;
        }
    }
    const auto components = std::span(x).first(size);
    const auto edits = std::span(pending).first(size);
    const auto flags = std::span(edited).first(size);
    const auto y = editing::renormalised(components, edits, flags);
    if (y) {
        return {y->values};
    }
    if (held) {
        return {x};
    }
    return {std::nullopt, editing::why_not_renormalised(components, edits, flags)};
}

// The vector as the flags of the exponents name a row: R(1,1..3), prob(1..2).
std::string vector_text(const model::ModelState& m, Table table, int map) {
    const int size = vector_size(m, table);
    const std::string components = size == 1 ? "1" : "1.." + std::to_string(size);
    const std::string first = table == Table::prob ? "" : std::to_string(map) + ",";
    return std::string(table_name(table)) + "(" + first + components + ")";
}

// Why the vector (table, map) has no finite outcome with those of `values` that lie in it.
std::string no_renormalisation_text(const model::ModelState& m, Table table, int map,
                                    const std::vector<std::pair<ParameterName, double>>& values,
                                    editing::NoRenormalisation why) {
    std::string edits;
    for (const auto& [name, value] : values) {
        if (vector_of(name) == std::pair{table, map}) {
            edits += (edits.empty() ? "" : " and ") + parameter_name_text(name) + " = " +
                     model::general_text(value);
        }
    }
    std::string reason;
    switch (why) {
        case editing::NoRenormalisation::untouched_sum_to_0:
            reason =
                "its other components add up to 0, so they cannot share the rest of 1 in "
                "proportion";
            break;
        case editing::NoRenormalisation::edited_sum_to_0:
            reason = "its components add up to 0, so nothing scales them to add up to 1";
            break;
        case editing::NoRenormalisation::not_finite:
            reason = "its renormalised components are not all finite numbers";
            break;
    }
    return vector_text(m, table, map) + " cannot be renormalised with " + edits + ": " + reason +
           " (Recalculate !!! leaves such a vector as it was).";
}

}  // namespace

Applied set_parameters(model::ModelState& model,
                       const std::vector<std::pair<ParameterName, double>>& values) {
    if (holds(model, values)) {
        return {};
    }
    std::vector<std::pair<Table, int>> done;
    for (const auto& [name, value] : values) {
        const auto vector = vector_of(name);
        if (std::find(done.begin(), done.end(), vector) != done.end()) {
            continue;
        }
        done.push_back(vector);
        const VectorOutcome x = recalculated(model, vector.first, vector.second, values);
        if (!x.values) {
            return {no_renormalisation_text(model, vector.first, vector.second, values, x.why_not)};
        }
        write_vector(model, vector.first, vector.second, *x.values);
    }
    return {};
}

std::int64_t grid_size(const SweepSettings& settings) {
    std::int64_t size = settings.axes.empty() ? 0 : 1;
    for (const Axis& axis : settings.axes) {
        size *= axis.count;
    }
    return size;
}

SweepProblem sweep_problem(const model::ModelState* model, const SweepSettings& settings,
                           const SweepLimits& limits) {
    using Kind = SweepProblem::Kind;
    const auto& axes = settings.axes;
    if (axes.empty() || axes.size() > 2) {
        return {.kind = Kind::axes};
    }
    const std::int64_t most = axes.size() == 1 ? limits.line_values : limits.plane_values;
    for (std::size_t a = 0; a < axes.size(); ++a) {
        if (model != nullptr) {
            if (std::string missing = missing_parameter(*model, axes[a].name); !missing.empty()) {
                return {.kind = Kind::missing_parameter, .axis = a, .missing = std::move(missing)};
            }
        }
        if (!std::isfinite(axes[a].from) || !std::isfinite(axes[a].to)) {
            return {.kind = Kind::range_not_finite, .axis = a};
        }
        if (axes[a].count < 1 || axes[a].count > most) {
            return {.kind = Kind::too_many_values, .axis = a, .limit = most};
        }
    }
    if (axes.size() == 2 && axes[0].name == axes[1].name) {
        return {.kind = Kind::same_parameter, .axis = 1};
    }
    // Counts of at least 1 each, so the division cannot be by 0 and the product cannot overflow.
    if (axes.size() == 2 && axes[0].count > limits.points / axes[1].count) {
        return {.kind = Kind::too_many_points, .limit = limits.points};
    }
    return {};
}

std::string problem_text(const SweepProblem& problem, const SweepSettings& settings,
                         std::string_view option) {
    using Kind = SweepProblem::Kind;
    const std::string opt(option);
    const auto name = [&] { return parameter_name_text(settings.axes[problem.axis].name); };
    switch (problem.kind) {
        case Kind::axes:
            return settings.axes.empty() ? "sweep needs " + opt + " NAME=FROM:TO:COUNT."
                                         : "sweep takes one or two " + opt + ".";
        case Kind::missing_parameter:
            return opt + ": " + problem.missing;
        case Kind::range_not_finite:
            return opt + ": the range of " + name() + " is not finite.";
        case Kind::too_many_values:
            return opt + ": COUNT must be a whole number from 1 to " +
                   std::to_string(problem.limit) + " for " + name() + ".";
        case Kind::same_parameter:
            return "the two " + opt + " name the same parameter.";
        case Kind::too_many_points:
        case Kind::none:
            break;
    }
    return "the grid has more than " + std::to_string(problem.limit) + " points.";
}

std::pair<std::int64_t, std::int64_t> shard_range(std::int64_t size, std::int64_t shard,
                                                  std::int64_t shards) {
    // size * shard stays far below the int64 range: grids and shard counts are bounded.
    return {size * (shard - 1) / shards, size * shard / shards};
}

namespace {

std::array<double, 2> point_values(const SweepSettings& settings, std::int64_t index) {
    if (settings.axes.size() == 1) {
        return {settings.axes[0].value(index), 0};
    }
    const std::int64_t inner = settings.axes[1].count;
    return {settings.axes[0].value(index / inner), settings.axes[1].value(index % inner)};
}

std::vector<std::pair<ParameterName, double>> point_edits(const SweepSettings& settings,
                                                          const std::array<double, 2>& values) {
    std::vector<std::pair<ParameterName, double>> edits;
    for (std::size_t a = 0; a < settings.axes.size(); ++a) {
        edits.emplace_back(settings.axes[a].name, values[a]);
    }
    return edits;
}

// The parameters of a sweep's points. When the axes vary different vectors, each vector depends
// on its own axis value alone: it is recalculated once per value rather than once per point, which
// on a plane is most of the work besides the exponents.
class PointParameters {
  public:
    PointParameters(const model::ModelState& model, const SweepSettings& settings)
        : model_(model), settings_(settings) {
        const auto& axes = settings.axes;
        // Each value is rounded from its exact decimal, which costs more than a point's
        // exponents: work each out once.
        for (const Axis& axis : axes) {
            auto& values = axis_values_.emplace_back(static_cast<std::size_t>(axis.count));
            for (std::int64_t i = 0; i < axis.count; ++i) {
                values[static_cast<std::size_t>(i)] = axis.value(i);
            }
        }
        const bool shared = axes.size() == 2 && vector_of(axes[0].name) == vector_of(axes[1].name);
        const bool short_axes = std::all_of(axes.begin(), axes.end(), [](const Axis& axis) {
            return axis.count <= largest_worked_out;
        });
        if (shared || !short_axes) {
            return;
        }
        for (std::size_t a = 0; a < axes.size(); ++a) {
            const auto [table, map] = vector_of(axes[a].name);
            auto& vectors = vectors_.emplace_back();
            vectors.reserve(axis_values_[a].size());
            for (const double value : axis_values_[a]) {
                vectors.push_back(recalculated(model, table, map, {{axes[a].name, value}}));
            }
        }
    }

    const model::ModelState& model() const { return model_; }

    // The values of point `index` along the first and the second axis.
    std::array<double, 2> values(std::int64_t index) const {
        const auto at = [&](std::size_t a, std::int64_t i) {
            return axis_values_[a][static_cast<std::size_t>(i)];
        };
        if (axis_values_.size() == 1) {
            return {at(0, index), 0};
        }
        const std::int64_t inner = settings_.axes[1].count;
        return {at(0, index / inner), at(1, index % inner)};
    }

    // Point `index` into `point`, which holds the sweep's parameters or those of one of its
    // points, as set_parameters puts them there.
    Applied fill(model::ModelState& point, std::int64_t index) const {
        const auto edits = point_edits(settings_, values(index));
        if (vectors_.empty() || holds(model_, edits)) {
            point = model_;
            return set_parameters(point, edits);
        }
        const std::int64_t inner = settings_.axes.size() == 2 ? settings_.axes[1].count : 1;
        for (std::size_t a = 0; a < vectors_.size(); ++a) {
            const std::int64_t i = a == 0 ? index / inner : index % inner;
            const VectorOutcome& x = vectors_[a][static_cast<std::size_t>(i)];
            const auto [table, map] = vector_of(settings_.axes[a].name);
            if (!x.values) {
                return {no_renormalisation_text(model_, table, map, {edits[a]}, x.why_not)};
            }
            write_vector(point, table, map, *x.values);
        }
        return {};
    }

  private:
    // Vectors of 10 values: 8 megabytes for an axis of this many values.
    static constexpr std::int64_t largest_worked_out = 100'000;

    const model::ModelState& model_;
    const SweepSettings& settings_;
    std::vector<std::vector<double>> axis_values_;     // by axis, then value
    std::vector<std::vector<VectorOutcome>> vectors_;  // by axis, then value
};

constexpr double nan = std::numeric_limits<double>::quiet_NaN();

// A point's figures of a run it has not had.
void no_run(PointResult& result, const SweepSettings& settings) {
    result.mean_r = result.mean_r_error = result.lyapunov = result.lyapunov_error = nan;
    if (settings.axes.size() == 1) {
        result.density.assign(static_cast<std::size_t>(settings.run.bins), nan);
    }
}

// A point's values, exponents and flags; `point` is the worker's own copy of the parameters,
// which then holds the point's. False when the point has no run to make.
bool compute_exponents(const PointParameters& parameters, const SweepSettings& settings,
                       std::int64_t index, model::ModelState& point, PointResult& result) {
    result.index = index;
    result.values = parameters.values(index);
    if (Applied applied = parameters.fill(point, index); !applied) {
        result.applied = false;
        result.lambda_0 = result.lambda_1 = nan;
        result.flags.push_back(std::move(applied.why_not));
        no_run(result, settings);
        return false;
    }
    const analysis::AnalysedMaps analysed = analysis::analysed_maps(point);
    const analysis::Survival exponents = analysis::survival(analysed);
    result.lambda_0 = exponents.lambda_0;
    result.lambda_1 = exponents.lambda_1;
    result.verdict = exponents.verdict;
    for (analysis::Flag& flag : analysis::boundary_flags(point, analysed)) {
        result.flags.push_back(std::move(flag.text));
    }
    return settings.run.steps > 0;
}

// A point's figures from its run.
void take_run(const analysis::LongRunResult& outcome, const SweepSettings& settings,
              PointResult& result) {
    // A run that stopped early has no figures of the whole run to give.
    if (outcome.end != analysis::LongRunEnd::finished) {
        no_run(result, settings);
        return;
    }
    result.mean_r = outcome.mean_r;
    result.mean_r_error = outcome.mean_r_error;
    result.lyapunov = outcome.lyapunov;
    result.lyapunov_error = outcome.lyapunov_error;
    // An absorbed run's figures are the boundary's from the absorption on: say so beside them.
    for (std::string note :
         {analysis::error_bar_warning(outcome), analysis::absorption_text(outcome)}) {
        if (!note.empty()) {
            result.flags.push_back(std::move(note));
        }
    }
    if (settings.axes.size() == 1) {
        result.density = outcome.density();
        if (settings.log_odds) {
            result.log_odds = analysis::log_odds_shares(outcome, log_odds_reach, log_odds_rows);
        }
    }
}

}  // namespace

std::vector<analysis::LongRunResult> RunMemory::take() {
    const std::lock_guard lock(mutex_);
    if (kept_.empty()) {
        return {};
    }
    std::vector<analysis::LongRunResult> results = std::move(kept_.back());
    kept_.pop_back();
    count_ -= results.size();
    return results;
}

void RunMemory::give(std::vector<analysis::LongRunResult> results) {
    const std::lock_guard lock(mutex_);
    if (!results.empty() && count_ + results.size() <= most_kept) {
        count_ += results.size();
        kept_.push_back(std::move(results));
    }
}

namespace {

// Computes blocks of points on one thread, the points' runs side by side in the engine's lanes:
// each point's run is chain `index` of the sweep's seed, so its figures do not depend on the
// block it falls in. It keeps its own copy of the parameters, and takes the runs' results from
// the memory and gives them back, so that their histograms' memory is reused.
class BlockWorker {
  public:
    BlockWorker(const PointParameters& parameters, const SweepSettings& settings,
                analysis::LongRunControl& control, RunMemory& memory)
        : parameters_(parameters),
          settings_(settings),
          control_(control),
          memory_(memory),
          point_(parameters.model()),
          outcomes_(memory.take()) {}
    BlockWorker(BlockWorker&&) = default;
    BlockWorker(const BlockWorker&) = delete;
    BlockWorker& operator=(const BlockWorker&) = delete;
    BlockWorker& operator=(BlockWorker&&) = delete;
    ~BlockWorker() { memory_.give(std::move(outcomes_)); }

    // The points [begin, end).
    std::vector<PointResult> operator()(std::int64_t begin, std::int64_t end) {
        const auto size = static_cast<std::size_t>(end - begin);
        std::vector<PointResult> results(size);
        std::vector<analysis::LongRun> runs;
        std::vector<std::size_t> run_of;  // the point of each run
        runs.reserve(size);
        for (std::size_t i = 0; i < size; ++i) {
            const std::int64_t index = begin + static_cast<std::int64_t>(i);
            if (compute_exponents(parameters_, settings_, index, point_, results[i])) {
                runs.emplace_back(point_, settings_.start, settings_.run);
                run_of.push_back(i);
            }
        }
        if (runs.empty()) {
            return results;
        }
        outcomes_.resize(std::max(outcomes_.size(), runs.size()));
        std::vector<analysis::ChainTask> tasks(runs.size());
        for (std::size_t k = 0; k < runs.size(); ++k) {
            tasks[k] = {.run = &runs[k],
                        .chain = static_cast<std::uint64_t>(results[run_of[k]].index),
                        .result = &outcomes_[k]};
        }
        analysis::run_chains(tasks, control_);
        for (std::size_t k = 0; k < runs.size(); ++k) {
            take_run(outcomes_[k], settings_, results[run_of[k]]);
        }
        return results;
    }

  private:
    const PointParameters& parameters_;
    const SweepSettings& settings_;
    analysis::LongRunControl& control_;
    RunMemory& memory_;
    model::ModelState point_;
    std::vector<analysis::LongRunResult> outcomes_;
};

// The most points whose runs go through the engine together: two of its groups of 32 lanes.
constexpr std::int64_t most_block_points = 64;
// The widest vectors hold 8 doubles: blocks of whole vectors waste no lanes. A line of 99 values
// on two threads ran a fifth faster in blocks of 24 than of 50.
constexpr std::int64_t vector_points = 8;
// Points without runs take about a microsecond each: many of them share a turn of the pool.
constexpr std::int64_t exponent_block_points = 256;

// Points per block: with runs, the grid's points spread over at least two blocks per thread, so
// that a thread slowed by other work leaves its share to the others, in whole vectors.
std::int64_t block_points(std::int64_t points, int threads, bool runs) {
    if (!runs) {
        return exponent_block_points;
    }
    const std::int64_t blocks =
        std::max<std::int64_t>(2 * std::max<std::int64_t>(threads, 1),
                               (points + most_block_points - 1) / most_block_points);
    const std::int64_t share = (points + blocks - 1) / blocks;
    const std::int64_t whole_vectors = (share + vector_points / 2) / vector_points * vector_points;
    return std::clamp(whole_vectors, vector_points, most_block_points);
}

}  // namespace

std::optional<model::ModelState> point_model(const model::ModelState& model,
                                             const SweepSettings& settings, std::int64_t index) {
    model::ModelState point = model;
    if (!set_parameters(point, point_edits(settings, point_values(settings, index)))) {
        return std::nullopt;
    }
    return point;
}

int core_count() {
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : static_cast<int>(cores);
}

bool run_sweep(const model::ModelState& model, const SweepSettings& settings, std::int64_t first,
               std::int64_t last, int threads, SweepControl& control,
               const std::function<void(const PointResult&)>& emit) {
    if (first >= last) {
        return true;
    }
    const PointParameters parameters(model, settings);
    const std::int64_t points = block_points(last - first, threads, settings.run.steps > 0);
    const std::int64_t blocks = (last - first + points - 1) / points;
    const auto cancelled = [&] { return control.runs.cancel.load(std::memory_order_relaxed); };
    // The runs' results go from block to block, and to the next sweep where the caller keeps them.
    RunMemory own_memory;
    RunMemory& memory = control.memory != nullptr ? *control.memory : own_memory;
    // The pool's items are whole blocks.
    const auto make_worker = [&] {
        return [&, worker = BlockWorker(parameters, settings, control.runs, memory)](
                   std::int64_t block) mutable {
            const std::int64_t begin = first + block * points;
            return worker(begin, std::min(begin + points, last));
        };
    };
    return run_in_order(
        0, blocks, threads, 1, make_worker,
        [&](const std::vector<PointResult>& results) {
            for (const PointResult& result : results) {
                if (cancelled()) {
                    return;
                }
                emit(result);
                control.points_done.fetch_add(1, std::memory_order_relaxed);
            }
        },
        cancelled);
}

}  // namespace quobel::sweep
