// The bins of the log-odds log(r / (1 - r)) that a long run counts: log_odds_bins_per_binade to a
// factor 2 of r / (1 - r), found from the bits of the ratio without a logarithm.
#pragma once

#include <array>
#include <bit>
#include <cstdint>

namespace quobel::analysis {

// Bin i holds the ratios from 2^(i / 16 - 1024) up to the next edge: every ratio of two distances
// that have not underflowed, from the smallest normal double to the largest.
inline constexpr int log_odds_binades = 1024;
inline constexpr int log_odds_bins_per_binade = 16;
inline constexpr int log_odds_bins = 2 * log_odds_binades * log_odds_bins_per_binade;

class LogOddsBins {
  public:
    LogOddsBins();

    // The bin of a positive normal ratio: the binade from its exponent, the place within the
    // binade from its fraction, compared with the edges 2^(j / 16) as doubles.
    int bin(double ratio) const {
        const auto bits = std::bit_cast<std::uint64_t>(ratio);
        const std::uint64_t fraction = bits & fraction_mask;
        // At most one edge lies in a 256th of a binade: they are 2^(1/16) - 1 > 1/256 apart.
        const int edge = first_edge_[fraction >> 44];
        const int within =
            edge + int{fraction >= edge_fraction_[static_cast<std::size_t>(edge) + 1]};
        const auto exponent = static_cast<int>(bits >> 52);  // 1023 for 1 <= ratio < 2
        return (exponent - 1023 + log_odds_binades) * log_odds_bins_per_binade + within;
    }

  private:
    static constexpr std::uint64_t fraction_mask = (std::uint64_t{1} << 52) - 1;
    // The fraction bits of 2^(j / 16), j = 0..15, and 2^52 past the last.
    std::array<std::uint64_t, log_odds_bins_per_binade + 1> edge_fraction_{};
    // The bin within the binade at the start of each 256th of it.
    std::array<std::uint8_t, 256> first_edge_{};
};

}  // namespace quobel::analysis
