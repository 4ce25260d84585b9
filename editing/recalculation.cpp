// Recalculation: pending edits into the model, every parameter vector back to sum 1.
#include "editing/recalculation.hpp"

#include <algorithm>
#include <array>
#include <cmath>

#include "model/number_text.hpp"

namespace quobel::editing {

using windows::Field;
using windows::MainWindowOps;
using windows::Parameter;

bool renormalise(std::span<double> x, std::span<const double> p, std::span<const std::int16_t> f,
                 MainWindowOps& window, Field field) {
    // Work on a copy so that a vector without a finite outcome is left exactly as it was.
    const std::size_t n = x.size();
    std::array<double, model::max_stocks> y{};
    std::copy(x.begin(), x.end(), y.begin());
    double edited_sum = 0;  // E
    for (std::size_t j = 0; j < n; ++j) {
        if (f[j] == 1) {
            y[j] = p[j];
            edited_sum += p[j];
        }
    }
    double untouched_sum = 0;  // U
    for (std::size_t j = 0; j < n; ++j) {
        if (f[j] == 0) {
            untouched_sum += y[j];
        }
    }
    for (std::size_t j = 0; j < n; ++j) {
        if (f[j] == 0) {
            y[j] = y[j] * (1 - edited_sum) / untouched_sum;
        }
    }
    double total = 0;  // T
    for (std::size_t j = 0; j < n; ++j) {
        total += y[j];
    }
    for (std::size_t j = 0; j < n; ++j) {
        y[j] = y[j] / total;
    }
    if (!std::all_of(y.begin(), y.begin() + static_cast<std::ptrdiff_t>(n),
                     [](double v) { return std::isfinite(v); })) {
        return false;
    }
    std::copy(y.begin(), y.begin() + static_cast<std::ptrdiff_t>(n), x.begin());
    const int shown = std::min(static_cast<int>(n), windows::field_elements(field));
    for (int i = 0; i < shown; ++i) {
        window.set_field_text(field, i, model::three_decimals_text(x[static_cast<std::size_t>(i)]));
    }
    return true;
}

namespace {

// Copies of one map's row of a pending table, as spans for renormalise.
template <class T>
std::array<T, model::max_stocks> row_of(const model::MapStockTable<T>& table, int s) {
    return table.row(s);
}

void renormalise_cells(model::MapStockTable<model::RealCell>& cells, int s, int stocks,
                       const model::MapStockTable<double>& values,
                       const model::MapStockTable<std::int16_t>& flags, MainWindowOps& window,
                       Field field) {
    std::array<double, model::max_stocks> x{};
    for (int k = 1; k <= stocks; ++k) {
        x[static_cast<std::size_t>(k - 1)] = cells(s, k).value();
    }
    const auto p = row_of(values, s);
    const auto f = row_of(flags, s);
    const auto n = static_cast<std::size_t>(stocks);
    if (renormalise(std::span(x).first(n), std::span(p).first(n), std::span(f).first(n), window,
                    field)) {
        for (int k = 1; k <= stocks; ++k) {
            cells(s, k) = model::RealCell::of_double(x[static_cast<std::size_t>(k - 1)]);
        }
    }
}

}  // namespace

void show_stock_averages(const model::ModelState& model, MainWindowOps& window) {
    const int stocks = std::min(model.stocks_in_tables(), windows::window_stocks);
    const int maps = model.maps_in_tables();
    for (int k = 1; k <= stocks; ++k) {
        double average = 0;
        for (int s = 1; s <= maps; ++s) {
            average += model.prob(s) * model.R(s, k).value();
        }
        window.set_label_caption(k - 1, model::three_decimals_text(average));
    }
}

void recalculate(model::ModelState& model, PendingEdits& pending, MainWindowOps& window) {
    // The vectors have as many components as the tables hold; only the fields that exist are
    // rewritten.
    const int stocks = model.stocks_in_tables();
    const int maps = model.maps_in_tables();
    for (int s = 1; s <= windows::window_maps; ++s) {
        renormalise_cells(model.R, s, stocks, pending.new_R, pending.edited_R, window,
                          windows::stock_field(Parameter::R, s));
        renormalise_cells(model.la1, s, stocks, pending.new_la1, pending.edited_la1, window,
                          windows::stock_field(Parameter::la1, s));
        std::array<double, model::max_stocks> la2 = model.la2.row(s);
        const auto p = row_of(pending.new_la2, s);
        const auto f = row_of(pending.edited_la2, s);
        const auto n = static_cast<std::size_t>(stocks);
        if (renormalise(std::span(la2).first(n), std::span(p).first(n), std::span(f).first(n),
                        window, windows::stock_field(Parameter::la2, s))) {
            for (int k = 1; k <= stocks; ++k) {
                model.la2(s, k) = la2[static_cast<std::size_t>(k - 1)];
            }
        }
    }
    std::array<double, model::max_maps> prob{}, new_prob{};
    std::array<std::int16_t, model::max_maps> edited_prob{};
    for (int s = 1; s <= maps; ++s) {
        prob[static_cast<std::size_t>(s - 1)] = model.prob(s);
        new_prob[static_cast<std::size_t>(s - 1)] = pending.new_prob(s);
        edited_prob[static_cast<std::size_t>(s - 1)] = pending.edited_prob(s);
    }
    const auto m = static_cast<std::size_t>(maps);
    if (renormalise(std::span(prob).first(m), std::span(new_prob).first(m),
                    std::span(edited_prob).first(m), window, Field::Text8)) {
        for (int s = 1; s <= maps; ++s) {
            model.prob(s) = prob[static_cast<std::size_t>(s - 1)];
        }
    }
    pending.clear_flags(maps, stocks);
    show_stock_averages(model, window);
}

}  // namespace quobel::editing
