// The maps as the analysis reads them.
#include "analysis/analysed_maps.hpp"

#include <charconv>
#include <cmath>
#include <limits>

namespace quobel::analysis {

namespace {

using Row = std::array<double, model::max_stocks>;

// Scales the first `stocks` shares to add up to 1 when they nearly do; returns their sum.
double scale_row(Row& row, int stocks) {
    double sum = 0;
    for (int k = 0; k < stocks; ++k) {
        sum += row[static_cast<std::size_t>(k)];
    }
    if (adds_up_to_one(sum) && sum != 1) {
        for (int k = 0; k < stocks; ++k) {
            row[static_cast<std::size_t>(k)] /= sum;
        }
    }
    return sum;
}

// la2 keeps no precision of its own. A value that is a float standing for a shorter decimal
// (0.123f for 0.123) was stored in single precision; a decimal that a float holds exactly (0.5)
// was not rounded at all.
bool stored_in_single_precision(double value) {
    // Beyond the floats' range (or NaN) it cannot be one, and the cast would be undefined.
    if (!(std::abs(value) <= std::numeric_limits<float>::max())) {
        return false;
    }
    const auto narrow = static_cast<float>(value);
    if (static_cast<double>(narrow) != value) {
        return false;
    }
    std::array<char, 32> text{};
    const auto end = std::to_chars(text.data(), text.data() + text.size(), narrow).ptr;
    double decimal = 0;
    std::from_chars(text.data(), end, decimal);
    return decimal != value;
}

bool single_precision_shares(const model::ModelState& model, int s, int stocks) {
    constexpr auto single = model::Precision::single_precision;
    for (int k = 1; k <= stocks; ++k) {
        if (model.R(s, k).precision() == single || model.la1(s, k).precision() == single ||
            stored_in_single_precision(model.la2(s, k))) {
            return true;
        }
    }
    return false;
}

}  // namespace

DeadBand dead_band(model::Precision precision) {
    if (precision == model::Precision::single_precision) {
        return {};
    }
    return {precision, 8 * double_rounding, 4 * double_rounding};
}

bool adds_up_to_one(double sum) {
    return std::abs(sum - 1) <= row_tolerance;
}

AnalysedMaps analysed_maps(const model::ModelState& model) {
    AnalysedMaps result;
    result.maps = maps_in_use(model);
    for (std::size_t s = static_cast<std::size_t>(result.maps.count); s < result.map.size(); ++s) {
        result.map[s] = AnalysedMap{};
    }
    if (result.maps.count == 0) {
        return result;
    }
    result.stocks = model.stocks_in_tables();
    const int stocks = result.stocks;
    bool single = false;
    for (int s = 1; s <= result.maps.count; ++s) {
        AnalysedMap& map = result.map[static_cast<std::size_t>(s - 1)];
        map.map = s;
        map.chance = result.maps.chance[static_cast<std::size_t>(s - 1)];
        for (int k = 1; k <= model::max_stocks; ++k) {
            const auto i = static_cast<std::size_t>(k - 1);
            const bool in_tables = k <= stocks;
            map.R[i] = in_tables ? model.R(s, k).value() : 0;
            map.la1[i] = in_tables ? model.la1(s, k).value() : 0;
            map.la2[i] = in_tables ? model.la2(s, k) : 0;
            map.held_by_neither[i] = in_tables && map.la1[i] == 0 && map.la2[i] == 0;
        }
        map.R_sum = scale_row(map.R, stocks);
        map.R_adds_up = adds_up_to_one(map.R_sum);
        scale_row(map.la1, stocks);
        scale_row(map.la2, stocks);
        map.held_payoff = 0;
        for (int k = 0; k < stocks; ++k) {
            const auto i = static_cast<std::size_t>(k);
            map.held_payoff += map.held_by_neither[i] ? 0 : map.R[i];
        }
        map.complementary = adds_up_to_one(map.held_payoff);
        single = single || (map.chance > 0 && single_precision_shares(model, s, stocks));
    }
    result.band =
        dead_band(single ? model::Precision::single_precision : model::Precision::double_precision);
    return result;
}

}  // namespace quobel::analysis
