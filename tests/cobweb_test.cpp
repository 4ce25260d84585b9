// Tests of the cobweb drawn on a recording surface: the segments of a step and of whole runs.
#include "plot/cobweb.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "analysis_models.hpp"
#include "model/iteration.hpp"
#include "model/maps.hpp"
#include "support/recording_windows.hpp"

namespace quobel::plot {
namespace {

using model::ModelState;
using model::RealCell;
using testing::RecordingSurface;
using testing::ScriptedDraws;
using testing::Segment;

constexpr auto magenta = PaletteColour::light_magenta;

using analysis::test_models::start_up_model_with_maps;

// A run of the model whose every step is drawn as the main window draws it.
model::RunResult drawn_run(ModelState& model, model::RandomSource& random, int steps,
                           RecordingSurface& surface) {
    return model::run_steps(model, random, steps, [&surface](const model::StepResult& step) {
        draw_cobweb_step(surface, step.from, step.to);
    });
}

TEST(Cobweb, StepGoesToTheGraphThenBackToTheDiagonal) {
    ModelState model = start_up_model_with_maps(3);
    const double r = static_cast<double>(0.4534884f);
    const double next = model::tau(model, 2, r);
    RecordingSurface surface;
    draw_cobweb_step(surface, r, next);
    const auto fr = static_cast<float>(r), fn = static_cast<float>(next);
    EXPECT_EQ(surface.lines,
              (std::vector<Segment>{{fr, fr, fr, fn, magenta}, {fr, fn, fn, fn, magenta}}));
    EXPECT_TRUE(surface.points.empty());

    // A step that stays at the corner still draws its two (empty) segments.
    surface.clear();
    draw_cobweb_step(surface, 0, 0);
    EXPECT_EQ(surface.lines, (std::vector<Segment>{{0, 0, 0, 0, magenta}, {0, 0, 0, 0, magenta}}));

    draw_start_point(surface, 0.25f);
    EXPECT_EQ(surface.points, (std::vector<Segment>{{0.25f, 0.25f, 0.25f, 0.25f, magenta}}));
}

TEST(Cobweb, PointsBeyondSinglePrecisionAreNeverHandedToTheSurface) {
    // A payoff share far beyond 1 sends the point past the largest float: the point is kept in
    // double precision, but its segments cannot be drawn.
    ModelState model = start_up_model_with_maps(1);
    model.R(1, 1) = RealCell::of_double(1e60);
    model.current_r = RealCell::of_single(0.5f);
    RecordingSurface surface;
    ScriptedDraws random;
    const model::RunResult run = drawn_run(model, random, 3, surface);
    EXPECT_GE(run.steps_taken, 1);
    EXPECT_TRUE(std::isfinite(model.current_r.value()));
    EXPECT_GT(model.current_r.value(), 1e40);
    for (const Segment& line : surface.lines) {
        EXPECT_TRUE(std::isfinite(line.x1) && std::isfinite(line.y1) && std::isfinite(line.x2) &&
                    std::isfinite(line.y2));
    }
}

TEST(Cobweb, RunIsOneConnectedPathInsideTheSquare) {
    ModelState model = start_up_model_with_maps(3);
    model.current_r = RealCell::of_single(0.7f);
    model::UniformGenerator random(7);
    RecordingSurface surface;
    ASSERT_EQ(drawn_run(model, random, 100, surface).steps_taken, 100);
    ASSERT_EQ(surface.lines.size(), 200U);
    for (const Segment& line : surface.lines) {
        EXPECT_EQ(line.colour, magenta);
        EXPECT_GE(line.x1, 0.0f);
        EXPECT_LE(line.x1, 1.0f);
    }
    // Each segment starts where the previous one ended.
    for (std::size_t i = 1; i < surface.lines.size(); ++i) {
        EXPECT_EQ(surface.lines[i].x1, surface.lines[i - 1].x2);
        EXPECT_EQ(surface.lines[i].y1, surface.lines[i - 1].y2);
    }
    EXPECT_EQ(surface.lines.back().x2, static_cast<float>(model.current_r.value()));
}

}  // namespace
}  // namespace quobel::plot
