// Tests of the log-odds bins against the logarithm they stand in for.
#include "analysis/log_odds_bins.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

namespace quobel::analysis {
namespace {

constexpr int middle = log_odds_binades * log_odds_bins_per_binade;

TEST(LogOddsBins, AgreeWithSixteenTimesTheBinaryLogarithmToTheNearest) {
    const LogOddsBins bins;
    EXPECT_EQ(bins.bin(1.0), middle);
    EXPECT_EQ(bins.bin(0.5), middle - 16);
    EXPECT_EQ(bins.bin(3.0), middle + 25);  // 16 log2 3 = 25.36
    EXPECT_EQ(bins.bin(1 / 3.0), middle - 25);
    EXPECT_EQ(bins.bin(9.0), middle + 51);  // 50.72
    EXPECT_EQ(bins.bin(std::numeric_limits<double>::min()), 2 * 16);
    EXPECT_EQ(bins.bin(std::numeric_limits<double>::max()), log_odds_bins - 1);
    // Each edge 2^((j + 1/2) / 16), as the double nearest to it, opens the bin above; the double
    // below it still lies in the bin below.
    for (int j = -16; j < 16; ++j) {
        const double edge = std::exp2((j + 0.5) / 16.0);
        EXPECT_EQ(bins.bin(edge), middle + j + 1) << j;
        EXPECT_EQ(bins.bin(std::nextafter(edge, 0.0)), middle + j) << j;
    }
    std::mt19937_64 random(5);
    std::uniform_real_distribution<double> exponent(-1000, 1000);
    for (int i = 0; i < 100'000; ++i) {
        const double ratio = std::exp2(exponent(random));
        const double place = 16 * std::log2(ratio);
        // Away from an edge the logarithm's own rounding cannot decide the bin.
        if (std::abs(place - std::floor(place) - 0.5) > 1e-9) {
            ASSERT_EQ(bins.bin(ratio), middle + static_cast<int>(std::lround(place))) << ratio;
        }
    }
}

TEST(LogOddsBins, LatticePointsSitMidBin) {
    // Odds that a step multiplies by 2 or 1/2 lie on powers of two, and odds of 2^(1/16) on the
    // finer lattice: each point, the doubles next to it, and all within a 0.45th of a bin of it
    // fall in bin j, whose centre is the point's log-odds.
    const LogOddsBins bins;
    for (int j = -16 * 1000; j <= 16 * 1000; j += 7) {
        const double point = std::exp2(j / 16.0);
        const int bin = middle + j;
        ASSERT_EQ(bins.bin(point), bin) << j;
        ASSERT_EQ(bins.bin(std::nextafter(point, 0.0)), bin) << j;
        ASSERT_EQ(bins.bin(std::nextafter(point, std::numeric_limits<double>::infinity())), bin)
            << j;
        ASSERT_EQ(bins.bin(std::exp2((j - 0.45) / 16.0)), bin) << j;
        ASSERT_EQ(bins.bin(std::exp2((j + 0.45) / 16.0)), bin) << j;
        ASSERT_NEAR(log_odds_bin_middle(static_cast<std::size_t>(bin)), j * std::log(2.0) / 16,
                    1e-12)
            << j;
        ASSERT_NEAR(log_odds_bin_low_edge(static_cast<std::size_t>(bin)),
                    (j - 0.5) * std::log(2.0) / 16, 1e-12)
            << j;
    }
}

}  // namespace
}  // namespace quobel::analysis
