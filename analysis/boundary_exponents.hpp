// Survival of each investor near the boundaries r = 0 and r = 1, computed exactly from the
// parameters: the slopes of the maps there, their mean logarithms and what they predict.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "analysis/analysed_maps.hpp"
#include "analysis/maps_in_use.hpp"
#include "model/model_state.hpp"

namespace quobel::analysis {

// One map's part in the exponents.
struct MapTerms {
    int map = 0;
    double chance = 0;      // how often the iteration picks it; its weight in the exponents
    double slope_at_0 = 0;  // tau_s'(0) = sum_k R la1 / la2
    double slope_at_1 = 0;  // tau_s'(1) = sum_k R la2 / la1
    double log_slope_at_0 = 0;
    double log_slope_at_1 = 0;
    double share_sum = 0;  // sum_k R(s,k) as stored: r = 1 is a fixed point only when it is 1
};

// Lambda_0 > 0 means a small share of investor 1 grows, Lambda_1 < 0 that investor 2's small
// share shrinks.
enum class Verdict {
    investor_1_takes_over,    // Lambda_0 > 0, Lambda_1 < 0
    investor_2_takes_over,    // Lambda_0 < 0, Lambda_1 > 0
    both_survive,             // both > 0
    both_boundaries_attract,  // both < 0
    no_selection,             // the same portfolio for both investors in every map drawn
    inconclusive,             // an exponent is 0 within the rounding of the inputs
    // An exponent is not a number, or is no survival test: r = 1 is not a fixed point of a map
    // that can be drawn (an R row that does not add up to 1, a payoff that nobody holds).
    not_defined,
};

std::string_view verdict_text(Verdict verdict);

// One line that says what the verdict means for the run of r.
std::string_view verdict_explanation(Verdict verdict);

// What makes the exponents meaningless, or part of them.
enum class FlagKind {
    shares_not_summing_to_one,  // R(s,·): r = 1 is not a fixed point of map s
    infinite_slope_at_0,        // la2(s,k) = 0 with R(s,k) != 0
    infinite_slope_at_1,        // la1(s,k) = 0 with R(s,k) != 0
    slope_without_logarithm,    // a slope that is not positive (negative or zero shares)
    probabilities_not_summing_to_one,
    held_by_neither,  // la1(s,k) = la2(s,k) = 0: the stock's term is 0 for every r
    // la1(s,k) = la2(s,k) = 0 while R(s,k) is not: its payoff is lost and r = 1 is not a fixed
    // point of map s, so Lambda_1 is no survival test.
    payoff_held_by_neither,
    no_map_to_draw,  // the map count is not 1, 2 or 3: there is no exponent
    // R(s,k), la1(s,k) or la2(s,k) below 0: r can leave [0, 1], and a negative la1 or la2 beside a
    // positive one gives the term of stock k a pole inside (0, 1), whatever the slopes say.
    negative_share,
};

struct Flag {
    FlagKind kind;
    int map = 0;    // 0 when the flag is about prob
    int stock = 0;  // 0 when the flag is about a whole map
    std::string text;
};

// When there is no map in use (maps.count 0), the exponents are NaN, one flag says why and
// nothing else is set.
struct BoundaryExponents {
    MapsInUse maps;
    int stocks = 0;
    std::vector<MapTerms> terms;  // one per map in use
    double lambda_0 = 0;          // sum_s chance(s) log tau_s'(0)
    double lambda_1 = 0;          // sum_s chance(s) log tau_s'(1)
    Verdict verdict = Verdict::not_defined;
    DeadBand band;  // by the precision of the shares of the maps the iteration picks
    std::vector<Flag> flags;
    // The growth-optimal portfolio sum_s chance(s) R(s,k), stocks 1..K at 0..K-1.
    std::vector<double> kelly;
};

// Rows that miss 1 only by their storage rounding are scaled to add up to 1 first. Maps that the
// iteration never picks (chance 0) take no part in the exponents and raise no flag.
BoundaryExponents boundary_exponents(const model::ModelState& model);

// The verdict's line as verdict_explanation gives it, and for a verdict that falls within the
// dead band (inconclusive, no selection) how wide that band is and why.
std::string verdict_explanation(const BoundaryExponents& exponents);

// The two exponents, the verdict and its band alone, the same as boundary_exponents gives: what a
// sweep needs at each of its points, without the terms, the flags and the Kelly portfolio.
struct Survival {
    double lambda_0 = 0;
    double lambda_1 = 0;
    Verdict verdict = Verdict::not_defined;
    DeadBand band;
};

Survival survival(const model::ModelState& model);
Survival survival(const AnalysedMaps& analysed);

// The flags boundary_exponents gives, without its terms and Kelly portfolio: with survival, what a
// sweep needs at each of its points.
std::vector<Flag> boundary_flags(const model::ModelState& model, const AnalysedMaps& analysed);

// The verdict by the signs of the two exponents alone, each within `band` of 0 counting as 0
// (inconclusive); NaN gives not_defined.
Verdict verdict_of(double lambda_0, double lambda_1, double band = exponent_tolerance);

}  // namespace quobel::analysis
