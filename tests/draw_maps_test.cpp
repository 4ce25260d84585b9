// Tests of the graphs of the maps drawn on a recording surface.
#include "plot/draw_maps.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "analysis_models.hpp"
#include "model/maps.hpp"
#include "model/number_text.hpp"
#include "support/recording_windows.hpp"

namespace quobel::plot {
namespace {

using model::ModelState;
using testing::RecordingSurface;
using testing::Segment;

constexpr auto grey = PaletteColour::light_grey;

using analysis::test_models::start_up_model_with_maps;

std::vector<Segment> drawn(const ModelState& model) {
    RecordingSurface surface;
    draw_maps(model, surface);
    EXPECT_EQ(surface.clears, 1);
    EXPECT_TRUE(surface.points.empty());
    return surface.lines;
}

std::vector<Segment> of_colour(const std::vector<Segment>& lines, PaletteColour colour) {
    std::vector<Segment> kept;
    for (const Segment& line : lines) {
        if (line.colour == colour) {
            kept.push_back(line);
        }
    }
    return kept;
}

// Frame in order, then the diagonal, all light grey.
void expect_frame_and_diagonal(const std::vector<Segment>& lines) {
    ASSERT_GE(lines.size(), 5U);
    const std::vector<Segment> frame{{0, 0, 0, 1, grey},
                                     {0, 1, 1, 1, grey},
                                     {1, 1, 1, 0, grey},
                                     {1, 0, 0, 0, grey},
                                     {0, 0, 1, 1, grey}};
    EXPECT_EQ(std::vector<Segment>(lines.begin(), lines.begin() + 5), frame);
}

// The graph of map s: a polyline from (0, tau(s, 0)) along the grid to x = 0.99, then the closing
// segment from x = 0.99 to (1, tau(s, 1)).
void expect_graph(const ModelState& model, int s, const std::vector<Segment>& graph) {
    ASSERT_EQ(graph.size(), 101U);
    EXPECT_EQ(graph.front().x1, 0.0f);
    EXPECT_EQ(graph.front().y1, static_cast<float>(model::tau(model, s, 0)));
    for (std::size_t j = 1; j < 100; ++j) {
        EXPECT_EQ(graph[j].x1, graph[j - 1].x2);
        EXPECT_EQ(graph[j].y1, graph[j - 1].y2);
        EXPECT_EQ(graph[j].x1, static_cast<float>(0.01 * static_cast<double>(j)));
    }
    EXPECT_EQ(graph[99].x2, 1.0f);
    EXPECT_EQ(graph[100].x1, static_cast<float>(0.01 * 99));
    EXPECT_EQ(graph[100].y1, graph[99].y1);
    EXPECT_EQ(graph[100].x2, 1.0f);
    EXPECT_EQ(graph[100].y2, static_cast<float>(model::tau(model, s, 1)));
    EXPECT_NEAR(graph[100].y2, 1.0f, 1e-6f);
}

TEST(DrawMaps, DefaultsDrawThreeInterleavedGraphs) {
    const ModelState model = start_up_model_with_maps(3);
    const std::vector<Segment> lines = drawn(model);
    ASSERT_EQ(lines.size(), 308U);
    expect_frame_and_diagonal(lines);
    const PaletteColour order[3] = {PaletteColour::light_yellow, PaletteColour::light_green,
                                    PaletteColour::light_cyan};
    for (std::size_t i = 5; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].colour, order[(i - 5) % 3]) << i;
    }
    for (int s = 1; s <= 3; ++s) {
        EXPECT_EQ(map_colour(s), order[s - 1]);
        expect_graph(model, s, of_colour(lines, order[s - 1]));
    }
}

TEST(DrawMaps, MapCountDecidesTheGraphs) {
    const std::vector<Segment> one = drawn(start_up_model_with_maps(1));
    ASSERT_EQ(one.size(), 106U);
    expect_frame_and_diagonal(one);
    EXPECT_EQ(of_colour(one, PaletteColour::light_yellow).size(), 101U);

    const std::vector<Segment> two = drawn(start_up_model_with_maps(2));
    ASSERT_EQ(two.size(), 207U);
    EXPECT_EQ(of_colour(two, PaletteColour::light_yellow).size(), 101U);
    EXPECT_EQ(of_colour(two, PaletteColour::light_green).size(), 101U);
    EXPECT_EQ(two[5].colour, PaletteColour::light_yellow);
    EXPECT_EQ(two[6].colour, PaletteColour::light_green);

    // Any other count draws the frame and the diagonal only.
    for (double count : {0.0, 4.0, 2.5, -1.0, 1e9, std::numeric_limits<double>::quiet_NaN()}) {
        const std::vector<Segment> none = drawn(start_up_model_with_maps(count));
        EXPECT_EQ(none.size(), 5U) << count;
        expect_frame_and_diagonal(none);
    }
    // The count as read from its field, 3.0, draws like the integer 3.
    EXPECT_EQ(drawn(start_up_model_with_maps(model::parse_leading_number("3.0"))),
              drawn(start_up_model_with_maps(3)));
}

TEST(DrawMaps, RedrawingErasesTheCobwebAndChangesNoModelValue) {
    ModelState model = start_up_model_with_maps(3);
    model.current_r = model::RealCell::of_single(0.4f);
    const ModelState before = model;
    RecordingSurface surface;
    draw_maps(model, surface);
    const std::vector<Segment> once = surface.lines;
    surface.draw_point(0.4f, 0.4f, PaletteColour::light_magenta);
    surface.draw_line(0.4f, 0.4f, 0.4f, 0.5f, PaletteColour::light_magenta);
    draw_maps(model, surface);
    EXPECT_EQ(surface.clears, 2);
    EXPECT_EQ(surface.lines, once);
    EXPECT_TRUE(surface.points.empty());
    EXPECT_EQ(model, before);
}

TEST(DrawMaps, ZeroDenominatorLeavesOutOnlyThoseSegments) {
    // Negative shares: map 2's stock 3 has the denominator 0.25 r - 0.25 (1 - r), 0 at r = 0.5,
    // so the two segments that meet there are left out; everything else is drawn.
    ModelState model = start_up_model_with_maps(3);
    model.la1(2, 3) = model::RealCell::of_double(0.25);
    model.la2(2, 3) = -0.25;
    const std::vector<Segment> lines = drawn(model);
    ASSERT_EQ(lines.size(), 306U);
    const std::vector<Segment> green = of_colour(lines, PaletteColour::light_green);
    ASSERT_EQ(green.size(), 99U);
    EXPECT_EQ(green[48].x2, 0.49f);
    EXPECT_EQ(green[49].x1, 0.51f);
    EXPECT_EQ(of_colour(lines, PaletteColour::light_yellow).size(), 101U);
    EXPECT_EQ(of_colour(lines, PaletteColour::light_cyan).size(), 101U);
    for (const Segment& line : lines) {
        EXPECT_TRUE(std::isfinite(line.y1) && std::isfinite(line.y2));
    }

    // With la2(2,3) = 0 nobody holds stock 3 at r = 0: the graph starts at 0.
    model = start_up_model_with_maps(3);
    model.la2(2, 3) = 0;
    const std::vector<Segment> whole = of_colour(drawn(model), PaletteColour::light_green);
    ASSERT_EQ(whole.size(), 101U);
    EXPECT_EQ(whole.front().y1, 0.0f);
}

}  // namespace
}  // namespace quobel::plot
