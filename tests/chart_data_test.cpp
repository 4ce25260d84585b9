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

}  // namespace
}  // namespace quobel::analysis
