// Tests of the map evaluation tau.
#include "model/maps.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>

#include "model/number_text.hpp"

namespace quobel::model {
namespace {

// Map s with four stocks and double-precision cells.
void set_map(ModelState& model, int s, const std::array<double, 4>& R,
             const std::array<double, 4>& la1, const std::array<double, 4>& la2) {
    for (int k = 1; k <= 4; ++k) {
        model.R(s, k) = RealCell::of_double(R[k - 1]);
        model.la1(s, k) = RealCell::of_double(la1[k - 1]);
        model.la2(s, k) = la2[k - 1];
    }
}

// Equal payoff shares; investor 1 leans to the first stocks, investor 2 to the last.
ModelState sample_model() {
    ModelState model;
    model.num_stocks = 4;
    set_map(model, 2, {0.25, 0.25, 0.25, 0.25}, {0.4, 0.3, 0.2, 0.1}, {0.1, 0.2, 0.3, 0.4});
    return model;
}

TEST(Maps, SampleMapValues) {
    const ModelState model = sample_model();
    EXPECT_EQ(tau(model, 2, 0), 0.0);
    EXPECT_EQ(tau(model, 2, 1), 1.0);
    EXPECT_EQ(tau(model, 2, 0.5), 0.49999999999999994);
    EXPECT_EQ(general_text(tau(model, 2, 0.5)), "0.5");
    EXPECT_EQ(tau(model, 2, 0.2), 0.24360198624904508);
    EXPECT_EQ(general_text(tau(model, 2, 0.2)), "0.243601986249045");
    EXPECT_EQ(general_text(tau(model, 2, 0.8)), "0.756398013750955");
    // An unset point counts as 0.
    EXPECT_EQ(tau(model, 2, model.current_r.value()), tau(model, 2, 0));
    // A point in the margin of the plot is evaluated by the same formula and leaves [0, 1].
    EXPECT_LT(tau(model, 2, -0.005), 0.0);
    EXPECT_GT(tau(model, 2, 1.005), 1.0);
}

TEST(Maps, RoundingFollowsTheGroupingOfTheFormula) {
    // With shares that are not powers of two, R * (la1 * r) differs from (R * la1) * r, the
    // denominator la2 * (1 - r) from la2 - la2 * r, and adding from stock 1 up from the reverse.
    ModelState model;
    model.num_stocks = 4;
    set_map(model, 1, {0.1, 0.2, 0.3, 0.4}, {0.4, 0.3, 0.2, 0.1}, {0.1, 0.2, 0.3, 0.4});
    EXPECT_EQ(tau(model, 1, 0.2), 0.1709320091673033);
    EXPECT_EQ(tau(model, 1, 0.3), 0.24679510838808102);
    EXPECT_EQ(tau(model, 1, 0.45), 0.3606067075565674);
    EXPECT_EQ(tau(model, 1, 0.9), 0.8175701279149555);
}

TEST(Maps, StockCountBoundsTheSum) {
    ModelState model = sample_model();
    for (double none : {0.0, 0.5, -2.0, std::numeric_limits<double>::quiet_NaN()}) {
        model.num_stocks = none;
        EXPECT_EQ(tau(model, 2, 0.7), 0.0) << none;
    }
    // 2.5 stocks sum the terms of stocks 1 and 2; a count above the table stops at stock 10.
    model.num_stocks = 2;
    const double two = tau(model, 2, 0.3);
    model.num_stocks = 2.5;
    EXPECT_EQ(tau(model, 2, 0.3), two);
    EXPECT_EQ(tau(model, 2, 1), 0.5);
    model.num_stocks = 4;
    const double four = tau(model, 2, 0.3);
    for (int k = 5; k <= max_stocks; ++k) {
        model.la2(2, k) = 1;  // the other cells stay 0: each extra term is 0 / la2 = 0
    }
    model.num_stocks = 1e9;
    EXPECT_EQ(tau(model, 2, 0.3), four);
}

TEST(Maps, EqualProportionsGiveRTimesTheShareSum) {
    ModelState model;
    model.num_stocks = 4;
    set_map(model, 3, {0.1, 0.2, 0.3, 0.35}, {0.4, 0.3, 0.2, 0.1}, {0.4, 0.3, 0.2, 0.1});
    for (double r : {0.0, 0.1, 0.37, 0.5, 0.9, 1.0}) {
        EXPECT_NEAR(tau(model, 3, r), 0.95 * r, 1e-15) << r;
    }
}

TEST(Maps, SinglePrecisionCellsEnterWithTheirFloatValue) {
    // A single-precision cell is its float widened to double, not the decimal it displays.
    ModelState model = sample_model();
    model.R(2, 1) = RealCell::of_single(0.25f);
    model.la1(2, 1) = RealCell::of_single(0.4f);
    const double p = static_cast<double>(0.4f) * 0.2;
    const double first = 0.25 * p / (p + 0.1 * 0.8);
    model.num_stocks = 1;
    EXPECT_EQ(tau(model, 2, 0.2), first);
}

TEST(Maps, StockThatNeitherInvestorHoldsAddsNothing) {
    ModelState model = sample_model();
    // At r = 0 investor 1 holds nothing, so with la2(2,3) = 0 nobody holds stock 3 there.
    model.la2(2, 3) = 0;
    EXPECT_EQ(tau(model, 2, 0), 0.0);
    EXPECT_TRUE(std::isfinite(tau(model, 2, 0.001)));
    // At r = 1 with la1(2,1) = 0 nobody holds stock 1: the other stocks' payoffs, 0.75, remain.
    model.la1(2, 1) = RealCell::of_double(0);
    EXPECT_EQ(tau(model, 2, 1), 0.75);

    // A stock nobody holds at any r: 0.25 r, stock 4's share of its own payoff, is what is left.
    ModelState held_by_one = sample_model();
    set_map(held_by_one, 2, {0.5, 0.25, 0.25, 0}, {0, 0, 0, 1}, {0, 0, 0, 1});
    for (const double r : {0.0, 0.3, 1.0}) {
        EXPECT_EQ(tau(held_by_one, 2, r), 0.0) << r;
    }
    set_map(held_by_one, 2, {0.5, 0.25, 0.25, 0}, {0, 1, 0, 0}, {0, 0, 1, 0});
    EXPECT_EQ(tau(held_by_one, 2, 0.3), 0.25);
}

TEST(Maps, ZeroDenominatorWithHoldingsIsNotFinite) {
    // Negative shares: 0.2 * 0.5 - 0.2 * 0.5 = 0 while both investors hold something.
    ModelState model = sample_model();
    model.la1(2, 2) = RealCell::of_double(0.2);
    model.la2(2, 2) = -0.2;
    EXPECT_FALSE(std::isfinite(tau(model, 2, 0.5)));
    EXPECT_TRUE(std::isfinite(tau(model, 2, 0.4)));
}

}  // namespace
}  // namespace quobel::model
