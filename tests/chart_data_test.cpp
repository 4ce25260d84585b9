// Tests of the numbers behind the charts of a long run.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "analysis/chart_data.hpp"

namespace quobel::analysis {
namespace {

TEST(ChartData, HistogramStepsRunFlatAcrossEachBin) {
    const std::vector<ChartPoint> steps = histogram_steps({2, 0, 1});
    const std::vector<ChartPoint> expected{{0, 2},       {1.0 / 3, 2}, {1.0 / 3, 0},
                                           {2.0 / 3, 0}, {2.0 / 3, 1}, {1, 1}};
    EXPECT_EQ(steps, expected);
    EXPECT_EQ(histogram_steps({5}, -2, 6), (std::vector<ChartPoint>{{-2, 5}, {6, 5}}));
    EXPECT_TRUE(histogram_steps({}).empty());
}

TEST(ChartData, Ranges) {
    EXPECT_EQ(height_range({0, 0, 0}), (AxisRange{0, 1}));
    const AxisRange tallest = height_range({1, 4, 2});
    EXPECT_EQ(tallest.low, 0);
    EXPECT_DOUBLE_EQ(tallest.high, 4.2);

    const AxisRange flat = padded_range(0.5, 0.5);
    EXPECT_DOUBLE_EQ(flat.low, 0.49);
    EXPECT_DOUBLE_EQ(flat.high, 0.51);
    const AxisRange whole = padded_range(0, 1);
    EXPECT_DOUBLE_EQ(whole.low, -0.05);
    EXPECT_DOUBLE_EQ(whole.high, 1.05);
}

TEST(ChartData, DrawSharesAndTrajectory) {
    LongRunResult result;
    result.steps_taken = 4;
    result.draws = {1, 3, 0};
    EXPECT_EQ(draw_shares(result), (std::array<double, 3>{0.25, 0.75, 0}));
    result.steps_taken = 0;
    result.draws = {};
    for (const double share : draw_shares(result)) {
        EXPECT_TRUE(std::isnan(share));
    }

    EXPECT_EQ(trajectory_points({{7, 1, 0.25}, {8, 2, 0.5}}),
              (std::vector<ChartPoint>{{7, 0.25}, {8, 0.5}}));
}

TEST(ChartData, TicksFallOnRoundNumbers) {
    const auto same = [](const Ticks& ticks, const Ticks& expected) {
        EXPECT_NEAR(ticks.low, expected.low, 1e-12);
        EXPECT_NEAR(ticks.high, expected.high, 1e-12);
        EXPECT_NEAR(ticks.step, expected.step, 1e-12);
        EXPECT_EQ(ticks.count, expected.count);
        EXPECT_EQ(ticks.decimals, expected.decimals);
    };
    same(nice_ticks({0, 1}), {0, 1, 0.2, 6, 1});
    same(nice_ticks({0, 4.2}), {0, 5, 1, 6, 0});
    same(nice_ticks({-0.05, 1.05}), {-0.2, 1.2, 0.2, 8, 1});
    same(nice_ticks({1001, 2000}), {1000, 2000, 200, 6, 0});
    same(nice_ticks({0, 0.3}, 4), {0, 0.3, 0.1, 4, 1});
    same(nice_ticks({0, 0.07}, 4), {0, 0.08, 0.02, 5, 2});
    same(nice_ticks({-3.7e-9, -1e-9}), {-4e-9, -1e-9, 5e-10, 7, 10});
    // Nothing to divide: the range as it is, its two ends the only ticks.
    EXPECT_EQ(nice_ticks({0.5, 0.5}).count, 2);
}

TEST(ChartData, TimeSeriesOnTheUnitIntervalUnlessThePointsLeaveIt) {
    EXPECT_EQ(r_range({{1, 1, 0.4}, {2, 1, 0.41}}), (AxisRange{0, 1}));
    const AxisRange wider = r_range({{1, 1, 0.5}, {2, 1, 1.2}});
    EXPECT_DOUBLE_EQ(wider.low, -0.06);
    EXPECT_DOUBLE_EQ(wider.high, 1.26);
}

TEST(ChartData, LogOddsDensityOverTheOccupiedBins) {
    LongRunResult result;
    result.recorded = 5;
    result.at_boundary = {0, 1};  // one point at r = 1 exactly, outside the chart
    result.log_odds_histogram.assign(log_odds_bins, 0);
    // Ratios 1/3 and 9: bins (log2 ratio + 1024) * 16 to the nearest, each half a bin either side
    // of its centre.
    result.log_odds_histogram[16359] = 3;
    result.log_odds_histogram[16435] = 1;
    const double width = std::log(2.0) / 16;

    const LogOddsChart fine = log_odds_chart(result);
    EXPECT_EQ(fine.inside, 4);
    EXPECT_DOUBLE_EQ(fine.x.low, -25.5 * width);
    EXPECT_DOUBLE_EQ(fine.x.high, 51.5 * width);
    ASSERT_EQ(fine.steps.size(), 2U * 77);
    EXPECT_DOUBLE_EQ(fine.steps.front().y, 3 / (5 * width));
    EXPECT_DOUBLE_EQ(fine.steps.back().y, 1 / (5 * width));

    // Eight bins to a bar: ten bars, and the density still integrates to 4 of the 5 points.
    const LogOddsChart coarse = log_odds_chart(result, 10);
    ASSERT_EQ(coarse.steps.size(), 2U * 10);
    double mass = 0;
    for (std::size_t i = 0; i < coarse.steps.size(); i += 2) {
        mass += coarse.steps[i].y * (coarse.steps[i + 1].x - coarse.steps[i].x);
    }
    EXPECT_NEAR(mass, 0.8, 1e-12);

    result.log_odds_histogram.assign(log_odds_bins, 0);
    EXPECT_TRUE(log_odds_chart(result).steps.empty());
}

}  // namespace
}  // namespace quobel::analysis
