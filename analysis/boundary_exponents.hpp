// Survival of each investor near the boundaries r = 0 and r = 1, computed exactly from the
// parameters: the slopes of the maps there, their mean logarithms and what they predict.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "analysis/maps_in_use.hpp"
#include "model/model_state.hpp"

namespace quobel::analysis {

// A sum of shares counts as 1 within this margin: shares drawn at random are stored in single
// precision, so their sums miss 1 by a few units of 1e-8.
inline constexpr double sum_tolerance = 1e-6;

// An exponent this close to 0 counts as 0: it is rounding, not a drift towards either boundary.
inline constexpr double exponent_tolerance = 1e-12;

// One map's part in the exponents.
struct MapTerms {
    int map = 0;
    double chance = 0;      // how often the iteration picks it; its weight in the exponents
    double slope_at_0 = 0;  // tau_s'(0) = sum_k R la1 / la2
    double slope_at_1 = 0;  // tau_s'(1) = sum_k R la2 / la1
    double log_slope_at_0 = 0;
    double log_slope_at_1 = 0;
    double share_sum = 0;  // sum_k R(s,k): tau_s(1), so r = 1 is a fixed point only when it is 1
};

// Lambda_0 > 0 means a small share of investor 1 grows, Lambda_1 < 0 that investor 2's small
// share shrinks.
enum class Verdict { investor_1_takes_over, investor_2_takes_over, both_survive, undecided };

// "investor 1 takes over", "investor 2 takes over", "both survive", "undecided (degenerate)".
std::string_view verdict_text(Verdict verdict);

// What makes the exponents meaningless, or part of them.
enum class FlagKind {
    shares_not_summing_to_one,  // R(s,·): r = 1 is not a fixed point of map s
    infinite_slope_at_0,        // la2(s,k) = 0 with R(s,k) != 0
    infinite_slope_at_1,        // la1(s,k) = 0 with R(s,k) != 0
    slope_without_logarithm,    // a slope that is not positive (negative or zero shares)
    probabilities_not_summing_to_one,
};

struct Flag {
    FlagKind kind;
    int map = 0;    // 0 when the flag is about prob
    int stock = 0;  // 0 when the flag is about a whole map
    std::string text;
};

struct BoundaryExponents {
    MapsInUse maps;  // maps.count is 0 when there is no map in use; then nothing else is set
    int stocks = 0;
    std::vector<MapTerms> terms;  // one per map in use
    double lambda_0 = 0;          // sum_s chance(s) log tau_s'(0)
    double lambda_1 = 0;          // sum_s chance(s) log tau_s'(1)
    Verdict verdict = Verdict::undecided;
    std::vector<Flag> flags;
    // The growth-optimal portfolio sum_s chance(s) R(s,k), stocks 1..K at 0..K-1.
    std::vector<double> kelly;
};

// Maps that the iteration never picks (chance 0) take no part in the exponents and raise no flag.
BoundaryExponents boundary_exponents(const model::ModelState& model);

// The verdict by the signs of the two exponents, each within exponent_tolerance of 0 counting
// as 0.
Verdict verdict_of(double lambda_0, double lambda_1);

}  // namespace quobel::analysis
