// Tests of the chain engine: the generator's published answers, the same bits from every vector
// target, lane count and order, the statistics against theory, and Cancel.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <deque>
#include <limits>
#include <random>
#include <thread>
#include <vector>

#include "analysis/chain_engine.hpp"
#include "analysis/ensemble.hpp"
#include "analysis/philox.hpp"
#include "analysis_models.hpp"
#include "same_run.hpp"

namespace quobel::analysis {
namespace {

using test_models::model_of;
using test_models::model_of_block;
using test_models::ModelState;

TEST(Philox, KnownAnswers) {
    // The three philox4x32 10 lines of the Random123 known-answer vectors: counter, key, result.
    EXPECT_EQ(philox4x32({0, 0, 0, 0}, {0, 0}),
              (PhiloxCounter{0x6627e8d5, 0xe169c58d, 0xbc57ac4c, 0x9b00dbd8}));
    EXPECT_EQ(
        philox4x32({0xffffffff, 0xffffffff, 0xffffffff, 0xffffffff}, {0xffffffff, 0xffffffff}),
        (PhiloxCounter{0x408f276d, 0x41c83b0e, 0xa20bc7c6, 0x6d5451fd}));
    EXPECT_EQ(
        philox4x32({0x243f6a88, 0x85a308d3, 0x13198a2e, 0x03707344}, {0xa4093822, 0x299f31d0}),
        (PhiloxCounter{0xd16cfe09, 0x94fdcceb, 0x5001e420, 0x24126ea1}));
    // The seed's low word is the first key word; the block number the low counter words.
    EXPECT_EQ(philox_key(0x299f31d0'a4093822), (PhiloxKey{0xa4093822, 0x299f31d0}));
    EXPECT_EQ(philox_counter(0x03707344'13198a2e, 0x85a308d3'243f6a88),
              (PhiloxCounter{0x243f6a88, 0x85a308d3, 0x13198a2e, 0x03707344}));
}

TEST(ChainEngine, DrawThresholdsCountTheDrawsBelowTheBound) {
    // u = x / 2^32 < bound for x = 0 .. threshold - 1 and no other x.
    EXPECT_EQ(engine::draw_threshold(0.5), std::uint64_t{1} << 31);
    EXPECT_EQ(engine::draw_threshold(0x1p-30), 4u);
    EXPECT_EQ(engine::draw_threshold(0x1.8p-32), 2u);  // x = 0, 1 below 1.5 / 2^32
    EXPECT_EQ(engine::draw_threshold(0x1p-40), 1u);    // x = 0 alone
    EXPECT_EQ(engine::draw_threshold(1 - 0x1p-53), std::uint64_t{1} << 32);
    EXPECT_EQ(engine::draw_threshold(1.0), std::uint64_t{1} << 32);
    EXPECT_EQ(engine::draw_threshold(INFINITY), std::uint64_t{1} << 32);
    EXPECT_EQ(engine::draw_threshold(0.0), 0u);
    EXPECT_EQ(engine::draw_threshold(-0.2), 0u);
    EXPECT_EQ(engine::draw_threshold(NAN), 0u);
    // u of x = 2^32 - 1 is 1 - 2^-32, below 1 - 2^-33; u of x = 2^32 - 2 is 1 - 2^-31 itself.
    EXPECT_EQ(engine::draw_threshold(1 - 0x1p-33), std::uint64_t{1} << 32);
    EXPECT_EQ(engine::draw_threshold(1 - 0x1p-31), (std::uint64_t{1} << 32) - 2);
}

// Restores the best target when a test leaves.
struct BestTargetAfterwards {
    ~BestTargetAfterwards() { engine::force_kernel_target(0); }
};

TEST(ChainEngine, MapsDrawnAheadAreTheGeneratorsOnEveryTarget) {
    // Stretches that start anywhere within a block of four, up to the longest, also where the
    // block number and the chain's index pass 2^32; three maps with chances 0.3, 0.3 and 0.4.
    BestTargetAfterwards restore;
    engine::Chain chain;
    chain.key = philox_key(0x1234'5678'9abc'def0);
    chain.first_threshold = engine::draw_threshold(0.3);
    chain.second_threshold = engine::draw_threshold(0.6);
    for (const std::int64_t target : engine::kernel_targets()) {
        engine::force_kernel_target(target);
        for (const std::uint64_t index : {std::uint64_t{0}, (std::uint64_t{1} << 32) + 3}) {
            chain.index = index;
            for (const std::int64_t t : {std::int64_t{0}, std::int64_t{3}, std::int64_t{4097},
                                         (std::int64_t{1} << 34) - 6}) {
                for (const int count : {1, 5, engine::max_draw_ahead - 1, engine::max_draw_ahead}) {
                    std::vector<std::uint8_t> maps(static_cast<std::size_t>(count));
                    engine::draw_maps(chain, t, count, maps.data());
                    for (int i = 0; i < count; ++i) {
                        const std::int64_t step = t + i;
                        const std::uint32_t x =
                            philox4x32(philox_counter(index, static_cast<std::uint64_t>(step / 4)),
                                       chain.key)[static_cast<std::size_t>(step % 4)];
                        const double u = static_cast<double>(x) * 0x1p-32;
                        const int expected = u < 0.3 ? 0 : u < 0.6 ? 1 : 2;
                        ASSERT_EQ(maps[static_cast<std::size_t>(i)], expected)
                            << engine::kernel_target_name(target) << " t " << step;
                    }
                }
            }
        }
    }
}

TEST(ChainEngine, EveryTargetFindsTheLogOddsBinsOfTheScalarCount) {
    // The kernels find a bin from their own tables by one compare: at each edge of the bins, the
    // doubles on either side of it, at the binades' ends, the extremes of a plain step's ratios
    // and at random, every target must give LogOddsBins::bin, itself tested against log2.
    BestTargetAfterwards restore;
    std::vector<double> ratios = {std::numeric_limits<double>::min(),
                                  0x1p1022 * (1 - 0x1p-53),
                                  0x1p1021,
                                  1.0,
                                  2.0,
                                  std::nextafter(2.0, 0.0),
                                  0.75};
    for (int j = -40; j < 40; ++j) {
        for (const int binades : {0, 1, -300, 700}) {
            const double edge = std::ldexp(std::exp2((j + 0.5) / 16.0), binades);
            ratios.insert(ratios.end(),
                          {edge, std::nextafter(edge, 0.0), std::nextafter(edge, INFINITY)});
        }
    }
    std::mt19937_64 random(11);
    std::uniform_real_distribution<double> exponent(-1021, 1021);
    for (int i = 0; i < 2000; ++i) {
        ratios.push_back(std::exp2(exponent(random)));
    }
    const LogOddsBins& bins = engine::shared_log_odds_bins();
    std::vector<int> expected;
    for (const double ratio : ratios) {
        expected.push_back(bins.bin(ratio));
    }
    for (const std::int64_t target : engine::kernel_targets()) {
        engine::force_kernel_target(target);
        EXPECT_EQ(engine::kernel_log_odds_bins(ratios), expected)
            << engine::kernel_target_name(target);
    }
}

TEST(ChainEngine, OneChainIsTheLongRun) {
    // Chain 0 of run_chains, on every target, is LongRun::run to the bit.
    BestTargetAfterwards restore;
    LongRunSettings settings;
    settings.steps = 20'000;
    settings.burn_in = 1000;
    settings.seed = 9;
    const LongRun run(test_models::start_up_model(), 0.5, settings);
    LongRunControl control;
    const LongRunResult expected = run.run(control);
    for (const std::int64_t target : engine::kernel_targets()) {
        engine::force_kernel_target(target);
        ASSERT_EQ(engine::kernel_target(), target);
        LongRunResult result;
        const std::vector<ChainTask> tasks{{&run, 0, &result, nullptr, true}};
        run_chains(tasks, control);
        expect_same(result, expected, engine::kernel_target_name(target));
        // The single run draws its maps ahead by the kernel's generator too.
        expect_same(run.run(control), expected, "alone, " + engine::kernel_target_name(target));
        EXPECT_EQ(control.steps_done.load(), 20'000);
    }
}

TEST(ChainEngine, RunsThatShareMapsPickThemFromOneTable) {
    // Sweeps along the chances and the start (every map the same) and along R(2,1) (all maps but
    // the second): different runs whose lanes pick the maps they share from one table. Each
    // chain, its last steps too, must still be its own run to the bit.
    BestTargetAfterwards restore;
    const std::vector<std::int64_t> targets = engine::kernel_targets();
    LongRunSettings settings;
    settings.steps = 3000;
    settings.burn_in = 200;
    for (const bool along_R : {false, true}) {
        std::deque<LongRun> runs;
        std::vector<LongRunResult> expected;
        for (int i = 0; i < 8; ++i) {
            ModelState model = test_models::start_up_model();
            if (along_R) {
                model.R(2, 1) = model::RealCell::of_double(0.1 + 0.05 * i);
            } else {
                model.prob(1) = 0.1 + 0.05 * i;
                model.prob(2) = 0.5 - 0.05 * i;
            }
            settings.seed = static_cast<std::uint64_t>(i) + 1;
            runs.emplace_back(model, 0.1 + 0.1 * i, settings);
            LongRunControl control;
            expected.push_back(runs.back().run(control));
        }
        for (const std::int64_t target : targets) {
            engine::force_kernel_target(target);
            std::vector<LongRunResult> results(runs.size());
            std::vector<ChainTask> tasks;
            for (std::size_t i = 0; i < runs.size(); ++i) {
                tasks.push_back({&runs[i], 0, &results[i], nullptr, true});
            }
            LongRunControl control;
            run_chains(tasks, control);
            for (std::size_t i = 0; i < runs.size(); ++i) {
                expect_same(results[i], expected[i],
                            engine::kernel_target_name(target) + (along_R ? " along R" : "") +
                                " run " + std::to_string(i));
            }
        }
    }
}

// Runs of every kind a sweep mixes: three maps of four stocks, two maps of four stocks, one
// map, three stocks, a takeover absorbed at 1, a payoff that does not add up, shares that fail
// at once, and with one, two or three maps, all of the same steps, burn-in and bins.
std::deque<LongRun> mixed_runs() {
    LongRunSettings settings;
    settings.steps = 2000;
    settings.burn_in = 300;
    settings.bins = 20;
    std::deque<LongRun> runs;
    const auto add = [&](const ModelState& model, double start, std::uint64_t seed) {
        settings.seed = seed;
        runs.emplace_back(model, start, settings);
    };
    add(test_models::start_up_model(), 0.5, 1);
    add(test_models::start_up_model(model::UniformGenerator(5)), 0.999, 2);
    ModelState two = test_models::start_up_model(model::UniformGenerator(6));
    two.num_maps = 2;
    add(two, 1e-9, 3);
    add(model_of({{{1}, {0.6}, {0.3}}}, {1}), 0.01, 4);
    add(model_of({{{0.2, 0.3, 0.5}, {0.3, 0.3, 0.4}, {0.2, 0.4, 0.4}},
                  {{0.6, 0.4, 0}, {0.5, 0.5, 0}, {0.3, 0.7, 0}},
                  {{0.1, 0.1, 0.8}, {0.2, 0.2, 0.6}, {0.5, 0.3, 0.2}}},
                 {0.2, 0.5, 0.3}),
        0.3, 5);
    add(model_of({{{0.1, 0.9}, {0.4, 0.6}, {0.6, 0.4}}}, {1}), 0.5, 6);
    // In the second map nobody holds the third stock, whose payoff is lost: 1 - tau is no sum
    // of terms there.
    add(model_of({{{0.5, 0.3, 0.2}, {0.3, 0.6, 0.5}, {0.6, 0.3, 0.5}},
                  {{0.4, 0.4, 0.2}, {0.5, 0.5, 0}, {0.2, 0.7, 0}}},
                 {0.5, 0.5}),
        0.4, 8);
    add(model_of({{{0.5, 0.5}, {0.2, 0.8}, {-0.2, 1.2}}, {{0.5, 0.5}, {0.2, 0.8}, {-0.2, 1.2}}},
                 {0.5, 0.5}),
        0.5, 7);
    return runs;
}

TEST(ChainEngine, EveryTargetLaneCountAndOrderGivesTheSameBits) {
    // Each chain alone by the scalar loop is the reference; every compiled target, 1, 3, 8 and
    // 65 tasks (lanes left over in the last vectors, more tasks than one block of lanes) in both
    // orders must give its bits, and counts shared between the chains of a run their sum.
    BestTargetAfterwards restore;
    const std::deque<LongRun> runs = mixed_runs();
    struct Chain {
        const LongRun* run;
        std::uint64_t index;
        LongRunResult expected;
    };
    std::vector<Chain> chains;
    for (std::size_t i = 0; i < 65; ++i) {
        const LongRun& run = runs[(i * 5) % runs.size()];
        // One index past 2^32, in the counter's high word.
        const std::uint64_t index = i * 3 + 1 + (i == 9 ? std::uint64_t{1} << 32 : 0);
        chains.push_back({&run, index, {}});
        LongRunControl control;
        engine::run_scalar({&run, index, &chains.back().expected, nullptr, i % 4 == 0}, control, 0);
    }
    // Chain 3 is of the last run, whose shares fail.
    ASSERT_EQ(chains[3].run, &runs.back());
    ASSERT_EQ(chains[3].expected.end, LongRunEnd::not_finite);
    for (const std::int64_t target : engine::kernel_targets()) {
        engine::force_kernel_target(target);
        const std::string name = engine::kernel_target_name(target);
        for (const std::size_t count : {1, 3, 8, 65}) {
            for (const bool reversed : {false, true}) {
                std::vector<LongRunResult> results(count);
                std::vector<ChainTask> tasks;
                for (std::size_t i = 0; i < count; ++i) {
                    const std::size_t c = reversed ? count - 1 - i : i;
                    tasks.push_back(
                        {chains[c].run, chains[c].index, &results[i], nullptr, c % 4 == 0});
                }
                LongRunControl control;
                run_chains(tasks, control);
                std::int64_t steps = 0;
                for (std::size_t i = 0; i < count; ++i) {
                    const std::size_t c = reversed ? count - 1 - i : i;
                    expect_same(
                        results[i], chains[c].expected,
                        name + " of " + std::to_string(count) + " chain " + std::to_string(c));
                    steps += results[i].steps_taken;
                }
                EXPECT_EQ(control.steps_done.load(), steps);
            }
        }
        // The 65 chains with the counts of each run in one result.
        std::vector<LongRunResult> results(chains.size());
        std::vector<LongRunResult> shared(runs.size());
        std::vector<ChainTask> tasks;
        for (std::size_t c = 0; c < chains.size(); ++c) {
            tasks.push_back({chains[c].run, chains[c].index, &results[c],
                             &shared[(c * 5) % runs.size()], false});
        }
        LongRunControl control;
        run_chains(tasks, control);
        for (std::size_t r = 0; r < runs.size(); ++r) {
            std::vector<std::int64_t> histogram(20, 0), log_odds(log_odds_bins, 0);
            std::array<std::int64_t, 2> at_boundary{};
            std::int64_t below = 0, above = 0;
            for (std::size_t c = 0; c < chains.size(); ++c) {
                if ((c * 5) % runs.size() != r) {
                    continue;
                }
                const LongRunResult& expected = chains[c].expected;
                for (std::size_t i = 0; i < histogram.size(); ++i) {
                    histogram[i] += expected.histogram[i];
                }
                for (std::size_t i = 0; i < log_odds.size(); ++i) {
                    log_odds[i] += expected.log_odds_histogram[i];
                }
                at_boundary[0] += expected.at_boundary[0];
                at_boundary[1] += expected.at_boundary[1];
                below += expected.below;
                above += expected.above;
                EXPECT_TRUE(results[c].histogram.empty());
                EXPECT_TRUE(same(results[c].mean_r, expected.mean_r));
            }
            SCOPED_TRACE(name + " shared counts of run " + std::to_string(r));
            EXPECT_EQ(shared[r].histogram, histogram);
            EXPECT_EQ(shared[r].log_odds_histogram, log_odds);
            EXPECT_EQ(shared[r].at_boundary, at_boundary);
            EXPECT_EQ(shared[r].below, below);
            EXPECT_EQ(shared[r].above, above);
        }
    }
}

// `chains` chains 0 .. chains - 1 of one run, together.
std::vector<LongRunResult> chains_of(const LongRun& run, int chains) {
    std::vector<LongRunResult> results(static_cast<std::size_t>(chains));
    std::vector<ChainTask> tasks;
    for (std::size_t c = 0; c < results.size(); ++c) {
        tasks.push_back({&run, c, &results[c], nullptr, false});
    }
    LongRunControl control;
    run_chains(tasks, control);
    return results;
}

TEST(ChainEngine, AbsorbedChainsTakeTheBoundaryExponent) {
    // Three maps of two stocks in which investor 2 holds the Kelly portfolio of the mean payoffs
    // (0.44, 0.56) and investor 1 does not: every chain is absorbed at r = 0 within the burn-in,
    // and from there each step's slope is tau_s'(0) of the map drawn, so that the orbit's
    // exponent is a mean of independent draws whose expectation is Lambda_0.
    const ModelState model = model_of_block(
        "3,2 / .5,.5,.7,.3,.2,.8 / .9,.1,.9,.1,.9,.1 / .44,.56,.44,.56,.44,.56 / "
        ".3,.3,.4");
    LongRunSettings settings;
    settings.steps = 40'000;
    settings.burn_in = 20'000;
    const LongRun run(model, 0.5, settings);
    // Lambda_0 by hand: tau_s'(0) = sum_k R_k la1_k / la2_k.
    const auto slope = [](double R1, double R2) { return R1 * 0.9 / 0.44 + R2 * 0.1 / 0.56; };
    const double lambda_0 = 0.3 * std::log(slope(0.5, 0.5)) + 0.3 * std::log(slope(0.7, 0.3)) +
                            0.4 * std::log(slope(0.2, 0.8));
    for (const LongRunResult& result : chains_of(run, 16)) {
        ASSERT_EQ(absorbed_boundary(result), 0);
        EXPECT_LT(result.boundaries[0].absorbed, settings.burn_in);
        EXPECT_NEAR(result.boundary_lambda[0], lambda_0, 1e-12);
        EXPECT_NEAR(result.lyapunov, result.boundary_lambda[0], 4 * result.lyapunov_error);
        EXPECT_EQ(result.at_boundary[0], result.recorded);
        EXPECT_EQ(result.mean_r, 0.0);
    }
}

TEST(ChainEngine, TwoPointChainsHaveTheMeanByHand) {
    // Map s sends every r inside (0, 1) to R(s,1): 0.25 with chance 0.3, 0.9 with 0.7. The
    // points are independent draws of mean 0.705 and standard deviation sqrt(0.21) * 0.65.
    const std::vector<double> la1{1, 0};
    const std::vector<double> la2{0, 1};
    const ModelState model =
        model_of({{{0.25, 0.75}, la1, la2}, {{0.9, 0.1}, la1, la2}}, {0.3, 0.7});
    LongRunSettings settings;
    settings.steps = 20'000;
    settings.burn_in = 0;
    settings.seed = 12;
    const LongRun run(model, 0.5, settings);
    const double sigma = std::sqrt(0.21) * 0.65;
    double pooled = 0;
    const std::vector<LongRunResult> results = chains_of(run, 24);
    for (const LongRunResult& result : results) {
        EXPECT_NEAR(result.mean_r, 0.705, 4 * sigma / std::sqrt(20'000.0));
        EXPECT_NEAR(result.mean_r_error * std::sqrt(20'000.0) / sigma, 1.0, 0.5);
        pooled += result.mean_r / 24;
    }
    EXPECT_NEAR(pooled, 0.705, 4 * sigma / std::sqrt(24 * 20'000.0));
    // Different chains are different draws.
    EXPECT_NE(results[0].histogram, results[1].histogram);
    EXPECT_NE(results[0].mean_r, results[1].mean_r);
}

TEST(ChainEngine, PairsInversesOnlyWhereThatIsSafeAndStaysExactToRounding) {
    // One division serves two stocks only where no product of two denominators can leave the
    // normal range: moderate shares, payoff shares that are not negative and add up to 1.
    const auto paired = [](const ModelState& model) {
        return LongRun(model, 0.5, LongRunSettings{}).paired_inverses();
    };
    EXPECT_TRUE(paired(test_models::start_up_model()));
    EXPECT_FALSE(paired(model_of({{{0.5, 0.5}, {1e-7, 1 - 1e-7}, {0.5, 0.5}}}, {1})));
    EXPECT_FALSE(paired(model_of({{{-0.2, 1.2}, {0.4, 0.6}, {0.5, 0.5}}}, {1})));
    EXPECT_FALSE(paired(model_of({{{0.5, 1.0}, {0.4, 0.6}, {0.5, 0.5}}}, {1})));
    // A step of a paired map of four stocks lands within a few roundings of tau by hand.
    const std::vector<double> R{0.1, 0.2, 0.3, 0.4}, la1{0.7, 0.1, 0.1, 0.1},
        la2{0.1, 0.2, 0.3, 0.4};
    const ModelState model = model_of({{R, la1, la2}}, {1});
    LongRunSettings settings;
    settings.steps = 1;
    settings.burn_in = 0;
    const LongRun run(model, 0.3, settings);
    ASSERT_TRUE(run.paired_inverses());
    long double tau = 0;
    for (std::size_t k = 0; k < 4; ++k) {
        const long double held = la1[k] * 0.3L;
        tau += R[k] * held / (held + la2[k] * 0.7L);
    }
    LongRunControl control;
    EXPECT_NEAR(run.run(control).last, static_cast<double>(tau), 1e-15);
}

TEST(ChainEngine, CancelStopsEveryChainPromptly) {
    LongRunSettings settings;
    settings.steps = max_long_run_steps;
    const LongRun run(test_models::start_up_model(), 0.5, settings);
    constexpr int chains = 40;
    std::vector<LongRunResult> results(chains);
    std::vector<ChainTask> tasks;
    for (std::size_t c = 0; c < chains; ++c) {
        tasks.push_back({&run, c, &results[c], nullptr, c == 0});
    }
    LongRunControl control;
    std::thread worker([&] { run_chains(tasks, control); });
    while (control.steps_done.load() == 0) {
        std::this_thread::yield();
    }
    const auto asked = std::chrono::steady_clock::now();
    control.cancel = true;
    worker.join();
    // Generous: the machine may be busy with other work.
    EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::seconds(5));
    // The first block of lanes ran until the cancel, within a block of steps; the second never
    // started.
    const std::int64_t first = results[0].steps_taken;
    for (std::size_t c = 0; c < chains; ++c) {
        EXPECT_EQ(results[c].end, LongRunEnd::cancelled) << c;
        EXPECT_EQ(results[c].steps_taken, c < engine::max_lanes ? first : 0) << c;
    }
    EXPECT_GT(first, 0);
    EXPECT_LT(first, max_long_run_steps);
    EXPECT_EQ(results[0].last_steps.back().step, first);
    EXPECT_EQ(control.steps_done.load(), first * engine::max_lanes);
}

}  // namespace
}  // namespace quobel::analysis
