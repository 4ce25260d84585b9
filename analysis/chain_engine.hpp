// The engine behind LongRun::run and run_chains: the state of one chain, the scalar step that
// every lane falls back on for its rare events, and the lanes of chains that a vector kernel
// advances together. Internal to the analysis library.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "analysis/ensemble.hpp"
#include "analysis/long_run.hpp"
#include "analysis/philox.hpp"

namespace quobel::analysis::engine {

using MapCoefficients = LongRun::MapCoefficients;

// The tail is kept in a ring a power of two long, so that the slot is a mask of the step.
inline constexpr std::size_t ring_size = 1024;
static_assert(ring_size >= kept_steps);

// Below this a distance to a boundary has lost its precision: it counts as absorbed.
inline constexpr double smallest_distance = std::numeric_limits<double>::min();
// The slopes are multiplied up and their logarithm taken only when the product leaves this range.
inline constexpr double product_low = 0x1p-400;
inline constexpr double product_high = 0x1p400;

// The draw x of 32 bits picks an earlier map when u = x * 2^-32 < bound. u is exact and scaling
// by 2^32 is exact and monotone, so that holds exactly when x < bound * 2^32, that is when x is
// below the whole number returned here (0 for a NaN or non-positive bound, 2^32 from bound 1 on).
std::uint64_t draw_threshold(double bound);

// The map of draw x: s - 1, as the cumulative bounds pick it.
inline int drawn_map(std::uint32_t x, std::uint64_t first, std::uint64_t second) {
    const bool past_first = x >= first;
    const bool past_second = x >= second;
    return int{past_first} + int{past_first && past_second};
}

// What a step changes on every step, apart from the chain's cold state.
struct Hot {
    double p = 0, q = 1;  // r and 1 - r; the smaller one is carried exactly
    double sum_r = 0;     // of the batch under way
    double product = 1;   // the slopes' product not yet taken into sum_log
    std::int64_t first_draws = 0, second_draws = 0;
};

// The batches' sums of one chain.
struct Batches {
    // Of each short batch that ran whole, in order, the empty ones too.
    std::vector<double> sum_r, sum_log;
    std::vector<std::int64_t> length;
    double total_r = 0, total_log = 0;
};

// Where a chain's points are counted; a local copy of it stays in registers through a loop.
struct CountTargets {
    std::int64_t* histogram = nullptr;
    std::int64_t* log_odds = nullptr;
    LongRunResult* counts = nullptr;  // below, above, at_boundary
    const LogOddsBins* log_odds_bins = nullptr;
    double bins = 1;
    int last_bin = 0;
};

// One chain: its parameters, where its counts go, and the state that changes only now and then.
struct Chain {
    const ChainTask* task = nullptr;
    const std::array<MapCoefficients, 3>* maps = nullptr;
    int map_count = 0;
    int stocks = 0;
    bool paired = false;  // LongRun::paired_inverses
    std::uint64_t first_threshold = 0, second_threshold = 0;
    PhiloxKey key{};
    std::uint64_t index = 0;

    CountTargets targets;
    std::unique_ptr<TrajectoryPoint[]> ring;  // null unless the last steps are kept

    Hot hot;
    std::int64_t t = 0;  // steps taken
    double sum_log = 0;
    // The next distance to each boundary that needs a look: the first nearness not yet reached,
    // then the underflow.
    std::array<double, 2> watch{nearness[0], nearness[0]};
    std::array<BoundaryApproach, 2> boundaries;
    bool failed = false;
    int failed_map = 0;
    std::int64_t batch_start = 0;
    Batches batches;

    PhiloxCounter block_counter(std::int64_t block) const {
        return philox_counter(index, static_cast<std::uint64_t>(block));
    }

    // A distance at or below watch[side] after `step`: notes the levels reached and flushes an
    // underflowed distance to 0. Returns the distance to carry.
    double approach(int side, double distance, std::int64_t step);

    // The batch under way ends: its sums join those of the others and the totals.
    void close_batch(std::int64_t end, bool whole);
};

// The log-odds bins every run uses.
const LogOddsBins& shared_log_odds_bins();

// Their two tables in one, for the vector kernels. Entry i, for the part of the binade from
// fraction f on: with j the places whose upper edge is at or below f and u the fraction of place
// j's upper edge (2^52 past the last), (u - 1) << 12 | j * 8. A fraction x shifted to the top bits
// then exceeds the entry as a whole number exactly when x >= u, and j * 8 is the offset in bytes
// of place j's count. By 256ths for a gather, with the sign bit flipped for a signed compare;
// by 32nds, which the edges, more than a 32nd apart, also leave with one edge at most, for a
// lookup among registers.
struct LogOddsTables {
    static constexpr std::uint64_t place_mask = 0xFFF;
    alignas(64) std::uint64_t by_256th[256];
    alignas(64) std::uint64_t by_32nd[32];
};
const LogOddsTables& shared_log_odds_tables();

// tau, 1 - tau and tau' once more, term by term, leaving out the stocks that neither investor
// holds at this point. False when tau or 1 - tau has no finite value.
bool careful_terms(const MapCoefficients& map, int stocks, double p, double q, double& tau,
                   double& rest, double& slope);

// The point p = r, q = 1 - r into the histograms; distance is that to the nearer boundary,
// `upper` when that is r = 1.
[[gnu::always_inline]] inline void count_point(const CountTargets& targets, double p, double q,
                                               double distance, bool upper) {
    if (p >= 0 && p <= 1) {
        ++targets.histogram[std::min(static_cast<int>(p * targets.bins), targets.last_bin)];
    } else if (p < 0) {
        ++targets.counts->below;
    } else {
        ++targets.counts->above;
    }
    if (p > 0 && q > 0) {
        ++targets.log_odds[targets.log_odds_bins->bin(p / q)];
    } else if (distance == 0) {
        ++targets.counts->at_boundary[std::size_t{upper}];
    }
}

// The rest of step t (from t to t + 1) once its map s - 1 and the fast terms are known: the
// careful terms when these are not finite, the nearness, the new point and its statistics.
// False when the step has no finite result: the chain then stands before it. The scalar loop and
// every lane's rare events go through this one function, so their bits agree.
template <bool Record>
[[gnu::always_inline]] inline bool finish_step(Chain& chain, const CountTargets& targets, Hot& hot,
                                               int s, double tau, double rest, double slope,
                                               std::int64_t t) {
    const MapCoefficients& map = (*chain.maps)[static_cast<std::size_t>(s)];
    if (!std::isfinite(tau + rest + slope) &&
        !careful_terms(map, chain.stocks, hot.p, hot.q, tau, rest, slope)) {
        chain.failed = true;
        chain.failed_map = s + 1;
        return false;
    }
    const bool upper = tau > rest;
    double distance = upper ? rest : tau;
    if (distance <= chain.watch[std::size_t{upper}]) {
        distance = chain.approach(int{upper}, distance, t + 1);
    }
    hot.p = upper ? 1 - distance : distance;
    hot.q = upper ? distance : 1 - distance;
    hot.first_draws += s == 0;
    hot.second_draws += s == 1;
    if constexpr (Record) {
        hot.sum_r += hot.p;
        hot.product *= slope;
        if (!(hot.product > product_low && hot.product < product_high)) {
            chain.sum_log += std::log(hot.product);
            hot.product = 1;
        }
        count_point(targets, hot.p, hot.q, distance, upper);
    }
    if (chain.ring) {
        chain.ring[static_cast<std::size_t>(t) & (ring_size - 1)] = {t + 1, s + 1, hot.p};
    }
    return true;
}

// The lanes a vector kernel advances together: chains of the same stock count, their
// coefficients structure-of-arrays by lane, so that each lane picks its own map by blends.
inline constexpr int max_lanes = 32;
// Lanes are filled in multiples of this, which every vector length divides.
inline constexpr int lane_multiple = 8;

// What a lane keeps of each map and stock; the map's complementary flag (all ones or 0, as a
// double's bits) as a field of stock 0.
enum Field {
    la1_field,
    la2_field,
    R_la1_field,
    R_la2_field,
    slope_field,
    complementary_field,
    fields
};

// Which of their maps the lanes of a block have in common.
enum class Sharing { every_map, all_but_one, none };

struct alignas(64) LaneBlock {
    int lanes = 0;        // a multiple of lane_multiple, up to max_lanes
    int stocks = 0;       // of every lane
    bool paired = false;  // every lane's LongRun::paired_inverses
    bool three = false;   // some lane draws among maps: pick by both thresholds
    // Every map that a lane draws is complementary: no lane takes 1 - tau.
    bool all_complementary = true;
    // The maps that every lane has the same, as all of an ensemble's and all but the one whose
    // parameter a sweep varies: their coefficients side by side in `table`, from which a kernel
    // with vectors of four lanes or more picks each lane's map by its number.
    Sharing sharing = Sharing::none;
    int varying_map = 0;  // with Sharing::all_but_one
    // Where the lanes' own values of that map differ.
    bool own_coefficient[fields][model::max_stocks]{};
    alignas(64) double table[fields][model::max_stocks][lane_multiple]{};
    alignas(64) double coefficient[3][fields][model::max_stocks][max_lanes];
    // The largest draw below each threshold, -1 when none is: a draw passes it when greater.
    alignas(64) std::int64_t last_below[2][max_lanes];
    // The key of each round, each word in a 64-bit lane.
    alignas(64) std::uint64_t round_key[philox_rounds][2][max_lanes];
    alignas(64) std::uint64_t index[2][max_lanes];  // the chain's index, low and high words
    // The draws of blocks of four steps, the block of an even number first.
    alignas(64) std::uint64_t words[2][4][max_lanes];
    alignas(64) double p[max_lanes], q[max_lanes], sum_r[max_lanes], product[max_lanes];
    alignas(64) double watch[2][max_lanes];
    alignas(64) std::int64_t first_draws[max_lanes], second_draws[max_lanes];
    // The kernel's draws not yet in those counts: the first map's in the low 32 bits, the
    // second's in the high ones.
    alignas(64) std::uint64_t draws[max_lanes]{};
    Chain* chain[max_lanes]{};  // lanes past the tasks run copies of lane 0 into scratch
    // All ones where the lane writes its counts: a real chain that has not failed.
    alignas(64) std::int64_t live[max_lanes]{};
    // The addresses of the chain's histogram and of the count in its log-odds histogram that
    // the first bin of the exponent's field 0 would have, to which a kernel adds its bins'
    // offsets.
    alignas(64) std::uint64_t histogram_address[max_lanes]{};
    alignas(64) std::uint64_t log_odds_address[max_lanes]{};
    int bins = 1;
    const LogOddsTables* tables = nullptr;

    Hot hot(int lane) const;
    void set_hot(int lane, const Hot& hot);
};

// A lane's step whose fast terms need a second look or whose point has an event, through
// finish_step; then the lane's state back into the block. Called by the kernels.
void finish_lane_step(LaneBlock& block, int lane, int s, double tau, double rest, double slope,
                      std::int64_t t, bool record);

// A task's result as its run starts: no statistics yet; the histograms sized and cleared only
// where the result holds its own counts. A run without maps ends here as no_map.
void start_result(const ChainTask& task);

// One chain by the scalar loop, from start_result on; `done` steps of other chains count before
// its own in control.steps_done.
void run_scalar(const ChainTask& task, LongRunControl& control, std::int64_t done);

// Up to max_lanes chains of one stock count together, by the vector kernel.
void run_lanes(std::span<const ChainTask* const> tasks, LongRunControl& control, std::int64_t done);

// The maps of steps t .. t + count - 1 of a chain that draws, s - 1 each, by the vector
// kernel's generator, which computes blocks of four draws side by side; count is at most
// max_draw_ahead.
inline constexpr int max_draw_ahead = 64;
void draw_maps(const Chain& chain, std::int64_t t, int count, std::uint8_t* maps);

// Advances every lane of the block over steps t .. end - 1, by the best kernel the processor
// runs. Every lane's points enter the statistics when `record`.
void advance_lanes(LaneBlock& block, std::int64_t t, std::int64_t end, bool record);

// The kernel's compiled targets that this processor runs, best first, as Highway's bits.
std::vector<std::int64_t> kernel_targets();
// From now on the kernel runs on `target` (one of kernel_targets()), or again on the best with
// 0: for tests and benchmarks.
void force_kernel_target(std::int64_t target);
// The target the kernel runs on now, and a target's name ("AVX2").
std::int64_t kernel_target();
std::string kernel_target_name(std::int64_t target);
// The log-odds bins that the kernel counts a plain step's ratios in (normal, below 2^1022).
std::vector<int> kernel_log_odds_bins(std::span<const double> ratios);

}  // namespace quobel::analysis::engine
