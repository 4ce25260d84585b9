// The maps as the analysis reads them.
#include "analysis/analysed_maps.hpp"

#include <cmath>

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

}  // namespace

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
        double held_payoff = 0;
        for (int k = 0; k < stocks; ++k) {
            const auto i = static_cast<std::size_t>(k);
            held_payoff += map.held_by_neither[i] ? 0 : map.R[i];
        }
        map.complementary = adds_up_to_one(held_payoff);
    }
    return result;
}

}  // namespace quobel::analysis
