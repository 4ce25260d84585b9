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
    return hn::Set(DU(), hn::GetLane(x) * std::uint64_t{m});
#else
    const hn::Repartition<std::uint32_t, DU> d32;
    return hn::MulEven(hn::BitCast(d32, x), hn::Set(d32, m));
#endif
}

// The four words of block `number` of the lanes from `lane` on: philox4x32 with each 32-bit word
// in a 64-bit lane.
HWY_INLINE void draw_block(LaneBlock& block, std::size_t lane, std::int64_t number) {
    const DU du;
    const VU low = hn::Set(du, 0xFFFFFFFFu);
    const auto block_number = static_cast<std::uint64_t>(number);
    VU c0 = hn::Set(du, block_number & 0xFFFFFFFFu);
    VU c1 = hn::Set(du, block_number >> 32);
    VU c2 = hn::Load(du, block.index[0] + lane);
    VU c3 = hn::Load(du, block.index[1] + lane);
    VU k0 = hn::Load(du, block.key[0] + lane);
    VU k1 = hn::Load(du, block.key[1] + lane);
    const VU weyl_0 = hn::Set(du, philox_weyl_0);
    const VU weyl_1 = hn::Set(du, philox_weyl_1);
    for (int round = 0; round < philox_rounds; ++round) {
        const VU product_0 = multiply_low(c0, philox_multiplier_0);
        const VU product_1 = multiply_low(c2, philox_multiplier_1);
        c0 = hn::Xor(hn::Xor(hn::ShiftRight<32>(product_1), c1), k0);
        c1 = hn::And(product_1, low);
        c2 = hn::Xor(hn::Xor(hn::ShiftRight<32>(product_0), c3), k1);
        c3 = hn::And(product_0, low);
        k0 = hn::And(hn::Add(k0, weyl_0), low);
        k1 = hn::And(hn::Add(k1, weyl_1), low);
    }
    hn::Store(c0, du, block.words[0] + lane);
    hn::Store(c1, du, block.words[1] + lane);
    hn::Store(c2, du, block.words[2] + lane);
    hn::Store(c3, du, block.words[3] + lane);
}

// One step of the lanes from `lane` on: the fast terms of each lane's map, and the new point and
// sums where nothing rare happens; finish_lane_step for the lanes where something does.
template <bool Three, bool Record>
HWY_INLINE void step(LaneBlock& block, std::size_t lane, std::int64_t t) {
    const D d;
    const DI di;
    const V zero = hn::Zero(d);
    const V one = hn::Set(d, 1.0);

    // The map: s - 1 = past_first + (past_first and past_second), as drawn_map.
    hn::Mask<D> first_map = hn::FirstN(d, hn::Lanes(d));
    hn::Mask<D> second_map = hn::Not(first_map);
    hn::Mask<D> third_map = second_map;
    VI s = hn::Zero(di);
    if constexpr (Three) {
        const VI x = hn::BitCast(di, hn::Load(DU(), block.words[t & 3] + lane));
        const auto past_first =
            hn::Not(hn::Lt(x, hn::BitCast(di, hn::Load(DU(), block.threshold[0] + lane))));
        const auto past_second =
            hn::Not(hn::Lt(x, hn::BitCast(di, hn::Load(DU(), block.threshold[1] + lane))));
        const auto past_both = hn::And(past_first, past_second);
        third_map = hn::RebindMask(d, past_both);
        second_map = hn::RebindMask(d, hn::AndNot(past_second, past_first));
        first_map = hn::RebindMask(d, hn::Not(past_first));
        s = hn::IfThenElse(past_both, hn::Set(di, 2),
                           hn::IfThenElseZero(past_first, hn::Set(di, 1)));
    }
    const auto pick = [&](const double* values) {
        const V first = hn::Load(d, values + lane);
        if constexpr (!Three) {
            return first;
        } else {
            constexpr std::size_t map_stride = fields * model::max_stocks * max_lanes;
            const V second = hn::Load(d, values + map_stride + lane);
            const V third = hn::Load(d, values + 2 * map_stride + lane);
            return hn::IfThenElse(third_map, third, hn::IfThenElse(second_map, second, first));
        }
    };

    const V p = hn::Load(d, block.p + lane);
    const V q = hn::Load(d, block.q + lane);
    // The even stocks' terms in one sum, the odd ones' in another, as the scalar loop.
    V taus[2] = {zero, zero};
    V rests[2] = {zero, zero};
    V slopes[2] = {zero, zero};
    const auto stocks = static_cast<std::size_t>(block.stocks);
    for (std::size_t k = 0; k < stocks; ++k) {
        const auto& coefficient = block.coefficient[0];
        const V la1 = pick(coefficient[la1_field][k]);
        const V la2 = pick(coefficient[la2_field][k]);
        const V inverse = hn::Div(one, hn::Add(hn::Mul(la1, p), hn::Mul(la2, q)));
        const std::size_t parity = k & 1;
        taus[parity] = hn::Add(taus[parity], hn::Mul(pick(coefficient[R_la1_field][k]), inverse));
        rests[parity] = hn::Add(rests[parity], hn::Mul(pick(coefficient[R_la2_field][k]), inverse));
        slopes[parity] = hn::Add(
            slopes[parity], hn::Mul(hn::Mul(pick(coefficient[slope_field][k]), inverse), inverse));
    }
    const V tau = hn::Mul(p, hn::Add(taus[0], taus[1]));
    const V slope = hn::Add(slopes[0], slopes[1]);
    const V complementary = hn::BitCast(d, hn::Load(DU(), block.complementary[0] + lane));
    V complementary_picked = complementary;
    if constexpr (Three) {
        const V second = hn::BitCast(d, hn::Load(DU(), block.complementary[1] + lane));
        const V third = hn::BitCast(d, hn::Load(DU(), block.complementary[2] + lane));
        complementary_picked =
            hn::IfThenElse(third_map, third, hn::IfThenElse(second_map, second, complementary));
    }
    const V rest = hn::IfThenElse(hn::MaskFromVec(complementary_picked),
                                  hn::Mul(q, hn::Add(rests[0], rests[1])), hn::Sub(one, tau));

    const auto finite = hn::Lt(hn::Abs(hn::Add(hn::Add(tau, rest), slope)),
                               hn::Set(d, std::numeric_limits<double>::infinity()));
    const auto upper = hn::Gt(tau, rest);
    const V distance = hn::IfThenElse(upper, rest, tau);
    const V watch = hn::IfThenElse(upper, hn::Load(d, block.watch[1] + lane),
                                   hn::Load(d, block.watch[0] + lane));
    auto rare = hn::Or(hn::Not(finite), hn::Le(distance, watch));
    const V new_p = hn::IfThenElse(upper, hn::Sub(one, distance), distance);
    const V new_q = hn::IfThenElse(upper, distance, hn::Sub(one, distance));
    const VI first_draws = hn::Load(di, block.first_draws + lane);
    const VI second_draws = hn::Load(di, block.second_draws + lane);
    // A mask as a vector is -1 in its lanes: subtracting it counts them.
    const VI new_first = hn::Sub(first_draws, hn::VecFromMask(di, hn::RebindMask(di, first_map)));
    const VI new_second =
        hn::Sub(second_draws, hn::VecFromMask(di, hn::RebindMask(di, second_map)));
    V new_sum_r = hn::Load(d, block.sum_r + lane);
    V new_product = hn::Load(d, block.product + lane);
    if constexpr (Record) {
        const V sum_r = new_sum_r;
        const V product = new_product;
        new_sum_r = hn::Add(sum_r, new_p);
        new_product = hn::Mul(product, slope);
        rare = hn::Or(rare, hn::Not(hn::And(hn::Gt(new_product, hn::Set(d, product_low)),
                                            hn::Lt(new_product, hn::Set(d, product_high)))));
        new_sum_r = hn::IfThenElse(rare, sum_r, new_sum_r);
        new_product = hn::IfThenElse(rare, product, new_product);
    }
    // The rare lanes keep their state for finish_lane_step, which starts from it.
    const auto rare_integer = hn::RebindMask(di, rare);
    hn::Store(hn::IfThenElse(rare, p, new_p), d, block.p + lane);
    hn::Store(hn::IfThenElse(rare, q, new_q), d, block.q + lane);
    hn::Store(new_sum_r, d, block.sum_r + lane);
    hn::Store(new_product, d, block.product + lane);
    hn::Store(hn::IfThenElse(rare_integer, first_draws, new_first), di, block.first_draws + lane);
    hn::Store(hn::IfThenElse(rare_integer, second_draws, new_second), di,
              block.second_draws + lane);

    const bool any_rare = !hn::AllFalse(d, rare);
    if (!Record && !block.ring && !any_rare) {
        return;
    }
    // Lane by lane: the histograms' increments and the kept steps, or finish_lane_step.
    HWY_ALIGN double ps[max_lanes], qs[max_lanes], distances[max_lanes];
    HWY_ALIGN std::int64_t uppers[max_lanes], maps[max_lanes], rares[max_lanes]{};
    HWY_ALIGN double taus_out[max_lanes], rests_out[max_lanes], slopes_out[max_lanes];
    hn::Store(new_p, d, ps);
    hn::Store(new_q, d, qs);
    hn::Store(distance, d, distances);
    hn::Store(hn::VecFromMask(di, hn::RebindMask(di, upper)), di, uppers);
    hn::Store(s, di, maps);
    if (any_rare) {
        hn::Store(tau, d, taus_out);
        hn::Store(rest, d, rests_out);
        hn::Store(slope, d, slopes_out);
        hn::Store(hn::VecFromMask(di, rare_integer), di, rares);
    }
    for (std::size_t i = 0; i < hn::Lanes(d); ++i) {
        const int map = static_cast<int>(maps[i]);
        if (rares[i] != 0) {
            finish_lane_step(block, static_cast<int>(lane + i), map, taus_out[i], rests_out[i],
                             slopes_out[i], t, Record);
            continue;
        }
        if (!block.live[lane + i]) {
            continue;
        }
        Chain& chain = *block.chain[lane + i];
        if constexpr (Record) {
            count_point(chain, ps[i], qs[i], distances[i], uppers[i] != 0);
        }
        if (chain.ring) {
            chain.ring[static_cast<std::size_t>(t) & (ring_size - 1)] = {t + 1, map + 1, ps[i]};
        }
    }
}

template <bool Three, bool Record>
void advance(LaneBlock& block, std::int64_t t, std::int64_t end) {
    const std::size_t lanes = hn::Lanes(D());
    const auto all = static_cast<std::size_t>(block.lanes);
    for (std::int64_t step_number = t; step_number < end; ++step_number) {
        if (Three && ((step_number & 3) == 0 || step_number == t)) {
            for (std::size_t lane = 0; lane < all; lane += lanes) {
                draw_block(block, lane, step_number >> 2);
            }
        }
        for (std::size_t lane = 0; lane < all; lane += lanes) {
            step<Three, Record>(block, lane, step_number);
        }
    }
}

}  // namespace

void AdvanceLanes(LaneBlock& block, std::int64_t t, std::int64_t end, bool record) {
    if (block.three) {
        record ? advance<true, true>(block, t, end) : advance<true, false>(block, t, end);
    } else {
        record ? advance<false, true>(block, t, end) : advance<false, false>(block, t, end);
    }
}

std::int64_t KernelTarget() {
    return HWY_TARGET;
}

}  // namespace quobel::analysis::engine::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace quobel::analysis::engine {

HWY_EXPORT(AdvanceLanes);
HWY_EXPORT(KernelTarget);

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

}  // namespace quobel::analysis::engine
#endif
