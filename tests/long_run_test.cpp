// Tests of the long run: agreement with the window's iteration, statistics, stops and Cancel.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numeric>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "analysis/batch_means.hpp"
#include "analysis/long_run.hpp"
#include "analysis/philox.hpp"
#include "analysis_models.hpp"
#include "model/maps.hpp"
#include "model/random_source.hpp"
#include "model/start_up.hpp"

namespace quobel::analysis {
namespace {

using test_models::model_of;
using test_models::ModelState;
using test_models::RealCell;
using test_models::start_up_model;

// The map that a draw of 32 bits picks: u = x / 2^32 against the cumulative chances of three
// maps.
int map_of_draw(const ModelState& model, std::uint32_t x) {
    const double u = static_cast<double>(x) * 0x1p-32;
    return u < model.prob(1) ? 1 : u < model.prob(2) + model.prob(1) ? 2 : 3;
}

// The draw of step t (from t to t + 1) of chain 0 of a seed, which LongRun::run is: word t % 4
// of Philox block t / 4.
std::uint32_t draw_of(std::uint64_t seed, std::int64_t t) {
    const auto block = static_cast<std::uint64_t>(t / 4);
    return philox4x32(philox_counter(0, block), philox_key(seed))[static_cast<std::size_t>(t % 4)];
}

TEST(LongRun, FollowsTheWindowsIterationClosely) {
    // The run scales the single-precision rows to add up to 1 and carries 1 - r apart: its points
    // stay within a few roundings of the window's, on the same maps.
    ModelState model = start_up_model();
    model.current_r = RealCell::of_single(0.4534884f);
    LongRunSettings settings;
    settings.steps = 3000;
    settings.seed = 7;
    LongRunControl control;
    const LongRunResult result = LongRun(model, model.current_r.value(), settings).run(control);
    ASSERT_EQ(result.end, LongRunEnd::finished);
    ASSERT_EQ(result.last_steps.size(), static_cast<std::size_t>(kept_steps));
    EXPECT_EQ(control.steps_done.load(), 3000);

    // The same generator's outputs as draws of 32 bits against the cumulative chances, and the
    // model's own map.
    std::vector<TrajectoryPoint> expected;
    double r = model.current_r.value();
    for (std::int64_t t = 1; t <= 3000; ++t) {
        const int s = map_of_draw(model, draw_of(7, t - 1));
        r = model::tau(model, s, r);
        ASSERT_TRUE(std::isfinite(r));
        if (t > 3000 - kept_steps) {
            expected.push_back({t, s, r});
        }
    }
    ASSERT_EQ(result.last_steps.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(result.last_steps[i].step, expected[i].step);
        EXPECT_EQ(result.last_steps[i].map, expected[i].map);
        EXPECT_NEAR(result.last_steps[i].r, expected[i].r, 1e-6) << i;
    }
    EXPECT_NEAR(result.last, r, 1e-6);
}

TEST(LongRun, StatisticsOfARun) {
    const ModelState model = start_up_model();
    LongRunSettings settings;
    settings.steps = 200'000;
    settings.burn_in = 1000;
    settings.bins = 50;
    LongRunControl control;
    const LongRun run(model, 0.5, settings);
    const LongRunResult result = run.run(control);
    ASSERT_EQ(result.end, LongRunEnd::finished);
    EXPECT_EQ(result.recorded, 199'000);

    std::int64_t counted = result.below + result.above;
    double mass = 0;
    for (std::size_t i = 0; i < result.histogram.size(); ++i) {
        counted += result.histogram[i];
        mass += result.density()[i] / 50;
    }
    EXPECT_EQ(counted, result.recorded);
    EXPECT_NEAR(mass, 1.0, 1e-12);
    EXPECT_GE(result.mean_r, 0);
    EXPECT_LE(result.mean_r, 1);
    EXPECT_TRUE(std::isfinite(result.lyapunov));

    // Every step draws a map, at about the rate the probabilities give.
    EXPECT_EQ(result.draws[0] + result.draws[1] + result.draws[2], 200'000);
    for (std::size_t s = 0; s < 3; ++s) {
        const double expected = result.maps.chance[s] * 200'000;
        EXPECT_NEAR(static_cast<double>(result.draws[s]), expected, 5 * std::sqrt(expected));
    }

    // The same seed gives the same run; another seed another one.
    EXPECT_EQ(run.run(control).histogram, result.histogram);
    settings.seed = 2;
    EXPECT_NE(LongRun(model, 0.5, settings).run(control).histogram, result.histogram);
}

TEST(LongRun, LyapunovExponentAtAnAttractingBoundary) {
    // One map, one stock: every orbit inside (0, 1] tends to 1, where the slope is la2 / la1.
    const ModelState model = model_of({{{1}, {0.6}, {0.3}}}, {1});
    LongRunSettings settings;
    settings.steps = 20'000;
    settings.burn_in = 200;
    LongRunControl control;
    const LongRunResult result = LongRun(model, 0.01, settings).run(control);
    EXPECT_NEAR(result.lyapunov, std::log(0.5), 1e-9);
    EXPECT_NEAR(result.mean_r, 1.0, 1e-12);
    EXPECT_EQ(result.histogram.back(), result.recorded);
    EXPECT_EQ(result.draws, (std::array<std::int64_t, 3>{20'000, 0, 0}));
}

TEST(LongRun, StopsAtANonFiniteStepOrWithoutMaps) {
    // Negative shares: at r = 0.5 the holdings 0.2 * 0.5 and -0.2 * 0.5 cancel.
    ModelState model = model_of({{{0.5, 0.5}, {0.2, 0.8}, {-0.2, 1.2}}}, {1});
    LongRunControl control;
    const LongRunResult failed = LongRun(model, 0.5, {}).run(control);
    EXPECT_EQ(failed.end, LongRunEnd::not_finite);
    EXPECT_EQ(failed.steps_taken, 0);
    EXPECT_EQ(failed.failed_map, 1);
    EXPECT_EQ(failed.failed_from, 0.5);
    EXPECT_TRUE(std::isnan(failed.mean_r));

    model.num_maps = 0;
    EXPECT_EQ(LongRun(model, 0.5, {}).run(control).end, LongRunEnd::no_map);

    LongRunSettings settings;
    settings.steps = 1'000'000'000;
    settings.burn_in = -5;
    settings.bins = 0;
    const LongRun clamped(model, 0.5, settings);
    EXPECT_EQ(clamped.settings().steps, max_long_run_steps);
    EXPECT_EQ(clamped.settings().burn_in, 0);
    EXPECT_EQ(clamped.settings().bins, 1);
}

TEST(LongRun, CancelStopsPromptly) {
    const ModelState model = start_up_model();
    LongRunSettings settings;
    settings.steps = max_long_run_steps;
    LongRunControl control;
    LongRunResult result;
    std::thread worker([&] { result = LongRun(model, 0.5, settings).run(control); });
    while (control.steps_done.load() == 0) {
        std::this_thread::yield();
    }
    const auto asked = std::chrono::steady_clock::now();
    const std::int64_t done_when_asked = control.steps_done.load();
    control.cancel = true;
    worker.join();
    // At most the block under way and the next one run on; the time bound is loose because the
    // machine may be busy with other work.
    EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::seconds(1));
    EXPECT_EQ(result.end, LongRunEnd::cancelled);
    EXPECT_GE(result.steps_taken, done_when_asked);
    EXPECT_LE(result.steps_taken, done_when_asked + 2 * cancel_check_steps);
    EXPECT_EQ(result.last_steps.back().step, result.steps_taken);
}

TEST(LongRun, RunsOnItsOwnCopyOfTheParameters) {
    // The window changes the model while a run goes on elsewhere: the run must not see it.
    ModelState model = start_up_model();
    LongRunSettings settings;
    settings.steps = 20'000;
    const LongRun run(model, 0.5, settings);
    LongRunControl control;
    const LongRunResult before = run.run(control);
    model = model_of({{{1}, {0.9}, {0.1}}}, {1});
    const LongRunResult after = run.run(control);
    EXPECT_EQ(after.histogram, before.histogram);
    EXPECT_EQ(after.last_steps, before.last_steps);
    EXPECT_EQ(after.draws, before.draws);
    // Whereas a run of the changed model is another run: one map, always drawn.
    EXPECT_EQ(LongRun(model, 0.5, settings).run(control).draws[0], 20'000);
}

// Every recorded point of the run in [0, 1] and in the histogram.
void expect_inside(const LongRunResult& result) {
    EXPECT_EQ(result.below, 0);
    EXPECT_EQ(result.above, 0);
    EXPECT_EQ(std::accumulate(result.histogram.begin(), result.histogram.end(), std::int64_t{0}),
              result.recorded);
    EXPECT_EQ(std::accumulate(result.log_odds_histogram.begin(), result.log_odds_histogram.end(),
                              std::int64_t{0}) +
                  result.at_boundary[0] + result.at_boundary[1],
              result.recorded);
    for (const TrajectoryPoint& point : result.last_steps) {
        ASSERT_GE(point.r, 0.0);
        ASSERT_LE(point.r, 1.0);
    }
}

LongRunResult run_of(const ModelState& model, double start, std::int64_t steps,
                     std::int64_t burn_in, std::uint64_t seed = 1) {
    LongRunSettings settings;
    settings.steps = steps;
    settings.burn_in = burn_in;
    settings.seed = seed;
    LongRunControl control;
    return LongRun(model, start, settings).run(control);
}

TEST(LongRun, TakeOverIsAbsorbedAtTheBoundary) {
    // tau(1) = 1 exactly only in exact arithmetic: in floating point the map may step past it.
    // Near 1 the distance shrinks by tau'(1) = 0.1 * 0.6 / 0.4 + 0.9 * 0.4 / 0.6 = 0.75 a step.
    const ModelState model = model_of({{{0.1, 0.9}, {0.4, 0.6}, {0.6, 0.4}}}, {1});
    const LongRunResult result = run_of(model, 0.5, 1'000'000, 10'000);
    ASSERT_EQ(result.end, LongRunEnd::finished);
    expect_inside(result);
    EXPECT_EQ(result.histogram.back(), 990'000);
    const std::vector<double> density = result.density();
    EXPECT_DOUBLE_EQ(
        std::accumulate(density.begin(), density.end(), 0.0) / static_cast<double>(density.size()),
        1.0);
    EXPECT_EQ(result.at_boundary[1], 990'000);
    EXPECT_EQ(result.last, 1.0);
    EXPECT_EQ(result.approached, 1);
    EXPECT_NEAR(result.lyapunov, std::log(0.75), 1e-12);
    EXPECT_NEAR(result.boundary_lambda[1], std::log(0.75), 1e-15);

    const BoundaryApproach& one = result.boundaries[1];
    EXPECT_GT(one.first_within[0], 0);
    EXPECT_GT(one.first_within[1], one.first_within[0]);
    // From 1e-12 down to the smallest normal double at the rate 0.75.
    const double expected = std::log(std::numeric_limits<double>::min() / 1e-12) / std::log(0.75);
    EXPECT_NEAR(static_cast<double>(one.absorbed - one.first_within[1]), expected, 2.0);
    EXPECT_EQ(result.boundaries[0].first_within[0], -1);
    EXPECT_EQ(result.boundaries[0].absorbed, -1);

    // Every recorded point is 1 itself: an average of exactly 1 with error 0, which the texts
    // must not let pass for certainty.
    EXPECT_EQ(result.mean_r, 1.0);
    EXPECT_EQ(result.mean_r_error, 0.0);
    EXPECT_EQ(absorbed_boundary(result), 1);
    const std::string step = std::to_string(one.absorbed);
    EXPECT_EQ(absorption_text(result),
              "reached r = 1 to within the smallest double at step " + step +
                  ": from there r is 1 itself, and the orbit's exponent is then Lambda_1's");
    EXPECT_NE(absorbed_average_note(result).find("absorbed: exactly 1 from step " + step + ","),
              std::string::npos);

    // A run that stops short of the underflow says nothing of it.
    const LongRunResult early = run_of(model, 0.5, one.absorbed - 1, 0);
    EXPECT_EQ(absorbed_boundary(early), -1);
    EXPECT_EQ(absorption_text(early), "");
    EXPECT_EQ(absorbed_average_note(early), "");
}

TEST(LongRun, NearnessLevelsAsAPersonWritesThem) {
    EXPECT_EQ(nearness_text(0), "1e-6");
    EXPECT_EQ(nearness_text(1), "1e-12");
}

TEST(LongRun, SinglePrecisionRowsStayInside) {
    // Payoff rows stored in single precision miss 1 by about 3e-8; investor 1 holds the Kelly
    // portfolio (0.5, 0.5) and takes over slowly.
    for (const bool single : {false, true}) {
        const std::vector<double> la1{0.5, 0.5};
        const std::vector<double> la2{0.3, 0.7};
        const ModelState model =
            model_of({{{0.6, 0.4}, la1, la2}, {{0.4, 0.6}, la1, la2}}, {0.5, 0.5}, single);
        const LongRunResult result = run_of(model, 0.5, 1'000'000, 10'000);
        ASSERT_EQ(result.end, LongRunEnd::finished);
        expect_inside(result);
        EXPECT_GT(result.mean_r, 0.99) << single;
    }
}

TEST(LongRun, NoPointLeavesTheIntervalForRandomParameters) {
    // Parameter sets as the program draws them (single precision), and typed ones (double).
    for (std::uint64_t seed = 1; seed <= 60; ++seed) {
        ModelState model = test_models::start_up_model(model::UniformGenerator(seed));
        for (const bool typed : {false, true}) {
            if (typed) {
                for (int s = 1; s <= 3; ++s) {
                    for (int k = 1; k <= 4; ++k) {
                        model.R(s, k) = RealCell::of_double(model.R(s, k).value());
                        model.la1(s, k) = RealCell::of_double(model.la1(s, k).value());
                    }
                }
            }
            const double start = seed % 3 == 0 ? 0.999 : seed % 3 == 1 ? 1e-9 : 0.5;
            const LongRunResult result = run_of(model, start, 30'000, 100, seed);
            ASSERT_EQ(result.end, LongRunEnd::finished) << seed;
            expect_inside(result);
        }
    }
}

TEST(LongRun, BatchMeansErrorsShrinkLikeOneOverRootN) {
    // Investor 1 holds only stock 1 and investor 2 only stock 2: map s sends every r inside
    // (0, 1) to R(s,1), here 0.25 with chance 0.3 and 0.9 with 0.7. The points are independent
    // draws of mean 0.3 * 0.25 + 0.7 * 0.9 = 0.705 and variance 0.21 * 0.65^2.
    const std::vector<double> la1{1, 0};
    const std::vector<double> la2{0, 1};
    const ModelState model =
        model_of({{{0.25, 0.75}, la1, la2}, {{0.9, 0.1}, la1, la2}}, {0.3, 0.7});
    const double sigma = std::sqrt(0.21) * 0.65;
    double previous = 0;
    for (const std::int64_t n : {64'000, 256'000, 1'024'000}) {
        const LongRunResult result = run_of(model, 0.5, n, 0, 3);
        EXPECT_EQ(result.batches, batch_count);
        const double expected = sigma / std::sqrt(static_cast<double>(n));
        EXPECT_NEAR(result.mean_r_error / expected, 1.0, 0.35) << n;
        EXPECT_NEAR(result.mean_r, 0.705, 4 * expected) << n;
        if (previous > 0) {
            EXPECT_NEAR(result.mean_r_error / previous, 0.5, 0.2) << n;
        }
        previous = result.mean_r_error;
    }
}

TEST(LongRun, OrbitExponentAndItsErrorAtTheBoundaryItApproached) {
    // One stock, two maps that both favour investor 1: r is absorbed at 1, where each step's
    // slope is la2 / la1 of its map, 0.5 or 0.25 with chance 1/2 each. The exponent is then the
    // mean of independent draws: Lambda_1 = (log 0.5 + log 0.25) / 2, standard deviation
    // (log 0.5 - log 0.25) / 2.
    const ModelState model = model_of({{{1}, {0.6}, {0.3}}, {{1}, {0.8}, {0.2}}}, {0.5, 0.5});
    const std::int64_t n = 256'000;
    const LongRunResult result = run_of(model, 0.5, 2000 + n, 2000, 4);
    const double lambda_1 = (std::log(0.5) + std::log(0.25)) / 2;
    const double expected = std::log(2.0) / 2 / std::sqrt(static_cast<double>(n));
    EXPECT_GE(result.boundaries[1].absorbed, 0);
    EXPECT_LT(result.boundaries[1].absorbed, 2000);
    EXPECT_EQ(result.approached, 1);
    EXPECT_NEAR(result.boundary_lambda[1], lambda_1, 1e-15);
    EXPECT_NEAR(result.lyapunov, lambda_1, 4 * expected);
    EXPECT_NEAR(result.lyapunov_error / expected, 1.0, 0.35);
}

TEST(LongRun, LogOddsOfTheTwoPoints) {
    // The same two-point run: log-odds log(1/3) and log(9) in the bins of 1/16 of a binade
    // centred nearest to them.
    const std::vector<double> la1{1, 0};
    const std::vector<double> la2{0, 1};
    const ModelState model =
        model_of({{{0.25, 0.75}, la1, la2}, {{0.9, 0.1}, la1, la2}}, {0.3, 0.7});
    const LongRunResult result = run_of(model, 0.5, 10'000, 0);
    const auto bin = [](double ratio) {
        return static_cast<std::size_t>(
            std::lround((std::log2(ratio) + log_odds_binades) * log_odds_bins_per_binade));
    };
    const std::int64_t low = result.log_odds_histogram[bin(1.0 / 3)];
    const std::int64_t high = result.log_odds_histogram[bin(9)];
    EXPECT_EQ(low + high, 10'000);
    EXPECT_EQ(low, result.draws[0]);
}

TEST(LongRun, OddsOnPowersOfTwoFillWholeBinades) {
    // Arrow securities whose odds ratios are 2 (map 1) and 1/2 (map 2): from r = 1/2 every point
    // has odds 2^n, and each must land in the bin of 2^n, not by its rounding in the one below.
    const std::vector<double> la1{2.0 / 3, 1.0 / 3};
    const std::vector<double> la2{1.0 / 3, 2.0 / 3};
    const ModelState model = model_of({{{1, 0}, la1, la2}, {{0, 1}, la1, la2}}, {0.5, 0.5});
    const LongRunResult result = run_of(model, 0.5, 20'000, 0, 6);
    expect_inside(result);
    EXPECT_EQ(result.at_boundary, (std::array<std::int64_t, 2>{0, 0}));
    const int middle = log_odds_binades * log_odds_bins_per_binade;
    std::int64_t on_powers = 0;
    int powers = 0;
    for (int n = -log_odds_binades; n < log_odds_binades; ++n) {
        const std::int64_t count =
            result.log_odds_histogram[static_cast<std::size_t>(middle + 16 * n)];
        on_powers += count;
        powers += count > 0 ? 1 : 0;
    }
    EXPECT_EQ(on_powers, result.recorded);
    EXPECT_GT(powers, 20);  // the walk went far enough to meet many roundings
}

TEST(LongRun, DrawsMapsToTheirChancesBelowSinglePrecision) {
    // Map 1 has the chance 2^-30: a draw of 32 bits picks it for the outputs 0..3 only, where a
    // single-precision draw of 24 bits would pick it for 0..255, 64 times as often. Seed 283's
    // 50920th output is one of 4..255.
    ModelState model = test_models::arrow_securities();
    model.prob(1) = 0x1p-30;
    model.prob(2) = 1 - 0x1p-30;
    constexpr std::int64_t steps = 100'000;
    std::int64_t picked_by_32_bits = 0;
    std::int64_t picked_by_24_bits = 0;
    for (std::int64_t t = 0; t < steps; ++t) {
        const std::uint32_t x = draw_of(283, t);
        picked_by_32_bits += x < 4 ? 1 : 0;
        picked_by_24_bits += x < 256 ? 1 : 0;
    }
    ASSERT_GT(picked_by_24_bits, picked_by_32_bits);
    const LongRunResult result = run_of(model, 0.5, steps, 0, 283);
    EXPECT_EQ(result.draws[0], picked_by_32_bits);
    EXPECT_EQ(result.draws[1], steps - picked_by_32_bits);
}

TEST(LongRun, RunsOnThroughAStockNobodyHolds) {
    // Stock 3 pays nothing in map 1 and neither investor holds it there: its term is 0.
    const ModelState model = model_of({{{0.6, 0.4, 0}, {0.5, 0.5, 0}, {0.3, 0.7, 0}},
                                       {{0.2, 0.3, 0.5}, {0.3, 0.3, 0.4}, {0.2, 0.4, 0.4}}},
                                      {0.5, 0.5});
    const LongRunResult result = run_of(model, 0.5, 100'000, 1000);
    EXPECT_EQ(result.end, LongRunEnd::finished);
    expect_inside(result);
    EXPECT_GT(result.draws[0], 0);
}

// Two maps that move r only a little, one up and one down: investor 1 bets 1/2 + tilt on the
// stock that pays `pays` in map 1 and 1 - `pays` in map 2, investor 2 as much on the other. The
// smaller the tilt, the longer r remembers where it was.
ModelState tilted_maps(double tilt, double pays = 0.9) {
    const std::vector<double> la1{0.5 + tilt, 0.5 - tilt};
    const std::vector<double> la2{0.5 - tilt, 0.5 + tilt};
    return model_of({{{pays, 1 - pays}, la1, la2}, {{1 - pays, pays}, la1, la2}}, {0.5, 0.5});
}

// The spread of the time average of r over runs of many seeds, against their mean error.
double error_over_spread(const ModelState& model, std::int64_t steps, int seeds) {
    std::vector<double> means;
    double errors = 0;
    for (int seed = 100; seed < 100 + seeds; ++seed) {
        const LongRunResult result = run_of(model, 0.5, steps, 1000, seed);
        means.push_back(result.mean_r);
        errors += result.mean_r_error;
    }
    const double mean = std::accumulate(means.begin(), means.end(), 0.0) / seeds;
    double squares = 0;
    for (const double value : means) {
        squares += (value - mean) * (value - mean);
    }
    return errors / seeds / std::sqrt(squares / (seeds - 1));
}

TEST(LongRun, ErrorBarsWarnWhenTheRunIsShortAgainstTheCorrelationTime) {
    // A tilt of 0.05 at 3e4 steps: the errors are about a third too small, as the spread of the
    // average over many seeds shows, and every run says so.
    const ModelState slow = tilted_maps(0.05);
    EXPECT_LT(error_over_spread(slow, 30'000, 40), 0.8);
    for (std::uint64_t seed = 1; seed <= 5; ++seed) {
        const LongRunResult result = run_of(slow, 0.5, 30'000, 1000, seed);
        EXPECT_TRUE(result.errors_may_be_too_small) << seed;
        EXPECT_EQ(error_bar_warning(result), "error bars may be too small: run longer");
    }
    // Maps that forget r at once (the points are independent draws), and a strong tilt that
    // forgets it within a few steps: the errors hold and no seed raises the warning.
    const std::vector<double> la1{1, 0};
    const std::vector<double> la2{0, 1};
    const ModelState independent =
        model_of({{{0.25, 0.75}, la1, la2}, {{0.9, 0.1}, la1, la2}}, {0.3, 0.7});
    const ModelState fast = tilted_maps(0.4);
    EXPECT_GT(error_over_spread(fast, 30'000, 40), 0.8);
    for (std::uint64_t seed = 1; seed <= 20; ++seed) {
        for (const ModelState* model : {&independent, &fast}) {
            const LongRunResult result = run_of(*model, 0.5, 30'000, 1000, seed);
            EXPECT_FALSE(result.errors_may_be_too_small) << seed;
            EXPECT_EQ(error_bar_warning(result), "");
        }
    }
}

TEST(BatchMeans, LongBatchesAreShortOnesMergedOverTheSameSteps) {
    // Sums and lengths of six batches, one of them empty: the groups of two are the means over
    // their steps, an empty group gives none and an incomplete one at the end is left out.
    const std::vector<double> sums{1, 3, 0, 0, 5, 7, 100};
    const std::vector<std::int64_t> lengths{1, 3, 0, 0, 2, 2, 1};
    EXPECT_EQ(grouped_means(sums, lengths, 2), (std::vector<double>{1.0, 3.0}));
    EXPECT_EQ(grouped_means(sums, lengths, 1), (std::vector<double>{1.0, 1.0, 2.5, 3.5, 100.0}));
}

TEST(BatchMeans, GrowingErrorsBeyondChance) {
    // Series of independent values and of slowly mixing ones (AR(1) with coefficient 0.9835, its
    // correlation time about twice a short batch of 30 steps), cut into 128 short batches and
    // merged into 32: the warning is rare on the first and nearly always raised on the second.
    std::mt19937_64 random(11);
    std::normal_distribution<double> normal;
    const auto flagged = [&](double coefficient, int runs) {
        int count = 0;
        for (int run = 0; run < runs; ++run) {
            std::vector<double> sums(128, 0.0);
            const std::vector<std::int64_t> lengths(128, 30);
            double x = normal(random) / std::sqrt(1 - coefficient * coefficient);
            for (std::size_t t = 0; t < 128 * 30; ++t) {
                x = coefficient * x + normal(random);
                sums[t / 30] += x;
            }
            const std::vector<double> long_means = grouped_means(sums, lengths, 4);
            const std::vector<double> short_means = grouped_means(sums, lengths, 1);
            count += batch_error_still_growing(batch_means_error(long_means), 32,
                                               batch_means_error(short_means), 128);
        }
        return count;
    };
    EXPECT_LE(flagged(0, 400), 4);
    EXPECT_GE(flagged(0.9835, 40), 36);
    // Too few batches, or no error to compare with, never raise it.
    EXPECT_FALSE(batch_error_still_growing(1, 1, 0.1, 4));
    EXPECT_FALSE(batch_error_still_growing(1, 32, 0, 128));
    EXPECT_FALSE(batch_error_still_growing(std::nan(""), 32, 1, 128));
    EXPECT_FALSE(batch_error_still_growing(1, 32, std::nan(""), 128));
}

}  // namespace
}  // namespace quobel::analysis
