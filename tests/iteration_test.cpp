// Tests of the random iteration: the press on the plot, map choice, steps and runs.
#include "model/iteration.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "model/maps.hpp"
#include "model/number_text.hpp"
#include "model/start_up.hpp"
#include "support/recording_windows.hpp"

namespace quobel::model {
namespace {

using plot::PaletteColour;
using testing::RecordingSurface;
using testing::ScriptedDraws;
using testing::Segment;

constexpr auto magenta = PaletteColour::light_magenta;

// The start-up state from the program's own generator, with the given map count.
ModelState start_up_model(double num_maps) {
    ModelState model;
    UniformGenerator random;
    initialise_model(model, random);
    model.num_maps = num_maps;
    return model;
}

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

void expect_all_lines_finite(const RecordingSurface& surface) {
    for (const Segment& line : surface.lines) {
        EXPECT_TRUE(std::isfinite(line.x1) && std::isfinite(line.y1) && std::isfinite(line.x2) &&
                    std::isfinite(line.y2));
    }
}

TEST(Iteration, PressSetsASinglePrecisionPointOnTheDiagonal) {
    ModelState model;
    RecordingSurface surface;
    press_on_plot(model, surface, 0.4534884);
    EXPECT_EQ(model.current_r, RealCell::of_single(0.4534884f));
    EXPECT_EQ(general_text(model.current_r), "0.4534884");
    ASSERT_EQ(surface.points.size(), 1U);
    EXPECT_EQ(surface.points[0],
              (Segment{0.4534884f, 0.4534884f, 0.4534884f, 0.4534884f, magenta}));
    EXPECT_TRUE(surface.lines.empty());

    // A press in the margin is used unchanged.
    press_on_plot(model, surface, -0.005);
    EXPECT_EQ(model.current_r.value(), static_cast<double>(-0.005f));
    // A coordinate that has no single-precision value changes nothing.
    press_on_plot(model, surface, 1e300);
    press_on_plot(model, surface, std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(model.current_r.value(), static_cast<double>(-0.005f));
    EXPECT_EQ(surface.points.size(), 2U);
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

TEST(Iteration, StepDrawsTheCobwebAndKeepsTheDoubleResult) {
    ModelState model = start_up_model(3);
    model.current_r = RealCell::of_single(0.4534884f);
    const double r = model.current_r.value();
    const double next = tau(model, 2, r);
    RecordingSurface surface;
    ScriptedDraws random({0.45f});
    const StepResult step = iterate_step(model, random, surface);
    EXPECT_EQ(step.outcome, StepOutcome::taken);
    EXPECT_EQ(step.map, 2);
    EXPECT_EQ(model.current_r, RealCell::of_double(next));
    const auto fr = static_cast<float>(r), fn = static_cast<float>(next);
    EXPECT_EQ(surface.lines,
              (std::vector<Segment>{{fr, fr, fr, fn, magenta}, {fr, fn, fn, fn, magenta}}));
    EXPECT_TRUE(surface.points.empty());

    // From an unset point every step stays at the corner.
    ModelState unset = start_up_model(1);
    surface.clear();
    ScriptedDraws no_draws;
    EXPECT_EQ(iterate_step(unset, no_draws, surface).outcome, StepOutcome::taken);
    EXPECT_EQ(no_draws.taken, 0);
    EXPECT_EQ(unset.current_r, RealCell::of_double(0));
    EXPECT_EQ(general_text(unset.current_r), "0");
    EXPECT_EQ(surface.lines, (std::vector<Segment>{{0, 0, 0, 0, magenta}, {0, 0, 0, 0, magenta}}));
}

TEST(Iteration, NoMapCountDrawsNothingAndKeepsThePoint) {
    ModelState model = start_up_model(4);
    model.current_r = RealCell::of_single(0.25f);
    RecordingSurface surface;
    ScriptedDraws random({0.1f});
    const RunResult run = run_steps(model, random, surface, 100);
    EXPECT_EQ(run.steps_taken, 0);
    EXPECT_EQ(run.stop.outcome, StepOutcome::no_map);
    EXPECT_EQ(run.stopped_at, 0.25);
    EXPECT_EQ(model.current_r, RealCell::of_single(0.25f));
    EXPECT_EQ(random.taken, 0);
    EXPECT_TRUE(surface.lines.empty());
}

TEST(Iteration, ZeroDenominatorStopsTheRunBeforeDrawing) {
    // Map 1 keeps 0 fixed; map 2 has la2(2,1) = 0, so it has no value at r = 0.
    ModelState model = start_up_model(2);
    model.prob(1) = 0.5;
    model.la2(2, 1) = 0;
    model.current_r = RealCell::of_single(0);
    RecordingSurface surface;
    ScriptedDraws random({0.1f, 0.2f, 0.9f, 0.1f});
    const RunResult run = run_steps(model, random, surface, 100);
    EXPECT_EQ(run.steps_taken, 2);
    EXPECT_EQ(run.stop.outcome, StepOutcome::undefined);
    EXPECT_EQ(run.stop.map, 2);
    EXPECT_EQ(random.taken, 3);
    EXPECT_EQ(surface.lines.size(), 4U);
    EXPECT_EQ(model.current_r, RealCell::of_double(0));
    EXPECT_EQ(run.stopped_at, 0);
}

TEST(Iteration, PointsBeyondSinglePrecisionAreNeverHandedToTheSurface) {
    // A payoff share far beyond 1 sends the point past the largest float: the point is kept in
    // double precision, but its segments cannot be drawn.
    ModelState model = start_up_model(1);
    model.R(1, 1) = RealCell::of_double(1e60);
    model.current_r = RealCell::of_single(0.5f);
    RecordingSurface surface;
    ScriptedDraws random;
    const RunResult run = run_steps(model, random, surface, 3);
    EXPECT_GE(run.steps_taken, 1);
    EXPECT_TRUE(std::isfinite(model.current_r.value()));
    EXPECT_GT(model.current_r.value(), 1e40);
    expect_all_lines_finite(surface);
}

TEST(Iteration, RunsEqualSingleSteps) {
    ModelState run_model = start_up_model(3);
    ModelState step_model = run_model;
    run_model.current_r = step_model.current_r = RealCell::of_single(0.7f);
    UniformGenerator run_random(7), step_random(7);
    RecordingSurface run_surface, step_surface;
    const RunResult run = run_steps(run_model, run_random, run_surface, 100);
    for (int i = 0; i < 100; ++i) {
        iterate_step(step_model, step_random, step_surface);
    }
    EXPECT_EQ(run.steps_taken, 100);
    EXPECT_EQ(run.stop.outcome, StepOutcome::taken);
    EXPECT_EQ(run.stopped_at, run_model.current_r.value());
    EXPECT_EQ(run_model, step_model);
    EXPECT_EQ(run_surface.lines, step_surface.lines);
    EXPECT_EQ(run_surface.lines.size(), 200U);
    for (const Segment& line : run_surface.lines) {
        EXPECT_EQ(line.colour, magenta);
        EXPECT_GE(line.x1, 0.0f);
        EXPECT_LE(line.x1, 1.0f);
    }
    // Each segment starts where the previous one ended.
    for (std::size_t i = 1; i < run_surface.lines.size(); ++i) {
        EXPECT_EQ(run_surface.lines[i].x1, run_surface.lines[i - 1].x2);
        EXPECT_EQ(run_surface.lines[i].y1, run_surface.lines[i - 1].y2);
    }
}

}  // namespace
}  // namespace quobel::model
