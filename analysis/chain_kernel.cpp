// The vector kernel of the chain engine: one chain per lane, every lane with its own
// coefficients, point, sums and generator, compiled for each x86 target and picked at run time.
//
// Highway rather than compiler-cloned loops: its operations are explicit (no fused
// multiply-add appears unless written, and the order of every sum is the one written here, that
// of the scalar loop), and a test can force each compiled target in turn. Rare events go to the
// scalar finish_step lane by lane, so that std::log and the careful terms are the scalar ones.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "analysis/chain_kernel.cpp"
#include "hwy/foreach_target.h"  // IWYU pragma: keep
// The include above compiles this file once per target.
#include "hwy/highway.h"

#include <algorithm>

#include "analysis/chain_engine.hpp"

HWY_BEFORE_NAMESPACE();
namespace quobel::analysis::engine::HWY_NAMESPACE {
namespace {

namespace hn = hwy::HWY_NAMESPACE;

using D = hn::ScalableTag<double>;
using DU = hn::RebindToUnsigned<D>;
using DI = hn::RebindToSigned<D>;
using V = hn::Vec<D>;
using VU = hn::Vec<DU>;
using VI = hn::Vec<DI>;

// The product of the low 32 bits of each lane and m, all 64 bits of it.
HWY_INLINE VU multiply_low(VU x, std::uint32_t m) {
#if HWY_TARGET == HWY_SCALAR
    return hn::Set(DU(), (hn::GetLane(x) & 0xFFFFFFFFu) * std::uint64_t{m});
#else
    const hn::Repartition<std::uint32_t, DU> d32;
    return hn::MulEven(hn::BitCast(d32, x), hn::Set(d32, m));
#endif
}

// Philox4x32-10 of each lane's counter c, round_key(round, word) the lanes' key of the round;
// the result in c. Each 32-bit word sits in a 64-bit lane. Only the low 32 bits of a lane enter a
// product, and sums and xors carry nothing from high bits down, so the high bits are cleared once
// at the end rather than every round.
template <class RoundKey>
HWY_INLINE void philox(VU (&c)[4], RoundKey round_key) {
    for (int round = 0; round < philox_rounds; ++round) {
        const VU product_0 = multiply_low(c[0], philox_multiplier_0);
        const VU product_1 = multiply_low(c[2], philox_multiplier_1);
        c[0] = hn::Xor(hn::Xor(hn::ShiftRight<32>(product_1), c[1]), round_key(round, 0));
        c[1] = product_1;
        c[2] = hn::Xor(hn::Xor(hn::ShiftRight<32>(product_0), c[3]), round_key(round, 1));
        c[3] = product_0;
    }
    const VU low = hn::Set(DU(), 0xFFFFFFFFu);
    for (VU& word : c) {
        word = hn::And(word, low);
    }
}

// The four words of block `number` of the lanes from `lane` on, kept by the block's parity.
HWY_INLINE void draw_block(LaneBlock& block, std::size_t lane, std::int64_t number) {
    const DU du;
    const auto block_number = static_cast<std::uint64_t>(number);
    VU c[4] = {hn::Set(du, block_number & 0xFFFFFFFFu), hn::Set(du, block_number >> 32),
               hn::Load(du, block.index[0] + lane), hn::Load(du, block.index[1] + lane)};
    philox(c, [&](int round, std::size_t word) {
        return hn::Load(du, block.round_key[static_cast<std::size_t>(round)][word] + lane);
    });
    for (std::size_t word = 0; word < 4; ++word) {
        hn::Store(c[word], du, block.words[number & 1][word] + lane);
    }
}

// LogOddsBins::bin of each lane's positive ratio, by the same bits and tables, as the offset in
// bytes of its count from that of the first bin of binade 0 (the exponent's field 0).
HWY_INLINE VU log_odds_offset(const LogOddsTables& tables, V ratio) {
    static_assert(log_odds_bins_per_binade == 16);
    const DU du;
    const VU bits = hn::BitCast(du, ratio);
    // The fraction in the top bits: its order is that of the fraction, and the sign bit its
    // first bit.
    const VU fraction = hn::ShiftLeft<64 - 52>(bits);
#if HWY_TARGET == HWY_AVX3 || HWY_TARGET == HWY_AVX3_DL
    // Two lookups among 16 entries in registers and a blend by the first bit: gathers are slow.
    const __m512i part = hn::ShiftRight<52 - 5>(bits).raw;
    const __m512i low = _mm512_permutex2var_epi64(_mm512_load_si512(tables.by_32nd), part,
                                                  _mm512_load_si512(tables.by_32nd + 8));
    const __m512i high = _mm512_permutex2var_epi64(_mm512_load_si512(tables.by_32nd + 16), part,
                                                   _mm512_load_si512(tables.by_32nd + 24));
    const VU entry{_mm512_mask_blend_epi64(_mm512_movepi64_mask(fraction.raw), low, high)};
    const auto past_edge = hn::Gt(fraction, entry);
#else
    const VU entry =
        hn::GatherIndex(du, tables.by_256th, hn::BitCast(DI(), hn::ShiftRight<64 - 8>(fraction)));
    // Signed, which targets before AVX-512 compare natively: the entries' sign bits are flipped.
    const DI di;
    const auto past_edge = hn::RebindMask(
        du, hn::Gt(hn::BitCast(di, hn::Xor(fraction, hn::Set(du, std::uint64_t{1} << 63))),
                   hn::BitCast(di, entry)));
#endif
    const VU place = hn::And(entry, hn::Set(du, LogOddsTables::place_mask));
    // At or past the upper edge: one place further.
    const VU within =
        hn::IfThenElse(past_edge, hn::Add(place, hn::Set(du, sizeof(std::int64_t))), place);
    constexpr int binade_bytes = 7;  // 16 counts of 2^3 bytes
    static_assert(log_odds_bins_per_binade * sizeof(std::int64_t) == 1 << binade_bytes);
    return hn::Add(hn::ShiftLeft<binade_bytes>(hn::ShiftRight<52>(bits)), within);
}

// What a step leaves for the loop over the lanes that follows it.
struct LaneOutput {
    // All ones where the lane's step was plain: live, nothing rare, the point inside (0, 1].
    HWY_ALIGN std::int64_t fast[max_lanes];
    // The addresses of the two bins to increment.
    HWY_ALIGN std::uint64_t bin[max_lanes], log_odds_bin[max_lanes];
    HWY_ALIGN std::int64_t map[max_lanes];
    bool slow = false;  // some lane was not plain
    HWY_ALIGN double p[max_lanes];
    // For the other lanes: their fast terms, or their point for count_point.
    HWY_ALIGN std::int64_t rare[max_lanes], upper[max_lanes];
    HWY_ALIGN double tau[max_lanes], rest[max_lanes], slope[max_lanes];
    HWY_ALIGN double q[max_lanes], distance[max_lanes];
};

// !(a < b) or !(a > b): true where either is NaN, in one compare on AVX2 and AVX-512.
enum class Negated { less, greater };
template <Negated negated>
HWY_INLINE hn::Mask<D> compare_not(V a, V b) {
#if HWY_TARGET == HWY_AVX3 || HWY_TARGET == HWY_AVX3_DL || HWY_TARGET == HWY_AVX2
    constexpr int predicate = negated == Negated::less ? _CMP_NLT_UQ : _CMP_NGT_UQ;
#if HWY_TARGET == HWY_AVX2
    return hn::Mask<D>{_mm256_cmp_pd(a.raw, b.raw, predicate)};
#else
    return hn::Mask<D>{_mm512_cmp_pd_mask(a.raw, b.raw, predicate)};
#endif
#else
    return hn::Not(negated == Negated::less ? hn::Lt(a, b) : hn::Gt(a, b));
#endif
}

// Whether this target finds a bin by converting to a whole number, which AVX2 and older lack.
constexpr bool converts = HWY_TARGET == HWY_AVX3 || HWY_TARGET == HWY_AVX3_DL;
// 2^52, to whose bits the floor of a smaller double adds itself exactly.
constexpr double magic = 0x1p52;

// The histogram as each way of finding a bin wants it, made once.
struct Bins {
    explicit Bins(const LaneBlock& block)
        : real(hn::Set(D(), block.bins)),
          last_real(hn::Set(D(), block.bins - 1)),
          last(hn::Set(DI(), block.bins - 1)) {
        // A floor that comes with the bits of 2^52 lands on its count from this address.
        const std::uint64_t magic_bytes = converts ? 0 : std::bit_cast<std::uint64_t>(magic) << 3;
        for (std::size_t l = 0; l < max_lanes; ++l) {
            address[l] = block.histogram_address[l] - magic_bytes;
        }
    }
    V real, last_real;
    VI last;
    HWY_ALIGN std::uint64_t address[max_lanes];
};

// The step of the lanes from `lane` on: the fast terms of each lane's map, and the new point and
// sums of the lanes where nothing rare happens; the rare ones keep their state for
// finish_lane_step. Returns whether any lane was not plain.
template <bool Three, bool Record, Sharing sharing, bool Paired>
HWY_INLINE bool step(LaneBlock& block, std::size_t lane, std::int64_t t, const Bins& bins,
                     bool keeps_ring, LaneOutput& out) {
    const D d;
    const DI di;
    const V zero = hn::Zero(d);
    const V one = hn::Set(d, 1.0);

    // The map: s - 1 = past_first + (past_first and past_second), as drawn_map. The third map
    // where past_both, else the second where past_first.
    auto past_first = hn::FirstN(d, 0);
    auto past_both = past_first;
    VI s = hn::Zero(di);
    if constexpr (Three) {
        const VI x = hn::BitCast(di, hn::Load(DU(), block.words[(t >> 2) & 1][t & 3] + lane));
        past_first = hn::RebindMask(d, hn::Gt(x, hn::Load(di, block.last_below[0] + lane)));
        past_both = hn::And(past_first,
                            hn::RebindMask(d, hn::Gt(x, hn::Load(di, block.last_below[1] + lane))));
        s = hn::IfThenElse(hn::RebindMask(di, past_both), hn::Set(di, 2),
                           hn::IfThenElseZero(hn::RebindMask(di, past_first), hn::Set(di, 1)));
    }
    const auto map_number = hn::IndicesFromVec(d, s);
    // The lanes that drew the map they do not share.
    auto varying = past_both;
    if constexpr (sharing == Sharing::all_but_one) {
        varying = hn::RebindMask(d, hn::Eq(s, hn::Set(di, block.varying_map)));
    }
    const auto varying_map = static_cast<std::size_t>(block.varying_map);
    // The coefficients of each lane's map, from the table of the maps they share or from its own.
    const auto pick = [&](std::size_t field, std::size_t k) {
        if constexpr (sharing == Sharing::every_map) {
            return hn::TableLookupLanes(hn::Load(d, block.table[field][k]), map_number);
        } else if constexpr (sharing == Sharing::all_but_one) {
            const V shared = hn::TableLookupLanes(hn::Load(d, block.table[field][k]), map_number);
            // A sweep along R leaves the shares alike: only R's products need the lanes' own.
            if (!block.own_coefficient[field][k]) {
                return shared;
            }
            return hn::IfThenElse(
                varying, hn::Load(d, block.coefficient[varying_map][field][k] + lane), shared);
        } else {
            const double* values = block.coefficient[0][field][k];
            const V first = hn::Load(d, values + lane);
            if constexpr (!Three) {
                return first;
            } else {
                constexpr auto map_stride =
                    static_cast<std::size_t>(fields) * model::max_stocks * max_lanes;
                const V second = hn::Load(d, values + map_stride + lane);
                const V third = hn::Load(d, values + 2 * map_stride + lane);
                return hn::IfThenElse(past_both, third, hn::IfThenElse(past_first, second, first));
            }
        }
    };
    const V p = hn::Load(d, block.p + lane);
    const V q = hn::Load(d, block.q + lane);
    // The even stocks' terms in one sum, the odd ones' in another, as the scalar loop.
    V tau_even = zero, tau_odd = zero, rest_even = zero, rest_odd = zero;
    V slope_even = zero, slope_odd = zero;
    const auto denominator = [&](std::size_t k) {
        return hn::Add(hn::Mul(pick(la1_field, k), p), hn::Mul(pick(la2_field, k), q));
    };
    const auto add_term = [&](std::size_t k, V inverse, V& tau_sum, V& rest_sum, V& slope_sum) {
        tau_sum = hn::Add(tau_sum, hn::Mul(pick(R_la1_field, k), inverse));
        rest_sum = hn::Add(rest_sum, hn::Mul(pick(R_la2_field, k), inverse));
        slope_sum = hn::Add(slope_sum, hn::Mul(hn::Mul(pick(slope_field, k), inverse), inverse));
    };
    const auto stocks = static_cast<std::size_t>(block.stocks);
    std::size_t k = 0;
    for (; k + 1 < stocks; k += 2) {
        const V even = denominator(k);
        const V odd = denominator(k + 1);
        if constexpr (Paired) {
            const V both = hn::Div(one, hn::Mul(even, odd));
            add_term(k, hn::Mul(odd, both), tau_even, rest_even, slope_even);
            add_term(k + 1, hn::Mul(even, both), tau_odd, rest_odd, slope_odd);
        } else {
            add_term(k, hn::Div(one, even), tau_even, rest_even, slope_even);
            add_term(k + 1, hn::Div(one, odd), tau_odd, rest_odd, slope_odd);
        }
    }
    if (k < stocks) {
        add_term(k, hn::Div(one, denominator(k)), tau_even, rest_even, slope_even);
    }
    const V tau = hn::Mul(p, hn::Add(tau_even, tau_odd));
    const V slope = hn::Add(slope_even, slope_odd);
    V rest = hn::Mul(q, hn::Add(rest_even, rest_odd));
    if (!block.all_complementary) {
        const V complementary = pick(complementary_field, 0);
        rest = hn::IfThenElse(hn::MaskFromVec(complementary), rest, hn::Sub(one, tau));
    }

    const auto not_finite =
        compare_not<Negated::less>(hn::Abs(hn::Add(hn::Add(tau, rest), slope)),
                                   hn::Set(d, std::numeric_limits<double>::infinity()));
    const auto upper = hn::Gt(tau, rest);
    const V distance = hn::IfThenElse(upper, rest, tau);
    const V watch = hn::IfThenElse(upper, hn::Load(d, block.watch[1] + lane),
                                   hn::Load(d, block.watch[0] + lane));
    auto rare = hn::Or(not_finite, hn::Le(distance, watch));
    const V new_p = hn::IfThenElse(upper, hn::Sub(one, distance), distance);
    const V new_q = hn::IfThenElse(upper, distance, hn::Sub(one, distance));
    if constexpr (Record) {
        const V product = hn::Load(d, block.product + lane);
        const V new_product = hn::Mul(product, slope);
        rare =
            hn::Or(rare, hn::Or(compare_not<Negated::greater>(new_product, hn::Set(d, product_low)),
                                compare_not<Negated::less>(new_product, hn::Set(d, product_high))));
        const V sum_r = hn::Load(d, block.sum_r + lane);
        hn::Store(hn::IfThenElse(rare, sum_r, hn::Add(sum_r, new_p)), d, block.sum_r + lane);
        hn::Store(hn::IfThenElse(rare, product, new_product), d, block.product + lane);
    }
    // The rare lanes keep their state: finish_lane_step starts from it.
    const auto rare_integer = hn::RebindMask(di, rare);
    hn::Store(hn::IfThenElse(rare, p, new_p), d, block.p + lane);
    hn::Store(hn::IfThenElse(rare, q, new_q), d, block.q + lane);
    // This step's draw, unless the lane's rare event counts it: 1 for the first map, 2^32 for
    // the second.
    VU draw = hn::Set(DU(), 1);
    if constexpr (Three) {
        draw = hn::IfThenZeroElse(hn::RebindMask(DU(), past_both),
                                  hn::IfThenElse(hn::RebindMask(DU(), past_first),
                                                 hn::Set(DU(), std::uint64_t{1} << 32), draw));
    }
    const VU draws = hn::Load(DU(), block.draws + lane);
    hn::Store(hn::Add(draws, hn::IfThenZeroElse(hn::RebindMask(DU(), rare), draw)), DU(),
              block.draws + lane);

    auto fast = hn::AndNot(rare, hn::MaskFromVec(hn::BitCast(d, hn::Load(di, block.live + lane))));
    if constexpr (Record) {
        // A point inside (0, 1]: its bins as count_point finds them; any other point goes there.
        fast = hn::And(
            fast, hn::And(hn::And(hn::Gt(new_p, zero), hn::Le(new_p, one)), hn::Gt(new_q, zero)));
        const DU du;
        // static_cast<int>(p * bins): for p > 0 the floor.
#if HWY_TARGET == HWY_AVX3 || HWY_TARGET == HWY_AVX3_DL
        // The bare conversion: Highway's ConvertTo mends overflows, which no point in (0, 1]
        // has.
        const VI bin = hn::Min(VI{_mm512_cvttpd_epi64(hn::Mul(new_p, bins.real).raw)}, bins.last);
#else
        // The floor as a double, and its bits above those of 2^52 as the whole number: exact
        // below 2^52. The address takes away the bits of 2^52.
        const V whole = hn::Min(hn::Floor(hn::Mul(new_p, bins.real)), bins.last_real);
        const VI bin = hn::BitCast(di, hn::Add(whole, hn::Set(d, magic)));
#endif
        // No clamp to the last bin: a plain step's distances are normal, so that the ratio
        // stays below 2^1022, far from the bins that LogOddsBins::bin clamps.
        const VU log_odds = log_odds_offset(*block.tables, hn::Div(new_p, new_q));
        constexpr int count_bytes = 3;  // a count is 2^3 bytes
        static_assert(sizeof(std::int64_t) == 1 << count_bytes);
        hn::Store(hn::Add(hn::Load(du, bins.address + lane),
                          hn::BitCast(du, hn::ShiftLeft<count_bytes>(bin))),
                  du, out.bin + lane);
        hn::Store(hn::Add(hn::Load(du, block.log_odds_address + lane), log_odds), du,
                  out.log_odds_bin + lane);
    }
    hn::Store(hn::VecFromMask(di, hn::RebindMask(di, fast)), di, out.fast + lane);
    if (keeps_ring) {
        hn::Store(new_p, d, out.p + lane);
        hn::Store(s, di, out.map + lane);
    }
    if (hn::AllTrue(d, fast)) {
        return false;
    }
    hn::Store(new_p, d, out.p + lane);
    hn::Store(s, di, out.map + lane);
    hn::Store(hn::VecFromMask(di, rare_integer), di, out.rare + lane);
    hn::Store(tau, d, out.tau + lane);
    hn::Store(rest, d, out.rest + lane);
    hn::Store(slope, d, out.slope + lane);
    hn::Store(new_q, d, out.q + lane);
    hn::Store(distance, d, out.distance + lane);
    hn::Store(hn::VecFromMask(di, hn::RebindMask(di, upper)), di, out.upper + lane);
    return true;
}

// The lane's draws since the last fold into its counts of each map.
void fold_draws(LaneBlock& block, std::size_t l) {
    block.first_draws[l] += static_cast<std::int64_t>(block.draws[l] & 0xFFFFFFFFu);
    block.second_draws[l] += static_cast<std::int64_t>(block.draws[l] >> 32);
    block.draws[l] = 0;
}

// A lane whose step was not plain: its rare event, or its point outside (0, 1] counted.
void finish_lane(LaneBlock& block, const LaneOutput& out, std::size_t l, std::int64_t t,
                 bool record) {
    fold_draws(block, l);
    const int map = static_cast<int>(out.map[l]);
    if (out.rare[l] != 0) {
        finish_lane_step(block, static_cast<int>(l), map, out.tau[l], out.rest[l], out.slope[l], t,
                         record);
    } else if (block.live[l] != 0 && record) {
        count_point(block.chain[l]->targets, out.p[l], out.q[l], out.distance[l],
                    out.upper[l] != 0);
    }
}

template <bool Three, bool Record, Sharing sharing, bool Paired>
void advance(LaneBlock& block, std::int64_t t, std::int64_t end) {
    const std::size_t lanes = hn::Lanes(D());
    const auto all = static_cast<std::size_t>(block.lanes);
    // The plain lanes' increments of a step wait for the next step, each vector's between the
    // vectors' arithmetic, which then overlaps them; the counts are whole numbers, whose order
    // does not matter.
    LaneOutput outputs[2];
    // The lanes that keep their last steps: few, often only an ensemble's first chain.
    std::size_t ring_lanes[max_lanes];
    std::size_t ring_count = 0;
    bool ring_vector[max_lanes]{};
    for (std::size_t l = 0; l < all; ++l) {
        if (block.chain[l]->ring) {
            ring_lanes[ring_count++] = l;
            ring_vector[l / lanes] = true;
        }
    }
    const Bins bins(block);
    // The plain lanes of one vector, a fixed number: the loop unrolls.
    const auto count_plain = [&](const LaneOutput& out, std::size_t lane) {
        if constexpr (Record) {
            constexpr std::size_t vector_lanes = hn::MaxLanes(D());
            const auto count = [](std::uint64_t address) {
                ++*reinterpret_cast<std::int64_t*>(address);  // NOLINT(performance-no-int-to-ptr)
            };
            // Nearly every step is plain in every lane: that loop has no test.
            if (!out.slow) {
                for (std::size_t l = lane; l < lane + vector_lanes; ++l) {
                    count(out.bin[l]);
                    count(out.log_odds_bin[l]);
                }
                return;
            }
            for (std::size_t l = lane; l < lane + vector_lanes; ++l) {
                if (out.fast[l] != 0) {
                    count(out.bin[l]);
                    count(out.log_odds_bin[l]);
                }
            }
        }
    };
    // The draws of a block of four steps: the current one for every vector now, the next one
    // for a quarter of the vectors at each step of the current one, which spreads the generator's
    // work evenly over the steps.
    if constexpr (Three) {
        for (std::size_t lane = 0; lane < all; lane += lanes) {
            draw_block(block, lane, t >> 2);
            draw_block(block, lane, (t >> 2) + 1);
        }
    }
    for (std::int64_t step_number = t; step_number < end; ++step_number) {
        LaneOutput& out = outputs[step_number & 1];
        // The vectors first, independent of each other, so that their divisions overlap.
        bool slow = false;
        for (std::size_t lane = 0, vector = 0; lane < all; lane += lanes, ++vector) {
            if (Three && (vector & 3) == (static_cast<std::size_t>(step_number) & 3)) {
                draw_block(block, lane, (step_number >> 2) + 1);
            }
            slow = step<Three, Record, sharing, Paired>(block, lane, step_number, bins,
                                                        ring_vector[vector], out) ||
                   slow;
            if (step_number > t) {
                count_plain(outputs[(step_number - 1) & 1], lane);
            }
        }
        out.slow = slow;
        if (slow) {
            for (std::size_t l = 0; l < all; ++l) {
                if (out.fast[l] == 0) {
                    finish_lane(block, out, l, step_number, Record);
                }
            }
        }
        // The rare lanes' finish_step kept their steps already.
        for (std::size_t i = 0; i < ring_count; ++i) {
            const std::size_t l = ring_lanes[i];
            const bool rare = out.fast[l] == 0 && out.rare[l] != 0;
            if (block.live[l] != 0 && !rare) {
                block.chain[l]->ring[static_cast<std::size_t>(step_number) & (ring_size - 1)] = {
                    step_number + 1, static_cast<int>(out.map[l]) + 1, out.p[l]};
            }
        }
    }
    for (std::size_t lane = 0; end > t && lane < all; lane += lanes) {
        count_plain(outputs[(end - 1) & 1], lane);
    }
    for (std::size_t l = 0; l < all; ++l) {
        fold_draws(block, l);
    }
}

}  // namespace

template <bool Three, bool Paired>
void advance_drawing(LaneBlock& block, std::int64_t t, std::int64_t end, bool record) {
    const auto run = [&]<Sharing sharing>() {
        record ? advance<Three, true, sharing, Paired>(block, t, end)
               : advance<Three, false, sharing, Paired>(block, t, end);
    };
    // A table of three maps needs vectors of four lanes at least.
    if (!Three || hn::Lanes(D()) < 4 || block.sharing == Sharing::none) {
        run.template operator()<Sharing::none>();
    } else if constexpr (Three) {
        block.sharing == Sharing::every_map ? run.template operator()<Sharing::every_map>()
                                            : run.template operator()<Sharing::all_but_one>();
    }
}

void AdvanceLanes(LaneBlock& block, std::int64_t t, std::int64_t end, bool record) {
    // A half of the packed draws counts fewer steps than it holds.
    constexpr std::int64_t most_steps = std::int64_t{1} << 31;
    for (std::int64_t from = t; from < end; from += most_steps) {
        const std::int64_t to = std::min(end, from + most_steps);
        if (block.three) {
            block.paired ? advance_drawing<true, true>(block, from, to, record)
                         : advance_drawing<true, false>(block, from, to, record);
        } else {
            block.paired ? advance_drawing<false, true>(block, from, to, record)
                         : advance_drawing<false, false>(block, from, to, record);
        }
    }
}

void DrawMaps(const Chain& chain, std::int64_t t, int count, std::uint8_t* maps) {
    // One block of four draws a lane.
    const DU du;
    const std::size_t lanes = hn::Lanes(du);
    const std::int64_t first = t >> 2;
    const auto blocks = static_cast<std::size_t>(((t + count - 1) >> 2) - first + 1);
    // Rows of whole vectors, room for one block more than the steps' and the last vector's rest.
    constexpr std::size_t row = max_draw_ahead / 4 + 2 * hn::MaxLanes(DU());
    static_assert(row % hn::MaxLanes(DU()) == 0);
    HWY_ALIGN std::uint64_t words[4][row];
    for (std::size_t block = 0; block < blocks; block += lanes) {
        const VU number = hn::Iota(du, static_cast<std::uint64_t>(first) + block);
        VU c[4] = {hn::And(number, hn::Set(du, 0xFFFFFFFFu)), hn::ShiftRight<32>(number),
                   hn::Set(du, chain.index & 0xFFFFFFFFu), hn::Set(du, chain.index >> 32)};
        philox(c, [&](int round, std::size_t word) {
            return hn::Set(du, philox_round_key(chain.key, round)[word]);
        });
        for (std::size_t word = 0; word < 4; ++word) {
            hn::Store(c[word], du, words[word] + block);
        }
    }
    for (int i = 0; i < count; ++i) {
        const std::int64_t step = t + i;
        const auto x = static_cast<std::uint32_t>(
            words[step & 3][static_cast<std::size_t>((step >> 2) - first)]);
        maps[i] =
            static_cast<std::uint8_t>(drawn_map(x, chain.first_threshold, chain.second_threshold));
    }
}

std::int64_t KernelTarget() {
    return HWY_TARGET;
}

void LogOddsBinsOf(const double* ratios, std::size_t count, int* bins) {
    const D d;
    const std::size_t lanes = hn::Lanes(d);
    HWY_ALIGN double chunk[max_lanes];
    HWY_ALIGN std::uint64_t offsets[max_lanes];
    for (std::size_t first = 0; first < count; first += lanes) {
        const std::size_t taken = std::min(lanes, count - first);
        std::fill(chunk, chunk + lanes, 1.0);
        std::copy(ratios + first, ratios + first + taken, chunk);
        hn::Store(log_odds_offset(shared_log_odds_tables(), hn::Load(d, chunk)), DU(), offsets);
        for (std::size_t l = 0; l < taken; ++l) {
            // The offsets count from the bin of exponent field 0.
            bins[first + l] = (log_odds_binades - 1023) * log_odds_bins_per_binade +
                              static_cast<int>(offsets[l] / sizeof(std::int64_t));
        }
    }
}

}  // namespace quobel::analysis::engine::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace quobel::analysis::engine {

HWY_EXPORT(AdvanceLanes);
HWY_EXPORT(KernelTarget);
HWY_EXPORT(DrawMaps);
HWY_EXPORT(LogOddsBinsOf);

void draw_maps(const Chain& chain, std::int64_t t, int count, std::uint8_t* maps) {
    HWY_DYNAMIC_DISPATCH(DrawMaps)(chain, t, count, maps);
}

void advance_lanes(LaneBlock& block, std::int64_t t, std::int64_t end, bool record) {
    HWY_DYNAMIC_DISPATCH(AdvanceLanes)(block, t, end, record);
}

std::vector<std::int64_t> kernel_targets() {
    return hwy::SupportedAndGeneratedTargets();
}

void force_kernel_target(std::int64_t target) {
    hwy::SetSupportedTargetsForTest(target);
}

std::int64_t kernel_target() {
    return HWY_DYNAMIC_DISPATCH(KernelTarget)();
}

std::string kernel_target_name(std::int64_t target) {
    return hwy::TargetName(target);
}

std::vector<int> kernel_log_odds_bins(std::span<const double> ratios) {
    std::vector<int> bins(ratios.size());
    HWY_DYNAMIC_DISPATCH(LogOddsBinsOf)(ratios.data(), ratios.size(), bins.data());
    return bins;
}

}  // namespace quobel::analysis::engine
#endif
