// Parameter sweeps: grid values, the renormalised point parameters and each point's figures.
#include "sweep/sweep.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <thread>

#include "analysis/analysed_maps.hpp"
#include "analysis/boundary_exponents.hpp"
#include "analysis/chart_data.hpp"
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

std::uint64_t splitmix64(std::uint64_t x) {
    x += 0x9e3779b97f4a7c15ULL;
    x = (x ^ (x >> 30U)) * 0xbf58476d1ce4e5b9ULL;
    x = (x ^ (x >> 27U)) * 0x94d049bb133111ebULL;
    return x ^ (x >> 31U);
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

std::uint64_t point_seed(std::uint64_t seed, std::int64_t index) {
    return splitmix64(splitmix64(seed) ^ static_cast<std::uint64_t>(index));
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

// One point; `point` is the worker's own copy of the parameters.
PointResult compute_point(const PointParameters& parameters, const SweepSettings& settings,
                          std::int64_t index, model::ModelState& point,
                          analysis::LongRunControl& control) {
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    PointResult result;
    result.index = index;
    result.values = parameters.values(index);
    const bool line = settings.axes.size() == 1;
    const auto no_run = [&] {
        result.mean_r = result.mean_r_error = result.lyapunov = result.lyapunov_error = nan;
        if (line) {
            result.density.assign(static_cast<std::size_t>(settings.run.bins), nan);
        }
    };
    if (Applied applied = parameters.fill(point, index); !applied) {
        result.applied = false;
        result.lambda_0 = result.lambda_1 = nan;
        result.flags.push_back(std::move(applied.why_not));
        no_run();
        return result;
    }
    const analysis::AnalysedMaps analysed = analysis::analysed_maps(point);
    const analysis::Survival exponents = analysis::survival(analysed);
    result.lambda_0 = exponents.lambda_0;
    result.lambda_1 = exponents.lambda_1;
    result.verdict = exponents.verdict;
    for (analysis::Flag& flag : analysis::boundary_flags(point, analysed)) {
        result.flags.push_back(std::move(flag.text));
    }
    if (settings.run.steps <= 0) {
        return result;
    }
    analysis::LongRunSettings run_settings = settings.run;
    run_settings.seed = point_seed(settings.run.seed, index);
    const analysis::LongRun run(point, settings.start, run_settings);
    const analysis::LongRunResult outcome = run.run(control);
    // A run that stopped early has no figures of the whole run to give.
    if (outcome.end != analysis::LongRunEnd::finished) {
        no_run();
        return result;
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
    if (line) {
        result.density = outcome.density();
        if (settings.log_odds) {
            result.log_odds = analysis::log_odds_shares(outcome, log_odds_reach, log_odds_rows);
        }
    }
    return result;
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
    const PointParameters parameters(model, settings);
    // A point with a long run takes milliseconds; one without, about a microsecond.
    const std::int64_t block = settings.run.steps > 0 ? 1 : 256;
    // Each thread works on its own copy of the parameters.
    const auto make_worker = [&] {
        return [&parameters, &settings, &control, point = model](std::int64_t index) mutable {
            return compute_point(parameters, settings, index, point, control.runs);
        };
    };
    return run_in_order(
        first, last, threads, block, make_worker,
        [&](const PointResult& result) {
            emit(result);
            control.points_done.fetch_add(1, std::memory_order_relaxed);
        },
        [&] { return control.runs.cancel.load(std::memory_order_relaxed); });
}

}  // namespace quobel::sweep
