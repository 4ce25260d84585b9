// Tests of the boundary exponents at the model's edges: payoffs nobody holds, map counts without a
// map, and the dead band of single- and double-precision shares.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "analysis/boundary_exponents.hpp"
#include "analysis_models.hpp"
#include "boundary_flags.hpp"
#include "model/maps.hpp"

namespace quobel::analysis {
namespace {

using ::testing::AllOf;
using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;

using test_flags::FlagAbout;
using test_models::MapRows;
using test_models::model_of;
using test_models::model_of_block;
using test_models::ModelState;
using test_models::RealCell;

// The (map, stock) of each flag of this kind.
std::set<std::pair<int, int>> flagged(const BoundaryExponents& result, FlagKind kind) {
    std::set<std::pair<int, int>> cells;
    for (const Flag& flag : result.flags) {
        if (flag.kind == kind) {
            cells.insert({flag.map, flag.stock});
        }
    }
    return cells;
}

TEST(BoundaryExponentsAtTheEdges, StockThatPaysButNobodyHoldsLeavesNoVerdict) {
    // Stock 3 pays 0.2 and neither investor holds it: tau(r) = 0.8 r, so r = 1 is not fixed.
    const ModelState lost = model_of_block("1,3 / .4,.4,.2 / .5,.5,0 / .5,.5,0 / 1");
    EXPECT_DOUBLE_EQ(model::tau(lost, 1, 1), 0.8);
    const auto one_map = boundary_exponents(lost);
    EXPECT_EQ(one_map.verdict, Verdict::not_defined);
    EXPECT_EQ(survival(lost).verdict, Verdict::not_defined);
    EXPECT_NEAR(one_map.lambda_0, std::log(0.8), 1e-15);
    ASSERT_EQ(one_map.flags.size(), 1U);  // the stock is named once, by what it breaks
    EXPECT_THAT(one_map.flags[0], FlagAbout(FlagKind::payoff_held_by_neither, 1, 3));
    EXPECT_THAT(one_map.flags[0].text,
                AllOf(HasSubstr("stock 3 in map 1"), HasSubstr("R(1,3) = 0.2"),
                      HasSubstr("pays 0.8 in all"), HasSubstr("r = 1 is not a fixed point")));

    // Two maps, each losing the 0.2 of stock 3: today's "both boundaries attract" is no verdict.
    const ModelState both =
        model_of_block("2,3 / .4,.4,.2 / .3,.5,.2 / .6,.4,0 / .2,.8,0 / .3,.7,0 / .5,.5,0 / .5,.5");
    const auto two_maps = boundary_exponents(both);
    EXPECT_EQ(two_maps.verdict, Verdict::not_defined);
    EXPECT_EQ(survival(both).verdict, Verdict::not_defined);
    EXPECT_EQ(flagged(two_maps, FlagKind::payoff_held_by_neither),
              (std::set<std::pair<int, int>>{{1, 3}, {2, 3}}));

    // A stock that only investor 2 holds is not lost: investor 2 takes its payoff however near r
    // comes to 1, an infinite slope that the verdict reads as such.
    const auto taken = boundary_exponents(
        model_of_block("2,2 / .5,.5 / .3,.7 / 1,0 / .4,.6 / .5,.5 / .5,.5 / .5,.5"));
    EXPECT_NEAR(taken.lambda_0, 0.5 * std::log(1.08), 1e-15);
    EXPECT_EQ(taken.lambda_1, std::numeric_limits<double>::infinity());
    EXPECT_EQ(taken.verdict, Verdict::both_survive);
    EXPECT_TRUE(flagged(taken, FlagKind::payoff_held_by_neither).empty());
}

TEST(BoundaryExponentsAtTheEdges, FixedPointsAsTheMapsThemselvesGiveThem) {
    // Random files with positive shares but for one stock that both investors leave empty in
    // some maps; that stock pays nothing in some of them. Which boundary is a fixed point of
    // which map is read off tau at 0 and 1 directly.
    std::mt19937_64 random(77);
    const auto simplex = [&](int n) {
        return test_models::random_portfolio(random, static_cast<std::size_t>(n), 0.05);
    };
    int unfixed_cases = 0;
    for (int i = 0; i < 400; ++i) {
        const int maps = 1 + static_cast<int>(random() % 3);
        const int stocks = 2 + static_cast<int>(random() % 4);
        const auto emptied = static_cast<std::size_t>(random() % static_cast<unsigned>(stocks));
        std::vector<test_models::MapRows> rows;
        for (int s = 0; s < maps; ++s) {
            test_models::MapRows map{simplex(stocks), simplex(stocks), simplex(stocks)};
            if (random() % 3 != 0) {
                map.la1[emptied] = map.la2[emptied] = 0;
            }
            if (random() % 4 == 0) {
                map.R[emptied] = 0;
            }
            double sum = 0;
            for (const double payoff : map.R) {
                sum += payoff;
            }
            for (double& payoff : map.R) {
                payoff /= sum;
            }
            rows.push_back(map);
        }
        const ModelState model = model_of(rows, simplex(maps), i % 2 == 0);

        std::set<std::pair<int, int>> expected;
        for (int s = 1; s <= maps; ++s) {
            // Rounding of the stored shares apart, a map fixes 0 and 1 or it loses a payoff.
            const bool fixed = std::abs(model::tau(model, s, 0)) < 1e-6 &&
                               std::abs(model::tau(model, s, 1) - 1) < 1e-6;
            if (!fixed) {
                expected.insert({s, static_cast<int>(emptied) + 1});
            }
        }
        const auto result = boundary_exponents(model);
        ASSERT_EQ(flagged(result, FlagKind::payoff_held_by_neither), expected) << "case " << i;
        EXPECT_EQ(result.verdict == Verdict::not_defined, !expected.empty()) << "case " << i;
        EXPECT_EQ(survival(model).verdict, result.verdict) << "case " << i;
        for (const Flag& flag : result.flags) {
            if (flag.kind == FlagKind::payoff_held_by_neither) {
                EXPECT_THAT(flag.text, HasSubstr("r = 1 is not a fixed point")) << "case " << i;
            }
        }
        unfixed_cases += expected.empty() ? 0 : 1;
    }
    // Both kinds of file were met.
    EXPECT_GT(unfixed_cases, 100);
    EXPECT_LT(unfixed_cases, 300);
}

TEST(BoundaryExponentsAtTheEdges, MapCountWithoutAMapHasNoExponent) {
    // Each count with the cells the reader takes for it: whole maps up to the count, at most 10.
    for (const std::string count : {"2.5", "4", "0", "-3", "10", "2.9999999999999996"}) {
        const int maps = model::loop_count(std::stod(count), model::max_maps);
        std::string block = count + ",2";
        for (const char* row : {".5,.5", ".6,.4", ".4,.6"}) {
            for (int s = 0; s < maps; ++s) {
                block += std::string(",") + row;
            }
        }
        for (int s = 0; s < maps; ++s) {
            block += ",.1";
        }
        const ModelState model = model_of_block(block);
        const auto result = boundary_exponents(model);
        EXPECT_EQ(result.maps.count, 0) << count;
        EXPECT_TRUE(std::isnan(result.lambda_0) && std::isnan(result.lambda_1)) << count;
        EXPECT_EQ(result.verdict, Verdict::not_defined) << count;
        ASSERT_EQ(result.flags.size(), 1U) << count;
        EXPECT_THAT(result.flags[0], FlagAbout(FlagKind::no_map_to_draw, 0, 0));
        EXPECT_THAT(result.flags[0].text, AllOf(HasSubstr("map count is " + count + ","),
                                                HasSubstr("no map can be drawn")));
        const Survival light = survival(model);
        EXPECT_TRUE(std::isnan(light.lambda_0) && std::isnan(light.lambda_1)) << count;
        EXPECT_EQ(light.verdict, Verdict::not_defined) << count;
    }
    // The same cells with a count of 3 are three maps and their exponents.
    const auto three =
        boundary_exponents(model_of_block("3,2,.5,.5,.5,.5,.5,.5,.6,.4,.6,.4,.6,.4,.4,.6,.4,.6,.4,"
                                          ".6,.2,.3,.5"));
    EXPECT_NEAR(three.lambda_0, std::log(0.5 * 1.5 + 0.5 * 0.4 / 0.6), 1e-15);
    EXPECT_TRUE(three.flags.empty());
}

TEST(BoundaryExponentsAtTheEdges, DeadBandFollowsThePrecisionOfTheShares) {
    // Investor 1 holds (0.5 + d, 0.5 - d), investor 2 (0.5, 0.5), against payoffs (0.6, 0.4):
    // tau'(0) = 0.6 (1 + 2d) + 0.4 (1 - 2d) = 1 + 0.4 d, so Lambda_0 = log(1 + 0.4 d) > 0.
    // d = 5e-8 gives Lambda_0 = 2e-8 and shares 1e-7 apart; d = 5e-7 gives 2e-7 and 1e-6.
    const ModelState near = model_of_block("1,2 / .6,.4 / .50000005,.49999995 / .5,.5 / 1");
    const ModelState nearer = model_of_block("1,2 / .6,.4 / .5000005,.4999995 / .5,.5 / 1");
    for (const auto& [model, d] : {std::pair{near, 5e-8}, std::pair{nearer, 5e-7}}) {
        // Typed in double precision, la2 = 0.5 exactly: a band near double rounding.
        const auto typed = boundary_exponents(model);
        EXPECT_EQ(typed.band.precision, model::Precision::double_precision);
        EXPECT_LT(typed.band.exponent, 1e-14);
        EXPECT_NEAR(typed.lambda_0, std::log1p(0.4 * d), 1e-15) << d;
        EXPECT_EQ(typed.verdict, Verdict::investor_1_takes_over) << d;
        EXPECT_EQ(survival(model).verdict, typed.verdict) << d;
        EXPECT_EQ(verdict_explanation(typed), verdict_explanation(typed.verdict));
    }

    // The same decimals stored as the random fill stores its shares: single precision keeps its
    // band, 8 * 2^-24 for an exponent and 4 * 2^-24 between two shares.
    const std::vector<double> la2{0.5, 0.5};
    const auto stored = [&](double d) {
        return boundary_exponents(
            model_of({{{0.6, 0.4}, {0.5 + d, 0.5 - d}, la2}}, {1}, /*single=*/true));
    };
    const auto same = stored(5e-8);
    EXPECT_EQ(same.band.precision, model::Precision::single_precision);
    EXPECT_EQ(same.band.exponent, 0x1p-21);
    EXPECT_EQ(same.band.portfolio, 0x1p-22);
    EXPECT_EQ(same.verdict, Verdict::no_selection);
    EXPECT_THAT(
        verdict_explanation(same),
        AllOf(HasSubstr("within 2.38e-07"), HasSubstr("single-precision"), Not(HasSubstr("\n"))));
    const auto unsure = stored(5e-7);
    EXPECT_EQ(unsure.verdict, Verdict::inconclusive);
    EXPECT_THAT(verdict_explanation(unsure),
                AllOf(HasSubstr("within 4.77e-07 of 0"), Not(HasSubstr("\n"))));

    // la2 keeps no precision mark: a float that stands for a shorter decimal is single precision,
    // even beside R and la1 typed in double.
    ModelState mixed = nearer;
    mixed.la2(1, 1) = static_cast<float>(0.3);
    mixed.la2(1, 2) = static_cast<float>(0.7);
    EXPECT_EQ(boundary_exponents(mixed).band.precision, model::Precision::single_precision);

    // Only the maps that can be drawn count: single-precision shares in a map never picked leave
    // the band of the typed ones.
    ModelState unpicked =
        model_of({{{0.6, 0.4}, {0.5, 0.5}, la2}, {{0.6, 0.4}, {0.3, 0.7}, la2}}, {1, 0});
    unpicked.la1(2, 1) = RealCell::of_single(0.3F);
    EXPECT_EQ(boundary_exponents(unpicked).band.precision, model::Precision::double_precision);
    unpicked.prob(1) = 0.5;
    EXPECT_EQ(boundary_exponents(unpicked).band.precision, model::Precision::single_precision);
}

// Negative shares take r out of [0, 1]. A negative la1 beside a positive la2 leaves both slopes
// positive, so the exponents give a verdict, yet tau has a pole inside (0, 1): a flag says so.
TEST(BoundaryExponentsAtTheEdges, NegativeSharesAreFlaggedEvenWhenTheSlopesArePositive) {
    const ModelState pole = model_of({{{0.001, 0.999}, {-0.01, 1.01}, {0.001, 0.999}}}, {1});
    const auto result = boundary_exponents(pole);
    EXPECT_GT(result.terms[0].slope_at_0, 0);
    EXPECT_GT(result.terms[0].slope_at_1, 0);
    EXPECT_NE(result.verdict, Verdict::not_defined);
    EXPECT_EQ(flagged(result, FlagKind::negative_share), (std::set<std::pair<int, int>>{{1, 1}}));
    // The pole of stock 1's term is where -0.01 r + 0.001 (1 - r) = 0: r = 1/11.
    const double at = 1.0 / 11;
    EXPECT_THAT(result.flags[0].text, AllOf(HasSubstr("la1(1,1) = -0.01"), HasSubstr("0.0909")));
    EXPECT_GT(std::abs(model::tau(pole, 1, std::nextafter(at, 0.0))), 1e10);
    EXPECT_GT(std::abs(model::tau(pole, 1, std::nextafter(at, 1.0))), 1e10);

    // The same of la2, and a negative payoff share (the command line's example, whose slope at
    // 0 is negative too).
    const auto la2 = boundary_exponents(model_of({{{0.5, 0.5}, {0.5, 0.5}, {1.2, -0.2}}}, {1}));
    EXPECT_EQ(flagged(la2, FlagKind::negative_share), (std::set<std::pair<int, int>>{{1, 2}}));
    const MapRows fair{{0.5, 0.5}, {0.5, 0.5}, {0.5, 0.5}};
    const auto payoff =
        boundary_exponents(model_of({{{-1, 2}, {0.9, 0.1}, {0.1, 0.9}}, fair}, {0.5, 0.5}));
    EXPECT_EQ(flagged(payoff, FlagKind::negative_share), (std::set<std::pair<int, int>>{{1, 1}}));
    EXPECT_THAT(payoff.flags, Contains(FlagAbout(FlagKind::slope_without_logarithm, 1, 0)));

    // A stock without payoff has no term to have a pole, and a map never drawn raises nothing.
    EXPECT_TRUE(
        boundary_exponents(model_of({{{0, 1}, {-0.5, 1.5}, {0.5, 0.5}}}, {1})).flags.empty());
    const auto unpicked =
        boundary_exponents(model_of({fair, {{-1, 2}, {-0.5, 1.5}, {0.5, 0.5}}}, {1, 0}));
    EXPECT_TRUE(flagged(unpicked, FlagKind::negative_share).empty());
}

}  // namespace
}  // namespace quobel::analysis
