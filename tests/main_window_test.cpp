// Tests of the main window's logic against the recording stand-in.
#include "windows/main_window.hpp"

#include <gtest/gtest.h>

#include "support/recording_windows.hpp"

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
            EXPECT_EQ(pending.edited_la2(s, k), 0);
        }
    }
    EXPECT_EQ(pending.new_prob(3), 0.4);
    EXPECT_EQ(program.state.model.prob(2), 0.3);
}

}  // namespace
}  // namespace quobel::testing
