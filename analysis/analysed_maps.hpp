// The maps as the analysis reads them: the rows of each map in use, scaled to add up to 1 when
// they miss it only by the rounding of their storage, and the tolerances that rounding implies.
#pragma once

#include <array>

#include "analysis/maps_in_use.hpp"
#include "model/model_state.hpp"

namespace quobel::analysis {

// A share drawn at random is stored in single precision: it differs from the decimal it shows by
// at most this much relative to its value.
inline constexpr double storage_rounding = 0x1p-24;

// A row of up to ten shares, each rounded to single precision and some formed by subtraction,
// misses 1 by less than this when its decimals add up to 1.
inline constexpr double row_tolerance = 16 * storage_rounding;

// How far the rounding of storage can move an exponent. Once the rows are scaled to add up to 1,
// each share is off by at most 2 roundings, a term R la1 / la2 by 6, and so the logarithm of a
// slope, a sum of such terms, by 6 roundings; the exponents weigh those logarithms by chances
// that add up to 1. Two more for the arithmetic.
inline constexpr double exponent_tolerance = 8 * storage_rounding;

// Shares of two portfolios that differ, relative to the larger, by no more than this are the same
// share stored twice: each is off by at most 2 roundings once its row is scaled.
inline constexpr double portfolio_tolerance = 4 * storage_rounding;

// A rounding of a share typed in double precision. Its storage rounds it by 2^-53 only, but the
// arithmetic that scales a row of up to ten shares and sums their terms now rounds as much again
// several times over: 8 units of 2^-53 stand for one rounding in the count above.
inline constexpr double double_rounding = 0x1p-50;

// Where the rounding of the stored shares leaves an exponent without a sign and two portfolios
// without a difference. Single-precision shares set it when any map that can be drawn holds one.
struct DeadBand {
    model::Precision precision = model::Precision::single_precision;
    double exponent = exponent_tolerance;    // an exponent within this of 0 counts as 0
    double portfolio = portfolio_tolerance;  // relative difference of two shares that counts as 0
    friend bool operator==(const DeadBand&, const DeadBand&) = default;
};

DeadBand dead_band(model::Precision precision);

// A sum of shares counts as 1 within row_tolerance.
bool adds_up_to_one(double sum);

// The rows are left uninitialised by construction, since zeroing them is a good part of the cost
// of analysed_maps at every point of a sweep; analysed_maps sets every entry, 0 beyond stock K.
struct AnalysedMap {
    int map = 0;
    double chance = 0;  // how often the iteration picks it
    // Stocks 1..K at 0..K-1, each row scaled to add up to 1 when its sum counts as 1.
    std::array<double, model::max_stocks> R, la1, la2;
    double R_sum = 0;  // the stored row's sum, before scaling
    bool R_adds_up = false;
    // la1 and la2 both 0: neither investor ever holds the stock in this map.
    std::array<bool, model::max_stocks> held_by_neither;
    // The payoff of the stocks someone holds. r = 1 is a fixed point when it is 1: the payoff of a
    // stock that only investor 2 holds goes to investor 2 however near r comes to 1, an infinite
    // slope there that the exponent at 1 tells as it is, but a payoff nobody holds is lost.
    double held_payoff = 0;
    // tau(r) and 1 - tau(r) are both sums of terms: R adds up over the stocks someone holds, and
    // r = 1 is a fixed point of the map.
    bool complementary = false;
};

struct AnalysedMaps {
    MapsInUse maps;  // maps.count is 0 when there is no map in use; then nothing else is set
    int stocks = 0;
    DeadBand band;                   // by the shares of the maps the iteration picks
    std::array<AnalysedMap, 3> map;  // map s at s - 1, for s up to maps.count; the rest all 0
};

AnalysedMaps analysed_maps(const model::ModelState& model);

}  // namespace quobel::analysis
