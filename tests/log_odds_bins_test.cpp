// Tests of the log-odds bins against the logarithm they stand in for.
#include "analysis/log_odds_bins.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

namespace quobel::analysis {
namespace {

TEST(LogOddsBins, AgreeWithSixteenTimesTheBinaryLogarithm) {
    const LogOddsBins bins;
    constexpr int middle = log_odds_binades * log_odds_bins_per_binade;
    EXPECT_EQ(bins.bin(1.0), middle);
    EXPECT_EQ(bins.bin(0.5), middle - 16);
    EXPECT_EQ(bins.bin(3.0), middle + 25);  // 16 log2 3 = 25.36
    EXPECT_EQ(bins.bin(std::numeric_limits<double>::min()), 2 * 16);
    EXPECT_EQ(bins.bin(std::numeric_limits<double>::max()), log_odds_bins - 1);
    // Each edge 2^(j / 16), as the double nearest to it, opens its bin; the double below it
    // still lies in the bin before.
    for (int j = 0; j < 16; ++j) {
        const double edge = std::exp2(j / 16.0);
        EXPECT_EQ(bins.bin(edge), middle + j) << j;
        EXPECT_EQ(bins.bin(std::nextafter(edge, 0.0)), middle + j - 1) << j;
    }
    std::mt19937_64 random(5);
    std::uniform_real_distribution<double> exponent(-1000, 1000);
    for (int i = 0; i < 100'000; ++i) {
        const double ratio = std::exp2(exponent(random));
        const double place = 16 * std::log2(ratio);
        // Away from an edge the logarithm's own rounding cannot decide the bin.
        if (std::abs(place - std::round(place)) > 1e-9) {
            ASSERT_EQ(bins.bin(ratio), middle + static_cast<int>(std::floor(place))) << ratio;
        }
    }
}

}  // namespace
}  // namespace quobel::analysis
