// Tests of the boundary exponents: hand-computed cases, the verdicts and the flags.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "analysis/boundary_exponents.hpp"
#include "analysis_models.hpp"

namespace quobel::analysis {
namespace {

using test_models::MapRows;
using test_models::model_of;
using test_models::ModelState;
using test_models::start_up_model;

bool has_flag(const BoundaryExponents& result, FlagKind kind, int map = 0, int stock = 0) {
    for (const Flag& flag : result.flags) {
        if (flag.kind == kind && flag.map == map && flag.stock == stock) {
            return true;
        }
    }
    return false;
}

double kl(const std::vector<double>& p, const std::vector<double>& q) {
    double sum = 0;
    for (std::size_t i = 0; i < p.size(); ++i) {
        sum += p[i] * std::log(p[i] / q[i]);
    }
    return sum;
}

TEST(BoundaryExponents, OneStockAndEqualPortfolios) {
    // One stock: tau'(0) = la1 / la2 and tau'(1) = la2 / la1.
    const auto one = boundary_exponents(model_of({{{1}, {0.6}, {0.3}}}, {0.3}));
    ASSERT_EQ(one.terms.size(), 1U);
    EXPECT_DOUBLE_EQ(one.terms[0].slope_at_0, 2.0);
    EXPECT_DOUBLE_EQ(one.terms[0].slope_at_1, 0.5);
    EXPECT_DOUBLE_EQ(one.lambda_0, std::log(2.0));
    EXPECT_DOUBLE_EQ(one.lambda_1, -std::log(2.0));
    EXPECT_EQ(one.verdict, Verdict::investor_1_takes_over);
    // With one map prob is not read, so its 0.3 is no fault.
    EXPECT_TRUE(one.flags.empty());

    const auto swapped = boundary_exponents(model_of({{{1}, {0.3}, {0.6}}}, {1}));
    EXPECT_EQ(swapped.verdict, Verdict::investor_2_takes_over);

    // Equal portfolios: both slopes are sum R = 1, both exponents 0.
    const auto equal = boundary_exponents(
        model_of({{{0.5, 0.5}, {0.2, 0.8}, {0.2, 0.8}}, {{0.25, 0.75}, {0.7, 0.3}, {0.7, 0.3}}},
                 {0.4, 0.6}));
    EXPECT_EQ(equal.lambda_0, 0.0);
    EXPECT_EQ(equal.lambda_1, 0.0);
    EXPECT_EQ(equal.verdict, Verdict::undecided);
    EXPECT_EQ(verdict_text(equal.verdict), "undecided (degenerate)");
    // Shares whose decimal sum is 1 but whose binary sum is not: no verdict from the rounding.
    const auto rounded =
        boundary_exponents(model_of({{{0.34, 0.56, 0.1}, {0.3, 0.3, 0.4}, {0.3, 0.3, 0.4}}}, {1}));
    EXPECT_GT(rounded.lambda_0, 0.0);
    EXPECT_GT(rounded.lambda_1, 0.0);
    EXPECT_EQ(rounded.verdict, Verdict::undecided);
}

TEST(BoundaryExponents, ArrowSecuritiesGiveRelativeEntropies) {
    // Map s pays only stock s; both investors hold fixed portfolios a and b.
    const std::vector<double> p = {0.3, 0.3, 0.4};
    const std::vector<double> a = {0.2, 0.3, 0.5};
    const std::vector<double> b = {0.5, 0.25, 0.25};
    const MapRows first{{1, 0, 0}, a, b};
    const MapRows second{{0, 1, 0}, a, b};
    const MapRows third{{0, 0, 1}, a, b};
    const auto result = boundary_exponents(model_of({first, second, third}, p));
    EXPECT_NEAR(result.lambda_0, kl(p, b) - kl(p, a), 1e-12);
    EXPECT_NEAR(result.lambda_1, kl(p, a) - kl(p, b), 1e-12);
    EXPECT_EQ(result.verdict, Verdict::investor_1_takes_over);
    EXPECT_TRUE(result.flags.empty());
    // The Kelly portfolio of Arrow securities is the probabilities themselves.
    ASSERT_EQ(result.kelly.size(), 3U);
    for (std::size_t k = 0; k < 3; ++k) {
        EXPECT_NEAR(result.kelly[k], p[k], 1e-12);
    }

    // Betting the Kelly portfolio wins against any other.
    const auto kelly =
        boundary_exponents(model_of({{{1, 0, 0}, b, p}, {{0, 1, 0}, b, p}, {{0, 0, 1}, b, p}}, p));
    EXPECT_NEAR(kelly.lambda_0, -kl(p, b), 1e-12);
    EXPECT_EQ(kelly.verdict, Verdict::investor_2_takes_over);
}

TEST(BoundaryExponents, Verdicts) {
    const auto both = boundary_exponents(model_of({{{0.5, 0.5}, {0.9, 0.1}, {0.1, 0.9}}}, {1}));
    EXPECT_GT(both.lambda_0, 0);
    EXPECT_GT(both.lambda_1, 0);
    EXPECT_EQ(both.verdict, Verdict::both_survive);
    EXPECT_EQ(verdict_text(Verdict::both_survive), "both survive");
    EXPECT_EQ(verdict_text(Verdict::investor_1_takes_over), "investor 1 takes over");
    EXPECT_EQ(verdict_text(Verdict::investor_2_takes_over), "investor 2 takes over");

    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(verdict_of(-1, -1), Verdict::undecided);
    EXPECT_EQ(verdict_of(0, -1), Verdict::undecided);
    EXPECT_EQ(verdict_of(1, 0), Verdict::undecided);
    EXPECT_EQ(verdict_of(1e-15, -1), Verdict::undecided);
    EXPECT_EQ(verdict_of(1e-9, -1e-9), Verdict::investor_1_takes_over);
    EXPECT_EQ(verdict_of(nan, -1), Verdict::undecided);
    EXPECT_EQ(verdict_of(1, nan), Verdict::undecided);
}

TEST(BoundaryExponents, FlagsWhatMakesThemMeaningless) {
    // The random shares of start-up sum to 1 only up to single precision: no flag.
    EXPECT_TRUE(boundary_exponents(start_up_model()).flags.empty());

    const auto short_shares =
        boundary_exponents(model_of({{{0.5, 0.4}, {0.5, 0.5}, {0.5, 0.5}}}, {1}));
    EXPECT_TRUE(has_flag(short_shares, FlagKind::shares_not_summing_to_one, 1));
    EXPECT_EQ(short_shares.flags.size(), 1U);

    const auto zero_la2 = boundary_exponents(model_of({{{0.5, 0.5}, {0.5, 0.5}, {1, 0}}}, {1}));
    EXPECT_TRUE(has_flag(zero_la2, FlagKind::infinite_slope_at_0, 1, 2));
    EXPECT_EQ(zero_la2.lambda_0, std::numeric_limits<double>::infinity());
    const auto zero_la1 = boundary_exponents(model_of({{{0.5, 0.5}, {0, 1}, {0.5, 0.5}}}, {1}));
    EXPECT_TRUE(has_flag(zero_la1, FlagKind::infinite_slope_at_1, 1, 1));
    // Without payoff the stock's zero share is harmless.
    EXPECT_TRUE(boundary_exponents(model_of({{{0, 1}, {0, 1}, {0.5, 0.5}}}, {1})).flags.empty());

    const auto negative =
        boundary_exponents(model_of({{{1.5, -0.5}, {0.5, 0.5}, {0.9, 0.1}}}, {1}));
    EXPECT_TRUE(has_flag(negative, FlagKind::slope_without_logarithm, 1));
    EXPECT_EQ(negative.verdict, Verdict::undecided);

    const MapRows plain{{0.5, 0.5}, {0.4, 0.6}, {0.6, 0.4}};
    const auto unequal = boundary_exponents(model_of({plain, plain}, {0.5, 0.3}));
    EXPECT_TRUE(has_flag(unequal, FlagKind::probabilities_not_summing_to_one));
    // The exponents weigh the maps as the iteration picks them: map 2 takes every draw from 0.5.
    EXPECT_EQ(unequal.terms[1].chance, 0.5);

    // A map the iteration never picks raises nothing and adds nothing.
    const MapRows broken{{0.2, 0.2}, {0, 1}, {1, 0}};
    const auto unpicked = boundary_exponents(model_of({plain, broken}, {1, 0}));
    EXPECT_TRUE(unpicked.flags.empty());
    EXPECT_TRUE(std::isfinite(unpicked.lambda_0) && std::isfinite(unpicked.lambda_1));

    ModelState four = model_of({plain, plain, plain}, {0.3, 0.3, 0.4});
    four.num_maps = 4;
    const auto none = boundary_exponents(four);
    EXPECT_EQ(none.maps.count, 0);
    EXPECT_TRUE(none.terms.empty());
    EXPECT_EQ(none.verdict, Verdict::undecided);
}

}  // namespace
}  // namespace quobel::analysis
