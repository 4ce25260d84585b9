// Tests of "Recalculate !!!": pending edits applied, every parameter vector back to sum 1.
#include "editing/recalculation.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <limits>
#include <vector>

#include "model/number_text.hpp"
#include "support/recording_windows.hpp"

namespace quobel::testing {
namespace {

using model::RealCell;
using windows::Parameter;

void set_R_row(model::ModelState& model, int s, std::array<double, 4> values) {
    for (int k = 1; k <= 4; ++k) {
        model.R(s, k) = RealCell::of_double(values[static_cast<std::size_t>(k - 1)]);
    }
}

std::array<std::string, 4> texts(const RecordingMainWindow& window, Field field) {
    return {window.field_text(field, 0), window.field_text(field, 1), window.field_text(field, 2),
            window.field_text(field, 3)};
}

using Texts = std::array<std::string, 4>;

// A started program whose R(1,.) is 0.1, 0.2, 0.3, 0.4, typed into nothing yet.
struct Recalculation : ::testing::Test {
    void SetUp() override { set_R_row(program.state.model, 1, {0.1, 0.2, 0.3, 0.4}); }

    Program program;
    RecordingMainWindow& window = program.start();
    model::ModelState& model = program.state.model;
};

TEST_F(Recalculation, EditedComponentsKeepTheirValuesAndTheRestShareWhatIsLeft) {
    window.type(Field::Text1, 3, "0.5");
    window.click(MainButton::Command2);
    EXPECT_EQ(texts(window, Field::Text1), (Texts{"0.083", "0.167", "0.250", "0.500"}));
    EXPECT_DOUBLE_EQ(model.R(1, 4).value(), 0.5);
    EXPECT_DOUBLE_EQ(model.R(1, 1).value(), 0.1 * 0.5 / 0.6);
    EXPECT_EQ(model.R(1, 1).precision(), model::Precision::double_precision);
}

TEST_F(Recalculation, EditsAboveOneMakeTheOthersNegative) {
    window.type(Field::Text1, 0, "0.9");
    window.type(Field::Text1, 1, "0.6");
    window.click(MainButton::Command2);
    EXPECT_EQ(texts(window, Field::Text1), (Texts{"0.900", "0.600", "-0.214", "-0.286"}));
}

TEST_F(Recalculation, EditsSummingToOneLeaveTheOthersZero) {
    window.type(Field::Text1, 0, "0.5");
    window.type(Field::Text1, 2, "0.5");
    window.click(MainButton::Command2);
    EXPECT_EQ(texts(window, Field::Text1), (Texts{"0.500", "0.000", "0.500", "0.000"}));
}

TEST_F(Recalculation, AllComponentsEditedAreDividedByTheirSum) {
    for (int i = 0; i < 4; ++i) {
        window.type(Field::Text1, i, "1");
    }
    window.click(MainButton::Command2);
    EXPECT_EQ(texts(window, Field::Text1), (Texts{"0.250", "0.250", "0.250", "0.250"}));
    EXPECT_EQ(model.R(1, 3).value(), 0.25);
}

TEST_F(Recalculation, WithoutEditsEveryVectorIsNormalised) {
    set_R_row(model, 1, {0.2, 0.2, 0.2, 0.2});
    window.click(MainButton::Command2);
    EXPECT_EQ(texts(window, Field::Text1), (Texts{"0.250", "0.250", "0.250", "0.250"}));
    EXPECT_EQ(model.R(1, 2).value(), 0.25);
}

TEST_F(Recalculation, TheFirstRunAfterStartUpAppliesTheStartUpProbabilities) {
    window.click(MainButton::Command2);
    EXPECT_DOUBLE_EQ(model.prob(1), 0.3);
    EXPECT_DOUBLE_EQ(model.prob(2), 0.3);
    EXPECT_DOUBLE_EQ(model.prob(3), 0.4);
    EXPECT_EQ(window.field_text(Field::Text8, 0), "0.300");
    EXPECT_EQ(window.field_text(Field::Text8, 2), "0.400");
    // Every vector sums to 1, every field shows its value with three decimals, no flag is left.
    const editing::PendingEdits& pending = program.state.pending;
    for (int s = 1; s <= 3; ++s) {
        double sums[3] = {0, 0, 0};
        for (int k = 1; k <= 4; ++k) {
            sums[0] += model.R(s, k).value();
            sums[1] += model.la1(s, k).value();
            sums[2] += model.la2(s, k);
            EXPECT_EQ(window.field_text(windows::stock_field(Parameter::la1, s), k - 1),
                      model::three_decimals_text(model.la1(s, k).value()));
            EXPECT_EQ(pending.edited_R(s, k) + pending.edited_la1(s, k) + pending.edited_la2(s, k),
                      0);
        }
        for (double sum : sums) {
            EXPECT_NEAR(sum, 1.0, 1e-15);
        }
        EXPECT_EQ(pending.edited_prob(s), 0);
    }
    for (int k = 1; k <= 4; ++k) {
        const double average = model.prob(1) * model.R(1, k).value() +
                               model.prob(2) * model.R(2, k).value() +
                               model.prob(3) * model.R(3, k).value();
        EXPECT_EQ(window.caption(k - 1), model::three_decimals_text(average));
    }
}

TEST_F(Recalculation, AVectorWithoutAFiniteOutcomeIsLeftAsItIs) {
    // Untouched components that are all 0: nothing to share 1 - E among.
    set_R_row(model, 1, {0.3, 0, 0, 0});
    window.type(Field::Text1, 0, "0.5");
    // Typed values that sum to 0: nothing to divide by.
    window.type(Field::Text5, 0, "0.5");
    window.type(Field::Text5, 1, "-0.5");
    window.type(Field::Text5, 2, "0");
    window.type(Field::Text5, 3, "0");
    const model::ModelState before = model;
    const Texts text1 = texts(window, Field::Text1);
    const Texts text5 = texts(window, Field::Text5);

    window.click(MainButton::Command2);
    for (int k = 1; k <= 4; ++k) {
        EXPECT_EQ(model.R(1, k), before.R(1, k));
        EXPECT_EQ(model.R(2, k), before.R(2, k));
    }
    EXPECT_EQ(texts(window, Field::Text1), text1);
    EXPECT_EQ(texts(window, Field::Text5), text5);
    // The typed values stay pending, and the user is told which vectors were not applied.
    EXPECT_EQ(program.state.pending.edited_R(2, 1), 1);
    EXPECT_EQ(program.state.pending.edited_R(1, 1), 1);
    EXPECT_EQ(program.state.pending.edited_R(1, 2), 0);
    EXPECT_THAT(window.notice, ::testing::HasSubstr("still pending: R of map 1, R of map 2 ("));
    // The other vectors are recalculated all the same.
    EXPECT_EQ(window.field_text(Field::Text2, 0),
              model::three_decimals_text(model.la1(1, 1).value()));
    EXPECT_EQ(window.field_text(Field::Text8, 0), "0.300");
}

TEST_F(Recalculation, TwoMapsTakeTheProbabilitiesOfMapsOneAndTwoOnly) {
    window.type(Field::Text9, 0, "2");  // prob 0.3, 0.3 become 0.5, 0.5
    window.type(Field::Text8, 2, "0.7");
    window.type(Field::Text10, 0, "0.4");
    window.type(Field::Text8, 0, "0.2");
    window.type(Field::Text8, 1, "0.8");
    window.click(MainButton::Command2);

    EXPECT_DOUBLE_EQ(model.prob(1), 0.2);
    EXPECT_DOUBLE_EQ(model.prob(2), 0.8);
    EXPECT_EQ(model.prob(3), 0.4);
    EXPECT_EQ(window.field_text(Field::Text8, 1), "0.800");
    EXPECT_EQ(window.field_text(Field::Text8, 2), "0.7");
    // Map 3 is recalculated, but its flags stay set: they belong to no map in use.
    EXPECT_DOUBLE_EQ(model.R(3, 1).value(), 0.4);
    EXPECT_EQ(window.field_text(Field::Text10, 0), "0.400");
    const editing::PendingEdits& pending = program.state.pending;
    EXPECT_EQ(pending.edited_prob(3), 1);
    EXPECT_EQ(pending.new_prob(3), 0.7);
    EXPECT_EQ(pending.edited_prob(1), 0);
    EXPECT_EQ(pending.edited_R(3, 1), 1);
    EXPECT_EQ(pending.new_R(3, 1), 0.4);
    for (int k = 1; k <= 4; ++k) {
        EXPECT_EQ(pending.edited_R(2, k), 0);
        const double average = 0.2 * model.R(1, k).value() + 0.8 * model.R(2, k).value();
        EXPECT_EQ(window.caption(k - 1), model::three_decimals_text(average));
    }
}

TEST_F(Recalculation, NoMapsLeaveTheProbabilitiesAndTheirFlagsAlone) {
    window.type(Field::Text9, 0, "");
    window.type(Field::Text8, 1, "0.9");
    const editing::PendingEdits pending_before = program.state.pending;
    window.type(Field::Text1, 0, "0.5");
    window.click(MainButton::Command2);

    EXPECT_EQ(model.prob(1), 0.3);
    EXPECT_EQ(model.prob(2), 0.3);
    EXPECT_EQ(window.field_text(Field::Text8, 1), "0.9");
    EXPECT_EQ(program.state.pending.edited_prob, pending_before.edited_prob);
    EXPECT_DOUBLE_EQ(model.R(1, 1).value(), 0.5);  // the stock vectors still are applied
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(window.caption(i), "0.000");
    }
}

TEST_F(Recalculation, CountsBeyondTheFieldsStopAtTheTablesAndTheFields) {
    window.type(Field::Text8, 0, "0.5");
    for (const char* count : {"1e9", "-3", "2.5"}) {
        window.set_field_text(Field::Text9, 0, count);
        window.click(MainButton::Command2);
        EXPECT_EQ(window.field_text(Field::Text9, 0), count);
        if (count == std::string_view("1e9")) {
            // Maps 4..10 hold nothing to rescale, so prob stays as typed, pending, and says so.
            EXPECT_THAT(window.notice, ::testing::HasSubstr("still pending: prob ("));
            EXPECT_EQ(program.state.pending.edited_prob(1), 1);
        }
    }
    // Only the elements the window has were written.
    for (const auto& [field, index, text] : window.writes) {
        EXPECT_LT(index, windows::field_elements(field)) << text;
    }
    // With 2.5 maps the still pending 0.5 and 0.3 of maps 1 and 2 were applied and rescaled.
    EXPECT_DOUBLE_EQ(model.prob(1) + model.prob(2), 1.0);
    EXPECT_EQ(window.field_text(Field::Text8, 0), "0.625");
    EXPECT_EQ(window.field_text(Field::Text8, 1), "0.375");
    for (int s = 4; s <= 10; ++s) {
        EXPECT_EQ(model.prob(s), 0.0);
    }
}

TEST(StockAverages, WeighEachMapsShareByItsProbability) {
    Program program;
    RecordingMainWindow& window = program.start();
    model::ModelState& model = program.state.model;
    for (int s = 1; s <= 3; ++s) {
        const double share = 0.1 * s;
        set_R_row(model, s, {share, share, share, share});
    }
    editing::show_stock_averages(model, window);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(window.caption(i), "0.210");
    }
}

// The arithmetic alone, on vectors whose outcome is worked out by hand.
std::vector<double> renormalised_values(std::vector<double> x, std::vector<double> p,
                                        std::vector<std::int16_t> f) {
    const auto y = editing::renormalised(x, p, f);
    if (!y) {
        return {};
    }
    const auto components = y->components();
    return {components.begin(), components.end()};
}

TEST(Renormalised, EditsKeepTheirValuesAndTheRestShareWhatIsLeft) {
    // 0.5 is left for 0.1, 0.2, 0.3, shared as 1 : 2 : 3.
    const auto y = renormalised_values({0.1, 0.2, 0.3, 0.4}, {0, 0, 0, 0.5}, {0, 0, 0, 1});
    ASSERT_EQ(y.size(), 4U);
    EXPECT_DOUBLE_EQ(y[0], 1.0 / 12);
    EXPECT_DOUBLE_EQ(y[1], 1.0 / 6);
    EXPECT_DOUBLE_EQ(y[2], 0.25);
    EXPECT_DOUBLE_EQ(y[3], 0.5);
    // Edits above 1 leave -0.5 to share as 3 : 4.
    const auto negative = renormalised_values({0.1, 0.2, 0.3, 0.4}, {0.9, 0.6, 0, 0}, {1, 1, 0, 0});
    ASSERT_EQ(negative.size(), 4U);
    EXPECT_DOUBLE_EQ(negative[0], 0.9);
    EXPECT_DOUBLE_EQ(negative[1], 0.6);
    EXPECT_DOUBLE_EQ(negative[2], -1.5 / 7);
    EXPECT_DOUBLE_EQ(negative[3], -2.0 / 7);
}

TEST(Renormalised, WithoutEditsOrWithAllEditedTheVectorIsDividedByItsSum) {
    EXPECT_EQ(renormalised_values({0.2, 0.2, 0.2, 0.2}, {9, 9, 9, 9}, {0, 0, 0, 0}),
              (std::vector<double>{0.25, 0.25, 0.25, 0.25}));
    EXPECT_EQ(renormalised_values({0.7, 0.7, 0.7}, {1, 2, 5}, {1, 1, 1}),
              (std::vector<double>{0.125, 0.25, 0.625}));
}

TEST(Renormalised, NoFiniteOutcomeGivesNothingAndSaysWhy) {
    using Why = editing::NoRenormalisation;
    const auto why = [](std::vector<double> x, std::vector<double> p, std::vector<std::int16_t> f) {
        EXPECT_FALSE(editing::renormalised(x, p, f));
        return editing::why_not_renormalised(x, p, f);
    };
    // Untouched components that are all 0, or cancel out: nothing to share 1 - E among, whether
    // that is 0.5, 1 or 0.
    EXPECT_EQ(why({0.3, 0, 0}, {0.5, 0, 0}, {1, 0, 0}), Why::untouched_sum_to_0);
    EXPECT_EQ(why({1, 0}, {0, 0}, {1, 0}), Why::untouched_sum_to_0);
    EXPECT_EQ(why({0, 0}, {1, 0}, {1, 0}), Why::untouched_sum_to_0);
    EXPECT_EQ(why({0.2, 0.5, -0.5}, {0.5, 0, 0}, {1, 0, 0}), Why::untouched_sum_to_0);
    // Edited values that sum to 0: nothing to divide by.
    EXPECT_EQ(why({0.3, 0.7}, {0.5, -0.5}, {1, 1}), Why::edited_sum_to_0);
    // An infinite component, untouched or edited: infinity over infinity.
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(why({0.5, inf, 1}, {0.5, 0, 0}, {1, 0, 0}), Why::not_finite);
    EXPECT_EQ(why({0.5, 0.5}, {inf, 1}, {1, 1}), Why::not_finite);
    // A vector of no components has nothing to renormalise and so nothing to fail on.
    EXPECT_TRUE(editing::renormalised({}, {}, {}));
}

}  // namespace
}  // namespace quobel::testing
