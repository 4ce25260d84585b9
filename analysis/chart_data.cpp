// The numbers behind the charts of a long run.
#include "analysis/chart_data.hpp"

#include <algorithm>
#include <cmath>
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

Ticks nice_ticks(AxisRange range, int most) {
    const double span = range.high - range.low;
    if (!(span > 0) || !std::isfinite(span) || most < 1) {
        return {range.low, range.high, span, 2, 3};
    }
    // The smallest step of 1, 2 or 5 times a power of ten that spans the range in `most` steps.
    const double rough = span / most;
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    double step = 10 * power;
    for (const double factor : {1.0, 2.0, 5.0}) {
        if (factor * power >= rough * (1 - 1e-12)) {
            step = factor * power;
            break;
        }
    }
    // Ticks are whole multiples of the step, so that 0.30000000000000004 reads 0.3; a bound a
    // rounding away from a multiple counts as on it.
    const double first = std::floor(range.low / step + 1e-9);
    const double last = std::ceil(range.high / step - 1e-9);
    const int decimals = std::max(0, -static_cast<int>(std::floor(std::log10(step) + 1e-9)));
    return {first * step, last * step, step, static_cast<int>(last - first) + 1, decimals};
}

AxisRange r_range(const std::vector<TrajectoryPoint>& points) {
    AxisRange range{0, 1};
    for (const TrajectoryPoint& point : points) {
        range.low = std::min(range.low, point.r);
        range.high = std::max(range.high, point.r);
    }
    if (range.low < 0 || range.high > 1) {
        return padded_range(range.low, range.high);
    }
    return range;
}

LogOddsChart log_odds_chart(const LongRunResult& result, int bars) {
    LogOddsChart chart;
    const std::vector<std::int64_t>& counts = result.log_odds_histogram;
    const auto occupied = [](std::int64_t count) { return count > 0; };
    const auto first = std::find_if(counts.begin(), counts.end(), occupied);
    if (first == counts.end() || bars < 1) {
        return chart;
    }
    const auto last = std::find_if(counts.rbegin(), counts.rend(), occupied).base();
    const auto begin = static_cast<std::size_t>(first - counts.begin());
    const auto end = static_cast<std::size_t>(last - counts.begin());
    // Bars of whole bins, as few bins each as fit the occupied bins into `bars`.
    const std::size_t per_bar =
        (end - begin + static_cast<std::size_t>(bars) - 1) / static_cast<std::size_t>(bars);
    const std::size_t count = (end - begin + per_bar - 1) / per_bar;
    const double bin_width = log_odds_bin_width;
    for (std::size_t i = begin; i < end; ++i) {
        chart.inside += counts[i];
    }
    std::vector<double> heights(count, 0.0);
    const double scale =
        1 / (static_cast<double>(result.recorded) * bin_width * static_cast<double>(per_bar));
    for (std::size_t bar = 0; bar < count; ++bar) {
        std::int64_t sum = 0;
        for (std::size_t i = begin + bar * per_bar; i < std::min(end, begin + (bar + 1) * per_bar);
             ++i) {
            sum += counts[i];
        }
        heights[bar] = static_cast<double>(sum) * scale;
    }
    chart.x = {log_odds_bin_low_edge(begin), log_odds_bin_low_edge(begin + count * per_bar)};
    chart.steps = histogram_steps(heights, chart.x.low, chart.x.high);
    return chart;
}

std::vector<double> log_odds_shares(const LongRunResult& result, double reach, int rows) {
    std::vector<double> shares(static_cast<std::size_t>(std::max(rows, 0)), 0.0);
    if (rows < 1 || result.recorded == 0 || !(reach > 0)) {
        return shares;
    }
    const auto row_of = [&](double log_odds) {
        const double place = (log_odds + reach) / (2 * reach) * rows;
        return static_cast<std::size_t>(std::clamp(place, 0.0, rows - 1.0));
    };
    // A bin goes to the row of its middle: bins are 1/16 of ln 2 wide, far narrower than a row.
    const std::vector<std::int64_t>& counts = result.log_odds_histogram;
    for (std::size_t i = 0; i < counts.size(); ++i) {
        if (counts[i] > 0) {
            shares[row_of(log_odds_bin_middle(i))] += static_cast<double>(counts[i]);
        }
    }
    shares.front() += static_cast<double>(result.at_boundary[0]);
    shares.back() += static_cast<double>(result.at_boundary[1]);
    for (double& share : shares) {
        share /= static_cast<double>(result.recorded);
    }
    return shares;
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
