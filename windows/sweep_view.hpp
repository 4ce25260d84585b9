// The Sweep window's logic, whatever toolkit shows it: the parameters it offers, the results as
// they come in, the colours of the picture's cells, the text under the pointer and the CSV.
//
// A line of parameter values shows as a heat map, one column per value and one row per bin of r
// (or of its log-odds), coloured by the density of the long run at that value. A plane shows as
// the survival atlas, one cell per pair of values, coloured by the verdict of the exact exponents.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "analysis/boundary_exponents.hpp"
#include "model/model_state.hpp"
#include "sweep/sweep.hpp"

namespace quobel::windows {

// The most values the window computes along a line, and along each side of a plane.
inline constexpr std::int64_t max_line_count = 2000;
inline constexpr std::int64_t max_plane_count = 1000;
inline constexpr sweep::SweepLimits window_sweep_limits{max_line_count, max_plane_count,
                                                        max_plane_count* max_plane_count};

// Every component the model has to vary, as the parameter file's listing names them: R, la1 and
// la2 of each map in use and stock, then prob of each map when there are two or more.
std::vector<std::string> sweep_parameter_names(const model::ModelState& model);

// Why the window cannot sweep `settings` from `model`, or empty when it can: the grid's problems,
// then a burn-in that leaves a line's runs nothing to record.
std::string sweep_refusal(const model::ModelState& model, const sweep::SweepSettings& settings);

// Colours as 0xRRGGBB.
std::uint32_t verdict_colour(analysis::Verdict verdict);
inline constexpr std::array<analysis::Verdict, 7> all_verdicts{
    analysis::Verdict::investor_1_takes_over,
    analysis::Verdict::investor_2_takes_over,
    analysis::Verdict::both_survive,
    analysis::Verdict::both_boundaries_attract,
    analysis::Verdict::no_selection,
    analysis::Verdict::inconclusive,
    analysis::Verdict::not_defined};
// A density relative to the highest of its column, on a logarithmic scale over four decades:
// white for none, pale to dark as it grows.
std::uint32_t density_colour(double relative);
inline constexpr std::uint32_t pending_colour = 0xe6e6e6;  // not computed yet
inline constexpr std::uint32_t no_run_colour = 0xb4b4b4;   // a run that did not finish

// Where a value falls along an axis of the picture, as a fraction of its length: value i of n
// sits in the middle of the i-th of n equal cells. The middle for an axis of one value.
double axis_place(const sweep::Axis& axis, double value);

// One row per grid cell from the top, 0xRRGGBB each.
struct SweepRaster {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
    std::uint32_t& at(int x, int y) {
        return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                      static_cast<std::size_t>(x)];
    }
};

// What the picture shows up the side of a line's heat map.
enum class LineRows { r, log_odds };

// A sweep's results as they come in, in grid order.
class SweepResults {
  public:
    SweepResults() = default;
    SweepResults(const model::ModelState& parameters, const sweep::SweepSettings& settings);

    void add(const sweep::PointResult& point);

    const model::ModelState& parameters() const { return parameters_; }
    const sweep::SweepSettings& settings() const { return settings_; }
    bool empty() const { return settings_.axes.empty(); }
    bool line() const { return settings_.axes.size() == 1; }
    std::int64_t size() const { return size_; }
    std::int64_t done() const { return static_cast<std::int64_t>(cells_.size()); }
    bool complete() const { return !empty() && done() == size_; }
    // Whether a line's points have runs, and so densities.
    bool has_runs() const { return line() && settings_.run.steps > 0; }

    // A computed point as the sweep gave it; index < done().
    sweep::PointResult point(std::int64_t index) const;
    double lambda(int boundary, std::int64_t index) const;

    // The picture's cells: for a line one column per value and one row per bin (or log-odds row),
    // for a plane one column per value of the first parameter and one row per value of the
    // second, the lowest value at the bottom.
    SweepRaster blank_raster(LineRows rows) const;
    // Colours the cells of points [first, last) into a raster from blank_raster.
    void paint(SweepRaster& raster, LineRows rows, std::int64_t first, std::int64_t last) const;

    // The rows the picture shows, [first, last) from the bottom: every row but for a line's
    // log-odds, whose fixed range is mostly empty; there the rows any point has reached, and two
    // more either side.
    std::pair<int, int> shown_rows(LineRows rows) const;
    // The value of r or of its log-odds at the lower edge of a line's row.
    double row_edge(int row, LineRows rows) const;

    // The point and the row under a place of the picture given as fractions of its width and
    // height from the top left, the picture showing shown_rows(); nothing outside it.
    struct Place {
        std::int64_t index = 0;
        int row = 0;  // a line's row from the bottom; 0 for a plane
    };
    std::optional<Place> place_at(double across, double down, LineRows rows) const;
    // The point's values and figures in one line, for a line the density in the row, and last
    // the point's flags, as the CSV's flags column holds them.
    std::string point_text(const Place& place, LineRows rows) const;

    // Where the model's values of the varied parameters fall across and up the picture, as
    // fractions from the left and from the bottom; nothing for a value outside the sweep's range.
    std::array<std::optional<double>, 2> marks(const model::ModelState& model) const;

    // The values of a point as (parameter, value) pairs, to write into the main window.
    std::vector<std::pair<sweep::ParameterName, double>> values(std::int64_t index) const;

    // The files that `quobel-cli sweep` writes for these parameters and settings, the CSV and the
    // settings file beside it; only once the sweep is complete.
    std::string csv() const;
    std::string settings_json() const;

  private:
    struct Cell {
        double lambda_0 = 0;
        double lambda_1 = 0;
        analysis::Verdict verdict = analysis::Verdict::not_defined;
        bool applied = true;
        std::uint32_t flags = 0;  // into flag_texts_
    };

    int row_count(LineRows rows) const;
    // The exponents, the verdict and the run's figures of a point whose values were applied.
    std::string figures_text(const sweep::PointResult& p, const Place& place, LineRows rows) const;
    const std::vector<double>& column(std::int64_t index, LineRows rows) const;

    model::ModelState parameters_;
    sweep::SweepSettings settings_;
    std::int64_t size_ = 0;
    std::vector<Cell> cells_;
    std::vector<sweep::PointResult> runs_;  // a line's whole points
    // Each distinct text of a point's flags once, "" first: neighbouring points mostly share
    // theirs, and a plane of a million cells need not hold a million copies.
    std::vector<std::string> flag_texts_{""};
    std::unordered_map<std::string, std::uint32_t> flag_index_{{"", 0}};
    std::pair<int, int> log_odds_reached_{sweep::log_odds_rows, 0};  // [lowest, highest] row
};

}  // namespace quobel::windows
