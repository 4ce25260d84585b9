// Tests of the pending edits: what typing into a parameter field records, and the map count field.
#include "editing/pending_edits.hpp"

#include <gtest/gtest.h>

#include "support/recording_windows.hpp"

namespace quobel::testing {
namespace {

using editing::Parameter;
using editing::PendingEdits;
using editing::record_edit;

// The pending state with exactly one component of a stock table recorded.
PendingEdits with_stock_edit(Parameter parameter, int s, int k, double value) {
    PendingEdits expected;
    auto& values = parameter == Parameter::R     ? expected.new_R
                   : parameter == Parameter::la1 ? expected.new_la1
                                                 : expected.new_la2;
    auto& flags = parameter == Parameter::R     ? expected.edited_R
                  : parameter == Parameter::la1 ? expected.edited_la1
                                                : expected.edited_la2;
    values(s, k) = value;
    flags(s, k) = 1;
    return expected;
}

// Which parameter of which map each stock field array shows, as the labels above them say.
struct StockFieldRow {
    Field field;
    Parameter parameter;
    int map;
};
constexpr StockFieldRow stock_field_rows[] = {
    {Field::Text1, Parameter::R, 1},    {Field::Text2, Parameter::la1, 1},
    {Field::Text3, Parameter::la2, 1},  {Field::Text5, Parameter::R, 2},
    {Field::Text6, Parameter::la1, 2},  {Field::Text7, Parameter::la2, 2},
    {Field::Text10, Parameter::R, 3},   {Field::Text11, Parameter::la1, 3},
    {Field::Text12, Parameter::la2, 3},
};

TEST(PendingEdits, EachFieldRecordsOnlyItsOwnComponent) {
    for (const StockFieldRow& row : stock_field_rows) {
        EXPECT_EQ(editing::stock_field(row.parameter, row.map), row.field);
        // The handler accepts the ten indices the tables have, not only the window's four.
        for (int i = 0; i < 10; ++i) {
            PendingEdits pending;
            record_edit(pending, row.field, i, "0.625 and more");
            EXPECT_EQ(pending, with_stock_edit(row.parameter, row.map, i + 1, 0.625))
                << "field " << static_cast<int>(row.field) << " element " << i;
        }
    }
    for (int i = 0; i < 10; ++i) {
        PendingEdits pending;
        record_edit(pending, Field::Text8, i, "0.7");
        PendingEdits expected;
        expected.new_prob(i + 1) = 0.7;
        expected.edited_prob(i + 1) = 1;
        EXPECT_EQ(pending, expected) << "Text8 element " << i;
    }

    // Fields that show no parameter, and indices beyond the tables, record nothing.
    PendingEdits pending;
    record_edit(pending, Field::Text4, 0, "0.5");
    record_edit(pending, Field::Text9, 0, "2");
    record_edit(pending, Field::Text1, 10, "0.5");
    record_edit(pending, Field::Text8, -1, "0.5");
    EXPECT_EQ(pending, PendingEdits{});
}

TEST(PendingEdits, TypingRecordsAndLeavesTheModelAlone) {
    Program program;
    RecordingMainWindow& window = program.start();
    const model::ModelState before = program.state.model;
    const PendingEdits pending_before = program.state.pending;
    const std::size_t writes_before = window.writes.size();

    window.type(Field::Text5, 2, "0.25");
    PendingEdits expected = pending_before;
    expected.new_R(2, 3) = 0.25;
    expected.edited_R(2, 3) = 1;
    EXPECT_EQ(program.state.pending, expected);
    EXPECT_EQ(program.state.model, before);
    // Only the keystrokes themselves changed a field.
    EXPECT_EQ(window.writes.size(), writes_before + 4);

    // Text that is not a number, or no text at all, records 0 and still counts as an edit.
    window.type(Field::Text11, 0, "abc");
    EXPECT_EQ(program.state.pending.new_la1(3, 1), 0.0);
    EXPECT_EQ(program.state.pending.edited_la1(3, 1), 1);
    window.type(Field::Text3, 1, "0.75xyz");
    EXPECT_EQ(program.state.pending.new_la2(1, 2), 0.75);
    window.type(Field::Text3, 1, "");
    EXPECT_EQ(program.state.pending.new_la2(1, 2), 0.0);
    EXPECT_EQ(program.state.pending.edited_la2(1, 2), 1);
    EXPECT_EQ(program.state.model, before);
}

TEST(PendingEdits, TwoMapsRescaleTheFirstTwoProbabilities) {
    Program program;
    RecordingMainWindow& window = program.start();
    model::ModelState& model = program.state.model;
    model.prob(2) = 0.35;
    model.prob(3) = 0.123;

    window.type(Field::Text9, 0, "2");
    EXPECT_EQ(model.num_maps, 2.0);
    EXPECT_EQ(model.prob(1), 0.461);  // 0.3 / 0.65 cut to three decimals
    EXPECT_EQ(model.prob(2), 1 - 0.461);
    EXPECT_EQ(model.prob(3), 0.123);
    EXPECT_EQ(window.field_text(Field::Text8, 0), "0.461");
    EXPECT_EQ(window.field_text(Field::Text8, 1), "0.539");
    EXPECT_EQ(window.field_text(Field::Text8, 2), "0");
    // The rewritten fields are recorded as pending edits of the values they show.
    const PendingEdits& pending = program.state.pending;
    EXPECT_EQ(pending.new_prob(1), 0.461);
    EXPECT_EQ(pending.new_prob(2), 0.539);
    EXPECT_EQ(pending.new_prob(3), 0.0);
    EXPECT_EQ(pending.edited_prob(3), 1);

    // "2.0" is the count 2 as well.
    model.prob(1) = 0.2;
    model.prob(2) = 0.6;
    window.set_field_text(Field::Text9, 0, "2.0");
    EXPECT_EQ(model.prob(1), 0.25);
    EXPECT_EQ(window.field_text(Field::Text8, 1), "0.75");

    // Three maps always restore 0.3, 0.3, 0.4.
    window.type(Field::Text9, 0, "3");
    EXPECT_EQ(model.num_maps, 3.0);
    EXPECT_EQ(model.prob(1), 0.3);
    EXPECT_EQ(model.prob(2), 0.3);
    EXPECT_EQ(model.prob(3), 0.4);
    EXPECT_EQ(window.field_text(Field::Text8, 0), "0.3");
    EXPECT_EQ(window.field_text(Field::Text8, 2), "0.4");
    EXPECT_EQ(pending.new_prob(3), 0.4);
}

TEST(PendingEdits, OtherCountsChangeOnlyTheMapCount) {
    Program program;
    RecordingMainWindow& window = program.start();
    model::ModelState& model = program.state.model;
    window.type(Field::Text8, 1, "0.45");
    const model::ModelState before = model;
    const PendingEdits pending_before = program.state.pending;

    // Pasted whole, so that "2.5" does not pass through "2" on the way.
    for (const auto& [text, count] :
         {std::pair{"1", 1.0}, std::pair{"4", 4.0}, std::pair{"2.5", 2.5}, std::pair{"", 0.0},
          std::pair{"-3", -3.0}, std::pair{"1e9", 1e9}}) {
        window.set_field_text(Field::Text9, 0, text);
        EXPECT_EQ(model.num_maps, count) << text;
        model::ModelState expected = before;
        expected.num_maps = count;
        EXPECT_EQ(model, expected) << text;
        EXPECT_EQ(program.state.pending, pending_before) << text;
        EXPECT_EQ(window.field_text(Field::Text8, 0), "0.3");
        EXPECT_EQ(window.field_text(Field::Text8, 1), "0.45");
        EXPECT_EQ(window.field_text(Field::Text8, 2), "0.4");
    }
}

TEST(PendingEdits, TwoMapsWithNoProbabilityToShareChangeNothingElse) {
    Program program;
    RecordingMainWindow& window = program.start();
    model::ModelState& model = program.state.model;
    window.type(Field::Text9, 0, "1");
    for (const auto& [first, second] : {std::pair{0.0, 0.0}, std::pair{0.5, -0.5}}) {
        model.prob(1) = first;
        model.prob(2) = second;
        const std::size_t writes_before = window.writes.size();
        window.set_field_text(Field::Text9, 0, "2");
        EXPECT_EQ(model.num_maps, 2.0);
        EXPECT_EQ(model.prob(1), first);
        EXPECT_EQ(model.prob(2), second);
        EXPECT_EQ(window.writes.size(), writes_before + 1);  // Text9 alone
        window.set_field_text(Field::Text9, 0, "1");
    }
}

}  // namespace
}  // namespace quobel::testing
