// The long run: a tight loop over tau, its complement and its slope, one draw and two histogram
// bins per step.
#include "analysis/long_run.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <tuple>
#include <utility>

#include "analysis/analysed_maps.hpp"
#include "analysis/batch_means.hpp"
#include "analysis/boundary_exponents.hpp"
#include "model/random_source.hpp"

namespace quobel::analysis {

namespace {

using MapCoefficients = LongRun::MapCoefficients;

// The tail is kept in a ring a power of two long, so that the slot is a mask of the step.
constexpr std::size_t ring_size = 1024;
static_assert(ring_size >= kept_steps);

constexpr double not_a_number = std::numeric_limits<double>::quiet_NaN();
// Below this a distance to a boundary has lost its precision: it counts as absorbed.
constexpr double smallest_distance = std::numeric_limits<double>::min();
// The slopes are multiplied up and their logarithm taken only when the product leaves this range.
constexpr double product_low = 0x1p-400;
constexpr double product_high = 0x1p400;

// Everything a walk changes, kept together so that it can go on block after block.
struct Walk {
    const std::array<MapCoefficients, 3>* maps = nullptr;
    int map_count = 0;
    double first_bound = 0;   // a draw not below it leaves map 1
    double second_bound = 0;  // a draw not below it leaves map 2 too
    model::UniformGenerator random;

    // r and 1 - r; the smaller one is carried exactly, the other is 1 minus it.
    double p = 0, q = 1;
    std::int64_t t = 0;  // steps taken

    std::int64_t* histogram = nullptr;
    std::int64_t* log_odds = nullptr;
    const LogOddsBins* log_odds_bins = nullptr;
    int bins = 1;
    std::int64_t below = 0, above = 0;
    std::array<std::int64_t, 2> at_boundary{};
    // The sums of the batch under way; the slopes' product not yet taken into sum_log.
    double sum_r = 0, sum_log = 0, product = 1;
    std::int64_t first_draws = 0, second_draws = 0;
    std::array<TrajectoryPoint, ring_size> ring{};

    // The next distance to each boundary that needs a look: the first nearness not yet reached,
    // then the underflow.
    std::array<double, 2> watch{nearness[0], nearness[0]};
    std::array<BoundaryApproach, 2> boundaries;

    int failed_map = 0;

    // A distance at or below watch[side] after `step`: notes the levels reached and flushes an
    // underflowed distance to 0. Returns the distance to carry.
    double approach(int side, double distance, std::int64_t step) {
        if (distance < 0) {
            return distance;  // outside [0, 1]: shares that are not all positive
        }
        if (distance < smallest_distance) {
            distance = 0;
        }
        BoundaryApproach& boundary = boundaries[static_cast<std::size_t>(side)];
        for (std::size_t level = 0; level < nearness.size(); ++level) {
            if (boundary.first_within[level] < 0 && distance <= nearness[level]) {
                boundary.first_within[level] = step;
            }
        }
        if (distance == 0 && boundary.absorbed < 0) {
            boundary.absorbed = step;
        }
        watch[static_cast<std::size_t>(side)] = boundary.first_within[0] < 0   ? nearness[0]
                                                : boundary.first_within[1] < 0 ? nearness[1]
                                                                               : smallest_distance;
        return distance;
    }
};

// tau, 1 - tau and tau' once more, term by term, leaving out the stocks that neither investor
// holds at this point. False when tau or 1 - tau has no finite value.
bool careful_terms(const MapCoefficients& map, int stocks, double p, double q, double& tau,
                   double& rest, double& slope) {
    tau = 0;
    rest = 0;
    slope = 0;
    for (std::size_t k = 0; k < static_cast<std::size_t>(stocks); ++k) {
        const double held_1 = map.la1[k] * p;
        const double held_2 = map.la2[k] * q;
        if (held_1 == 0 && held_2 == 0) {
            continue;
        }
        const double denominator = held_1 + held_2;
        tau += map.R[k] * held_1 / denominator;
        rest += map.R[k] * held_2 / denominator;
        slope += map.slope[k] / (denominator * denominator);
    }
    if (!map.complementary) {
        rest = 1 - tau;
    }
    return std::isfinite(tau) && std::isfinite(rest);
}

// Two doubles that one instruction adds, multiplies or divides at once.
using Pair = double __attribute__((vector_size(2 * sizeof(double))));

inline Pair pair(const std::array<double, model::max_stocks>& values, std::size_t k) {
    return Pair{values[k], values[k + 1]};
}

// The step's rule for picking a map: strict bounds on the cumulative sums. Returns s - 1. The
// draw keeps all 32 bits of the generator's output, where the window's single-precision draw
// keeps 24: the chances are then met to 2^-32, and a map of chance 1e-7 is not drawn at the rate
// of a multiple of 2^-24 that the exponents do not assume.
[[gnu::always_inline]] inline int drawn_map(model::UniformGenerator& random, double first_bound,
                                            double second_bound) {
    const double u = static_cast<double>(random.next_u32()) * 0x1p-32;
    const bool past_first = !(u < first_bound);
    const bool past_second = !(u < second_bound);
    return int{past_first} + int{past_first && past_second};
}

struct Terms {
    double tau = 0;    // tau(r)
    double rest = 0;   // 1 - tau(r)
    double slope = 0;  // tau'(r)
};

// tau, 1 - tau and tau' of a map of K stocks with one division per stock, two stocks at a time.
template <int K>
[[gnu::always_inline]] inline Terms fast_terms(const MapCoefficients& map, double p, double q) {
    const Pair ps{p, p};
    const Pair qs{q, q};
    Pair taus{0, 0}, rests{0, 0}, slopes{0, 0};
    for (std::size_t k = 0; k + 1 < K; k += 2) {
        const Pair inverse = 1 / (pair(map.la1, k) * ps + pair(map.la2, k) * qs);
        taus += pair(map.R_la1, k) * inverse;
        rests += pair(map.R_la2, k) * inverse;
        slopes += pair(map.slope, k) * inverse * inverse;
    }
    if constexpr (K % 2 == 1) {
        const double inverse = 1 / (map.la1[K - 1] * p + map.la2[K - 1] * q);
        taus[0] += map.R_la1[K - 1] * inverse;
        rests[0] += map.R_la2[K - 1] * inverse;
        slopes[0] += map.slope[K - 1] * inverse * inverse;
    }
    Terms terms{p * (taus[0] + taus[1]), q * (rests[0] + rests[1]), slopes[0] + slopes[1]};
    if (!map.complementary) {
        terms.rest = 1 - terms.tau;
    }
    return terms;
}

// What a block adds to the walk's counts and sums. The block keeps it as a local and hands it
// over at its end, so that the histograms' stores cannot force the sums out of registers.
struct BlockTally {
    std::int64_t* histogram;
    std::int64_t* log_odds;
    const LogOddsBins* log_odds_bins;
    std::array<std::int64_t, 2>* at_boundary;
    int last_bin;
    double bins;
    double sum_r = 0, product, sum_log = 0;
    std::int64_t first_draws = 0, second_draws = 0, below = 0, above = 0;

    explicit BlockTally(Walk& walk)
        : histogram(walk.histogram),
          log_odds(walk.log_odds),
          log_odds_bins(walk.log_odds_bins),
          at_boundary(&walk.at_boundary),
          last_bin(walk.bins - 1),
          bins(walk.bins),
          product(walk.product) {}

    // The point p = r, q = 1 - r after a step with slope tau'; distance is that to the nearer
    // boundary, `upper` when that is r = 1.
    [[gnu::always_inline]] void record(double p, double q, double slope, double distance,
                                       bool upper) {
        sum_r += p;
        product *= slope;
        if (!(product > product_low && product < product_high)) {
            sum_log += std::log(product);
            product = 1;
        }
        if (p >= 0 && p <= 1) {
            ++histogram[std::min(static_cast<int>(p * bins), last_bin)];
        } else if (p < 0) {
            ++below;
        } else {
            ++above;
        }
        if (p > 0 && q > 0) {
            ++log_odds[log_odds_bins->bin(p / q)];
        } else if (distance == 0) {
            ++(*at_boundary)[std::size_t{upper}];
        }
    }

    void hand_over(Walk& walk) const {
        walk.sum_r += sum_r;
        walk.sum_log += sum_log;
        walk.product = product;
        walk.first_draws += first_draws;
        walk.second_draws += second_draws;
        walk.below += below;
        walk.above += above;
    }
};

// Steps walk.t .. end - 1; with Record the points enter the statistics. False when a step had no
// finite result: the walk then stands before that step. The loop is the run's whole cost and
// stays whole here: its pieces are forced inline, so it compiles as one tight loop, as fast as
// when they were written out in it.
template <int K, bool Record>
bool walk_block(Walk& walk, std::int64_t end) {
    // Locals, so that the histograms' stores cannot force the walk's state out of registers.
    double p = walk.p;
    double q = walk.q;
    std::int64_t t = walk.t;
    model::UniformGenerator random = walk.random;
    const auto& maps = *walk.maps;
    const bool draws = walk.map_count > 1;
    const double first_bound = walk.first_bound;
    const double second_bound = walk.second_bound;
    BlockTally tally(walk);
    bool finite = true;

    for (; t < end; ++t) {
        const int s = draws ? drawn_map(random, first_bound, second_bound) : 0;
        const MapCoefficients& map = maps[static_cast<std::size_t>(s)];
        auto [tau, rest, slope] = fast_terms<K>(map, p, q);
        if (!std::isfinite(tau + rest + slope) && !careful_terms(map, K, p, q, tau, rest, slope)) {
            walk.failed_map = s + 1;
            finite = false;
            break;
        }
        const bool upper = tau > rest;
        double distance = upper ? rest : tau;
        if (distance <= walk.watch[upper]) {
            distance = walk.approach(int{upper}, distance, t + 1);
        }
        p = upper ? 1 - distance : distance;
        q = upper ? distance : 1 - distance;
        tally.first_draws += s == 0;
        tally.second_draws += s == 1;
        if constexpr (Record) {
            tally.record(p, q, slope, distance, upper);
        }
        walk.ring[static_cast<std::size_t>(t) & (ring_size - 1)] = {t + 1, s + 1, p};
    }

    walk.p = p;
    walk.q = q;
    walk.t = t;
    walk.random = random;
    tally.hand_over(walk);
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

// The batch under way ends: its sums join those of the others and the totals.
struct Batches {
    // Of each short batch that ran whole, in order, the empty ones too.
    std::vector<double> sum_r, sum_log;
    std::vector<std::int64_t> length;
    double total_r = 0, total_log = 0;

    void close(Walk& walk, std::int64_t steps, bool whole) {
        walk.sum_log += std::log(walk.product);
        walk.product = 1;
        if (whole) {
            sum_r.push_back(walk.sum_r);
            sum_log.push_back(walk.sum_log);
            length.push_back(steps);
        }
        total_r += walk.sum_r;
        total_log += walk.sum_log;
        walk.sum_r = 0;
        walk.sum_log = 0;
    }
};

// Walks the whole run block by block, closing the batches as they end; how the run ended.
LongRunEnd walk_run(Walk& walk, Batches& batches, const LongRunSettings& settings, int stocks,
                    LongRunControl& control) {
    // Short batch b of the recorded steps ends at burn_in + (b + 1) * recorded / (batch_count *
    // batch_split), so that batch_split of them make up a batch exactly.
    const std::int64_t to_record = settings.steps - settings.burn_in;
    const auto batch_end = [&](int batch) {
        constexpr auto short_batches = static_cast<std::int64_t>(batch_count) * batch_split;
        return settings.burn_in + to_record * (batch + 1) / short_batches;
    };
    int batch = 0;
    std::int64_t batch_start = settings.burn_in;
    LongRunEnd end_of_run = LongRunEnd::finished;
    while (walk.t < settings.steps) {
        if (control.cancel.load(std::memory_order_relaxed)) {
            end_of_run = LongRunEnd::cancelled;
            break;
        }
        // A block never straddles the end of the burn-in or of a batch, so each runs one kind
        // of loop and the batches close between blocks.
        const bool record = walk.t >= settings.burn_in;
        const std::int64_t limit = record ? batch_end(batch) : settings.burn_in;
        const std::int64_t end = std::min(walk.t + cancel_check_steps, limit);
        const bool finite = (record ? recorded_blocks
                                    : burn_in_blocks)[static_cast<std::size_t>(stocks)](walk, end);
        control.steps_done.store(walk.t, std::memory_order_relaxed);
        if (!finite) {
            end_of_run = LongRunEnd::not_finite;
            break;
        }
        if (record && walk.t == limit) {
            batches.close(walk, walk.t - batch_start, true);
            batch_start = walk.t;
            ++batch;
        }
    }
    batches.close(walk, walk.t - batch_start, false);
    return end_of_run;
}

// The statistics of a walk that has ended, into `result`.
void sum_up(const Walk& walk, const Batches& batches, std::int64_t burn_in, LongRunResult& result) {
    result.steps_taken = walk.t;
    result.last = walk.p;
    result.recorded = std::max<std::int64_t>(0, walk.t - burn_in);
    result.below = walk.below;
    result.above = walk.above;
    result.at_boundary = walk.at_boundary;
    result.boundaries = walk.boundaries;
    if (result.recorded > 0) {
        result.mean_r = batches.total_r / static_cast<double>(result.recorded);
        result.lyapunov = batches.total_log / static_cast<double>(result.recorded);
    }
    // The errors come from the whole batches; the short batches compared with them are those
    // that make these up, so that both see the same steps.
    std::vector<std::int64_t> lengths = batches.length;
    lengths.resize(lengths.size() - lengths.size() % batch_split);
    bool too_small = false;
    const auto error_of = [&](const std::vector<double>& sums) {
        const std::vector<double> long_means = grouped_means(sums, lengths, batch_split);
        const std::vector<double> short_means = grouped_means(sums, lengths, 1);
        const double error = batch_means_error(long_means);
        too_small =
            too_small || batch_error_still_growing(error, static_cast<int>(long_means.size()),
                                                   batch_means_error(short_means),
                                                   static_cast<int>(short_means.size()));
        return std::pair{error, static_cast<int>(long_means.size())};
    };
    std::tie(result.mean_r_error, result.batches) = error_of(batches.sum_r);
    result.lyapunov_error = error_of(batches.sum_log).first;
    result.errors_may_be_too_small = too_small;
    const double last_distance = std::min(walk.p, walk.q);
    if (last_distance >= 0 && last_distance <= nearness[0]) {
        result.approached = walk.p < walk.q ? 0 : 1;
    }
    result.draws = {walk.first_draws, walk.second_draws,
                    walk.t - walk.first_draws - walk.second_draws};
    const std::int64_t kept = std::min<std::int64_t>(walk.t, kept_steps);
    result.last_steps.reserve(static_cast<std::size_t>(kept));
    for (std::int64_t t = walk.t - kept; t < walk.t; ++t) {
        result.last_steps.push_back(walk.ring[static_cast<std::size_t>(t) & (ring_size - 1)]);
    }
}

}  // namespace

std::string nearness_text(std::size_t level) {
    return "1e" + std::to_string(std::lround(std::log10(nearness.at(level))));
}

std::string error_bar_warning(const LongRunResult& result) {
    return result.errors_may_be_too_small ? "error bars may be too small: run longer" : "";
}

int absorbed_boundary(const LongRunResult& result) {
    for (int side = 0; side < 2; ++side) {
        if (result.boundaries[static_cast<std::size_t>(side)].absorbed >= 0) {
            return side;
        }
    }
    return -1;
}

std::string absorption_text(const LongRunResult& result) {
    const int side = absorbed_boundary(result);
    if (side < 0) {
        return {};
    }
    const std::string boundary = std::to_string(side);
    return "reached r = " + boundary + " to within the smallest double at step " +
           std::to_string(result.boundaries[static_cast<std::size_t>(side)].absorbed) +
           ": from there r is " + boundary + " itself, and the orbit's exponent is then Lambda_" +
           boundary + "'s";
}

std::string absorbed_average_note(const LongRunResult& result) {
    const int side = absorbed_boundary(result);
    if (side < 0) {
        return {};
    }
    return "(absorbed: exactly " + std::to_string(side) + " from step " +
           std::to_string(result.boundaries[static_cast<std::size_t>(side)].absorbed) +
           ", where the distance underflowed; the error does not count that)";
}

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
    : settings_(settings), start_(start), stocks_(0) {
    settings_.steps = std::clamp<std::int64_t>(settings_.steps, 0, max_long_run_steps);
    settings_.burn_in = std::clamp<std::int64_t>(settings_.burn_in, 0, settings_.steps);
    settings_.bins = std::clamp(settings_.bins, 1, max_bins);
    const AnalysedMaps analysed = analysed_maps(model);
    maps_ = analysed.maps;
    stocks_ = analysed.stocks;
    for (int s = 1; s <= maps_.count; ++s) {
        const AnalysedMap& from = analysed.map[static_cast<std::size_t>(s - 1)];
        MapCoefficients& map = coefficients_[static_cast<std::size_t>(s - 1)];
        map.complementary = from.complementary;
        for (std::size_t k = 0; k < static_cast<std::size_t>(stocks_); ++k) {
            if (from.held_by_neither[k]) {
                // Its term is 0 at every r: a stock without payoff that both hold alike.
                map.la1[k] = map.la2[k] = 1;
                continue;
            }
            map.R[k] = from.R[k];
            map.la1[k] = from.la1[k];
            map.la2[k] = from.la2[k];
            map.R_la1[k] = map.R[k] * map.la1[k];
            map.R_la2[k] = map.R[k] * map.la2[k];
            map.slope[k] = map.R[k] * map.la1[k] * map.la2[k];
        }
    }
    const Survival exponents = survival(analysed);
    lambda_ = {exponents.lambda_0, exponents.lambda_1};
}

LongRunResult LongRun::run(LongRunControl& control) const {
    LongRunResult result;
    result.start = start_;
    result.last = start_;
    result.maps = maps_;
    result.histogram.assign(static_cast<std::size_t>(settings_.bins), 0);
    result.log_odds_histogram.assign(static_cast<std::size_t>(log_odds_bins), 0);
    result.mean_r = not_a_number;
    result.lyapunov = not_a_number;
    result.mean_r_error = not_a_number;
    result.lyapunov_error = not_a_number;
    result.boundary_lambda = lambda_;
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
    const bool upper = start_ > 0.5;
    const double distance = walk.approach(int{upper}, upper ? 1 - start_ : start_, 0);
    walk.p = upper ? 1 - distance : distance;
    walk.q = upper ? distance : 1 - distance;
    walk.histogram = result.histogram.data();
    walk.log_odds = result.log_odds_histogram.data();
    walk.log_odds_bins = &log_odds_;
    walk.bins = settings_.bins;

    Batches batches;
    result.end = walk_run(walk, batches, settings_, stocks_, control);
    if (result.end == LongRunEnd::not_finite) {
        result.failed_map = walk.failed_map;
        result.failed_from = walk.p;
    }
    sum_up(walk, batches, settings_.burn_in, result);
    return result;
}

}  // namespace quobel::analysis
