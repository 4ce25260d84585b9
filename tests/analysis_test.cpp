// Tests of the analysis core: boundary exponents and long runs.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <thread>
#include <vector>

#include "analysis/boundary_exponents.hpp"
#include "analysis/long_run.hpp"
#include "model/iteration.hpp"
#include "model/start_up.hpp"
#include "support/recording_windows.hpp"

namespace quobel::analysis {
namespace {

using model::ModelState;
using model::RealCell;

// One map's parameters as rows over the stocks, stored in double precision.
struct MapRows {
    std::vector<double> R, la1, la2;
};

ModelState model_of(const std::vector<MapRows>& maps, const std::vector<double>& prob) {
    ModelState model;
    model.num_maps = static_cast<double>(maps.size());
    model.num_stocks = static_cast<double>(maps.front().R.size());
    for (std::size_t s = 0; s < maps.size(); ++s) {
        for (std::size_t k = 0; k < maps[s].R.size(); ++k) {
            const int map = static_cast<int>(s) + 1;
            const int stock = static_cast<int>(k) + 1;
            model.R(map, stock) = RealCell::of_double(maps[s].R[k]);
            model.la1(map, stock) = RealCell::of_double(maps[s].la1[k]);
            model.la2(map, stock) = maps[s].la2[k];
        }
    }
    for (std::size_t s = 0; s < prob.size(); ++s) {
        model.prob(static_cast<int>(s) + 1) = prob[s];
    }
    return model;
}

// The parameters the program starts with: random shares stored in single precision.
ModelState start_up_model() {
    ModelState model;
    model::UniformGenerator random;
    model::initialise_model(model, random);
    model.prob(1) = 0.3;
    model.prob(2) = 0.3;
    model.prob(3) = 0.4;
    return model;
}

bool has_flag(const BoundaryExponents& result, FlagKind kind, int map = 0, int stock = 0) {
    for (const Flag& flag : result.flags) {
        if (flag.kind == kind && flag.map == map && flag.stock == stock) {
            return true;
        }
    }
    return false;
}

double kl(const std::vector<double>& p, const std::vector<double>& q) {
    double sum = 0;
    for (std::size_t i = 0; i < p.size(); ++i) {
        sum += p[i] * std::log(p[i] / q[i]);
    }
    return sum;
}

TEST(BoundaryExponents, OneStockAndEqualPortfolios) {
    // One stock: tau'(0) = la1 / la2 and tau'(1) = la2 / la1.
    const auto one = boundary_exponents(model_of({{{1}, {0.6}, {0.3}}}, {0.3}));
    ASSERT_EQ(one.terms.size(), 1U);
    EXPECT_DOUBLE_EQ(one.terms[0].slope_at_0, 2.0);
    EXPECT_DOUBLE_EQ(one.terms[0].slope_at_1, 0.5);
    EXPECT_DOUBLE_EQ(one.lambda_0, std::log(2.0));
    EXPECT_DOUBLE_EQ(one.lambda_1, -std::log(2.0));
    EXPECT_EQ(one.verdict, Verdict::investor_1_takes_over);
    // With one map prob is not read, so its 0.3 is no fault.
    EXPECT_TRUE(one.flags.empty());

    const auto swapped = boundary_exponents(model_of({{{1}, {0.3}, {0.6}}}, {1}));
    EXPECT_EQ(swapped.verdict, Verdict::investor_2_takes_over);

    // Equal portfolios: both slopes are sum R = 1, both exponents 0.
    const auto equal = boundary_exponents(
        model_of({{{0.5, 0.5}, {0.2, 0.8}, {0.2, 0.8}}, {{0.25, 0.75}, {0.7, 0.3}, {0.7, 0.3}}},
                 {0.4, 0.6}));
    EXPECT_EQ(equal.lambda_0, 0.0);
    EXPECT_EQ(equal.lambda_1, 0.0);
    EXPECT_EQ(equal.verdict, Verdict::undecided);
    EXPECT_EQ(verdict_text(equal.verdict), "undecided (degenerate)");
    // Shares whose decimal sum is 1 but whose binary sum is not: no verdict from the rounding.
    const auto rounded =
        boundary_exponents(model_of({{{0.34, 0.56, 0.1}, {0.3, 0.3, 0.4}, {0.3, 0.3, 0.4}}}, {1}));
    EXPECT_GT(rounded.lambda_0, 0.0);
    EXPECT_GT(rounded.lambda_1, 0.0);
    EXPECT_EQ(rounded.verdict, Verdict::undecided);
}

TEST(BoundaryExponents, ArrowSecuritiesGiveRelativeEntropies) {
    // Map s pays only stock s; both investors hold fixed portfolios a and b.
    const std::vector<double> p = {0.3, 0.3, 0.4};
    const std::vector<double> a = {0.2, 0.3, 0.5};
    const std::vector<double> b = {0.5, 0.25, 0.25};
    const MapRows first{{1, 0, 0}, a, b};
    const MapRows second{{0, 1, 0}, a, b};
    const MapRows third{{0, 0, 1}, a, b};
    const auto result = boundary_exponents(model_of({first, second, third}, p));
    EXPECT_NEAR(result.lambda_0, kl(p, b) - kl(p, a), 1e-12);
    EXPECT_NEAR(result.lambda_1, kl(p, a) - kl(p, b), 1e-12);
    EXPECT_EQ(result.verdict, Verdict::investor_1_takes_over);
    EXPECT_TRUE(result.flags.empty());
    // The Kelly portfolio of Arrow securities is the probabilities themselves.
    ASSERT_EQ(result.kelly.size(), 3U);
    for (std::size_t k = 0; k < 3; ++k) {
        EXPECT_NEAR(result.kelly[k], p[k], 1e-12);
    }

    // Betting the Kelly portfolio wins against any other.
    const auto kelly =
        boundary_exponents(model_of({{{1, 0, 0}, b, p}, {{0, 1, 0}, b, p}, {{0, 0, 1}, b, p}}, p));
    EXPECT_NEAR(kelly.lambda_0, -kl(p, b), 1e-12);
    EXPECT_EQ(kelly.verdict, Verdict::investor_2_takes_over);
}

TEST(BoundaryExponents, Verdicts) {
    const auto both = boundary_exponents(model_of({{{0.5, 0.5}, {0.9, 0.1}, {0.1, 0.9}}}, {1}));
    EXPECT_GT(both.lambda_0, 0);
    EXPECT_GT(both.lambda_1, 0);
    EXPECT_EQ(both.verdict, Verdict::both_survive);
    EXPECT_EQ(verdict_text(Verdict::both_survive), "both survive");
    EXPECT_EQ(verdict_text(Verdict::investor_1_takes_over), "investor 1 takes over");
    EXPECT_EQ(verdict_text(Verdict::investor_2_takes_over), "investor 2 takes over");

    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(verdict_of(-1, -1), Verdict::undecided);
    EXPECT_EQ(verdict_of(0, -1), Verdict::undecided);
    EXPECT_EQ(verdict_of(1, 0), Verdict::undecided);
    EXPECT_EQ(verdict_of(1e-15, -1), Verdict::undecided);
    EXPECT_EQ(verdict_of(1e-9, -1e-9), Verdict::investor_1_takes_over);
    EXPECT_EQ(verdict_of(nan, -1), Verdict::undecided);
    EXPECT_EQ(verdict_of(1, nan), Verdict::undecided);
}

TEST(BoundaryExponents, FlagsWhatMakesThemMeaningless) {
    // The random shares of start-up sum to 1 only up to single precision: no flag.
    EXPECT_TRUE(boundary_exponents(start_up_model()).flags.empty());

    const auto short_shares =
        boundary_exponents(model_of({{{0.5, 0.4}, {0.5, 0.5}, {0.5, 0.5}}}, {1}));
    EXPECT_TRUE(has_flag(short_shares, FlagKind::shares_not_summing_to_one, 1));
    EXPECT_EQ(short_shares.flags.size(), 1U);

    const auto zero_la2 = boundary_exponents(model_of({{{0.5, 0.5}, {0.5, 0.5}, {1, 0}}}, {1}));
    EXPECT_TRUE(has_flag(zero_la2, FlagKind::infinite_slope_at_0, 1, 2));
    EXPECT_EQ(zero_la2.lambda_0, std::numeric_limits<double>::infinity());
    const auto zero_la1 = boundary_exponents(model_of({{{0.5, 0.5}, {0, 1}, {0.5, 0.5}}}, {1}));
    EXPECT_TRUE(has_flag(zero_la1, FlagKind::infinite_slope_at_1, 1, 1));
    // Without payoff the stock's zero share is harmless.
    EXPECT_TRUE(boundary_exponents(model_of({{{0, 1}, {0, 1}, {0.5, 0.5}}}, {1})).flags.empty());

    const auto negative =
        boundary_exponents(model_of({{{1.5, -0.5}, {0.5, 0.5}, {0.9, 0.1}}}, {1}));
    EXPECT_TRUE(has_flag(negative, FlagKind::slope_without_logarithm, 1));
    EXPECT_EQ(negative.verdict, Verdict::undecided);

    const MapRows plain{{0.5, 0.5}, {0.4, 0.6}, {0.6, 0.4}};
    const auto unequal = boundary_exponents(model_of({plain, plain}, {0.5, 0.3}));
    EXPECT_TRUE(has_flag(unequal, FlagKind::probabilities_not_summing_to_one));
    // The exponents weigh the maps as the iteration picks them: map 2 takes every draw from 0.5.
    EXPECT_EQ(unequal.terms[1].chance, 0.5);

    // A map the iteration never picks raises nothing and adds nothing.
    const MapRows broken{{0.2, 0.2}, {0, 1}, {1, 0}};
    const auto unpicked = boundary_exponents(model_of({plain, broken}, {1, 0}));
    EXPECT_TRUE(unpicked.flags.empty());
    EXPECT_TRUE(std::isfinite(unpicked.lambda_0) && std::isfinite(unpicked.lambda_1));

    ModelState four = model_of({plain, plain, plain}, {0.3, 0.3, 0.4});
    four.num_maps = 4;
    const auto none = boundary_exponents(four);
    EXPECT_EQ(none.maps.count, 0);
    EXPECT_TRUE(none.terms.empty());
    EXPECT_EQ(none.verdict, Verdict::undecided);
}

TEST(MapsInUse, ChancesFollowTheStepsRule) {
    ModelState model;
    model.num_maps = 3;
    model.prob(1) = 0.75;
    model.prob(2) = 0.5;
    EXPECT_EQ(maps_in_use(model).chance, (std::array<double, 3>{0.75, 0.25, 0}));
    model.prob(1) = 0.5;
    model.prob(2) = -0.2;  // map 2 is never picked
    EXPECT_EQ(maps_in_use(model).chance, (std::array<double, 3>{0.5, 0, 0.5}));
    model.num_maps = 2;
    model.prob(1) = std::numeric_limits<double>::quiet_NaN();  // no draw is below it
    EXPECT_EQ(maps_in_use(model).chance, (std::array<double, 3>{0, 1, 0}));
    model.num_maps = 2.5;
    EXPECT_EQ(maps_in_use(model).count, 0);
}

TEST(LongRun, FollowsTheWindowsIterationExactly) {
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

    // The same draws through the model's own step.
    model::UniformGenerator random(7);
    std::vector<TrajectoryPoint> expected;
    for (std::int64_t t = 1; t <= 3000; ++t) {
        const model::StepResult step = model::iterate_step(model, random);
        ASSERT_EQ(step.outcome, model::StepOutcome::taken);
        if (t > 3000 - kept_steps) {
            expected.push_back({t, step.map, model.current_r.value()});
        }
    }
    EXPECT_EQ(result.last_steps, expected);
    EXPECT_EQ(result.last, model.current_r.value());
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
    // la2 = 0 at r = 0: the step is 0 / 0.
    ModelState model = model_of({{{1}, {0.5}, {0}}}, {1});
    LongRunControl control;
    const LongRunResult failed = LongRun(model, 0.0, {}).run(control);
    EXPECT_EQ(failed.end, LongRunEnd::not_finite);
    EXPECT_EQ(failed.steps_taken, 0);
    EXPECT_EQ(failed.failed_map, 1);
    EXPECT_EQ(failed.failed_from, 0.0);
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

TEST(LongRun, LeavesTheProgramsDrawsAlone) {
    auto run_main_window = [](bool long_run_between) {
        testing::Program program;
        auto& window = program.start();
        window.press(0.4);
        window.click(windows::MainButton::Command3);
        if (long_run_between) {
            LongRunControl control;
            const auto& model = program.state.model;
            LongRun(model, model.current_r.value(), {}).run(control);
        }
        window.click(windows::MainButton::Command4);
        return std::pair{window.field_text(windows::Field::Text4, 0), window.surface.lines};
    };
    EXPECT_EQ(run_main_window(true), run_main_window(false));
}

}  // namespace
}  // namespace quobel::analysis
