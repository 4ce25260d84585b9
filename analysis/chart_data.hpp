// The numbers behind the charts of a long run: the density as steps, axis ranges and the share
// of steps each map was drawn for. Plain values, so that any front end draws the same charts.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "analysis/long_run.hpp"

namespace quobel::analysis {

struct ChartPoint {
    double x = 0;
    double y = 0;
    friend bool operator==(const ChartPoint&, const ChartPoint&) = default;
};

struct AxisRange {
    double low = 0;
    double high = 1;
    friend bool operator==(const AxisRange&, const AxisRange&) = default;
};

// Each bin's height drawn flat from its left edge to its right edge: two points per bin, the bins
// side by side over [low, high].
std::vector<ChartPoint> histogram_steps(const std::vector<double>& heights, double low = 0,
                                        double high = 1);

// From 0 to a little above the highest value, so the top of the tallest bin shows; [0, 1] when
// every value is 0.
AxisRange height_range(const std::vector<double>& heights);

// A range around values that may all be equal, with a margin of at least 0.01 either side.
AxisRange padded_range(double lowest, double highest);

// An axis whose ticks fall on round numbers: 1, 2 or 5 times a power of ten apart, the first at
// or below `range.low`, the last at or above `range.high`, at most `most` intervals between.
struct Ticks {
    double low = 0;
    double high = 1;
    double step = 0.2;
    int count = 6;     // ticks, both ends included
    int decimals = 1;  // digits after the point that tell every tick from its neighbours
};
Ticks nice_ticks(AxisRange range, int most = 8);

// The time series' r axis: [0, 1], wider only where the points leave it.
AxisRange r_range(const std::vector<TrajectoryPoint>& points);

// The density of the log-odds log(r / (1 - r)) over the occupied part of the run's log-odds
// histogram, in at most `bars` bars of equal width: each bar's share of the recorded points per
// unit of log-odds, drawn as steps. Empty when no recorded point lies strictly inside (0, 1).
struct LogOddsChart {
    std::vector<ChartPoint> steps;
    AxisRange x;
    std::int64_t inside = 0;  // recorded points strictly inside (0, 1)
};
LogOddsChart log_odds_chart(const LongRunResult& result, int bars = 100);

// The log-odds of a run's recorded points in `rows` rows of equal width over [-reach, reach]:
// each row's share of the recorded points. Points beyond either end, and those at exactly 0 or 1,
// whose log-odds are infinite, count in the end rows, so a run absorbed at a boundary shows there.
std::vector<double> log_odds_shares(const LongRunResult& result, double reach, int rows);

// The trajectory's points as (step, r).
std::vector<ChartPoint> trajectory_points(const std::vector<TrajectoryPoint>& points);

// The share of the steps taken that drew each map; NaN when no step was taken.
std::array<double, 3> draw_shares(const LongRunResult& result);

}  // namespace quobel::analysis
