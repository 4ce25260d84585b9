// The boundary exponents, their verdict and the flags that qualify them.
#include "analysis/boundary_exponents.hpp"

#include <cmath>

#include "model/number_text.hpp"

namespace quobel::analysis {

namespace {

using model::general_text;

bool is_one(double sum) {
    return std::abs(sum - 1) <= sum_tolerance;
}

std::string cell(std::string_view table, int s, int k) {
    return std::string(table) + "(" + std::to_string(s) + "," + std::to_string(k) + ")";
}

std::string list_text(const std::array<double, 3>& values, int count) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        text += (i == 0 ? "" : ", ") + general_text(values[static_cast<std::size_t>(i)]);
    }
    return text;
}

void flag_slope(std::vector<Flag>& flags, int s, std::string_view at, double slope) {
    if (slope > 0) {
        return;  // an infinite slope has its own flag
    }
    flags.push_back({FlagKind::slope_without_logarithm, s, 0,
                     "Map " + std::to_string(s) + " has the slope " + general_text(slope) +
                         " at r = " + std::string(at) + ", which has no finite logarithm."});
}

void flag_probabilities(std::vector<Flag>& flags, const model::ModelState& model,
                        const MapsInUse& maps) {
    // With one map the iteration reads no probability at all.
    if (maps.count < 2) {
        return;
    }
    std::array<double, 3> stated{};
    double sum = 0;
    bool negative = false;
    for (int s = 1; s <= maps.count; ++s) {
        stated[static_cast<std::size_t>(s - 1)] = model.prob(s);
        sum += model.prob(s);
        negative = negative || model.prob(s) < 0;
    }
    if (is_one(sum) && !negative) {
        return;
    }
    const std::string range = "prob(1.." + std::to_string(maps.count) + ") = ";
    const std::string what =
        is_one(sum) ? " include a negative value" : " add up to " + general_text(sum) + ", not 1";
    flags.push_back({FlagKind::probabilities_not_summing_to_one, 0, 0,
                     range + list_text(stated, maps.count) + what +
                         ": the maps are picked with the chances " +
                         list_text(maps.chance, maps.count) + "."});
}

}  // namespace

std::string_view verdict_text(Verdict verdict) {
    switch (verdict) {
        case Verdict::investor_1_takes_over:
            return "investor 1 takes over";
        case Verdict::investor_2_takes_over:
            return "investor 2 takes over";
        case Verdict::both_survive:
            return "both survive";
        case Verdict::undecided:
            break;
    }
    return "undecided (degenerate)";
}

Verdict verdict_of(double lambda_0, double lambda_1) {
    // Within rounding of 0 an exponent has no sign: equal portfolios whose shares add up to 1 in
    // decimals give exponents of a few units of 1e-16 either way, and no verdict.
    const auto sign = [](double lambda) {
        return lambda > exponent_tolerance ? 1 : lambda < -exponent_tolerance ? -1 : 0;
    };
    const int at_0 = sign(lambda_0);
    const int at_1 = sign(lambda_1);
    if (at_0 > 0 && at_1 < 0) {
        return Verdict::investor_1_takes_over;
    }
    if (at_0 < 0 && at_1 > 0) {
        return Verdict::investor_2_takes_over;
    }
    if (at_0 > 0 && at_1 > 0) {
        return Verdict::both_survive;
    }
    // Either exponent 0 or NaN, or both negative.
    return Verdict::undecided;
}

BoundaryExponents boundary_exponents(const model::ModelState& model) {
    BoundaryExponents result;
    result.maps = maps_in_use(model);
    if (result.maps.count == 0) {
        return result;
    }
    result.stocks = model.stocks_in_tables();
    result.kelly.assign(static_cast<std::size_t>(result.stocks), 0.0);
    for (int s = 1; s <= result.maps.count; ++s) {
        MapTerms terms;
        terms.map = s;
        terms.chance = result.maps.chance[static_cast<std::size_t>(s - 1)];
        const bool picked = terms.chance > 0;
        for (int k = 1; k <= result.stocks; ++k) {
            const double R = model.R(s, k).value();
            const double la1 = model.la1(s, k).value();
            const double la2 = model.la2(s, k);
            terms.share_sum += R;
            result.kelly[static_cast<std::size_t>(k - 1)] += terms.chance * R;
            // A stock without payoff adds a term that is 0 for every r, whatever la1 and la2.
            if (R == 0) {
                continue;
            }
            // The ratio first: equal portfolios then give exactly R, and the slope exactly the
            // sum of the shares.
            terms.slope_at_0 += R * (la1 / la2);
            terms.slope_at_1 += R * (la2 / la1);
            if (picked && la2 == 0) {
                result.flags.push_back({FlagKind::infinite_slope_at_0, s, k,
                                        cell("la2", s, k) + " is 0 while " + cell("R", s, k) +
                                            " is not: map " + std::to_string(s) +
                                            " has an infinite slope at r = 0."});
            }
            if (picked && la1 == 0) {
                result.flags.push_back({FlagKind::infinite_slope_at_1, s, k,
                                        cell("la1", s, k) + " is 0 while " + cell("R", s, k) +
                                            " is not: map " + std::to_string(s) +
                                            " has an infinite slope at r = 1."});
            }
        }
        terms.log_slope_at_0 = std::log(terms.slope_at_0);
        terms.log_slope_at_1 = std::log(terms.slope_at_1);
        if (picked) {
            if (!is_one(terms.share_sum)) {
                result.flags.push_back(
                    {FlagKind::shares_not_summing_to_one, s, 0,
                     "R(" + std::to_string(s) + ",1.." + std::to_string(result.stocks) +
                         ") add up to " + general_text(terms.share_sum) +
                         ", not 1: r = 1 is not a fixed point of map " + std::to_string(s) + "."});
            }
            flag_slope(result.flags, s, "0", terms.slope_at_0);
            flag_slope(result.flags, s, "1", terms.slope_at_1);
            // A map that is never picked adds nothing, not 0 times an infinite logarithm.
            result.lambda_0 += terms.chance * terms.log_slope_at_0;
            result.lambda_1 += terms.chance * terms.log_slope_at_1;
        }
        result.terms.push_back(terms);
    }
    flag_probabilities(result.flags, model, result.maps);
    result.verdict = verdict_of(result.lambda_0, result.lambda_1);
    return result;
}

}  // namespace quobel::analysis
