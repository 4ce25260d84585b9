// The numbers behind the charts of a long run.
#include "analysis/chart_data.hpp"

#include <algorithm>
#include <limits>

namespace quobel::analysis {

std::vector<ChartPoint> histogram_steps(const std::vector<double>& heights, double low,
                                        double high) {
    std::vector<ChartPoint> points;
    points.reserve(2 * heights.size());
    const double width = (high - low) / static_cast<double>(heights.size());
    for (std::size_t i = 0; i < heights.size(); ++i) {
        // Edges from their index, so that the last edge is exactly `high` for 0..1.
        points.push_back({low + static_cast<double>(i) * width, heights[i]});
        points.push_back({low + static_cast<double>(i + 1) * width, heights[i]});
    }
    return points;
}

AxisRange height_range(const std::vector<double>& heights) {
    double highest = 0;
    for (const double height : heights) {
        highest = std::max(highest, height);
    }
    return {0, highest > 0 ? highest * 1.05 : 1};
}

AxisRange padded_range(double lowest, double highest) {
    const double margin = std::max((highest - lowest) * 0.05, 0.01);
    return {lowest - margin, highest + margin};
}

std::vector<ChartPoint> trajectory_points(const std::vector<TrajectoryPoint>& points) {
    std::vector<ChartPoint> chart;
    chart.reserve(points.size());
    for (const TrajectoryPoint& point : points) {
        chart.push_back({static_cast<double>(point.step), point.r});
    }
    return chart;
}

std::array<double, 3> draw_shares(const LongRunResult& result) {
    std::array<double, 3> shares{};
    for (std::size_t i = 0; i < shares.size(); ++i) {
        shares[i] = result.steps_taken == 0 ? std::numeric_limits<double>::quiet_NaN()
                                            : static_cast<double>(result.draws[i]) /
                                                  static_cast<double>(result.steps_taken);
    }
    return shares;
}

}  // namespace quobel::analysis
