// Tests of the boundary exponents: hand-computed cases, the verdicts and the flags.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <set>
#include <string_view>
#include <utility>
#include <vector>

#include "analysis/boundary_exponents.hpp"
#include "analysis_models.hpp"
#include "boundary_flags.hpp"
#include "model/start_up.hpp"

namespace quobel::analysis {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;

using test_flags::FlagAbout;
using test_models::MapRows;
using test_models::model_of;
using test_models::ModelState;
using test_models::RealCell;
using test_models::start_up_model;

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
    EXPECT_EQ(equal.verdict, Verdict::no_selection);
    EXPECT_EQ(verdict_text(equal.verdict), "no selection");
    // Shares whose decimal sum is 1 but whose binary sum is not: no verdict from the rounding.
    const auto rounded =
        boundary_exponents(model_of({{{0.34, 0.56, 0.1}, {0.3, 0.3, 0.4}, {0.3, 0.3, 0.4}}}, {1}));
    EXPECT_NEAR(rounded.lambda_0, 0.0, 1e-15);
    EXPECT_NEAR(rounded.lambda_1, 0.0, 1e-15);
    EXPECT_EQ(rounded.verdict, Verdict::no_selection);
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
    EXPECT_EQ(verdict_of(-1, -1), Verdict::both_boundaries_attract);
    EXPECT_EQ(verdict_of(0, -1), Verdict::inconclusive);
    EXPECT_EQ(verdict_of(1, 0), Verdict::inconclusive);
    // Within the rounding of single-precision inputs an exponent has no sign.
    EXPECT_EQ(verdict_of(3e-7, -1), Verdict::inconclusive);
    EXPECT_EQ(verdict_of(1e-6, -1e-6), Verdict::investor_1_takes_over);
    EXPECT_EQ(verdict_of(-1e-6, 1e-6), Verdict::investor_2_takes_over);
    EXPECT_EQ(verdict_of(nan, -1), Verdict::not_defined);
    EXPECT_EQ(verdict_of(1, nan), Verdict::not_defined);
    EXPECT_EQ(verdict_of(std::numeric_limits<double>::infinity(), -1),
              Verdict::investor_1_takes_over);
}

TEST(BoundaryExponents, FlagsWhatMakesThemMeaningless) {
    // The random shares of start-up sum to 1 only up to single precision: no flag.
    EXPECT_TRUE(boundary_exponents(start_up_model()).flags.empty());

    const auto short_shares =
        boundary_exponents(model_of({{{0.5, 0.4}, {0.5, 0.5}, {0.5, 0.5}}}, {1}));
    EXPECT_THAT(short_shares.flags, Contains(FlagAbout(FlagKind::shares_not_summing_to_one, 1, 0)));
    EXPECT_EQ(short_shares.flags.size(), 1U);

    const auto zero_la2 = boundary_exponents(model_of({{{0.5, 0.5}, {0.5, 0.5}, {1, 0}}}, {1}));
    EXPECT_THAT(zero_la2.flags, Contains(FlagAbout(FlagKind::infinite_slope_at_0, 1, 2)));
    EXPECT_EQ(zero_la2.lambda_0, std::numeric_limits<double>::infinity());
    const auto zero_la1 = boundary_exponents(model_of({{{0.5, 0.5}, {0, 1}, {0.5, 0.5}}}, {1}));
    EXPECT_THAT(zero_la1.flags, Contains(FlagAbout(FlagKind::infinite_slope_at_1, 1, 1)));
    // Without payoff the stock's zero share is harmless.
    EXPECT_TRUE(boundary_exponents(model_of({{{0, 1}, {0, 1}, {0.5, 0.5}}}, {1})).flags.empty());

    const auto negative =
        boundary_exponents(model_of({{{1.5, -0.5}, {0.5, 0.5}, {0.9, 0.1}}}, {1}));
    EXPECT_THAT(negative.flags, Contains(FlagAbout(FlagKind::slope_without_logarithm, 1, 0)));
    EXPECT_EQ(negative.verdict, Verdict::not_defined);
    EXPECT_EQ(short_shares.verdict, Verdict::not_defined);

    const MapRows plain{{0.5, 0.5}, {0.4, 0.6}, {0.6, 0.4}};
    const auto unequal = boundary_exponents(model_of({plain, plain}, {0.5, 0.3}));
    EXPECT_THAT(unequal.flags,
                Contains(FlagAbout(FlagKind::probabilities_not_summing_to_one, 0, 0)));
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
    EXPECT_EQ(none.verdict, Verdict::not_defined);
}

TEST(BoundaryExponents, EveryVerdictHasItsTextAndOneLine) {
    const std::vector<std::pair<Verdict, std::string_view>> texts{
        {Verdict::investor_1_takes_over, "investor 1 takes over"},
        {Verdict::investor_2_takes_over, "investor 2 takes over"},
        {Verdict::both_survive, "both survive"},
        {Verdict::both_boundaries_attract, "both boundaries attract"},
        {Verdict::no_selection, "no selection"},
        {Verdict::inconclusive, "inconclusive"},
        {Verdict::not_defined, "not defined"}};
    std::set<std::string_view> lines;
    for (const auto& [verdict, text] : texts) {
        EXPECT_EQ(verdict_text(verdict), text);
        const std::string_view line = verdict_explanation(verdict);
        EXPECT_THAT(std::string(line), Not(HasSubstr("\n"))) << text;
        lines.insert(line);
    }
    EXPECT_EQ(lines.size(), texts.size());
}

TEST(BoundaryExponents, ExponentZeroInTheoryIsInconclusiveHoweverStored) {
    // Investor 2 holds the payoff shares themselves: tau'(0) = 0.5 * 0.4 / 0.5 + 0.5 * 0.6 / 0.5
    // = 1, so Lambda_0 = 0, while Lambda_1 = log(0.25 / 0.4 + 0.25 / 0.6) = log(25 / 24).
    for (const bool single : {false, true}) {
        const auto result =
            boundary_exponents(model_of({{{0.5, 0.5}, {0.4, 0.6}, {0.5, 0.5}}}, {1}, single));
        EXPECT_NEAR(result.lambda_0, 0.0, exponent_tolerance) << single;
        EXPECT_NEAR(result.lambda_1, std::log(25.0 / 24.0), 1e-7) << single;
        EXPECT_EQ(result.verdict, Verdict::inconclusive) << single;
    }
}

TEST(BoundaryExponents, IdenticalInvestorsAreNoSelectionHoweverTheRowsAreStored) {
    // Single-precision payoff rows miss 1 by a few units of 1e-8; rows typed just under 1 as well.
    const std::vector<double> same{0.3, 0.7};
    for (const bool single : {false, true}) {
        const auto result = boundary_exponents(
            model_of({{{0.6, 0.4}, same, same}, {{0.4, 0.6}, same, same}}, {0.5, 0.5}, single));
        EXPECT_EQ(result.verdict, Verdict::no_selection) << single;
        EXPECT_TRUE(result.flags.empty()) << single;
    }
    const auto under = boundary_exponents(
        model_of({{{0.6, 0.4 - 3e-8}, same, same}, {{0.4 - 3e-8, 0.6}, same, same}}, {0.5, 0.5}));
    EXPECT_EQ(under.verdict, Verdict::no_selection);
    // The same portfolio up to the rounding of its storage is the same portfolio.
    const auto mixed = boundary_exponents(
        model_of({{{0.6, 0.4}, same, {static_cast<float>(0.3), static_cast<float>(0.7)}}}, {1}));
    EXPECT_EQ(mixed.verdict, Verdict::no_selection);
}

TEST(BoundaryExponents, VerdictDoesNotDependOnHowTheSharesAreStored) {
    // The program's random fill stores single-precision shares; typing the decimals they show
    // gives the double nearest to each. Both must get the same verdict.
    const auto typed = [](double stored) {
        std::array<char, 32> text{};
        const auto end =
            std::to_chars(text.data(), text.data() + text.size(), static_cast<float>(stored)).ptr;
        double value = 0;
        std::from_chars(text.data(), end, value);
        return value;
    };
    for (std::uint64_t seed = 1; seed <= 300; ++seed) {
        ModelState single = start_up_model(model::UniformGenerator(seed));
        // A third of the cases with investor 2 holding investor 1's portfolio in map 2, a third
        // with one map in which investor 2 holds the payoff shares: there Lambda_0 = log of the
        // sum of la1 = 0 exactly, where a verdict could flip on rounding alone.
        if (seed % 3 == 1) {
            for (int k = 1; k <= 4; ++k) {
                single.la2(2, k) = single.la1(2, k).value();
            }
        } else if (seed % 3 == 2) {
            single.num_maps = 1;
            for (int k = 1; k <= 4; ++k) {
                single.la2(1, k) = single.R(1, k).value();
            }
        }
        ModelState decimal = single;
        for (int s = 1; s <= 3; ++s) {
            for (int k = 1; k <= 4; ++k) {
                decimal.R(s, k) = RealCell::of_double(typed(single.R(s, k).value()));
                decimal.la1(s, k) = RealCell::of_double(typed(single.la1(s, k).value()));
                decimal.la2(s, k) = typed(single.la2(s, k));
            }
        }
        const auto stored = boundary_exponents(single);
        const auto written = boundary_exponents(decimal);
        EXPECT_EQ(stored.verdict, written.verdict) << seed;
        EXPECT_NEAR(stored.lambda_0, written.lambda_0, exponent_tolerance) << seed;
        EXPECT_NEAR(stored.lambda_1, written.lambda_1, exponent_tolerance) << seed;
        if (seed % 3 == 2) {
            EXPECT_EQ(stored.verdict, Verdict::inconclusive) << seed;
        }
    }
}

TEST(BoundaryExponents, StockNobodyHoldsIsNamedOnceAndAddsNothing) {
    // Stock 3 pays nothing in map 1 and neither investor holds it there.
    const auto result =
        boundary_exponents(model_of({{{0.6, 0.4, 0}, {0.5, 0.5, 0}, {0.3, 0.7, 0}},
                                     {{0.2, 0.3, 0.5}, {0.3, 0.3, 0.4}, {0.2, 0.4, 0.4}}},
                                    {0.5, 0.5}));
    ASSERT_EQ(result.flags.size(), 1U);
    EXPECT_THAT(result.flags, Contains(FlagAbout(FlagKind::held_by_neither, 1, 3)));
    EXPECT_THAT(result.flags[0].text,
                HasSubstr("Neither investor holds stock 3 in map 1 (la1(1,3) = la2(1,3) = 0)"));
    // By hand: tau_1'(0) = 0.6 * 0.5 / 0.3 + 0.4 * 0.5 / 0.7, tau_2'(0) = 0.2 * 1.5 + 0.3 * 0.75
    // + 0.5; tau_1'(1) = 0.6 * 0.3 / 0.5 + 0.4 * 0.7 / 0.5, tau_2'(1) = 0.2 / 1.5 + 0.3 / 0.75
    // + 0.5.
    const double lambda_0 = 0.5 * std::log(1 + 0.2 / 0.7) + 0.5 * std::log(0.3 + 0.225 + 0.5);
    const double lambda_1 = 0.5 * std::log(0.36 + 0.56) + 0.5 * std::log(0.2 / 1.5 + 0.4 + 0.5);
    EXPECT_NEAR(result.lambda_0, lambda_0, 1e-15);
    EXPECT_NEAR(result.lambda_1, lambda_1, 1e-15);
    EXPECT_EQ(result.verdict, Verdict::investor_1_takes_over);
}

TEST(BoundaryExponents, KellyRuleTakesOverAgainstAnyOtherFixedPortfolio) {
    // Investor 1 holds k = sum_s prob(s) R(s,.) in every map, investor 2 a fixed b. By Jensen,
    // Lambda_1 <= log sum_k E[R_k] b_k / k_k = 0, and by the weighted AM-GM inequality
    // Lambda_0 >= sum_k k_k log(k_k / b_k) = KL(k || b) > 0.
    std::mt19937_64 random(12);
    const auto simplex = [&](std::size_t n) {
        return test_models::random_portfolio(random, n, 0.02);
    };
    int cases = 0;
    while (cases < 300) {
        const std::size_t maps = 2 + random() % 2;  // one map has no chance in it: Lambda_1 = 0
        const std::size_t stocks = 2 + random() % 4;
        const std::vector<double> prob = simplex(maps);
        std::vector<std::vector<double>> R;
        std::vector<double> kelly(stocks, 0.0);
        for (std::size_t s = 0; s < maps; ++s) {
            R.push_back(simplex(stocks));
            for (std::size_t k = 0; k < stocks; ++k) {
                kelly[k] += prob[s] * R[s][k];
            }
        }
        const std::vector<double> other = simplex(stocks);
        const double divergence = kl(kelly, other);
        if (divergence < 1e-4) {
            continue;  // too close to Kelly for a verdict to be expected
        }
        std::vector<MapRows> rows;
        for (std::size_t s = 0; s < maps; ++s) {
            rows.push_back({R[s], kelly, other});
        }
        // The iteration's chances are cumulative bounds; with one map there is nothing to pick.
        const auto result = boundary_exponents(model_of(rows, prob));
        ASSERT_TRUE(result.flags.empty());
        EXPECT_GE(result.lambda_0, divergence * (1 - 1e-9));
        EXPECT_LE(result.lambda_1, 0.0);
        // Payoffs that barely vary between the maps leave Lambda_1 within rounding of 0: of
        // double-precision shares, as typed.
        ASSERT_EQ(result.band.precision, model::Precision::double_precision);
        EXPECT_LT(result.band.exponent, 1e-14);
        EXPECT_EQ(result.verdict, result.lambda_1 < -result.band.exponent
                                      ? Verdict::investor_1_takes_over
                                      : Verdict::inconclusive)
            << result.lambda_0 << " " << result.lambda_1;
        ++cases;
    }
}

// Random parameter sets that reach every rule of the exponents: zero and negative shares, stocks
// nobody holds, rows that do not add up, maps the iteration never picks, odd map counts.
class EdgyModels {
  public:
    explicit EdgyModels(std::uint64_t seed) : random_(seed) {}

    ModelState next() {
        ModelState model;
        const double counts[] = {1, 2, 3, 3, 2, 1, 0, 2.5, 4};
        model.num_maps = counts[random_() % std::size(counts)];
        model.num_stocks = static_cast<double>(1 + random_() % model::max_stocks);
        const int stocks = model.stocks_in_tables();
        const bool single = chance(0.5);
        const bool same_portfolios = chance(0.15);
        for (int s = 1; s <= model::max_maps; ++s) {
            std::vector<double> R = row(stocks);
            const std::vector<double> la1 = row(stocks);
            std::vector<double> la2 = same_portfolios || chance(0.1) ? la1 : row(stocks);
            if (chance(0.1)) {
                // The portfolios differ only in a stock without payoff: both exponents are 0.
                la2 = la1;
                la2[0] = share_(random_);
                R[0] = 0;
                normalise(R);
            }
            for (int k = 1; k <= stocks; ++k) {
                const auto i = static_cast<std::size_t>(k - 1);
                model.R(s, k) = cell(R[i], single);
                model.la1(s, k) = cell(la1[i], single);
                model.la2(s, k) = cell(la2[i], single).value();
            }
        }
        for (int s = 1; s <= model::max_maps; ++s) {
            model.prob(s) = chance(0.2) ? 0 : chance(0.05) ? -0.2 : share_(random_);
        }
        if (chance(0.7)) {
            const double sum = model.prob(1) + model.prob(2) + model.prob(3);
            for (int s = 1; s <= 3 && sum > 0; ++s) {
                model.prob(s) /= sum;
            }
        }
        return model;
    }

  private:
    bool chance(double p) { return std::uniform_real_distribution<double>(0, 1)(random_) < p; }

    static RealCell cell(double value, bool single) {
        return single ? RealCell::of_single(static_cast<float>(value)) : RealCell::of_double(value);
    }

    // Mostly a portfolio that adds up to 1, sometimes a row that misses it.
    std::vector<double> row(int stocks) {
        std::vector<double> values(static_cast<std::size_t>(stocks));
        for (double& value : values) {
            value = chance(0.15) ? 0 : chance(0.02) ? -0.1 : share_(random_);
        }
        if (chance(0.8)) {
            normalise(values);
        }
        return values;
    }

    static void normalise(std::vector<double>& values) {
        double sum = 0;
        for (const double value : values) {
            sum += value;
        }
        for (double& value : values) {
            value = sum > 0 ? value / sum : value;
        }
    }

    std::mt19937_64 random_;
    std::uniform_real_distribution<double> share_{0.01, 1};
};

TEST(BoundaryExponents, SurvivalGivesTheSameExponentsAndVerdictBitForBit) {
    // A sweep writes survival's figures where the analysis shows boundary_exponents': they must
    // not differ in a single bit, NaN included, and must be the sums of the terms shown.
    const auto bits = [](double value) { return std::bit_cast<std::uint64_t>(value); };
    EdgyModels models(2024);
    std::set<Verdict> seen;
    for (int i = 0; i < 8000; ++i) {
        const ModelState model = models.next();
        const BoundaryExponents full = boundary_exponents(model);
        const Survival light = survival(model);
        // Without a map there is no sum, not a sum of nothing.
        const double none = full.maps.count == 0 ? std::numeric_limits<double>::quiet_NaN() : 0;
        double lambda_0 = none;
        double lambda_1 = none;
        for (const MapTerms& terms : full.terms) {
            if (terms.chance > 0) {
                lambda_0 += terms.chance * terms.log_slope_at_0;
                lambda_1 += terms.chance * terms.log_slope_at_1;
            }
        }
        ASSERT_EQ(bits(light.lambda_0), bits(full.lambda_0)) << "case " << i;
        ASSERT_EQ(bits(light.lambda_1), bits(full.lambda_1)) << "case " << i;
        ASSERT_EQ(bits(light.lambda_0), bits(lambda_0)) << "case " << i;
        ASSERT_EQ(bits(light.lambda_1), bits(lambda_1)) << "case " << i;
        ASSERT_EQ(light.verdict, full.verdict) << "case " << i;
        ASSERT_EQ(light.band, full.band) << "case " << i;
        for (const Flag& flag : full.flags) {
            if (flag.kind == FlagKind::shares_not_summing_to_one ||
                flag.kind == FlagKind::payoff_held_by_neither ||
                flag.kind == FlagKind::no_map_to_draw) {
                ASSERT_EQ(light.verdict, Verdict::not_defined) << "case " << i;
            }
        }
        seen.insert(full.verdict);
    }
    // The sets reached every verdict, so every rule that decides one was compared.
    EXPECT_EQ(seen.size(), 7U);
}

TEST(BoundaryExponents, SurvivalOfHandComputedEdgeCases) {
    // A map never picked adds nothing, even with an infinite slope and a row that misses 1.
    const auto unpicked = survival(model_of({{{1}, {0.6}, {0.3}}, {{0.5}, {0}, {1}}}, {1, 0}));
    EXPECT_DOUBLE_EQ(unpicked.lambda_0, std::log(2.0));
    EXPECT_DOUBLE_EQ(unpicked.lambda_1, -std::log(2.0));
    EXPECT_EQ(unpicked.verdict, Verdict::investor_1_takes_over);
    // Picked, that row leaves no verdict.
    EXPECT_EQ(survival(model_of({{{1}, {0.6}, {0.3}}, {{0.5}, {0.5}, {1}}}, {0.5, 0.5})).verdict,
              Verdict::not_defined);
    // A stock nobody holds adds no term: the slopes are those of the other stock, R = 0.5. But
    // its payoff of 0.5 is lost, so r = 1 is no fixed point and there is no verdict.
    const auto neither = survival(model_of({{{0.5, 0.5}, {0, 1}, {0, 1}}}, {1}));
    EXPECT_EQ(neither.lambda_0, std::log(0.5));
    EXPECT_EQ(neither.verdict, Verdict::not_defined);
    // No map in use: no exponent.
    ModelState none = model_of({{{1}, {0.6}, {0.3}}}, {1});
    none.num_maps = 2.5;
    const auto nothing = survival(none);
    EXPECT_TRUE(std::isnan(nothing.lambda_0));
    EXPECT_TRUE(std::isnan(nothing.lambda_1));
    EXPECT_EQ(nothing.verdict, Verdict::not_defined);
}

}  // namespace
}  // namespace quobel::analysis
