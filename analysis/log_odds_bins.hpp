// The bins of the log-odds log(r / (1 - r)) that a long run counts: log_odds_bins_per_binade to a
// factor 2 of r / (1 - r), found from the bits of the ratio without a logarithm.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <numbers>

namespace quobel::analysis {

// Bin i is centred on the ratio 2^(i / 16 - 1024), its edges halfway to its neighbours' in the
// binary logarithm: every ratio of two distances that have not underflowed, from the smallest
// normal double to the largest. Centred, so that ratios on the lattice 2^(j / 16), which Arrow
// securities with odds such as 2 and 1/2 reach exactly, sit mid-bin and their rounding cannot
// split them between two bins.
inline constexpr int log_odds_binades = 1024;
inline constexpr int log_odds_bins_per_binade = 16;
inline constexpr int log_odds_bins = 2 * log_odds_binades * log_odds_bins_per_binade;

// The bin of the ratio 1.
inline constexpr int log_odds_middle_bin = log_odds_binades * log_odds_bins_per_binade;

// A bin's width in log-odds, ln 2 / 16.
inline constexpr double log_odds_bin_width = std::numbers::ln2 / log_odds_bins_per_binade;

// The log-odds at the centre of bin i, and at its lower edge.
constexpr double log_odds_bin_middle(std::size_t bin) {
    return (static_cast<double>(bin) - log_odds_middle_bin) * log_odds_bin_width;
}
constexpr double log_odds_bin_low_edge(std::size_t bin) {
    return log_odds_bin_middle(bin) - log_odds_bin_width / 2;
}

class LogOddsBins {
  public:
    LogOddsBins();

    // The bin of a positive normal ratio: the binade from its exponent, the place within the
    // binade from its fraction, compared with the edges 2^((j + 1/2) / 16) as doubles. A ratio
    // above the last of these goes to the first bin of the next binade; past the largest double's
    // centre, to the last bin.
    int bin(double ratio) const {
        const auto bits = std::bit_cast<std::uint64_t>(ratio);
        const std::uint64_t fraction = bits & fraction_mask;
        // At most one edge lies in a 256th of a binade: they are 2^(1/16) - 1 > 1/256 apart.
        const int edge = first_edge_[fraction >> 44];
        const int within =
            edge + int{fraction >= upper_edge_fraction_[static_cast<std::size_t>(edge)]};
        const auto exponent = static_cast<int>(bits >> 52);  // 1023 for 1 <= ratio < 2
        return std::min((exponent - 1023 + log_odds_binades) * log_odds_bins_per_binade + within,
                        log_odds_bins - 1);
    }

    // The tables bin() reads, for a version of it that finds many bins at once.
    const std::array<std::uint64_t, log_odds_bins_per_binade + 1>& upper_edge_fractions() const {
        return upper_edge_fraction_;
    }
    const std::array<std::uint8_t, 256>& first_edges() const { return first_edge_; }

    static constexpr std::uint64_t fraction_mask = (std::uint64_t{1} << 52) - 1;

  private:
    // The fraction bits of the upper edge 2^((j + 1/2) / 16) of place j, j = 0..15, and 2^52,
    // which no fraction reaches, after them.
    std::array<std::uint64_t, log_odds_bins_per_binade + 1> upper_edge_fraction_{};
    // The place within the binade at the start of each 256th of it: the edges below that start.
    std::array<std::uint8_t, 256> first_edge_{};
};

}  // namespace quobel::analysis
