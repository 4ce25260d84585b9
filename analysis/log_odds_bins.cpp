// The bins of the log-odds.
#include "analysis/log_odds_bins.hpp"

#include <cmath>

namespace quobel::analysis {

LogOddsBins::LogOddsBins() {
    for (std::size_t j = 0; j < log_odds_bins_per_binade; ++j) {
        const double edge = std::exp2((static_cast<double>(j) + 0.5) / log_odds_bins_per_binade);
        upper_edge_fraction_[j] = std::bit_cast<std::uint64_t>(edge) & fraction_mask;
    }
    upper_edge_fraction_[log_odds_bins_per_binade] = fraction_mask + 1;
    for (std::size_t i = 0, j = 0; i < first_edge_.size(); ++i) {
        while (upper_edge_fraction_[j] <= (std::uint64_t{i} << 44)) {
            ++j;
        }
        first_edge_[i] = static_cast<std::uint8_t>(j);
    }
}

}  // namespace quobel::analysis
