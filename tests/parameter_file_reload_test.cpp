// Tests that every parameter file the program saves loads back, and the reasons a refused value
// block gives.
#include <gtest/gtest.h>

#include <string>

#include "storage/parameter_file.hpp"
#include "support/recording_windows.hpp"
#include "support/temp_folder.hpp"

namespace quobel::testing {
namespace {

std::size_t lines_of(const std::string& text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

// 2.9999999999999996 is the double just below 3; its 15-digit file form is 3.
TEST(ParameterFileReload, AMapCountJustBelowThreeTypedIntoMapsSavesAndLoads) {
    TempFolder folder;
    Program program;
    RecordingMainWindow& window = program.start();
    window.type(Field::Text9, 0, "2.9999999999999996");
    ASSERT_EQ(program.state.model.maps_in_tables(), 2);
    RecordingSaveLoadWindow& form2 = program.open_save_load();
    form2.type_file_name(folder / "p.txt");
    form2.click_save();
    ASSERT_EQ(form2.saved_word, "Saved");
    form2.click_load();
    EXPECT_EQ(form2.loaded_word, "Loaded") << form2.load_reason;
    EXPECT_EQ(program.state.model.num_maps, 3.0);
    // 6 S K + 2 S + 6 lines for the 3 maps and 4 stocks that the file's first lines give.
    EXPECT_EQ(lines_of(file_bytes(folder / "p.txt")), 6u * 3 * 4 + 2 * 3 + 6);
}

TEST(ParameterFileReload, AStockCountJustBelowOneLoadedSavesAndLoadsAgain) {
    TempFolder folder;
    const std::string name = folder / "p.txt";
    write_file(name, "1\n0.99999999999999994\n1\n");
    model::ModelState model;
    ASSERT_TRUE(storage::load_parameter_file(model, name).ok);
    ASSERT_EQ(model.stocks_in_tables(), 0);
    ASSERT_TRUE(storage::save_parameter_file(model, name).ok);
    const std::string saved = file_bytes(name);
    EXPECT_EQ(saved.substr(0, 10), " 1 \r\n 1 \r\n");
    EXPECT_EQ(lines_of(saved), 6u * 1 * 1 + 2 * 1 + 6);
    const storage::FileOutcome again = storage::load_parameter_file(model, name);
    EXPECT_TRUE(again.ok) << again.reason;
    EXPECT_EQ(file_bytes(name), saved);
}

TEST(ParameterFileReload, ReasonsShowWhatTheFileHolds) {
    const auto reason = [](std::string_view text) {
        const storage::ReadOutcome read = storage::read_value_block(text);
        EXPECT_FALSE(read.parameters.has_value()) << text;
        return read.reason;
    };
    // A count that differs from the limit shows all the digits that tell it apart.
    EXPECT_EQ(reason("10.000000000000002\n1\n"),
              "The file gives num_maps as 10.000000000000002; at most 10 fit in the tables.");
    EXPECT_EQ(reason("1\n11\n"), "The file gives num_stocks as 11; at most 10 fit in the tables.");
    EXPECT_EQ(reason("1\n1\n\xEF\xBB\xBF.5\n.5\n.5\n1\n"),
              "Line 3 holds \"\\uFEFF.5\" for R(1,1), which is not a number the program can use.");
    EXPECT_EQ(reason(std::string_view("1\n1\n.5\n.5\0\n", 11)),
              "Line 4 holds \".5\\0\" for la1(1,1), which is not a number the program can use.");
    EXPECT_EQ(reason("1\n1\n.5\n.5\n\f.5\n1\n"),
              "Line 5 holds \"\\f.5\" for la2(1,1), which is not a number the program can use.");
    EXPECT_EQ(reason("1\n1\n" + std::string(40, '7') + "x" + std::string(40, '7') + "\n"),
              "Line 3 holds \"" + std::string(10, '7') + "..." + std::string(10, '7') +
                  "\" for R(1,1), which is not a number the program can use.");
}

}  // namespace
}  // namespace quobel::testing
