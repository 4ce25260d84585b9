// Tests of the main window's logic against the recording stand-in.
#include "windows/main_window.hpp"

#include <gtest/gtest.h>

#include "model/number_text.hpp"
#include "storage/trajectory_csv.hpp"
#include "support/recording_windows.hpp"
#include "support/temp_folder.hpp"

namespace quobel::testing {
namespace {

TEST(MainWindow, StartUpShowsDefaults) {
    Program program;
    RecordingMainWindow& window = program.start();
    EXPECT_EQ(window.field_text(Field::Text8, 0), "0.3");
    EXPECT_EQ(window.field_text(Field::Text8, 1), "0.3");
    EXPECT_EQ(window.field_text(Field::Text8, 2), "0.4");
    EXPECT_EQ(window.field_text(Field::Text9, 0), "3");
    EXPECT_EQ(window.field_text(Field::Text4, 0), "");
    const auto& pending = program.state.pending;
    for (int s = 1; s <= 3; ++s) {
        EXPECT_EQ(pending.edited_prob(s), 1);
        for (int k = 1; k <= 4; ++k) {
            EXPECT_EQ(pending.edited_R(s, k), 0);
            EXPECT_EQ(pending.edited_la1(s, k), 0);
            EXPECT_EQ(pending.edited_la2(s, k), 0);
        }
    }
    EXPECT_EQ(pending.new_prob(1), 0.3);
    EXPECT_EQ(pending.new_prob(2), 0.3);
    EXPECT_EQ(pending.new_prob(3), 0.4);
    EXPECT_EQ(program.state.model.prob(2), 0.3);
}

// Start-up draws that give each map different shares: map 1 draws 0.5 three times (0.25, 0.368,
// 0.184, 0.198), map 2 draws 0 (0.013377 three times, 0.959869), map 3 draws just below 1 (0.499,
// 0.487, 0.013377, 0.000623); the same for R, la1 and la2.
std::unique_ptr<ScriptedDraws> distinct_map_draws() {
    std::vector<float> draws;
    for (int table = 0; table < 3; ++table) {
        for (float u : {0.5f, 0.0f, 0.99999994f}) {
            draws.insert(draws.end(), {u, u, u});
        }
    }
    return std::make_unique<ScriptedDraws>(draws);
}

TEST(MainWindow, LoadShowsEachParameterInItsForm) {
    Program program(distinct_map_draws());
    RecordingMainWindow& window = program.start();
    using Texts = std::array<std::string, 4>;
    auto texts = [&window](Field field) {
        return Texts{window.field_text(field, 0), window.field_text(field, 1),
                     window.field_text(field, 2), window.field_text(field, 3)};
    };
    // R and la1 in the general text of their single-precision shares, la2 in "0.000".
    EXPECT_EQ(texts(Field::Text1), (Texts{"0.25", "0.368", "0.184", "0.198"}));
    EXPECT_EQ(texts(Field::Text2), (Texts{"0.25", "0.368", "0.184", "0.198"}));
    EXPECT_EQ(texts(Field::Text3), (Texts{"0.250", "0.368", "0.184", "0.198"}));
    EXPECT_EQ(texts(Field::Text5), (Texts{"0.013377", "0.013377", "0.013377", "0.959869"}));
    EXPECT_EQ(texts(Field::Text7), (Texts{"0.013", "0.013", "0.013", "0.960"}));
    EXPECT_EQ(texts(Field::Text11), (Texts{"0.499", "0.487", "0.013377", "0.000623"}));
    EXPECT_EQ(texts(Field::Text12), (Texts{"0.499", "0.487", "0.013", "0.001"}));
    EXPECT_EQ(program.state.model.la2(1, 2), static_cast<double>(0.368f));

    // The averages are those of the probabilities before the map count was written: 0.3, 0.35,
    // 0.35 (0.3, 0.3, 0.4 would give 0.279 and 0.348).
    EXPECT_EQ(window.caption(0), "0.254");
    EXPECT_EQ(window.caption(3), "0.396");

    const auto& surface = window.surface;
    EXPECT_EQ(surface.world, (std::array<double, 4>{-0.005, 1.005, 1.005, -0.005}));
    EXPECT_TRUE(surface.lines.empty());
}

TEST(MainWindow, LoadWritesOnlyTheStocksAndMapsInUse) {
    Program program;
    program.start();
    model::ModelState& model = program.state.model;

    model.num_stocks = 3;
    model.num_maps = 1;
    RecordingMainWindow window(program.events);
    windows::load_main_window(program.state, window);
    for (Field field : {Field::Text1, Field::Text2, Field::Text3, Field::Text5, Field::Text6,
                        Field::Text7, Field::Text10, Field::Text11, Field::Text12}) {
        EXPECT_NE(window.field_text(field, 2), "");
        EXPECT_EQ(window.field_text(field, 3), "");
    }
    EXPECT_EQ(window.field_text(Field::Text10, 0), model::general_text(model.R(3, 1)));
    EXPECT_EQ(window.caption(3), "");
    // With one map the average of a stock is prob(1) R(1,k) and only Text8(0) is written.
    EXPECT_EQ(window.caption(1), model::three_decimals_text(0.3 * model.R(1, 2).value()));
    EXPECT_EQ(window.field_text(Field::Text8, 0), "0.3");
    EXPECT_EQ(window.field_text(Field::Text8, 1), "");
    EXPECT_EQ(window.field_text(Field::Text9, 0), "1");
    EXPECT_EQ(model.prob(3), 0.4);
    EXPECT_EQ(model.num_maps, 1.0);
}

TEST(MainWindow, ResetWithAMapCountBeyondTheWindow) {
    Program program;
    RecordingMainWindow& first = program.start();
    first.set_field_text(Field::Text9, 0, "1e9");
    first.click(MainButton::Command7);

    RecordingMainWindow& window = program.main();
    EXPECT_EQ(program.windows.main_windows_created, 2);
    EXPECT_EQ(window.field_text(Field::Text9, 0), "1000000000");
    for (const auto& [field, index, text] : window.writes) {
        EXPECT_LT(index, windows::field_elements(field)) << text;
    }
    // The random fill stopped at the tables' ten maps.
    EXPECT_NE(program.state.model.R(10, 1).value(), 0.0);
    EXPECT_EQ(program.state.model.R(10, 5).value(), 0.0);
}

TEST(MainWindow, TheTrajectoryExportTellsOnlyFailures) {
    const TempFolder folder;
    const std::string name = folder / "trajectory.csv";
    Program program;
    RecordingMainWindow& window = program.start();
    EXPECT_FALSE(program.events.trajectory_to_export(window));
    EXPECT_FALSE(program.events.export_trajectory(window, name));
    EXPECT_EQ(window.notice, windows::no_trajectory_notice);
    EXPECT_TRUE(folder.entries().empty());

    window.click(MainButton::Command1);
    window.press(0.3);
    window.click(MainButton::Command3);
    EXPECT_FALSE(program.events.export_trajectory(window, folder.path().string()));
    EXPECT_NE(window.notice, "");
    EXPECT_NE(window.notice, windows::no_trajectory_notice);

    // A success withdraws the notice; the file holds the start point and the step.
    EXPECT_TRUE(program.events.export_trajectory(window, name));
    EXPECT_EQ(window.notice, "");
    const auto read = storage::load_trajectory_csv(name);
    ASSERT_TRUE(read.points.has_value());
    EXPECT_EQ(*read.points, program.state.step_log.points());
    EXPECT_EQ(read.points->size(), 2U);
}

}  // namespace
}  // namespace quobel::testing
