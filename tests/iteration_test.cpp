// Tests of the random iteration: map choice, steps and runs.
#include "model/iteration.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <utility>
#include <vector>

#include "analysis_models.hpp"
#include "model/maps.hpp"
#include "model/number_text.hpp"
#include "model/start_up.hpp"
#include "support/recording_windows.hpp"

namespace quobel::model {
namespace {

using testing::ScriptedDraws;

using analysis::test_models::start_up_model_with_maps;

int map_for(double num_maps, std::vector<double> prob, float draw) {
    ModelState model;
    model.num_maps = num_maps;
    for (std::size_t s = 0; s < prob.size(); ++s) {
        model.prob(static_cast<int>(s) + 1) = prob[s];
    }
    ScriptedDraws random({draw});
    const int s = choose_map(model, random);
    EXPECT_EQ(random.taken, 1);
    return s;
}

// A step callback that keeps every step it is handed.
auto recorder(std::vector<StepResult>& steps) {
    return [&steps](const StepResult& step) { steps.push_back(step); };
}

TEST(Iteration, ChooseMapByCumulativeProbabilities) {
    ModelState one;
    one.num_maps = 1;
    ScriptedDraws none;
    EXPECT_EQ(choose_map(one, none), 1);
    EXPECT_EQ(none.taken, 0);

    // Two maps: strict comparison with prob(1); prob(2) is not read.
    EXPECT_EQ(map_for(2, {0.5, 0}, 0.5f), 2);
    EXPECT_EQ(map_for(2, {0.5, 0}, std::nextafter(0.5f, 0.0f)), 1);
    EXPECT_EQ(map_for(2, {0.3, 0.7}, 0.3f), 2);  // 0.30000001 lies above the double 0.3
    EXPECT_EQ(map_for(2, {0.3, 0.7}, std::nextafter(0.3f, 0.0f)), 1);

    // Three maps with the bounds 0.3 and 0.6; prob(3) is not read.
    const std::vector<double> prob{0.3, 0.3, 0.0};
    EXPECT_EQ(map_for(3, prob, 0), 1);
    EXPECT_EQ(map_for(3, prob, std::nextafter(0.3f, 0.0f)), 1);
    EXPECT_EQ(map_for(3, prob, 0.3f), 2);
    EXPECT_EQ(map_for(3, prob, std::nextafter(0.6f, 0.0f)), 2);
    EXPECT_EQ(map_for(3, prob, 0.6f), 3);
    EXPECT_EQ(map_for(3, prob, 0.99999994f), 3);
    // When prob(1) + prob(2) reaches 1 map 3 is never chosen, whatever prob(3) says.
    EXPECT_EQ(map_for(3, {0.5, 0.5, 0.9}, 0.99999994f), 2);
    EXPECT_EQ(map_for(3, {0.2, 0.9, 0.9}, 0.99999994f), 2);

    // Counts other than 1, 2 and 3 choose no map and take no draw.
    for (double count : {0.0, 2.5, 4.0, -1.0, std::numeric_limits<double>::quiet_NaN()}) {
        ModelState model;
        model.num_maps = count;
        ScriptedDraws random({0.1f});
        EXPECT_EQ(choose_map(model, random), 0) << count;
        EXPECT_EQ(random.taken, 0) << count;
    }
}

// Only the exact counts 1, 2 and 3 draw from maps; a count just beside one of them draws from none.
TEST(Iteration, MapsDrawnOnlyForExactCounts) {
    ModelState model;
    for (const auto& [count, drawn] :
         std::vector<std::pair<double, int>>{{1, 1},
                                             {2, 2},
                                             {3, 3},
                                             {0, 0},
                                             {std::nextafter(2.0, 3.0), 0},
                                             {std::nextafter(3.0, 2.0), 0},
                                             {4, 0},
                                             {-1, 0},
                                             {std::numeric_limits<double>::infinity(), 0},
                                             {std::numeric_limits<double>::quiet_NaN(), 0}}) {
        model.num_maps = count;
        EXPECT_EQ(maps_drawn(model), drawn) << count;
    }
}

TEST(Iteration, StepReportsItsMoveAndKeepsTheDoubleResult) {
    ModelState model = start_up_model_with_maps(3);
    model.current_r = RealCell::of_single(0.4534884f);
    const double r = model.current_r.value();
    const double next = tau(model, 2, r);
    ScriptedDraws random({0.45f});
    const StepResult step = iterate_step(model, random);
    EXPECT_EQ(step.outcome, StepOutcome::taken);
    EXPECT_EQ(step.map, 2);
    EXPECT_EQ(step.from, r);
    EXPECT_EQ(step.to, next);
    EXPECT_EQ(model.current_r, RealCell::of_double(next));

    // From an unset point every step stays at the corner.
    ModelState unset = start_up_model_with_maps(1);
    ScriptedDraws no_draws;
    const StepResult corner = iterate_step(unset, no_draws);
    EXPECT_EQ(corner.outcome, StepOutcome::taken);
    EXPECT_EQ(corner.from, 0);
    EXPECT_EQ(corner.to, 0);
    EXPECT_EQ(no_draws.taken, 0);
    EXPECT_EQ(unset.current_r, RealCell::of_double(0));
    EXPECT_EQ(general_text(unset.current_r), "0");
}

TEST(Iteration, NoMapCountTakesNoStepAndKeepsThePoint) {
    ModelState model = start_up_model_with_maps(4);
    model.current_r = RealCell::of_single(0.25f);
    ScriptedDraws random({0.1f});
    std::vector<StepResult> steps;
    const RunResult run = run_steps(model, random, 100, recorder(steps));
    EXPECT_EQ(run.steps_taken, 0);
    EXPECT_EQ(run.stop.outcome, StepOutcome::no_map);
    EXPECT_EQ(run.stopped_at, 0.25);
    EXPECT_EQ(model.current_r, RealCell::of_single(0.25f));
    EXPECT_EQ(random.taken, 0);
    EXPECT_TRUE(steps.empty());
}

TEST(Iteration, ZeroDenominatorStopsTheRunBeforeReportingTheStep) {
    // Negative shares: map 2's holdings of stock 1 cancel at r = 0.5, so it has no value there.
    ModelState model = start_up_model_with_maps(2);
    model.prob(1) = 0.5;
    model.la2(2, 1) = -model.la1(2, 1).value();
    model.current_r = RealCell::of_single(0.5f);
    ScriptedDraws random({0.9f, 0.1f});
    std::vector<StepResult> steps;
    const RunResult run = run_steps(model, random, 100, recorder(steps));
    EXPECT_EQ(run.steps_taken, 0);
    EXPECT_EQ(run.stop.outcome, StepOutcome::undefined);
    EXPECT_EQ(run.stop.map, 2);
    EXPECT_EQ(run.stop.from, 0.5);
    EXPECT_EQ(random.taken, 1);
    EXPECT_TRUE(steps.empty());
    EXPECT_EQ(model.current_r, RealCell::of_single(0.5f));
    EXPECT_EQ(run.stopped_at, 0.5);
}

TEST(Iteration, StockNobodyHoldsAtTheBoundaryKeepsItFixed) {
    // la2(2,1) = 0 at r = 0: neither investor holds stock 1 there, so its term is 0 and 0 stays.
    ModelState model = start_up_model_with_maps(2);
    model.prob(1) = 0.5;
    model.la2(2, 1) = 0;
    model.current_r = RealCell::of_single(0);
    ScriptedDraws random({0.1f, 0.9f, 0.9f});
    std::vector<StepResult> steps;
    const RunResult run = run_steps(model, random, 3, recorder(steps));
    EXPECT_EQ(run.steps_taken, 3);
    ASSERT_EQ(steps.size(), 3U);
    EXPECT_EQ(steps[1].map, 2);
    EXPECT_EQ(run.stopped_at, 0);
}

TEST(Iteration, RunsEqualSingleSteps) {
    ModelState run_model = start_up_model_with_maps(3);
    ModelState step_model = run_model;
    run_model.current_r = step_model.current_r = RealCell::of_single(0.7f);
    UniformGenerator run_random(7), step_random(7);
    std::vector<StepResult> reported, single;
    const RunResult run = run_steps(run_model, run_random, 100, recorder(reported));
    for (int i = 0; i < 100; ++i) {
        single.push_back(iterate_step(step_model, step_random));
    }
    EXPECT_EQ(run.steps_taken, 100);
    EXPECT_EQ(run.stop.outcome, StepOutcome::taken);
    EXPECT_EQ(run.stopped_at, run_model.current_r.value());
    EXPECT_EQ(run_model, step_model);
    ASSERT_EQ(reported.size(), 100U);
    EXPECT_EQ(reported, single);
    // Each step starts where the previous one ended.
    for (std::size_t i = 1; i < reported.size(); ++i) {
        EXPECT_EQ(reported[i].from, reported[i - 1].to);
    }
}

}  // namespace
}  // namespace quobel::model
