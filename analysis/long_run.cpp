// The long run: a tight loop over tau and its slope, one draw and one histogram bin per step.
#include "analysis/long_run.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "model/random_source.hpp"

namespace quobel::analysis {

namespace {

using MapCoefficients = LongRun::MapCoefficients;

// The tail is kept in a ring a power of two long, so that the slot is a mask of the step.
constexpr std::size_t ring_size = 1024;
static_assert(ring_size >= kept_steps);

constexpr double not_a_number = std::numeric_limits<double>::quiet_NaN();

// Everything a walk changes, kept together so that it can go on block after block.
struct Walk {
    const std::array<MapCoefficients, 3>* maps = nullptr;
    int map_count = 0;
    double first_bound = 0;   // a draw not below it leaves map 1
    double second_bound = 0;  // a draw not below it leaves map 2 too
    model::UniformGenerator random;

    double r = 0;
    std::int64_t t = 0;  // steps taken

    std::int64_t* histogram = nullptr;
    int bins = 1;
    std::int64_t below = 0, above = 0;
    double sum_r = 0, sum_log = 0;
    std::int64_t first_draws = 0, second_draws = 0;
    std::array<TrajectoryPoint, ring_size> ring{};

    int failed_map = 0;
};

// tau_s(r) and tau_s'(r) with one denominator per stock. tau is formed exactly as the model forms
// it, term by term and in the same grouping, so the run follows the same points as the window's
// iteration would with the same draws.
template <int K>
inline double tau_and_slope(const MapCoefficients& map, double r, double& slope) {
    double next = 0;
    double derivative = 0;
    const double rest = 1 - r;
    for (int k = 0; k < K; ++k) {
        const double held = map.la1[k] * r;
        const double denominator = held + map.la2[k] * rest;
        next += map.R[k] * held / denominator;
        derivative += map.slope[k] / (denominator * denominator);
    }
    slope = derivative;
    return next;
}

// Steps walk.t .. end - 1; with Record the points enter the statistics. False when a step had no
// finite result: the walk then stands before that step.
template <int K, bool Record>
bool walk_block(Walk& walk, std::int64_t end) {
    // Locals, so that the histogram's stores cannot force the walk's state out of registers.
    double r = walk.r;
    std::int64_t t = walk.t;
    model::UniformGenerator random = walk.random;
    const auto& maps = *walk.maps;
    const bool draws = walk.map_count > 1;
    const double first_bound = walk.first_bound;
    const double second_bound = walk.second_bound;
    std::int64_t* const histogram = walk.histogram;
    const int last_bin = walk.bins - 1;
    const double bins = walk.bins;
    double sum_r = 0, sum_log = 0;
    std::int64_t first_draws = 0, second_draws = 0, below = 0, above = 0;
    bool finite = true;

    for (; t < end; ++t) {
        // The step's rule for picking a map: strict bounds on the cumulative sums.
        int s = 0;
        if (draws) {
            const double u = random.next_float();
            const bool past_first = !(u < first_bound);
            const bool past_second = !(u < second_bound);
            s = int{past_first} + int{past_first && past_second};
        }
        double slope = 0;
        const double next = tau_and_slope<K>(maps[static_cast<std::size_t>(s)], r, slope);
        if (!std::isfinite(next)) {
            walk.failed_map = s + 1;
            finite = false;
            break;
        }
        first_draws += s == 0;
        second_draws += s == 1;
        if constexpr (Record) {
            sum_r += next;
            sum_log += std::log(slope);
            if (next >= 0 && next <= 1) {
                ++histogram[std::min(static_cast<int>(next * bins), last_bin)];
            } else if (next < 0) {
                ++below;
            } else {
                ++above;
            }
        }
        walk.ring[static_cast<std::size_t>(t) & (ring_size - 1)] = {t + 1, s + 1, next};
        r = next;
    }

    walk.r = r;
    walk.t = t;
    walk.random = random;
    walk.sum_r += sum_r;
    walk.sum_log += sum_log;
    walk.first_draws += first_draws;
    walk.second_draws += second_draws;
    walk.below += below;
    walk.above += above;
    return finite;
}

using BlockFunction = bool (*)(Walk&, std::int64_t);

template <bool Record, std::size_t... K>
constexpr std::array<BlockFunction, sizeof...(K)> block_functions(std::index_sequence<K...>) {
    return {&walk_block<static_cast<int>(K), Record>...};
}

// One instance per stock count, so that the loop over the stocks is unrolled.
constexpr auto burn_in_blocks =
    block_functions<false>(std::make_index_sequence<model::max_stocks + 1>());
constexpr auto recorded_blocks =
    block_functions<true>(std::make_index_sequence<model::max_stocks + 1>());

}  // namespace

std::vector<double> LongRunResult::density() const {
    std::vector<double> values(histogram.size(), 0.0);
    if (recorded == 0) {
        return values;
    }
    // Each bin's count over all recorded points, divided by the bin's width 1 / bins.
    const double scale = static_cast<double>(histogram.size()) / static_cast<double>(recorded);
    std::transform(histogram.begin(), histogram.end(), values.begin(),
                   [scale](std::int64_t count) { return static_cast<double>(count) * scale; });
    return values;
}

LongRun::LongRun(const model::ModelState& model, double start, const LongRunSettings& settings)
    : settings_(settings),
      start_(start),
      stocks_(model.stocks_in_tables()),
      maps_(maps_in_use(model)) {
    settings_.steps = std::clamp<std::int64_t>(settings_.steps, 0, max_long_run_steps);
    settings_.burn_in = std::clamp<std::int64_t>(settings_.burn_in, 0, settings_.steps);
    settings_.bins = std::clamp(settings_.bins, 1, max_bins);
    for (int s = 1; s <= maps_.count; ++s) {
        MapCoefficients& map = coefficients_[static_cast<std::size_t>(s - 1)];
        for (int k = 1; k <= stocks_; ++k) {
            const auto i = static_cast<std::size_t>(k - 1);
            map.R[i] = model.R(s, k).value();
            map.la1[i] = model.la1(s, k).value();
            map.la2[i] = model.la2(s, k);
            map.slope[i] = map.R[i] * map.la1[i] * map.la2[i];
        }
    }
}

LongRunResult LongRun::run(LongRunControl& control) const {
    LongRunResult result;
    result.start = start_;
    result.last = start_;
    result.maps = maps_;
    result.histogram.assign(static_cast<std::size_t>(settings_.bins), 0);
    result.mean_r = not_a_number;
    result.lyapunov = not_a_number;
    control.steps_done.store(0, std::memory_order_relaxed);
    if (maps_.count == 0) {
        result.end = LongRunEnd::no_map;
        return result;
    }

    Walk walk;
    walk.maps = &coefficients_;
    walk.map_count = maps_.count;
    walk.first_bound = maps_.threshold[0];
    walk.second_bound = maps_.threshold[1];
    walk.random = model::UniformGenerator(settings_.seed);
    walk.r = start_;
    walk.histogram = result.histogram.data();
    walk.bins = settings_.bins;

    const auto stocks = static_cast<std::size_t>(stocks_);
    bool finite = true;
    while (walk.t < settings_.steps) {
        if (control.cancel.load(std::memory_order_relaxed)) {
            result.end = LongRunEnd::cancelled;
            break;
        }
        // A block never straddles the end of the burn-in, so each runs one kind of loop.
        const bool record = walk.t >= settings_.burn_in;
        const std::int64_t limit = record ? settings_.steps : settings_.burn_in;
        const std::int64_t end = std::min(walk.t + cancel_check_steps, limit);
        finite = (record ? recorded_blocks : burn_in_blocks)[stocks](walk, end);
        control.steps_done.store(walk.t, std::memory_order_relaxed);
        if (!finite) {
            result.end = LongRunEnd::not_finite;
            result.failed_map = walk.failed_map;
            result.failed_from = walk.r;
            break;
        }
    }

    result.steps_taken = walk.t;
    result.last = walk.r;
    result.recorded = std::max<std::int64_t>(0, walk.t - settings_.burn_in);
    result.below = walk.below;
    result.above = walk.above;
    if (result.recorded > 0) {
        result.mean_r = walk.sum_r / static_cast<double>(result.recorded);
        result.lyapunov = walk.sum_log / static_cast<double>(result.recorded);
    }
    result.draws = {walk.first_draws, walk.second_draws,
                    walk.t - walk.first_draws - walk.second_draws};
    const std::int64_t kept = std::min<std::int64_t>(walk.t, kept_steps);
    result.last_steps.reserve(static_cast<std::size_t>(kept));
    for (std::int64_t t = walk.t - kept; t < walk.t; ++t) {
        result.last_steps.push_back(walk.ring[static_cast<std::size_t>(t) & (ring_size - 1)]);
    }
    return result;
}

}  // namespace quobel::analysis
