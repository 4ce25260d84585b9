// The bins of the log-odds.
#include "analysis/log_odds_bins.hpp"

#include <cmath>

namespace quobel::analysis {

LogOddsBins::LogOddsBins() {
    for (std::size_t j = 1; j < log_odds_bins_per_binade; ++j) {
        const double edge = std::exp2(static_cast<double>(j) / log_odds_bins_per_binade);
        edge_fraction_[j] = std::bit_cast<std::uint64_t>(edge) & fraction_mask;
    }
    edge_fraction_[log_odds_bins_per_binade] = fraction_mask + 1;
    for (std::size_t i = 0, j = 0; i < first_edge_.size(); ++i) {
        while (edge_fraction_[j + 1] <= (std::uint64_t{i} << 44)) {
            ++j;
        }
        first_edge_[i] = static_cast<std::uint8_t>(j);
    }
}

}  // namespace quobel::analysis
