// The long runs' engine: the scalar loop of one chain, the loop over blocks and batches that
// serves both it and the lanes of a vector kernel, and the results of the chains.
#include "analysis/chain_engine.hpp"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <tuple>
#include <utility>

#include "analysis/batch_means.hpp"

namespace quobel::analysis::engine {

namespace {

constexpr double not_a_number = std::numeric_limits<double>::quiet_NaN();

// Two doubles that one instruction adds, multiplies or divides at once.
using Pair = double __attribute__((vector_size(2 * sizeof(double))));

inline Pair pair(const std::array<double, model::max_stocks>& values, std::size_t k) {
    return Pair{values[k], values[k + 1]};
}

struct Terms {
    double tau = 0;    // tau(r)
    double rest = 0;   // 1 - tau(r)
    double slope = 0;  // tau'(r)
};

// tau, 1 - tau and tau' of a map of K stocks with one division per stock, two stocks at a time:
// the even stocks' terms add up in one sum, the odd ones' in another, and the two sums are added
// last. The vector kernels keep exactly this order.
template <int K, bool Paired>
[[gnu::always_inline]] inline Terms fast_terms(const MapCoefficients& map, double p, double q) {
    const Pair ps{p, p};
    const Pair qs{q, q};
    Pair taus{0, 0}, rests{0, 0}, slopes{0, 0};
    for (std::size_t k = 0; k + 1 < K; k += 2) {
        const Pair denominator = pair(map.la1, k) * ps + pair(map.la2, k) * qs;
        Pair inverse;
        if constexpr (Paired) {
            // 1/a = b/(ab) and 1/b = a/(ab): one division for two, which bounds the step's speed.
            const double both = 1 / (denominator[0] * denominator[1]);
            inverse = Pair{denominator[1] * both, denominator[0] * both};
        } else {
            inverse = 1 / denominator;
        }
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

// Steps chain.t .. end - 1 of one chain. False when a step had no finite result. The maps are
// drawn a stretch ahead, apart from the steps, whose chain of divisions then need not wait for
// the generator. The step's state stays in locals, so that the histograms' stores cannot force
// it out of registers.
template <int K, bool Record, bool Paired>
bool walk_block(Chain& chain, std::int64_t end) {
    constexpr int stretch = max_draw_ahead;
    std::array<std::uint8_t, stretch> drawn{};
    Hot hot = chain.hot;
    std::int64_t t = chain.t;
    const auto& maps = *chain.maps;
    const bool draws = chain.map_count > 1;
    const CountTargets targets = chain.targets;
    while (t < end && !chain.failed) {
        const auto count = static_cast<int>(std::min<std::int64_t>(stretch, end - t));
        if (draws) {
            draw_maps(chain, t, count, drawn.data());
        }
        for (int i = 0; i < count; ++i, ++t) {
            const int s = drawn[static_cast<std::size_t>(i)];
            const auto [tau, rest, slope] =
                fast_terms<K, Paired>(maps[static_cast<std::size_t>(s)], hot.p, hot.q);
            if (!finish_step<Record>(chain, targets, hot, s, tau, rest, slope, t)) {
                break;
            }
        }
    }
    chain.hot = hot;
    chain.t = t;
    return !chain.failed;
}

using BlockFunction = bool (*)(Chain&, std::int64_t);

template <bool Record, bool Paired, std::size_t... K>
constexpr std::array<BlockFunction, sizeof...(K)> block_functions(std::index_sequence<K...>) {
    return {&walk_block<static_cast<int>(K), Record, Paired>...};
}

// One instance per stock count, so that the loop over the stocks is unrolled; by whether the
// inverses are paired, then by stock count.
constexpr std::array burn_in_blocks = {
    block_functions<false, false>(std::make_index_sequence<model::max_stocks + 1>()),
    block_functions<false, true>(std::make_index_sequence<model::max_stocks + 1>())};
constexpr std::array recorded_blocks = {
    block_functions<true, false>(std::make_index_sequence<model::max_stocks + 1>()),
    block_functions<true, true>(std::make_index_sequence<model::max_stocks + 1>())};

// A chain of a task, from the start, its counts cleared where it owns them.
void set_up(Chain& chain, const ChainTask& task) {
    const LongRun& run = *task.run;
    const LongRunSettings& settings = run.settings();
    chain.task = &task;
    chain.maps = &run.coefficients();
    chain.map_count = run.maps().count;
    chain.stocks = run.stocks();
    chain.paired = run.paired_inverses();
    const bool draws = chain.map_count > 1;
    chain.first_threshold = draws ? draw_threshold(run.maps().threshold[0]) : 0;
    chain.second_threshold = draws ? draw_threshold(run.maps().threshold[1]) : 0;
    chain.key = philox_key(settings.seed);
    chain.index = task.chain;
    LongRunResult& counts = task.counts != nullptr ? *task.counts : *task.result;
    if (counts.histogram.size() != static_cast<std::size_t>(settings.bins)) {
        counts.histogram.assign(static_cast<std::size_t>(settings.bins), 0);
    }
    if (counts.log_odds_histogram.size() != static_cast<std::size_t>(log_odds_bins)) {
        counts.log_odds_histogram.assign(static_cast<std::size_t>(log_odds_bins), 0);
    }
    chain.targets = {
        counts.histogram.data(), counts.log_odds_histogram.data(),   &counts,
        &shared_log_odds_bins(), static_cast<double>(settings.bins), settings.bins - 1};
    if (task.keep_last_steps) {
        chain.ring = std::make_unique<TrajectoryPoint[]>(ring_size);
    }
    chain.batch_start = settings.burn_in;
    const double start = run.start();
    const bool upper = start > 0.5;
    const double distance = chain.approach(int{upper}, upper ? 1 - start : start, 0);
    chain.hot.p = upper ? 1 - distance : distance;
    chain.hot.q = upper ? distance : 1 - distance;
}

// The result of a chain that has ended, into its task's result.
void sum_up(const Chain& chain, std::int64_t burn_in, LongRunEnd end, LongRunResult& result) {
    result.end = end;
    if (end == LongRunEnd::not_finite) {
        result.failed_map = chain.failed_map;
        result.failed_from = chain.hot.p;
    }
    result.steps_taken = chain.t;
    result.last = chain.hot.p;
    result.recorded = std::max<std::int64_t>(0, chain.t - burn_in);
    result.boundaries = chain.boundaries;
    const Batches& batches = chain.batches;
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
    const double last_distance = std::min(chain.hot.p, chain.hot.q);
    if (last_distance >= 0 && last_distance <= nearness[0]) {
        result.approached = chain.hot.p < chain.hot.q ? 0 : 1;
    }
    result.draws = {chain.hot.first_draws, chain.hot.second_draws,
                    chain.t - chain.hot.first_draws - chain.hot.second_draws};
    result.last_steps.clear();
    if (chain.ring) {
        const std::int64_t kept = std::min<std::int64_t>(chain.t, kept_steps);
        result.last_steps.reserve(static_cast<std::size_t>(kept));
        for (std::int64_t t = chain.t - kept; t < chain.t; ++t) {
            result.last_steps.push_back(chain.ring[static_cast<std::size_t>(t) & (ring_size - 1)]);
        }
    }
}

}  // namespace

// A result as a run starts it: no statistics yet, and the counts empty unless it owns them.
void start_result(const ChainTask& task) {
    const LongRun& run = *task.run;
    LongRunResult& result = *task.result;
    const bool owns_counts = task.counts == nullptr || task.counts == task.result;
    std::vector<std::int64_t> histogram = std::move(result.histogram);
    std::vector<std::int64_t> log_odds = std::move(result.log_odds_histogram);
    result = LongRunResult{};
    if (owns_counts) {
        histogram.assign(static_cast<std::size_t>(run.settings().bins), 0);
        log_odds.assign(static_cast<std::size_t>(log_odds_bins), 0);
        result.histogram = std::move(histogram);
        result.log_odds_histogram = std::move(log_odds);
    }
    result.start = run.start();
    result.last = run.start();
    result.maps = run.maps();
    result.mean_r = not_a_number;
    result.lyapunov = not_a_number;
    result.mean_r_error = not_a_number;
    result.lyapunov_error = not_a_number;
    result.boundary_lambda = run.boundary_lambda();
    if (run.maps().count == 0) {
        result.end = LongRunEnd::no_map;
    }
}

namespace {

// Short batch b of the recorded steps ends at burn_in + (b + 1) * recorded / (batch_count *
// batch_split), so that batch_split of them make up a batch exactly.
std::int64_t batch_end(const LongRunSettings& settings, int batch) {
    constexpr auto short_batches = static_cast<std::int64_t>(batch_count) * batch_split;
    return settings.burn_in + (settings.steps - settings.burn_in) * (batch + 1) / short_batches;
}

// The walk of a group of chains that step together, block by block: `advance(t, end, record)`
// takes every live chain from t to end and returns the steps the group has taken; `alive()` says
// whether any chain is still live; `close(t)` closes the batch of every live chain at t. A block
// never straddles the end of the burn-in or of a batch, so that the batches close between
// blocks. `done` counts the steps of earlier groups. Returns whether the run was cancelled.
template <class Advance, class Alive, class Close>
bool walk_group(const LongRunSettings& settings, LongRunControl& control, std::int64_t done,
                Advance advance, Alive alive, Close close) {
    int batch = 0;
    std::int64_t t = 0;
    while (t < settings.steps && alive()) {
        if (control.cancel.load(std::memory_order_relaxed)) {
            return true;
        }
        const bool record = t >= settings.burn_in;
        const std::int64_t limit = record ? batch_end(settings, batch) : settings.burn_in;
        const std::int64_t end = std::min(t + cancel_check_steps, limit);
        const std::int64_t taken = advance(t, end, record);
        t = end;
        control.steps_done.store(done + taken, std::memory_order_relaxed);
        if (record && t == limit) {
            close(t);
            ++batch;
        }
    }
    return false;
}

LongRunEnd end_of(const Chain& chain, bool cancelled) {
    return chain.failed ? LongRunEnd::not_finite
           : cancelled  ? LongRunEnd::cancelled
                        : LongRunEnd::finished;
}

}  // namespace

// One chain by the scalar loop.
void run_scalar(const ChainTask& task, LongRunControl& control, std::int64_t done) {
    start_result(task);
    if (task.result->end == LongRunEnd::no_map) {
        return;
    }
    Chain chain;
    set_up(chain, task);
    const LongRunSettings& settings = task.run->settings();
    const auto stocks = static_cast<std::size_t>(chain.stocks);
    const bool cancelled = walk_group(
        settings, control, done,
        [&](std::int64_t, std::int64_t end, bool record) {
            (record ? recorded_blocks : burn_in_blocks)[std::size_t{chain.paired}][stocks](chain,
                                                                                           end);
            return chain.t;
        },
        [&] { return !chain.failed; }, [&](std::int64_t t) { chain.close_batch(t, true); });
    chain.close_batch(chain.t, false);
    sum_up(chain, settings.burn_in, end_of(chain, cancelled), *task.result);
}

// The chains of one lane block, all of one stock count, by the vector kernel.
void run_lanes(std::span<const ChainTask* const> tasks, LongRunControl& control,
               std::int64_t done) {
    std::vector<Chain> chains(tasks.size());
    const auto block = std::make_unique<LaneBlock>();
    const int count = static_cast<int>(tasks.size());
    block->lanes = (count + lane_multiple - 1) / lane_multiple * lane_multiple;
    block->stocks = tasks[0]->run->stocks();
    block->paired = tasks[0]->run->paired_inverses();
    block->bins = tasks[0]->run->settings().bins;
    block->tables = &shared_log_odds_tables();
    for (int lane = 0; lane < block->lanes; ++lane) {
        const auto l = static_cast<std::size_t>(lane);
        const bool real = lane < count;
        Chain& chain = chains[real ? l : 0];
        if (real) {
            set_up(chain, *tasks[l]);
        }
        block->chain[l] = &chain;
        block->live[l] = real ? -1 : 0;
        block->histogram_address[l] = reinterpret_cast<std::uintptr_t>(chain.targets.histogram);
        // Binade b of LogOddsBins starts at exponent field b + 1023 - log_odds_binades.
        block->log_odds_address[l] = reinterpret_cast<std::uintptr_t>(chain.targets.log_odds) +
                                     std::uintptr_t{log_odds_binades - 1023} *
                                         log_odds_bins_per_binade * sizeof(std::int64_t);
        block->three = block->three || chain.map_count > 1;
        for (std::size_t s = 0; s < 3; ++s) {
            const MapCoefficients& map = (*chain.maps)[s];
            for (std::size_t k = 0; k < model::max_stocks; ++k) {
                block->coefficient[s][la1_field][k][l] = map.la1[k];
                block->coefficient[s][la2_field][k][l] = map.la2[k];
                block->coefficient[s][R_la1_field][k][l] = map.R_la1[k];
                block->coefficient[s][R_la2_field][k][l] = map.R_la2[k];
                block->coefficient[s][slope_field][k][l] = map.slope[k];
                block->coefficient[s][complementary_field][k][l] =
                    std::bit_cast<double>(map.complementary ? ~std::uint64_t{0} : 0);
            }
            const bool drawn = s < static_cast<std::size_t>(chain.map_count);
            block->all_complementary = block->all_complementary && (map.complementary || !drawn);
        }
        // One map: no draw ever leaves it.
        const bool draws = chain.map_count > 1;
        const std::uint64_t first = draws ? chain.first_threshold : std::uint64_t{1} << 32;
        const std::uint64_t second = draws ? chain.second_threshold : std::uint64_t{1} << 32;
        block->last_below[0][l] = static_cast<std::int64_t>(first) - 1;
        block->last_below[1][l] = static_cast<std::int64_t>(second) - 1;
        for (int round = 0; round < philox_rounds; ++round) {
            const PhiloxKey key = philox_round_key(chain.key, round);
            const auto r = static_cast<std::size_t>(round);
            block->round_key[r][0][l] = key[0];
            block->round_key[r][1][l] = key[1];
        }
        block->index[0][l] = static_cast<std::uint32_t>(chain.index);
        block->index[1][l] = chain.index >> 32;
        block->watch[0][l] = chain.watch[0];
        block->watch[1][l] = chain.watch[1];
        block->set_hot(lane, chain.hot);
    }
    // A map that every lane has as the same bits as lane 0 goes into the table: the maps of an
    // ensemble or of a sweep along the chances, and all but one along any other parameter.
    const auto same_value = [&](std::size_t s, std::size_t field, std::size_t k) {
        const auto* values = block->coefficient[s][field][k];
        return std::all_of(values, values + block->lanes, [&](double value) {
            return std::bit_cast<std::uint64_t>(value) == std::bit_cast<std::uint64_t>(values[0]);
        });
    };
    int varying = 0;
    for (std::size_t s = 0; s < 3; ++s) {
        bool same = true;
        for (std::size_t field = 0; field < fields; ++field) {
            for (std::size_t k = 0; k < model::max_stocks; ++k) {
                const bool own = !same_value(s, field, k);
                same = same && !own;
                block->own_coefficient[field][k] = block->own_coefficient[field][k] || own;
            }
        }
        if (!same) {
            ++varying;
            block->varying_map = static_cast<int>(s);
        }
    }
    block->sharing = varying == 0   ? Sharing::every_map
                     : varying == 1 ? Sharing::all_but_one
                                    : Sharing::none;
    for (std::size_t s = 0; s < 3; ++s) {
        for (std::size_t k = 0; k < model::max_stocks; ++k) {
            for (std::size_t field = 0; field < fields; ++field) {
                block->table[field][k][s] = block->coefficient[s][field][k][0];
            }
        }
    }
    const LongRunSettings& settings = tasks[0]->run->settings();
    const auto live_lanes = [&] {
        return std::count_if(block->live, block->live + count,
                             [](std::int64_t live) { return live != 0; });
    };
    const bool cancelled = walk_group(
        settings, control, done,
        [&](std::int64_t t, std::int64_t end, bool record) {
            advance_lanes(*block, t, end, record);
            std::int64_t taken = 0;
            for (Chain& chain : chains) {
                chain.t = chain.failed ? chain.t : end;
                taken += chain.t;
            }
            return taken;
        },
        [&] { return live_lanes() > 0; },
        [&](std::int64_t t) {
            for (int lane = 0; lane < count; ++lane) {
                if (block->live[lane] != 0) {
                    Chain& chain = chains[static_cast<std::size_t>(lane)];
                    chain.hot = block->hot(lane);
                    chain.close_batch(t, true);
                    block->set_hot(lane, chain.hot);
                }
            }
        });
    for (int lane = 0; lane < count; ++lane) {
        Chain& chain = chains[static_cast<std::size_t>(lane)];
        if (block->live[lane] != 0) {
            chain.hot = block->hot(lane);
        }
        chain.close_batch(chain.t, false);
        sum_up(chain, settings.burn_in, end_of(chain, cancelled),
               *tasks[static_cast<std::size_t>(lane)]->result);
    }
}

std::uint64_t draw_threshold(double bound) {
    constexpr double all = 0x1p32;
    if (!(bound > 0)) {
        return 0;
    }
    const double scaled = bound * all;
    return scaled >= all ? std::uint64_t{1} << 32 : static_cast<std::uint64_t>(std::ceil(scaled));
}

double Chain::approach(int side, double distance, std::int64_t step) {
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

void Chain::close_batch(std::int64_t end, bool whole) {
    sum_log += std::log(hot.product);
    hot.product = 1;
    if (whole) {
        batches.sum_r.push_back(hot.sum_r);
        batches.sum_log.push_back(sum_log);
        batches.length.push_back(end - batch_start);
    }
    batches.total_r += hot.sum_r;
    batches.total_log += sum_log;
    hot.sum_r = 0;
    sum_log = 0;
    batch_start = end;
}

const LogOddsBins& shared_log_odds_bins() {
    static const LogOddsBins bins;
    return bins;
}

const LogOddsTables& shared_log_odds_tables() {
    static const LogOddsTables tables = [] {
        const LogOddsBins& bins = shared_log_odds_bins();
        LogOddsTables widened{};
        const auto& edges = bins.upper_edge_fractions();
        const auto entry = [&](std::uint64_t start) {
            // The edges at or below the start of the part.
            const auto place = static_cast<std::uint64_t>(
                std::upper_bound(edges.begin(), edges.end(), start) - edges.begin());
            return (edges[place] - 1) << 12 | place * sizeof(std::int64_t);
        };
        for (std::uint64_t i = 0; i < 256; ++i) {
            widened.by_256th[i] = entry(i << 44) ^ std::uint64_t{1} << 63;
        }
        for (std::uint64_t i = 0; i < 32; ++i) {
            widened.by_32nd[i] = entry(i << 47);
        }
        return widened;
    }();
    return tables;
}

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

Hot LaneBlock::hot(int lane) const {
    const auto l = static_cast<std::size_t>(lane);
    return {p[l], q[l], sum_r[l], product[l], first_draws[l], second_draws[l]};
}

void LaneBlock::set_hot(int lane, const Hot& hot) {
    const auto l = static_cast<std::size_t>(lane);
    p[l] = hot.p;
    q[l] = hot.q;
    sum_r[l] = hot.sum_r;
    product[l] = hot.product;
    first_draws[l] = hot.first_draws;
    second_draws[l] = hot.second_draws;
}

void finish_lane_step(LaneBlock& block, int lane, int s, double tau, double rest, double slope,
                      std::int64_t t, bool record) {
    const auto l = static_cast<std::size_t>(lane);
    if (block.live[l] == 0) {
        // A copy past the tasks, or a chain that failed: kept finite and away from events.
        block.p[l] = 0.5;
        block.q[l] = 0.5;
        block.product[l] = 1;
        return;
    }
    Chain& chain = *block.chain[l];
    Hot hot = block.hot(lane);
    const bool finite = record
                            ? finish_step<true>(chain, chain.targets, hot, s, tau, rest, slope, t)
                            : finish_step<false>(chain, chain.targets, hot, s, tau, rest, slope, t);
    if (!finite) {
        chain.t = t;
        chain.hot = hot;
        block.live[l] = 0;
        block.p[l] = 0.5;
        block.q[l] = 0.5;
        block.product[l] = 1;
        return;
    }
    block.set_hot(lane, hot);
    block.watch[0][l] = chain.watch[0];
    block.watch[1][l] = chain.watch[1];
}

}  // namespace quobel::analysis::engine

namespace quobel::analysis {

LongRunResult LongRun::run(LongRunControl& control) const {
    LongRunResult result;
    const ChainTask task{this, 0, &result, nullptr, true};
    control.steps_done.store(0, std::memory_order_relaxed);
    engine::run_scalar(task, control, 0);
    return result;
}

void run_chains(std::span<const ChainTask> tasks, LongRunControl& control) {
    control.steps_done.store(0, std::memory_order_relaxed);
    // The chains that draw, grouped by stock count in their order, fill lane blocks; the rest
    // run alone.
    std::int64_t done = 0;
    // By stock count, and by whether the inverses are paired above the others.
    std::array<std::vector<const ChainTask*>, 2 * std::size_t{model::max_stocks + 1}> by_stocks;
    for (const ChainTask& task : tasks) {
        engine::start_result(task);
        if (task.result->end == LongRunEnd::no_map) {
            continue;
        }
        const int kind =
            task.run->stocks() + (task.run->paired_inverses() ? model::max_stocks + 1 : 0);
        by_stocks[static_cast<std::size_t>(kind)].push_back(&task);
    }
    for (const auto& group : by_stocks) {
        for (std::size_t first = 0; first < group.size(); first += engine::max_lanes) {
            const std::size_t count =
                std::min<std::size_t>(engine::max_lanes, group.size() - first);
            const std::span<const ChainTask* const> lanes(group.data() + first, count);
            if (control.cancel.load(std::memory_order_relaxed)) {
                // Nothing more starts; the results say so.
                for (const ChainTask* task : lanes) {
                    task->result->end = LongRunEnd::cancelled;
                }
                continue;
            }
            engine::run_lanes(lanes, control, done);
            for (const ChainTask* task : lanes) {
                done += task->result->steps_taken;
            }
        }
    }
    control.steps_done.store(done, std::memory_order_relaxed);
}

}  // namespace quobel::analysis
