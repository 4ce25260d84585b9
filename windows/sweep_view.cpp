// The Sweep window's logic.
#include "windows/sweep_view.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>

#include "model/number_text.hpp"
#include "sweep/sweep_csv.hpp"

namespace quobel::windows {

namespace {

using sweep::ParameterName;
using Table = ParameterName::Table;

std::uint32_t mix(std::uint32_t a, std::uint32_t b, double t) {
    std::uint32_t colour = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const double from = (a >> shift) & 0xffU;
        const double to = (b >> shift) & 0xffU;
        colour |= static_cast<std::uint32_t>(std::lround(from + (to - from) * t)) << shift;
    }
    return colour;
}

std::string figure(double value) {
    return model::general_text(value);
}

}  // namespace

std::vector<std::string> sweep_parameter_names(const model::ModelState& model) {
    std::vector<std::string> names;
    const auto add = [&](ParameterName name) {
        if (sweep::missing_parameter(model, name).empty()) {
            names.push_back(sweep::parameter_name_text(name));
        }
    };
    for (int s = 1; s <= model.maps_in_tables(); ++s) {
        for (const Table table : {Table::R, Table::la1, Table::la2}) {
            for (int k = 1; k <= model.stocks_in_tables(); ++k) {
                add({table, s, k});
            }
        }
    }
    // With one map the iteration reads no probability.
    if (model.maps_in_tables() >= 2) {
        for (int s = 1; s <= model.maps_in_tables(); ++s) {
            add({Table::prob, s, 0});
        }
    }
    return names;
}

std::string sweep_refusal(const model::ModelState& model, const sweep::SweepSettings& settings) {
    using Kind = sweep::SweepProblem::Kind;
    sweep::SweepProblem problem = sweep::sweep_problem(&model, settings, window_sweep_limits);
    const auto name = [&] { return sweep::parameter_name_text(settings.axes[problem.axis].name); };
    switch (problem.kind) {
        case Kind::none:
            break;
        case Kind::axes:
            return "Choose one parameter for a line or two for a plane.";
        case Kind::missing_parameter:
            problem.missing[0] =
                static_cast<char>(std::toupper(static_cast<unsigned char>(problem.missing[0])));
            return problem.missing;
        case Kind::range_not_finite:
            return "The range of " + name() + " is not finite.";
        case Kind::too_many_values:
            return "Take from 1 to " + std::to_string(problem.limit) + " values of " + name() + ".";
        case Kind::same_parameter:
            return "The two parameters are the same: choose two different ones.";
        case Kind::too_many_points:
            return "Take at most " + std::to_string(problem.limit) + " points.";
    }
    return analysis::run_settings_refusal(settings.run);
}

std::uint32_t verdict_colour(analysis::Verdict verdict) {
    switch (verdict) {
        case analysis::Verdict::investor_1_takes_over:
            return 0x2b7bba;
        case analysis::Verdict::investor_2_takes_over:
            return 0xd7301f;
        case analysis::Verdict::both_survive:
            return 0x31a354;
        case analysis::Verdict::both_boundaries_attract:
            return 0x8856a7;
        case analysis::Verdict::no_selection:
            return 0x969696;
        case analysis::Verdict::inconclusive:
            return 0xfec44f;
        case analysis::Verdict::not_defined:
            break;
    }
    return 0x252525;
}

std::uint32_t density_colour(double relative) {
    if (!(relative > 0)) {
        return 0xffffff;
    }
    // Four decades below the column's highest density fade to the palest shade.
    const double t = std::clamp(1 + std::log10(std::min(relative, 1.0)) / 4, 0.0, 1.0);
    constexpr std::array<std::uint32_t, 5> stops{0xffffcc, 0xa1dab4, 0x41b6c4, 0x225ea8, 0x0c2c84};
    const double place = t * (stops.size() - 1);
    const auto i = std::min(static_cast<std::size_t>(place), stops.size() - 2);
    return mix(stops[i], stops[i + 1], place - static_cast<double>(i));
}

double axis_place(const sweep::Axis& axis, double value) {
    if (axis.count <= 1 || axis.to == axis.from) {
        return 0.5;
    }
    // Halves, so that a range as wide as -1e308:1e308 does not overflow.
    const double step = (value / 2 - axis.from / 2) / (axis.to / 2 - axis.from / 2) *
                        static_cast<double>(axis.count - 1);
    return (step + 0.5) / static_cast<double>(axis.count);
}

SweepResults::SweepResults(const model::ModelState& parameters,
                           const sweep::SweepSettings& settings)
    : parameters_(parameters), settings_(settings), size_(sweep::grid_size(settings)) {
    cells_.reserve(static_cast<std::size_t>(size_));
}

void SweepResults::add(const sweep::PointResult& point) {
    if (point.index != done() || done() >= size_) {
        return;  // out of order or beyond the grid: not a point of this sweep
    }
    const auto [text, added] = flag_index_.try_emplace(
        sweep::flags_text(point), static_cast<std::uint32_t>(flag_texts_.size()));
    if (added) {
        flag_texts_.push_back(text->first);
    }
    cells_.push_back({point.lambda_0, point.lambda_1, point.verdict, point.applied, text->second});
    if (line()) {
        runs_.push_back(point);
        for (std::size_t row = 0; row < point.log_odds.size(); ++row) {
            if (point.log_odds[row] > 0) {
                auto& [lowest, highest] = log_odds_reached_;
                lowest = std::min(lowest, static_cast<int>(row));
                highest = std::max(highest, static_cast<int>(row));
            }
        }
    }
}

std::pair<int, int> SweepResults::shown_rows(LineRows rows) const {
    const int all = row_count(rows);
    if (!has_runs() || rows == LineRows::r) {
        return {0, all};
    }
    const auto [lowest, highest] = log_odds_reached_;
    if (lowest > highest) {
        return {0, all};  // nothing reached yet
    }
    return {std::max(lowest - 2, 0), std::min(highest + 3, all)};
}

double SweepResults::row_edge(int row, LineRows rows) const {
    const double height = row_count(rows);
    if (rows == LineRows::r) {
        return row / height;
    }
    return -sweep::log_odds_reach + row * (2 * sweep::log_odds_reach / height);
}

sweep::PointResult SweepResults::point(std::int64_t index) const {
    if (line()) {
        return runs_[static_cast<std::size_t>(index)];
    }
    // A plane's points have no runs: the cell holds all there is, and the values follow from the
    // index as the sweep derived them.
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    const Cell& cell = cells_[static_cast<std::size_t>(index)];
    sweep::PointResult point;
    point.index = index;
    const auto values = this->values(index);
    point.values = {values[0].second, values[1].second};
    point.applied = cell.applied;
    point.lambda_0 = cell.lambda_0;
    point.lambda_1 = cell.lambda_1;
    point.verdict = cell.verdict;
    // The flags as one text, joined as the CSV writes them.
    if (cell.flags != 0) {
        point.flags.push_back(flag_texts_[cell.flags]);
    }
    point.mean_r = point.mean_r_error = point.lyapunov = point.lyapunov_error = nan;
    return point;
}

double SweepResults::lambda(int boundary, std::int64_t index) const {
    const Cell& cell = cells_[static_cast<std::size_t>(index)];
    return boundary == 0 ? cell.lambda_0 : cell.lambda_1;
}

int SweepResults::row_count(LineRows rows) const {
    if (!line()) {
        return static_cast<int>(settings_.axes[1].count);
    }
    if (!has_runs()) {
        return 1;
    }
    return rows == LineRows::r ? settings_.run.bins : sweep::log_odds_rows;
}

const std::vector<double>& SweepResults::column(std::int64_t index, LineRows rows) const {
    const sweep::PointResult& point = runs_[static_cast<std::size_t>(index)];
    return rows == LineRows::r ? point.density : point.log_odds;
}

SweepRaster SweepResults::blank_raster(LineRows rows) const {
    SweepRaster raster;
    if (empty()) {
        return raster;
    }
    raster.width = static_cast<int>(settings_.axes[0].count);
    raster.height = row_count(rows);
    raster.pixels.assign(
        static_cast<std::size_t>(raster.width) * static_cast<std::size_t>(raster.height),
        pending_colour);
    return raster;
}

void SweepResults::paint(SweepRaster& raster, LineRows rows, std::int64_t first,
                         std::int64_t last) const {
    last = std::min(last, done());
    for (std::int64_t i = std::max<std::int64_t>(first, 0); i < last; ++i) {
        if (!line()) {
            const std::int64_t inner = settings_.axes[1].count;
            raster.at(static_cast<int>(i / inner),
                      raster.height - 1 - static_cast<int>(i % inner)) =
                verdict_colour(cells_[static_cast<std::size_t>(i)].verdict);
            continue;
        }
        const int x = static_cast<int>(i);
        if (!has_runs()) {
            raster.at(x, 0) = verdict_colour(cells_[static_cast<std::size_t>(i)].verdict);
            continue;
        }
        const std::vector<double>& values = column(i, rows);
        const double highest = values.empty() ? 0 : *std::max_element(values.begin(), values.end());
        for (int row = 0; row < raster.height; ++row) {
            const auto r = static_cast<std::size_t>(row);
            // A run that stopped early, or a point whose values had no finite renormalisation,
            // has no density.
            raster.at(x, raster.height - 1 - row) =
                r < values.size() && std::isfinite(values[r]) && highest > 0
                    ? density_colour(values[r] / highest)
                    : no_run_colour;
        }
    }
}

std::optional<SweepResults::Place> SweepResults::place_at(double across, double down,
                                                          LineRows rows) const {
    if (empty() || !(across >= 0 && across < 1 && down >= 0 && down < 1)) {
        return std::nullopt;
    }
    const std::int64_t columns = settings_.axes[0].count;
    const auto [first_row, last_row] = shown_rows(rows);
    const auto column =
        std::min(static_cast<std::int64_t>(across * static_cast<double>(columns)), columns - 1);
    const int row =
        std::min(first_row + static_cast<int>((1 - down) * (last_row - first_row)), last_row - 1);
    if (line()) {
        return Place{column, row};
    }
    return Place{column * settings_.axes[1].count + row, 0};
}

std::string SweepResults::point_text(const Place& place, LineRows rows) const {
    if (place.index < 0 || place.index >= size_) {
        return {};
    }
    std::string text;
    const auto values = this->values(place.index);
    for (const auto& [name, value] : values) {
        text +=
            (text.empty() ? "" : ", ") + sweep::parameter_name_text(name) + " = " + figure(value);
    }
    if (place.index >= done()) {
        return text + ": not computed yet";
    }
    const sweep::PointResult p = point(place.index);
    const std::string flags = sweep::flags_text(p);
    const std::string flagged = flags.empty() ? "" : "; flags: " + flags;
    if (!p.applied) {
        return text + ": " + std::string(analysis::verdict_text(p.verdict)) + flagged;
    }
    return text + ": " + figures_text(p, place, rows) + flagged;
}

std::string SweepResults::figures_text(const sweep::PointResult& p, const Place& place,
                                       LineRows rows) const {
    std::string text = "Lambda_0 = " + figure(p.lambda_0) + ", Lambda_1 = " + figure(p.lambda_1) +
                       ", " + std::string(analysis::verdict_text(p.verdict));
    if (!has_runs()) {
        return text;
    }
    if (std::isnan(p.mean_r)) {
        return text + "; the run did not finish";
    }
    text += "; mean r = " + figure(p.mean_r) + " +- " + figure(p.mean_r_error) +
            ", Lyapunov = " + figure(p.lyapunov) + " +- " + figure(p.lyapunov_error);
    const std::vector<double>& values_in_rows = column(place.index, rows);
    const auto row = static_cast<std::size_t>(place.row);
    if (row >= values_in_rows.size()) {
        return text;
    }
    const std::string range = "[" + figure(row_edge(place.row, rows)) + ", " +
                              figure(row_edge(place.row + 1, rows)) + ")";
    if (rows == LineRows::r) {
        return text + "; density " + figure(values_in_rows[row]) + " for r in " + range;
    }
    return text + "; " + figure(100 * values_in_rows[row]) + "% of the points have log-odds in " +
           range;
}

std::array<std::optional<double>, 2> SweepResults::marks(const model::ModelState& model) const {
    std::array<std::optional<double>, 2> marks;
    for (std::size_t a = 0; a < settings_.axes.size(); ++a) {
        const sweep::Axis& axis = settings_.axes[a];
        if (!sweep::missing_parameter(model, axis.name).empty()) {
            continue;
        }
        const double value = sweep::parameter_value(model, axis.name);
        if ((axis.count == 1 || axis.to == axis.from) && value != axis.from) {
            continue;
        }
        const double place = axis_place(axis, value);
        if (place >= 0 && place <= 1) {
            marks[a] = place;
        }
    }
    return marks;
}

std::vector<std::pair<sweep::ParameterName, double>> SweepResults::values(
    std::int64_t index) const {
    std::vector<std::pair<ParameterName, double>> values;
    if (line()) {
        values.emplace_back(settings_.axes[0].name, settings_.axes[0].value(index));
    } else if (!empty()) {
        const std::int64_t inner = settings_.axes[1].count;
        values.emplace_back(settings_.axes[0].name, settings_.axes[0].value(index / inner));
        values.emplace_back(settings_.axes[1].name, settings_.axes[1].value(index % inner));
    }
    return values;
}

std::string SweepResults::csv() const {
    if (!complete()) {
        return {};
    }
    std::string text = sweep::header_line(settings_);
    for (std::int64_t i = 0; i < size_; ++i) {
        text += sweep::row_line(settings_, point(i));
    }
    return text;
}

std::string SweepResults::settings_json() const {
    return complete() ? sweep::settings_json(parameters_, settings_, 0, size_) : std::string();
}

}  // namespace quobel::windows
