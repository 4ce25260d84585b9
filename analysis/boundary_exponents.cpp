// The boundary exponents, their verdict and the flags that qualify them.
#include "analysis/boundary_exponents.hpp"

#include <algorithm>
#include <cmath>

#include "model/number_text.hpp"

namespace quobel::analysis {

namespace {

using model::general_text;

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
    if (adds_up_to_one(sum) && !negative) {
        return;
    }
    const std::string range = "prob(1.." + std::to_string(maps.count) + ") = ";
    const std::string what = adds_up_to_one(sum) ? " include a negative value"
                                                 : " add up to " + general_text(sum) + ", not 1";
    flags.push_back({FlagKind::probabilities_not_summing_to_one, 0, 0,
                     range + list_text(stated, maps.count) + what +
                         ": the maps are picked with the chances " +
                         list_text(maps.chance, maps.count) + "."});
}

// Portfolios that differ by no more than the rounding of their storage count as the same.
bool same_portfolio(const AnalysedMap& map, int stocks) {
    for (std::size_t k = 0; k < static_cast<std::size_t>(stocks); ++k) {
        const double a = map.la1[k];
        const double b = map.la2[k];
        if (std::abs(a - b) > 4 * storage_rounding * std::max(std::abs(a), std::abs(b))) {
            return false;
        }
    }
    return true;
}

struct Slopes {
    double at_0 = 0;  // tau_s'(0) = sum_k R la1 / la2
    double at_1 = 0;  // tau_s'(1) = sum_k R la2 / la1
};

Slopes slopes_of(const AnalysedMap& map, int stocks) {
    Slopes slopes;
    for (std::size_t k = 0; k < static_cast<std::size_t>(stocks); ++k) {
        const double R = map.R[k];
        // A stock without payoff, or that nobody holds, adds a term that is 0 for every r.
        if (R == 0 || map.held_by_neither[k]) {
            continue;
        }
        // The ratio first: equal portfolios then give exactly R, and the slope exactly the sum of
        // the shares.
        slopes.at_0 += R * (map.la1[k] / map.la2[k]);
        slopes.at_1 += R * (map.la2[k] / map.la1[k]);
    }
    return slopes;
}

// A map the iteration never picks adds nothing to the exponents, not 0 times an infinite
// logarithm, and its rows do not matter.
bool picked(const AnalysedMap& map) {
    return map.chance > 0;
}

MapTerms terms_of(const AnalysedMap& map, int s, int stocks) {
    const Slopes slopes = slopes_of(map, stocks);
    MapTerms terms;
    terms.map = s;
    terms.chance = map.chance;
    terms.share_sum = map.R_sum;
    terms.slope_at_0 = slopes.at_0;
    terms.slope_at_1 = slopes.at_1;
    terms.log_slope_at_0 = std::log(terms.slope_at_0);
    terms.log_slope_at_1 = std::log(terms.slope_at_1);
    return terms;
}

// The flags of stock k in map s, a map the iteration picks.
void flag_stock(std::vector<Flag>& flags, const AnalysedMap& map, int s, int k) {
    const auto i = static_cast<std::size_t>(k - 1);
    if (map.held_by_neither[i]) {
        flags.push_back({FlagKind::held_by_neither, s, k,
                         "Neither investor holds stock " + std::to_string(k) + " in map " +
                             std::to_string(s) + " (" + cell("la1", s, k) + " = " +
                             cell("la2", s, k) +
                             " = 0): its payoff goes to neither, and its term is 0 for every r."});
        return;
    }
    if (map.R[i] == 0) {
        return;  // no term, so no infinite one
    }
    if (map.la2[i] == 0) {
        flags.push_back({FlagKind::infinite_slope_at_0, s, k,
                         cell("la2", s, k) + " is 0 while " + cell("R", s, k) + " is not: map " +
                             std::to_string(s) + " has an infinite slope at r = 0."});
    }
    if (map.la1[i] == 0) {
        flags.push_back({FlagKind::infinite_slope_at_1, s, k,
                         cell("la1", s, k) + " is 0 while " + cell("R", s, k) + " is not: map " +
                             std::to_string(s) + " has an infinite slope at r = 1."});
    }
}

// The flags of a picked map as a whole: its payoff shares and its slopes at the boundaries.
void flag_map(std::vector<Flag>& flags, const AnalysedMap& map, const MapTerms& terms, int stocks) {
    const int s = terms.map;
    if (!map.R_adds_up) {
        flags.push_back({FlagKind::shares_not_summing_to_one, s, 0,
                         "R(" + std::to_string(s) + ",1.." + std::to_string(stocks) +
                             ") add up to " + general_text(terms.share_sum) +
                             ", not 1: r = 1 is not a fixed point of map " + std::to_string(s) +
                             "."});
    }
    flag_slope(flags, s, "0", terms.slope_at_0);
    flag_slope(flags, s, "1", terms.slope_at_1);
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
        case Verdict::both_boundaries_attract:
            return "both boundaries attract";
        case Verdict::no_selection:
            return "no selection";
        case Verdict::inconclusive:
            return "inconclusive";
        case Verdict::not_defined:
            break;
    }
    return "not defined";
}

std::string_view verdict_explanation(Verdict verdict) {
    switch (verdict) {
        case Verdict::investor_1_takes_over:
            return "A small share of investor 1 grows and a small share of investor 2 shrinks: "
                   "r tends to 1.";
        case Verdict::investor_2_takes_over:
            return "A small share of investor 2 grows and a small share of investor 1 shrinks: "
                   "r tends to 0.";
        case Verdict::both_survive:
            return "A small share of either investor grows: r keeps away from both boundaries.";
        case Verdict::both_boundaries_attract:
            return "A small share of either investor shrinks: which investor wins depends on the "
                   "start and on chance.";
        case Verdict::no_selection:
            return "Both investors hold the same portfolio in every map that can be drawn: "
                   "neither gains on the other.";
        case Verdict::inconclusive:
            return "An exponent is 0 within the rounding of the inputs: the first-order test says "
                   "nothing about that boundary.";
        case Verdict::not_defined:
            break;
    }
    return "An exponent is not a number or the payoff shares of a map do not add up to 1: the "
           "flags say which.";
}

Verdict verdict_of(double lambda_0, double lambda_1) {
    if (std::isnan(lambda_0) || std::isnan(lambda_1)) {
        return Verdict::not_defined;
    }
    // Within the rounding of the inputs an exponent has no sign: the same decimals stored in
    // single or in double precision must not give two verdicts.
    const auto sign = [](double lambda) {
        return lambda > exponent_tolerance ? 1 : lambda < -exponent_tolerance ? -1 : 0;
    };
    const int at_0 = sign(lambda_0);
    const int at_1 = sign(lambda_1);
    if (at_0 == 0 || at_1 == 0) {
        return Verdict::inconclusive;
    }
    if (at_0 > 0) {
        return at_1 < 0 ? Verdict::investor_1_takes_over : Verdict::both_survive;
    }
    return at_1 > 0 ? Verdict::investor_2_takes_over : Verdict::both_boundaries_attract;
}

Survival survival(const AnalysedMaps& analysed) {
    Survival result;
    if (analysed.maps.count == 0) {
        return result;
    }
    bool rows_add_up = true;
    bool no_selection = true;
    for (int s = 1; s <= analysed.maps.count; ++s) {
        const AnalysedMap& map = analysed.map[static_cast<std::size_t>(s - 1)];
        if (!picked(map)) {
            continue;
        }
        const Slopes slopes = slopes_of(map, analysed.stocks);
        rows_add_up = rows_add_up && map.R_adds_up;
        no_selection = no_selection && same_portfolio(map, analysed.stocks);
        result.lambda_0 += map.chance * std::log(slopes.at_0);
        result.lambda_1 += map.chance * std::log(slopes.at_1);
    }
    // A map whose payoffs do not add up to 1 has r = 1 off its fixed points: no exponent at 1.
    result.verdict = verdict_of(result.lambda_0, result.lambda_1);
    if (!rows_add_up) {
        result.verdict = Verdict::not_defined;
    } else if (no_selection && result.verdict != Verdict::not_defined) {
        result.verdict = Verdict::no_selection;
    }
    return result;
}

Survival survival(const model::ModelState& model) {
    return survival(analysed_maps(model));
}

BoundaryExponents boundary_exponents(const model::ModelState& model) {
    BoundaryExponents result;
    const AnalysedMaps analysed = analysed_maps(model);
    result.maps = analysed.maps;
    if (result.maps.count == 0) {
        return result;
    }
    const Survival exponents = survival(analysed);
    result.lambda_0 = exponents.lambda_0;
    result.lambda_1 = exponents.lambda_1;
    result.verdict = exponents.verdict;
    result.stocks = analysed.stocks;
    result.kelly.assign(static_cast<std::size_t>(result.stocks), 0.0);
    for (int s = 1; s <= result.maps.count; ++s) {
        const AnalysedMap& map = analysed.map[static_cast<std::size_t>(s - 1)];
        const MapTerms terms = terms_of(map, s, result.stocks);
        for (std::size_t k = 0; k < static_cast<std::size_t>(result.stocks); ++k) {
            result.kelly[k] += terms.chance * map.R[k];
        }
        if (picked(map)) {
            for (int k = 1; k <= result.stocks; ++k) {
                flag_stock(result.flags, map, s, k);
            }
            flag_map(result.flags, map, terms, result.stocks);
        }
        result.terms.push_back(terms);
    }
    flag_probabilities(result.flags, model, result.maps);
    return result;
}

}  // namespace quobel::analysis
