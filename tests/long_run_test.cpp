// Tests of the long run: agreement with the window's iteration, statistics, stops and Cancel.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

#include "analysis/long_run.hpp"
#include "analysis_models.hpp"
#include "model/iteration.hpp"
#include "model/maps.hpp"

namespace quobel::analysis {
namespace {

using test_models::model_of;
using test_models::ModelState;
using test_models::RealCell;
using test_models::start_up_model;

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

    // The same draws through the model's own choice of map and its map.
    model::UniformGenerator random(7);
    std::vector<TrajectoryPoint> expected;
    double r = model.current_r.value();
    for (std::int64_t t = 1; t <= 3000; ++t) {
        const int s = model::choose_map(model, random);
        r = model::tau(model, s, r);
        ASSERT_TRUE(std::isfinite(r));
        if (t > 3000 - kept_steps) {
            expected.push_back({t, s, r});
        }
    }
    EXPECT_EQ(result.last_steps, expected);
    EXPECT_EQ(result.last, r);
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

}  // namespace
}  // namespace quobel::analysis
