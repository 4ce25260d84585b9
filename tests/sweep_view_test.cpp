// The Sweep window's logic: the parameters it offers, the atlas' cells and where they lie, the
// text under the pointer, the CSV, and a chosen point written into the main window.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <sstream>

#include "analysis_models.hpp"
#include "cli/command_line.hpp"
#include "editing/fields.hpp"
#include "storage/parameter_file.hpp"
#include "support/recording_windows.hpp"
#include "support/temp_folder.hpp"
#include "windows/events.hpp"
#include "windows/sweep_view.hpp"

namespace quobel {
namespace {

using analysis::Verdict;
using model::RealCell;
using sweep::ParameterName;
using Table = ParameterName::Table;
using windows::SweepResults;

// Investor 1 takes over only for large x = la1(1,1) and small y = la1(2,1).
using analysis::test_models::arrow_lambda_0;
using analysis::test_models::arrow_securities;

sweep::SweepSettings arrow_plane() {
    sweep::SweepSettings settings;
    // 0.05, 0.10, ..., 0.95 across and up.
    settings.axes = {{{Table::la1, 1, 1}, 0.05, 0.95, 19}, {{Table::la1, 2, 1}, 0.05, 0.95, 19}};
    settings.run.steps = 0;
    settings.run.burn_in = 0;
    return settings;
}

SweepResults swept(const model::ModelState& model, const sweep::SweepSettings& settings) {
    SweepResults results(model, settings);
    sweep::SweepControl control;
    sweep::run_sweep(model, settings, 0, sweep::grid_size(settings), 2, control,
                     [&](const sweep::PointResult& point) { results.add(point); });
    return results;
}

TEST(SweepParameters, OfferEveryComponentTheModelCanVary) {
    model::ModelState model = arrow_securities();
    const std::vector<std::string> two_maps{
        "R(1,1)", "R(1,2)",   "la1(1,1)", "la1(1,2)", "la2(1,1)", "la2(1,2)", "R(2,1)",
        "R(2,2)", "la1(2,1)", "la1(2,2)", "la2(2,1)", "la2(2,2)", "prob(1)",  "prob(2)"};
    EXPECT_EQ(windows::sweep_parameter_names(model), two_maps);
    // With one map the iteration reads no probability.
    model.num_maps = 1;
    EXPECT_EQ(windows::sweep_parameter_names(model),
              std::vector<std::string>(two_maps.begin(), two_maps.begin() + 6));
}

TEST(SweepParameters, RefusalsSayWhatIsWrong) {
    const model::ModelState model = arrow_securities();
    sweep::SweepSettings settings = arrow_plane();
    EXPECT_EQ(windows::sweep_refusal(model, settings), "");
    settings.axes[1].name = settings.axes[0].name;
    EXPECT_THAT(windows::sweep_refusal(model, settings),
                ::testing::HasSubstr("The two parameters are the same"));
    settings = arrow_plane();
    settings.axes[0].count = windows::max_plane_count + 1;
    EXPECT_THAT(windows::sweep_refusal(model, settings),
                ::testing::HasSubstr("Take from 1 to 1000 values of "));
    // A line may be longer than a plane's side.
    settings.axes.pop_back();
    EXPECT_EQ(windows::sweep_refusal(model, settings), "");
    settings.axes[0].name = {Table::prob, 3, 0};
    EXPECT_THAT(windows::sweep_refusal(model, settings), ::testing::HasSubstr("prob(3)"));
    settings.axes[0] = {{Table::R, 1, 1}, 0, std::nan(""), 3};
    EXPECT_EQ(windows::sweep_refusal(model, settings), "The range of R(1,1) is not finite.");
    settings.axes.clear();
    EXPECT_NE(windows::sweep_refusal(model, settings), "");

    // A line whose runs would record nothing is refused as the command line refuses it; without
    // runs the burn-in does not matter.
    settings = arrow_plane();
    settings.axes.pop_back();
    settings.run.steps = 5000;
    settings.run.burn_in = 10'000;
    EXPECT_EQ(windows::sweep_refusal(model, settings),
              "A burn-in of 10000 steps leaves nothing to record in a run of 5000 steps: make the "
              "burn-in shorter than the run.");
    settings.run.burn_in = 5000;
    EXPECT_NE(windows::sweep_refusal(model, settings), "");
    settings.run.burn_in = 4999;
    EXPECT_EQ(windows::sweep_refusal(model, settings), "");
    settings.run.steps = 0;
    settings.run.burn_in = 10'000;
    EXPECT_EQ(windows::sweep_refusal(model, settings), "");
}

TEST(SurvivalAtlas, CellsShowTheVerdictWhereItsValuesLie) {
    const SweepResults results = swept(arrow_securities(), arrow_plane());
    ASSERT_TRUE(results.complete());
    windows::SweepRaster raster = results.blank_raster(windows::LineRows::r);
    ASSERT_EQ(raster.width, 19);
    ASSERT_EQ(raster.height, 19);
    results.paint(raster, windows::LineRows::r, 0, results.size());
    const std::uint32_t one = windows::verdict_colour(Verdict::investor_1_takes_over);
    const std::uint32_t two = windows::verdict_colour(Verdict::investor_2_takes_over);
    // x grows to the right, y upwards: only the bottom right corner is investor 1's.
    EXPECT_EQ(raster.at(18, 18), one);
    EXPECT_EQ(raster.at(0, 0), two);
    EXPECT_EQ(raster.at(18, 0), two);
    EXPECT_EQ(raster.at(0, 18), two);
    // Every cell, against the exponent worked out from the cell's place alone.
    int checked = 0;
    for (int column = 0; column < 19; ++column) {
        for (int row = 0; row < 19; ++row) {
            const double x = 0.05 * (column + 1);
            const double y = 0.05 * (19 - row);
            const double lambda = arrow_lambda_0(x, y);
            if (std::abs(lambda) < 1e-9) {
                continue;  // on the boundary: no selection or inconclusive
            }
            EXPECT_EQ(raster.at(column, row), lambda > 0 ? one : two) << x << " " << y;
            ++checked;
        }
    }
    EXPECT_GT(checked, 340);
}

TEST(SurvivalAtlas, ThePointerFindsTheCellItIsOver) {
    const SweepResults results = swept(arrow_securities(), arrow_plane());
    // The middle of the bottom right cell: x = 0.95, y = 0.05.
    const auto place = results.place_at(1 - 0.5 / 19, 1 - 0.5 / 19, windows::LineRows::r);
    ASSERT_TRUE(place);
    const auto values = results.values(place->index);
    ASSERT_EQ(values.size(), 2U);
    EXPECT_DOUBLE_EQ(values[0].second, 0.95);
    EXPECT_DOUBLE_EQ(values[1].second, 0.05);
    const std::string text = results.point_text(*place, windows::LineRows::r);
    EXPECT_THAT(text, ::testing::AllOf(
                          ::testing::StartsWith("la1(1,1) = 0.95, la1(2,1) = 0.05: Lambda_0 = "),
                          ::testing::HasSubstr("investor 1 takes over")));
    // Outside the picture there is no point.
    EXPECT_FALSE(results.place_at(1.0, 0.5, windows::LineRows::r));
    EXPECT_FALSE(results.place_at(0.5, -0.01, windows::LineRows::r));
}

TEST(SurvivalAtlas, TheCurrentParametersAreMarkedWhereTheirValuesLie) {
    model::ModelState model = arrow_securities();
    const SweepResults results(model, arrow_plane());
    // 0.5 is the 10th of 19 values, 0.3 the 6th: the middles of those cells.
    model.la1(2, 1) = RealCell::of_double(0.3);
    auto marks = results.marks(model);
    ASSERT_TRUE(marks[0] && marks[1]);
    EXPECT_DOUBLE_EQ(*marks[0], 9.5 / 19);
    EXPECT_DOUBLE_EQ(*marks[1], 5.5 / 19);
    // A value beyond the range has no mark.
    model.la1(1, 1) = RealCell::of_double(0.999);
    marks = results.marks(model);
    EXPECT_FALSE(marks[0]);
    EXPECT_TRUE(marks[1]);
    // Points not yet computed say so.
    EXPECT_THAT(results.point_text({0, 0}, windows::LineRows::r),
                ::testing::EndsWith(": not computed yet"));
}

TEST(SweepLine, TheHeatMapHasAColumnPerValueAndARowPerBin) {
    model::ModelState model = arrow_securities();
    sweep::SweepSettings settings;
    settings.axes = {{{Table::la1, 1, 1}, 0.2, 0.8, 4}};
    settings.run.steps = 3000;
    settings.run.burn_in = 100;
    settings.run.bins = 10;
    settings.log_odds = true;
    const SweepResults results = swept(model, settings);
    windows::SweepRaster r_rows = results.blank_raster(windows::LineRows::r);
    EXPECT_EQ(r_rows.width, 4);
    EXPECT_EQ(r_rows.height, 10);
    windows::SweepRaster log_odds = results.blank_raster(windows::LineRows::log_odds);
    EXPECT_EQ(log_odds.height, sweep::log_odds_rows);
    results.paint(log_odds, windows::LineRows::log_odds, 0, results.size());
    // At x = 0.2 investor 2 takes over: the runs end at r = 0, whose log-odds count in the
    // lowest row, the darkest of that column.
    EXPECT_LT(arrow_lambda_0(0.2, 0.5), 0);
    EXPECT_EQ(log_odds.at(0, log_odds.height - 1), windows::density_colour(1));
    const std::string text = results.point_text({0, 0}, windows::LineRows::log_odds);
    EXPECT_THAT(text, ::testing::HasSubstr("of the points have log-odds in [-40, -39.5)"));
}

// The model as quobel-cli reads it from the parameter file `path`.
model::ModelState saved_and_loaded(const model::ModelState& model, const std::string& path) {
    EXPECT_TRUE(storage::save_parameter_file(model, path).ok);
    model::ModelState loaded;
    EXPECT_TRUE(storage::load_parameter_file(loaded, path).ok);
    return loaded;
}

// What quobel-cli writes to `out` for the arguments.
std::string cli_file(const std::vector<std::string>& args, const std::string& out) {
    std::ostringstream text;
    std::ostringstream err;
    EXPECT_EQ(cli::run_command_line(args, text, err), 0) << err.str();
    return testing::file_bytes(out);
}

TEST(SweepCsv, AreTheFilesQuobelCliWritesForTheSameSettings) {
    testing::TempFolder folder;
    const model::ModelState model = arrow_securities();
    const model::ModelState loaded = saved_and_loaded(model, folder / "params.txt");
    for (const bool line : {true, false}) {
        sweep::SweepSettings settings = arrow_plane();
        std::vector<std::string> args{"sweep",  folder / "params.txt",
                                      "--vary", "la1(1,1)=0.05:0.95:19",
                                      "--out",  folder / "cli.csv"};
        if (line) {
            settings.axes.pop_back();
            settings.run.steps = 2000;
            settings.run.burn_in = 100;
            settings.run.seed = 7;
            settings.run.bins = 8;
            args.insert(args.end(),
                        {"--steps", "2000", "--burn-in", "100", "--seed", "7", "--bins", "8"});
        } else {
            args.insert(args.end(), {"--vary", "la1(2,1)=0.05:0.95:19", "--steps", "0"});
        }
        const SweepResults results = swept(loaded, settings);
        EXPECT_EQ(results.csv(), cli_file(args, folder / "cli.csv"));
        EXPECT_EQ(results.settings_json(), testing::file_bytes(folder / "cli.json"));
    }
    // An unfinished sweep has no files to give.
    EXPECT_EQ(SweepResults(model, arrow_plane()).csv(), "");
    EXPECT_EQ(SweepResults(model, arrow_plane()).settings_json(), "");
}

// la1(1,2) = 0, so la1(1,1) can take no value but its own, 1; and la1(1,2) = 0 beside R(1,2) = 0.5
// makes map 1's slope at r = 1 infinite, which the exponents flag.
model::ModelState unrenormalisable() {
    return analysis::test_models::model_of(
        {{{0.5, 0.5}, {1, 0}, {0.5, 0.5}}, {{0.3, 0.7}, {0.4, 0.6}, {0.5, 0.5}}}, {0.5, 0.5});
}

TEST(SweepFlags, TheHoverTextAndTheCsvSayWhatTheCommandLineSays) {
    testing::TempFolder folder;
    const model::ModelState loaded = saved_and_loaded(unrenormalisable(), folder / "edge.txt");
    for (const bool line : {true, false}) {
        sweep::SweepSettings settings;
        settings.axes = {{{Table::la1, 1, 1}, 0, 1, 3}};
        settings.run.steps = 0;
        settings.run.burn_in = 0;
        std::vector<std::string> args{"sweep",          folder / "edge.txt", "--vary",
                                      "la1(1,1)=0:1:3", "--steps",           "0",
                                      "--out",          folder / "cli.csv"};
        if (!line) {
            settings.axes.push_back({{Table::prob, 1, 0}, 0.25, 0.5, 2});
            args.insert(args.begin() + 4, {"--vary", "prob(1)=0.25:0.5:2"});
        }
        const SweepResults results = swept(loaded, settings);
        EXPECT_EQ(results.csv(), cli_file(args, folder / "cli.csv"));

        const auto text = [&](std::int64_t la1_index, std::int64_t prob_index) {
            const std::int64_t index = line ? la1_index : la1_index * 2 + prob_index;
            return results.point_text({index, 0}, windows::LineRows::r);
        };
        const std::string la1_half = line ? "la1(1,1) = 0.5" : "la1(1,1) = 0.5, prob(1) = 0.5";
        EXPECT_EQ(text(1, 1), la1_half +
                                  ": not defined; flags: la1(1,1..2) cannot be renormalised "
                                  "with la1(1,1) = 0.5: its other components add up to 0, so they "
                                  "cannot share the rest of 1 in proportion (Recalculate !!! "
                                  "leaves such a vector as it was).");
        // The file's own value: the file itself, as analyse reads it, and its flag.
        const analysis::BoundaryExponents file = analysis::boundary_exponents(loaded);
        ASSERT_EQ(file.flags.size(), 1U);
        EXPECT_THAT(text(2, 1),
                    ::testing::EndsWith(", both survive; flags: " + file.flags[0].text));
        EXPECT_THAT(text(2, 1),
                    ::testing::HasSubstr(": Lambda_0 = 0.0384805205680642, Lambda_1 = Inf, "));
    }
}

TEST(UseThisPoint, WritesTheValuesAsTypedSoThatRecalculateAppliesThem) {
    testing::Program program;
    testing::RecordingMainWindow& main = program.start();
    // Loading the window's fields leaves every one of them pending: apply them first, so that the
    // point's values are the only edits.
    main.click(windows::MainButton::Command2);
    const model::ModelState before = program.state.model;
    const std::vector<std::pair<ParameterName, double>> values{{{Table::R, 1, 2}, 0.3},
                                                               {{Table::prob, 2, 0}, 0.25}};
    EXPECT_EQ(program.events.enter_values(values), "");
    EXPECT_EQ(main.field_text(windows::Field::Text1, 1), "0.3");
    EXPECT_EQ(main.field_text(windows::Field::Text8, 1), "0.25");
    // Pending edits only: the model waits for "Recalculate !!!".
    EXPECT_EQ(program.state.model, before);
    EXPECT_EQ(program.state.pending.edited_R(1, 2), 1);
    EXPECT_EQ(program.state.pending.edited_prob(2), 1);
    main.click(windows::MainButton::Command2);
    // The same parameters as the sweep computed at that point.
    sweep::SweepSettings settings;
    settings.axes = {{{Table::R, 1, 2}, 0.3, 0.3, 1}, {{Table::prob, 2, 0}, 0.25, 0.25, 1}};
    const auto expected = sweep::point_model(before, settings, 0);
    ASSERT_TRUE(expected);
    EXPECT_TRUE(model::same_parameters(program.state.model, *expected));
}

TEST(UseThisPoint, WritesNothingWhenAValueHasNoFieldOrTheWindowIsClosed) {
    testing::Program program;
    testing::RecordingMainWindow& main = program.start();
    const std::size_t writes = main.writes.size();
    // The window shows stocks 1 to 4.
    const std::string refusal =
        program.events.enter_values({{{Table::la1, 1, 1}, 0.2}, {{Table::la2, 1, 5}, 0.2}});
    EXPECT_THAT(refusal, ::testing::HasSubstr("no field for la2(1,5)"));
    EXPECT_EQ(main.writes.size(), writes);
    program.windows.close_main_window();
    EXPECT_THAT(program.events.enter_values({{{Table::la1, 1, 1}, 0.2}}),
                ::testing::HasSubstr("The main window is closed"));
}

TEST(SweepColours, EveryVerdictHasItsOwnColourAndDensityDarkens) {
    std::map<std::uint32_t, int> seen;
    for (const Verdict verdict : windows::all_verdicts) {
        ++seen[windows::verdict_colour(verdict)];
    }
    EXPECT_EQ(seen.size(), windows::all_verdicts.size());
    EXPECT_EQ(windows::density_colour(0), 0xffffffU);
    const auto darkness = [](std::uint32_t c) {
        return 3 * 255 - ((c >> 16) & 0xffU) - ((c >> 8) & 0xffU) - (c & 0xffU);
    };
    double previous = -1;
    for (const double relative : {1e-5, 1e-3, 1e-2, 0.1, 0.5, 1.0}) {
        const auto d = static_cast<double>(darkness(windows::density_colour(relative)));
        EXPECT_GT(d, previous) << relative;
        previous = d;
    }
}

// The main window's rows: Text1..Text3 are R, la1, la2 of map 1, Text5..Text7 those of map 2,
// Text10..Text12 those of map 3, one element per stock; Text8 holds prob, one element per map.
TEST(UseThisPoint, EachComponentHasTheFieldThatShowsIt) {
    using windows::Field;
    const auto place = [](ParameterName name) {
        const windows::ParameterField field = windows::parameter_field(name);
        return std::pair{field.field, field.index};
    };
    EXPECT_EQ(place({Table::R, 1, 1}), std::pair(Field::Text1, 0));
    EXPECT_EQ(place({Table::la1, 2, 3}), std::pair(Field::Text6, 2));
    EXPECT_EQ(place({Table::la2, 3, 4}), std::pair(Field::Text12, 3));
    EXPECT_EQ(place({Table::R, 3, 2}), std::pair(Field::Text10, 1));
    EXPECT_EQ(place({Table::prob, 3, 0}), std::pair(Field::Text8, 2));
}

}  // namespace
}  // namespace quobel
