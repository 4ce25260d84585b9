// Tests of the press on the plot and the run buttons of the main window, through the whole program.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include "model/number_text.hpp"
#include "support/recording_windows.hpp"

namespace quobel::testing {
namespace {

using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::StartsWith;

constexpr auto magenta = PaletteColour::light_magenta;
constexpr Segment grey_diagonal{0, 0, 1, 1, PaletteColour::light_grey};

long text4_writes(const RecordingMainWindow& window) {
    return std::count_if(window.writes.begin(), window.writes.end(),
                         [](const auto& write) { return std::get<0>(write) == Field::Text4; });
}

long magenta_lines(const RecordingMainWindow& window) {
    return std::count_if(window.surface.lines.begin(), window.surface.lines.end(),
                         [](const Segment& line) { return line.colour == magenta; });
}

TEST(RunButtons, PressShowsTheSinglePrecisionPoint) {
    Program program;
    RecordingMainWindow& window = program.start();
    window.press(0.4534884, 0.9);
    EXPECT_EQ(window.field_text(Field::Text4, 0), "0.4534884");
    EXPECT_EQ(window.surface.points,
              (std::vector<Segment>{{0.4534884f, 0.4534884f, 0.4534884f, 0.4534884f, magenta}}));

    window.click(MainButton::Command3);
    const std::string shown = window.field_text(Field::Text4, 0);
    EXPECT_EQ(shown, model::general_text(program.state.model.current_r));
    EXPECT_GT(shown.size(), 10U);  // a step's point shows up to 15 digits
    EXPECT_EQ(window.surface.lines.size(), 2U);
    EXPECT_EQ(window.notice, "");
}

TEST(RunButtons, PressInTheMarginIsUsedButOneBeyondSinglePrecisionIsNot) {
    Program program;
    RecordingMainWindow& window = program.start();
    const model::ModelState& model = program.state.model;
    window.press(0.4534884);
    EXPECT_EQ(model.current_r, model::RealCell::of_single(0.4534884f));
    EXPECT_TRUE(window.surface.lines.empty());

    window.press(-0.005);
    EXPECT_EQ(model.current_r.value(), static_cast<double>(-0.005f));
    // A coordinate that has no single-precision value changes nothing and marks nothing.
    window.press(1e300);
    window.press(std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(model.current_r.value(), static_cast<double>(-0.005f));
    EXPECT_EQ(window.surface.points.size(), 2U);
    EXPECT_EQ(window.field_text(Field::Text4, 0), model::general_text(model.current_r));
}

TEST(RunButtons, Next100EqualsOneHundredSingleSteps) {
    Program hundred;
    RecordingMainWindow& run = hundred.start();
    run.press(0.4534884);
    const long writes_before = text4_writes(run);
    run.click(MainButton::Command4);
    EXPECT_EQ(text4_writes(run), writes_before + 1);
    ASSERT_EQ(run.surface.lines.size(), 201U);
    EXPECT_EQ(magenta_lines(run), 200);
    EXPECT_EQ(run.surface.lines.back(), grey_diagonal);

    Program single;
    RecordingMainWindow& steps = single.start();
    steps.press(0.4534884);
    for (int i = 0; i < 100; ++i) {
        steps.click(MainButton::Command3);
    }
    EXPECT_EQ(single.state.model.current_r, hundred.state.model.current_r);
    EXPECT_EQ(steps.field_text(Field::Text4, 0), run.field_text(Field::Text4, 0));
    // The same cobweb, but single steps leave the magenta ends on the diagonal.
    std::vector<Segment> cobweb = run.surface.lines;
    cobweb.pop_back();
    EXPECT_EQ(steps.surface.lines, cobweb);
}

TEST(RunButtons, Next10000DrawsEveryStep) {
    Program program;
    RecordingMainWindow& window = program.start();
    window.press(0.25);
    window.click(MainButton::Command5);
    ASSERT_EQ(window.surface.lines.size(), 20001U);
    EXPECT_EQ(magenta_lines(window), 20000);
    EXPECT_EQ(window.surface.lines.back(), grey_diagonal);
    EXPECT_EQ(window.field_text(Field::Text4, 0),
              model::general_text(program.state.model.current_r));
    EXPECT_EQ(window.notice, "");
}

TEST(RunButtons, StoppedRunSaysWhy) {
    // la2 of stock 1 the negative of la1 in every map: at r = 0.5 the holdings cancel and no map
    // has a value.
    Program program;
    RecordingMainWindow& window = program.start();
    for (int s = 1; s <= 3; ++s) {
        program.state.model.la2(s, 1) = -program.state.model.la1(s, 1).value();
    }
    window.press(0.5);
    window.click(MainButton::Command4);
    EXPECT_THAT(window.notice, AllOf(StartsWith("Stopped after 0 steps: map "),
                                     HasSubstr(" has no finite value at r = 0.5 "),
                                     HasSubstr("zero denominator")));
    EXPECT_EQ(window.field_text(Field::Text4, 0), "0.5");
    EXPECT_EQ(program.state.model.current_r.value(), 0.5);
    EXPECT_EQ(window.surface.lines, std::vector<Segment>{grey_diagonal});

    // The next press withdraws the notice and a run from there goes on.
    window.press(0.25);
    EXPECT_EQ(window.notice, "");
    window.click(MainButton::Command3);
    EXPECT_EQ(window.notice, "");
    EXPECT_EQ(magenta_lines(window), 2);

    // A map count the iteration has no map for takes no step.
    window.type(Field::Text9, 0, "2.5");
    const model::RealCell point = program.state.model.current_r;
    window.click(MainButton::Command3);
    EXPECT_THAT(window.notice, HasSubstr("the map count 2.5 is not 1, 2 or 3"));
    EXPECT_EQ(program.state.model.current_r, point);
    EXPECT_EQ(magenta_lines(window), 2);
}

TEST(RunButtons, GoErasesTheCobwebButKeepsThePoint) {
    Program program;
    RecordingMainWindow& window = program.start();
    window.press(0.6);
    window.click(MainButton::Command3);
    const model::RealCell point = program.state.model.current_r;
    const std::string shown = window.field_text(Field::Text4, 0);
    window.click(MainButton::Command1);
    EXPECT_EQ(window.surface.lines.size(), 308U);
    EXPECT_EQ(magenta_lines(window), 0);
    EXPECT_TRUE(window.surface.points.empty());
    EXPECT_EQ(program.state.model.current_r, point);
    EXPECT_EQ(window.field_text(Field::Text4, 0), shown);
    // The next step continues from the kept point.
    window.click(MainButton::Command3);
    const float from = static_cast<float>(point.value());
    EXPECT_EQ(window.surface.lines[308].x1, from);
    EXPECT_EQ(window.surface.lines[308].y1, from);
}

TEST(RunButtons, StepLogKeepsTheLatestPointsSinceTheStartPoint) {
    Program program;
    RecordingMainWindow& window = program.start();
    window.press(0.25);
    window.click(MainButton::Command3);
    window.click(MainButton::Command4);
    const auto points = program.state.step_log.points();
    ASSERT_EQ(points.size(), 102U);
    EXPECT_EQ(points.front(), (model::TrajectoryPoint{0, 0, static_cast<double>(0.25f)}));
    EXPECT_EQ(points.back().step, 101);
    EXPECT_EQ(points.back().r, program.state.model.current_r.value());
    for (std::size_t i = 1; i < points.size(); ++i) {
        EXPECT_EQ(points[i].step, points[i - 1].step + 1);
        EXPECT_GE(points[i].map, 1);
        EXPECT_LE(points[i].map, 3);
    }
    // Two long runs overflow the ring: only the latest points stay, oldest first.
    window.click(MainButton::Command5);
    window.click(MainButton::Command5);
    const auto kept = program.state.step_log.points();
    ASSERT_EQ(kept.size(), model::StepLog::default_capacity);
    EXPECT_EQ(kept.back().step, 20101);
    EXPECT_EQ(kept.front().step, 20101 - 10000);
    // A new start point forgets the earlier steps.
    window.press(0.5);
    EXPECT_EQ(program.state.step_log.size(), 1U);
}

TEST(Events, ParameterChangesAreAnnouncedButPendingEditsAreNot) {
    Program program;
    int announced = 0;
    program.events.on_parameters_changed([&announced] { ++announced; });
    RecordingMainWindow& window = program.start();
    EXPECT_EQ(announced, 1);  // the map count written at load
    window.type(Field::Text1, 0, "0.5");
    EXPECT_EQ(announced, 1);
    window.click(MainButton::Command2);
    EXPECT_EQ(announced, 2);
    window.type(Field::Text9, 0, "2");
    EXPECT_EQ(announced, 3);
    program.main().click(MainButton::Command7);  // Reset: the load's map count, then Reset itself
    EXPECT_EQ(announced, 5);
}

}  // namespace
}  // namespace quobel::testing
