// Tests of the parameter file: its text, the reading rules, and a load seen from the main window.
#include "storage/parameter_file.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "model/number_text.hpp"
#include "support/recording_windows.hpp"
#include "support/temp_folder.hpp"
#include "support/test_data.hpp"

namespace quobel::testing {
namespace {

using ::testing::AnyOf;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

using model::RealCell;

// The lines of a file text without their CRLF ends; fails the test on a line end of another kind.
std::vector<std::string> crlf_lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            ADD_FAILURE() << "text after the last line end";
            break;
        }
        lines.push_back(text.substr(start, end - start));
        EXPECT_THAT(lines.back(), Not(AnyOf(HasSubstr("\r"), HasSubstr("\n"))));
        start = end + 2;
    }
    return lines;
}

// The model a load of `text` into `base` leaves, or `base` when the text is refused.
model::ModelState loaded(std::string_view text, model::ModelState base = {}) {
    const storage::ReadOutcome read = storage::read_value_block(text);
    EXPECT_TRUE(read.parameters.has_value()) << read.reason;
    if (read.parameters) {
        storage::apply_parameters(base, *read.parameters);
    }
    return base;
}

model::ModelState loaded_file(const std::string& name) {
    model::ModelState model;
    const storage::FileOutcome outcome = storage::load_parameter_file(model, name);
    EXPECT_TRUE(outcome.ok) << name << ": " << outcome.reason;
    return model;
}

const std::string dashes(32, '-');

TEST(ParameterFile, StartUpCountsGiveEightyFourLines) {
    Program program;
    program.start();
    const model::ModelState& model = program.state.model;
    const std::vector<std::string> lines = crlf_lines(storage::parameter_file_text(model));
    ASSERT_EQ(lines.size(), 84u);
    EXPECT_EQ(lines[0], " 3 ");
    EXPECT_EQ(lines[1], " 4 ");
    EXPECT_EQ(lines[2], model::file_number_text(model.R(1, 1)));
    EXPECT_EQ(lines[13], model::file_number_text(model.R(3, 4)));
    EXPECT_EQ(lines[14], model::file_number_text(model.la1(1, 1)));
    EXPECT_EQ(lines[26], model::file_number_text(model.la2(1, 1)));
    EXPECT_EQ(lines[38], " .3 ");
    EXPECT_EQ(lines[40], " .4 ");
    EXPECT_EQ(lines[41], dashes);
    EXPECT_EQ(lines[42], " 3 num_maps");
    EXPECT_EQ(lines[43], " 4 num_stocks");
    EXPECT_EQ(lines[44], lines[2] + "R( 1 , 1 )");
    EXPECT_EQ(lines[75], lines[33] + "la2( 2 , 4 )");
    EXPECT_EQ(lines[82], " .4 prob( 3 )");
    EXPECT_EQ(lines[83], dashes);
}

TEST(ParameterFile, NumbersInTheirFileForm) {
    model::ModelState model;
    model.num_maps = 1;
    model.num_stocks = 4;
    model.R(1, 1) = RealCell::of_double(0);
    model.R(1, 2) = RealCell::of_double(1);
    model.R(1, 3) = RealCell::of_double(-0.125);
    model.R(1, 4) = RealCell::of_double(0.1 + 0.2);
    model.la1(1, 1) = RealCell::of_single(0.123f);
    model.la2(1, 1) = static_cast<double>(0.123f);
    const std::vector<std::string> lines = crlf_lines(storage::parameter_file_text(model));
    ASSERT_EQ(lines.size(), 6u * 4 + 2 + 6);
    EXPECT_EQ(lines[2], " 0 ");
    EXPECT_EQ(lines[3], " 1 ");
    EXPECT_EQ(lines[4], "-.125 ");
    EXPECT_EQ(lines[5], " .3 ");
    EXPECT_EQ(lines[6], " .123 ");
    EXPECT_EQ(lines[10], " .123000003397465 ");
}

TEST(ParameterFile, SaveLoadSaveGivesTheSameBytes) {
    // A file the program wrote: single-precision shares in R and la1, doubles in la2.
    const std::string sample = file_bytes(test_data("three_maps.txt"));
    ASSERT_FALSE(sample.empty());
    EXPECT_EQ(storage::parameter_file_text(loaded_file(test_data("three_maps.txt"))), sample);

    // Single and double cells side by side, with values that need all their digits.
    model::ModelState model;
    model.num_maps = 2;
    model.num_stocks = 3;
    model.R(1, 1) = RealCell::of_single(0.4534884f);
    model.R(1, 2) = RealCell::of_double(0.24360198624904508);
    model.R(2, 3) = RealCell::of_double(-1.5e-7);
    model.la1(2, 1) = RealCell::of_single(1.0f / 3.0f);
    model.la2(1, 3) = 1.0 / 3.0;
    model.prob(1) = 0.461;
    model.prob(2) = 1 - 0.461;
    const std::string text = storage::parameter_file_text(model);
    EXPECT_EQ(storage::parameter_file_text(loaded(text)), text);
}

TEST(ParameterFile, TheListingBlockIsNeverRead) {
    const model::ModelState model = loaded_file(test_data("three_maps.txt"));
    EXPECT_EQ(model.num_maps, 3.0);
    EXPECT_EQ(model.prob(3), 0.5);
    EXPECT_EQ(loaded_file(test_data("three_maps_listing_edited.txt")), model);
    EXPECT_EQ(loaded_file(test_data("three_maps_no_listing.txt")), model);
}

TEST(ParameterFile, CommasAndEmptyFieldsReadLikeOneNumberPerLine) {
    const model::ModelState model = loaded_file(test_data("commas.txt"));
    EXPECT_EQ(model, loaded_file(test_data("two_maps.txt")));
    EXPECT_EQ(model.R(2, 1).value(), 0.25);
    EXPECT_EQ(model.la2(2, 3), 0.0);
    EXPECT_EQ(model.prob(2), 0.75);
}

TEST(ParameterFile, CountsThatLoopNoneOrPartOfTheWay) {
    // Cells beyond the counts read keep their values.
    model::ModelState base;
    base.R(1, 1) = RealCell::of_single(0.5f);
    base.prob(1) = 0.7;
    model::ModelState model = loaded("0\n4\n", base);
    EXPECT_EQ(model.num_maps, 0.0);
    EXPECT_EQ(model.R(1, 1), base.R(1, 1));
    EXPECT_EQ(model.prob(1), 0.7);
    EXPECT_EQ(loaded("-2\n-1\n").num_maps, -2.0);

    // 2.5 maps and 1 stock: maps 1 and 2 are read, and the count stays 2.5.
    model = loaded("2.5\n1\n.1\n.2\n.3\n.4\n.5\n.6\n.25\n.75\n");
    EXPECT_EQ(model.num_maps, 2.5);
    EXPECT_EQ(model.la1(2, 1).value(), 0.4);
    EXPECT_EQ(model.prob(2), 0.75);
    EXPECT_EQ(storage::parameter_file_text(model).substr(0, 12), " 2.5 \r\n 1 \r\n");
}

TEST(ParameterFile, AMapCountBeyondTheTablesIsSavedAsTen) {
    Program program;
    RecordingMainWindow& window = program.start();
    window.set_field_text(Field::Text9, 0, "1e9");
    const std::string text = storage::parameter_file_text(program.state.model);
    const std::vector<std::string> lines = crlf_lines(text);
    ASSERT_EQ(lines.size(), 6u * 10 * 4 + 2 * 10 + 6);
    EXPECT_EQ(lines[0], " 10 ");
    const model::ModelState model = loaded(text);
    EXPECT_EQ(model.num_maps, 10.0);
    EXPECT_EQ(model.la2(10, 4), program.state.model.la2(10, 4));
}

TEST(ParameterFile, RefusedTextsSayWhy) {
    const std::string two_maps = file_bytes(test_data("two_maps.txt"));
    for (const std::string& name :
         {test_data("missing_field.txt"), test_data("not_a_number.txt"),
          test_data("too_many_maps.txt"), test_data("infinite_count.txt")}) {
        const storage::ReadOutcome read = storage::read_value_block(file_bytes(name));
        EXPECT_FALSE(read.parameters.has_value()) << name;
        EXPECT_FALSE(read.reason.empty()) << name;
    }
    for (const char* text : {"", "3", "3\n4\n", "nan\n1\n", "1\ninf\n", "1\n1\n.5\n.5\n--\n",
                             "1\n1\n.5 .5\n.5\n.5\n1\n", "1\n1\n0x1p-1\n.5\n.5\n1\n"}) {
        EXPECT_FALSE(storage::read_value_block(text).parameters.has_value()) << text;
    }
    EXPECT_TRUE(storage::read_value_block("1\n1\n.5\n.5\n.5\n1").parameters.has_value());
    EXPECT_THAT(storage::read_value_block(file_bytes(test_data("not_a_number.txt"))).reason,
                StartsWith("Line 5 holds \".2x\""));
    EXPECT_TRUE(storage::read_value_block(two_maps).parameters.has_value());
}

// A load seen from the main window: the fields are refreshed and the write of the map count may
// run set_num_maps.
TEST(ParameterFile, LoadingTwoMapsWhileThreeAreShown) {
    Program program;
    program.start();
    RecordingSaveLoadWindow& form2 = program.open_save_load();
    form2.type_file_name(test_data("two_maps.txt"));
    const model::ModelState before = program.state.model;
    form2.click_load();

    const RecordingMainWindow& window = program.main();
    const model::ModelState& model = program.state.model;
    EXPECT_EQ(form2.loaded_word, "Loaded");
    EXPECT_EQ(model.prob(1), 0.25);
    EXPECT_EQ(model.prob(2), 0.75);
    EXPECT_EQ(model.prob(3), before.prob(3));
    EXPECT_EQ(window.field_text(Field::Text8, 0), "0.25");
    EXPECT_EQ(window.field_text(Field::Text8, 1), "0.75");
    EXPECT_EQ(window.field_text(Field::Text8, 2), "0");
    EXPECT_EQ(window.field_text(Field::Text9, 0), "2");
    // Every stock field in "0.000", map 3 rewritten from its unchanged values.
    EXPECT_EQ(window.field_text(Field::Text1, 0), "0.100");
    EXPECT_EQ(window.field_text(Field::Text2, 3), "0.100");
    EXPECT_EQ(window.field_text(Field::Text7, 1), "0.500");
    EXPECT_EQ(model.R(3, 2), before.R(3, 2));
    EXPECT_EQ(window.field_text(Field::Text10, 1),
              model::three_decimals_text(before.R(3, 2).value()));
    // The shown values wait as pending edits for the next recalculation.
    EXPECT_EQ(program.state.pending.new_R(1, 1), 0.1);
    EXPECT_EQ(program.state.pending.edited_R(1, 1), 1);
    EXPECT_EQ(program.state.pending.new_la2(2, 3), 0.0);
}

TEST(ParameterFile, LoadingThreeMapsWhileTwoAreShown) {
    Program program;
    RecordingMainWindow& window = program.start();
    window.type(Field::Text9, 0, "2");
    RecordingSaveLoadWindow& form2 = program.open_save_load();
    form2.type_file_name(test_data("three_maps.txt"));
    form2.click_load();

    const model::ModelState& model = program.state.model;
    EXPECT_EQ(form2.loaded_word, "Loaded");
    EXPECT_EQ(window.field_text(Field::Text9, 0), "3");
    // The file's 0.2, 0.3, 0.5 give way to the rule of three maps.
    EXPECT_EQ(model.prob(1), 0.3);
    EXPECT_EQ(model.prob(2), 0.3);
    EXPECT_EQ(model.prob(3), 0.4);
    EXPECT_EQ(window.field_text(Field::Text8, 0), "0.3");
    EXPECT_EQ(window.field_text(Field::Text8, 2), "0.4");

    // Loaded again while the field already shows 3, the count's text does not change, so the
    // file's probabilities stay in force.
    form2.click_load();
    EXPECT_EQ(model.prob(1), 0.2);
    EXPECT_EQ(model.prob(3), 0.5);
    EXPECT_EQ(window.field_text(Field::Text8, 0), "0.2");
    EXPECT_EQ(window.field_text(Field::Text8, 2), "0.5");
}

}  // namespace
}  // namespace quobel::testing
