// The long run's set-up and texts; its walk is the chain engine's (chain_engine.cpp).
#include "analysis/long_run.hpp"

#include <algorithm>
#include <cmath>

#include "analysis/analysed_maps.hpp"
#include "analysis/boundary_exponents.hpp"

namespace quobel::analysis {

std::string nearness_text(std::size_t level) {
    return "1e" + std::to_string(std::lround(std::log10(nearness.at(level))));
}

std::string error_bar_warning(const LongRunResult& result) {
    return result.errors_may_be_too_small ? "error bars may be too small: run longer" : "";
}

int absorbed_boundary(const LongRunResult& result) {
    for (int side = 0; side < 2; ++side) {
        if (result.boundaries[static_cast<std::size_t>(side)].absorbed >= 0) {
            return side;
        }
    }
    return -1;
}

std::string absorption_text(const LongRunResult& result) {
    const int side = absorbed_boundary(result);
    if (side < 0) {
        return {};
    }
    const std::string boundary = std::to_string(side);
    return "reached r = " + boundary + " to within the smallest double at step " +
           std::to_string(result.boundaries[static_cast<std::size_t>(side)].absorbed) +
           ": from there r is " + boundary + " itself, and the orbit's exponent is then Lambda_" +
           boundary + "'s";
}

std::string absorbed_average_note(const LongRunResult& result) {
    const int side = absorbed_boundary(result);
    if (side < 0) {
        return {};
    }
    return "(absorbed: exactly " + std::to_string(side) + " from step " +
           std::to_string(result.boundaries[static_cast<std::size_t>(side)].absorbed) +
           ", where the distance underflowed; the error does not count that)";
}

std::vector<double> LongRunResult::density() const {
    std::vector<double> values(histogram.size(), 0.0);
    if (recorded == 0) {
        return values;
    }
    // Each bin's count over all recorded points, divided by the bin's width 1 / bins.
    const double scale = static_cast<double>(histogram.size()) / static_cast<double>(recorded);
    std::transform(histogram.begin(), histogram.end(), values.begin(),
                   [scale](std::int64_t count) { return static_cast<double>(count) * scale; });
    return values;
}

LongRun::LongRun(const model::ModelState& model, double start, const LongRunSettings& settings)
    : settings_(settings), start_(start), stocks_(0) {
    settings_.steps = std::clamp<std::int64_t>(settings_.steps, 0, max_long_run_steps);
    settings_.burn_in = std::clamp<std::int64_t>(settings_.burn_in, 0, settings_.steps);
    settings_.bins = std::clamp(settings_.bins, 1, max_bins);
    const AnalysedMaps analysed = analysed_maps(model);
    maps_ = analysed.maps;
    stocks_ = analysed.stocks;
    for (int s = 1; s <= maps_.count; ++s) {
        const AnalysedMap& from = analysed.map[static_cast<std::size_t>(s - 1)];
        MapCoefficients& map = coefficients_[static_cast<std::size_t>(s - 1)];
        map.complementary = from.complementary;
        for (std::size_t k = 0; k < static_cast<std::size_t>(stocks_); ++k) {
            if (from.held_by_neither[k]) {
                // Its term is 0 at every r: a stock without payoff that both hold alike.
                map.la1[k] = map.la2[k] = 1;
                continue;
            }
            map.R[k] = from.R[k];
            map.la1[k] = from.la1[k];
            map.la2[k] = from.la2[k];
            map.R_la1[k] = map.R[k] * map.la1[k];
            map.R_la2[k] = map.R[k] * map.la2[k];
            map.slope[k] = map.R[k] * map.la1[k] * map.la2[k];
        }
    }
    const Survival exponents = survival(analysed);
    lambda_ = {exponents.lambda_0, exponents.lambda_1};
    const auto moderate = [](double share) { return share >= 0x1p-20 && share <= 0x1p20; };
    paired_inverses_ = maps_.count > 0;
    for (std::size_t s = 0; s < static_cast<std::size_t>(maps_.count); ++s) {
        const MapCoefficients& map = coefficients_[s];
        double payoff = 0;
        for (std::size_t k = 0; k < static_cast<std::size_t>(stocks_); ++k) {
            paired_inverses_ =
                paired_inverses_ && map.R[k] >= 0 && moderate(map.la1[k]) && moderate(map.la2[k]);
            payoff += map.R[k];
        }
        paired_inverses_ = paired_inverses_ && payoff <= 1 + 0x1p-44;
    }
}

}  // namespace quobel::analysis
