// The boundary exponents, their verdict and the flags that qualify them.
#include "analysis/boundary_exponents.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>

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
bool same_portfolio(const AnalysedMap& map, int stocks, const DeadBand& band) {
    for (std::size_t k = 0; k < static_cast<std::size_t>(stocks); ++k) {
        const double a = map.la1[k];
        const double b = map.la2[k];
        if (std::abs(a - b) > band.portfolio * std::max(std::abs(a), std::abs(b))) {
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

// The negative shares of stock k in map s. A term R la1 r / (la1 r + la2 (1 - r)) whose la1 and
// la2 have opposite signs has its pole at r = la2 / (la2 - la1), inside (0, 1), where a step
// throws r anywhere; a negative payoff share lets the map take r below 0 or above 1.
void flag_negative(std::vector<Flag>& flags, const AnalysedMap& map, int s, int k) {
    const auto i = static_cast<std::size_t>(k - 1);
    const double R = map.R[i];
    const double la1 = map.la1[i];
    const double la2 = map.la2[i];
    if (R < 0) {
        flags.push_back({FlagKind::negative_share, s, k,
                         cell("R", s, k) + " = " + general_text(R) + " is negative: map " +
                             std::to_string(s) + " can take r below 0 or above 1."});
    }
    if (R == 0 || (la1 >= 0 && la2 >= 0)) {
        return;  // a stock without payoff has no term to have a pole
    }
    const bool la1_negative = la1 < 0;
    const std::string named = la1_negative ? cell("la1", s, k) + " = " + general_text(la1)
                                           : cell("la2", s, k) + " = " + general_text(la2);
    const bool pole_inside = (la1 < 0 && la2 > 0) || (la1 > 0 && la2 < 0);
    flags.push_back(
        {FlagKind::negative_share, s, k,
         named + " is negative: " +
             (pole_inside
                  ? "the term of stock " + std::to_string(k) + " in map " + std::to_string(s) +
                        " has a pole at r = " + general_text(la2 / (la2 - la1)) +
                        ", inside (0, 1), and r can leave [0, 1] there."
                  : "map " + std::to_string(s) + " can take r below 0 or above 1.")});
}

// The flags of stock k in map s, a map the iteration picks.
void flag_stock(std::vector<Flag>& flags, const AnalysedMap& map, int s, int k) {
    const auto i = static_cast<std::size_t>(k - 1);
    if (map.held_by_neither[i] && map.R[i] != 0 && !map.complementary) {
        flags.push_back({FlagKind::payoff_held_by_neither, s, k,
                         "Neither investor holds stock " + std::to_string(k) + " in map " +
                             std::to_string(s) + " (" + cell("la1", s, k) + " = " +
                             cell("la2", s, k) + " = 0), which pays " + cell("R", s, k) + " = " +
                             general_text(map.R[i]) + ": that payoff is lost, the map pays " +
                             general_text(map.held_payoff) +
                             " in all, and r = 1 is not a fixed point of map " + std::to_string(s) +
                             ", so Lambda_1 is no survival test."});
        return;
    }
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
void flag_map(std::vector<Flag>& flags, const AnalysedMap& map, int s, int stocks) {
    if (!map.R_adds_up) {
        flags.push_back({FlagKind::shares_not_summing_to_one, s, 0,
                         "R(" + std::to_string(s) + ",1.." + std::to_string(stocks) +
                             ") add up to " + general_text(map.R_sum) +
                             ", not 1: r = 1 is not a fixed point of map " + std::to_string(s) +
                             "."});
    }
    const Slopes slopes = slopes_of(map, stocks);
    flag_slope(flags, s, "0", slopes.at_0);
    flag_slope(flags, s, "1", slopes.at_1);
}

// A number as its shortest exact decimal, so that a count of 2.9999999999999996 does not read 3.
std::string exact_text(double value) {
    std::array<char, 32> text{};
    const auto end = std::to_chars(text.data(), text.data() + text.size(), value).ptr;
    return {text.data(), end};
}

// A band as a person reads it: three significant digits.
std::string band_text(double band) {
    std::array<char, 32> text{};
    const auto end =
        std::to_chars(text.data(), text.data() + text.size(), band, std::chars_format::general, 3)
            .ptr;
    return {text.data(), end};
}

std::string_view precision_name(model::Precision precision) {
    return precision == model::Precision::single_precision ? "single-precision"
                                                           : "double-precision";
}

constexpr double not_a_number = std::numeric_limits<double>::quiet_NaN();

// True when no flag can apply, by comparisons alone: every picked map's shares are positive,
// finite and add up to 1, both slopes have a logarithm, and the chances are as stated. Most
// points of a sweep are such, and this spares them the text of the flags' rules below. Each
// condition is the negation of one rule's trigger; a point that fails any goes through the rules.
bool nothing_to_flag(const model::ModelState& model, const AnalysedMaps& analysed) {
    double prob_sum = 0;
    for (int s = 1; s <= analysed.maps.count; ++s) {
        const AnalysedMap& map = analysed.map[static_cast<std::size_t>(s - 1)];
        prob_sum += model.prob(s);
        if (model.prob(s) < 0) {
            return false;
        }
        if (!picked(map)) {
            continue;
        }
        if (!map.R_adds_up) {
            return false;
        }
        for (std::size_t k = 0; k < static_cast<std::size_t>(analysed.stocks); ++k) {
            if (!(map.R[k] >= 0 && map.la1[k] > 0 && map.la2[k] > 0)) {
                return false;
            }
        }
        const Slopes slopes = slopes_of(map, analysed.stocks);
        if (!(slopes.at_0 > 0 && slopes.at_1 > 0)) {
            return false;
        }
    }
    return analysed.maps.count == 1 || adds_up_to_one(prob_sum);
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
    return "An exponent is not a number, or is no survival test because r = 1 is not a fixed point "
           "of a map that can be drawn: the flags say which.";
}

std::string verdict_explanation(const BoundaryExponents& exponents) {
    const std::string cells =
        "the rounding of the " + std::string(precision_name(exponents.band.precision)) + " shares";
    switch (exponents.verdict) {
        case Verdict::no_selection:
            return "Both investors hold the same portfolio in every map that can be drawn, each "
                   "share within " +
                   band_text(exponents.band.portfolio) + " of the other's relative to its size (" +
                   cells + "): neither gains on the other.";
        case Verdict::inconclusive:
            return "An exponent lies within " + band_text(exponents.band.exponent) + " of 0 (" +
                   cells + "): the first-order test says nothing about that boundary.";
        default:
            return std::string(verdict_explanation(exponents.verdict));
    }
}

Verdict verdict_of(double lambda_0, double lambda_1, double band) {
    if (std::isnan(lambda_0) || std::isnan(lambda_1)) {
        return Verdict::not_defined;
    }
    // Within the band an exponent has no sign: the rounding of the stored shares alone could
    // give it either.
    const auto sign = [band](double lambda) { return lambda > band ? 1 : lambda < -band ? -1 : 0; };
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
    result.band = analysed.band;
    if (analysed.maps.count == 0) {
        // No map can be drawn: there is nothing to take the logarithm of, not a slope of 1.
        result.lambda_0 = not_a_number;
        result.lambda_1 = not_a_number;
        return result;
    }
    bool one_is_a_fixed_point = true;
    bool no_selection = true;
    for (int s = 1; s <= analysed.maps.count; ++s) {
        const AnalysedMap& map = analysed.map[static_cast<std::size_t>(s - 1)];
        if (!picked(map)) {
            continue;
        }
        const Slopes slopes = slopes_of(map, analysed.stocks);
        one_is_a_fixed_point = one_is_a_fixed_point && map.R_adds_up && map.complementary;
        no_selection = no_selection && same_portfolio(map, analysed.stocks, analysed.band);
        result.lambda_0 += map.chance * std::log(slopes.at_0);
        result.lambda_1 += map.chance * std::log(slopes.at_1);
    }
    // r = 0 is a fixed point of every map, since a share of 0 earns nothing. Where payoffs do not
    // add up to 1, or some go to nobody, r = 1 is not: a step moves r from 1 whoever is small,
    // and the exponent at 1 says nothing about survival.
    result.verdict = verdict_of(result.lambda_0, result.lambda_1, analysed.band.exponent);
    if (!one_is_a_fixed_point) {
        result.verdict = Verdict::not_defined;
    } else if (no_selection && result.verdict != Verdict::not_defined) {
        result.verdict = Verdict::no_selection;
    }
    return result;
}

Survival survival(const model::ModelState& model) {
    return survival(analysed_maps(model));
}

std::vector<Flag> boundary_flags(const model::ModelState& model, const AnalysedMaps& analysed) {
    std::vector<Flag> flags;
    if (analysed.maps.count == 0) {
        flags.push_back({FlagKind::no_map_to_draw, 0, 0,
                         "The map count is " + exact_text(model.num_maps) +
                             ", not 1, 2 or 3: no map can be drawn, so there is no exponent."});
        return flags;
    }
    if (nothing_to_flag(model, analysed)) {
        return flags;
    }
    for (int s = 1; s <= analysed.maps.count; ++s) {
        const AnalysedMap& map = analysed.map[static_cast<std::size_t>(s - 1)];
        if (picked(map)) {
            for (int k = 1; k <= analysed.stocks; ++k) {
                flag_negative(flags, map, s, k);
                flag_stock(flags, map, s, k);
            }
            flag_map(flags, map, s, analysed.stocks);
        }
    }
    flag_probabilities(flags, model, analysed.maps);
    return flags;
}

BoundaryExponents boundary_exponents(const model::ModelState& model) {
    BoundaryExponents result;
    const AnalysedMaps analysed = analysed_maps(model);
    result.maps = analysed.maps;
    const Survival exponents = survival(analysed);
    result.lambda_0 = exponents.lambda_0;
    result.lambda_1 = exponents.lambda_1;
    result.verdict = exponents.verdict;
    result.band = exponents.band;
    result.flags = boundary_flags(model, analysed);
    if (result.maps.count == 0) {
        return result;
    }
    result.stocks = analysed.stocks;
    result.kelly.assign(static_cast<std::size_t>(result.stocks), 0.0);
    for (int s = 1; s <= result.maps.count; ++s) {
        const AnalysedMap& map = analysed.map[static_cast<std::size_t>(s - 1)];
        const MapTerms terms = terms_of(map, s, result.stocks);
        for (std::size_t k = 0; k < static_cast<std::size_t>(result.stocks); ++k) {
            result.kelly[k] += terms.chance * map.R[k];
        }
        result.terms.push_back(terms);
    }
    return result;
}

}  // namespace quobel::analysis
