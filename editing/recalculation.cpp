// Recalculation: pending edits into the model, every parameter vector back to sum 1.
#include "editing/recalculation.hpp"

#include <algorithm>
#include <array>
#include <cmath>

#include "model/number_text.hpp"

namespace quobel::editing {

std::optional<ParameterVector> renormalised(std::span<const double> x, std::span<const double> p,
                                            std::span<const std::int16_t> f) {
    const std::size_t n = x.size();
    ParameterVector y;
    y.size = n;
    std::copy(x.begin(), x.end(), y.values.begin());
    double edited_sum = 0;  // E
    for (std::size_t j = 0; j < n; ++j) {
        if (f[j] == 1) {
            y.values[j] = p[j];
            edited_sum += p[j];
        }
    }
    double untouched_sum = 0;  // U
    for (std::size_t j = 0; j < n; ++j) {
        if (f[j] == 0) {
            untouched_sum += y.values[j];
        }
    }
    for (std::size_t j = 0; j < n; ++j) {
        if (f[j] == 0) {
            y.values[j] = y.values[j] * (1 - edited_sum) / untouched_sum;
        }
    }
    double total = 0;  // T
    for (std::size_t j = 0; j < n; ++j) {
        total += y.values[j];
    }
    for (std::size_t j = 0; j < n; ++j) {
        y.values[j] = y.values[j] / total;
    }
    const auto components = y.components();
    if (!std::all_of(components.begin(), components.end(),
                     [](double v) { return std::isfinite(v); })) {
        return std::nullopt;
    }
    return y;
}

NoRenormalisation why_not_renormalised(std::span<const double> x, std::span<const double> p,
                                       std::span<const std::int16_t> f) {
    double edited_sum = 0;
    double untouched_sum = 0;
    bool untouched = false;
    for (std::size_t j = 0; j < x.size(); ++j) {
        if (f[j] == 1) {
            edited_sum += p[j];
        } else if (f[j] == 0) {
            untouched = true;
            untouched_sum += x[j];
        }
    }
    // The first division of renormalised is by the untouched sum; without untouched components
    // the second is by the sum of the edits.
    if (untouched && untouched_sum == 0) {
        return NoRenormalisation::untouched_sum_to_0;
    }
    if (!untouched && edited_sum == 0) {
        return NoRenormalisation::edited_sum_to_0;
    }
    return NoRenormalisation::not_finite;
}

namespace {

// Renormalises the vector whose n components `get` reads from the model, shows the outcome in its
// fields and stores it through `set`; false when the vector was left as it was.
template <class Get, class Set>
bool renormalise_in_model(int n, Get get, Set set, std::span<const double> p,
                          std::span<const std::int16_t> f, FieldWriter& window, Field field) {
    std::array<double, model::max_stocks> x{};
    const auto size = static_cast<std::size_t>(n);
    for (std::size_t j = 0; j < size; ++j) {
        x[j] = get(static_cast<int>(j) + 1);
    }
    const auto y = renormalised(std::span(x).first(size), p.first(size), f.first(size));
    if (!y) {
        return false;
    }
    const int shown = std::min(n, field_elements(field));
    for (int i = 0; i < shown; ++i) {
        window.set_field_text(field, i,
                              model::three_decimals_text(y->values[static_cast<std::size_t>(i)]));
    }
    for (std::size_t j = 0; j < size; ++j) {
        set(static_cast<int>(j) + 1, y->values[j]);
    }
    return true;
}

double component(const model::ModelState& m, Parameter p, int s, int k) {
    switch (p) {
        case Parameter::R:
            return m.R(s, k).value();
        case Parameter::la1:
            return m.la1(s, k).value();
        case Parameter::la2:
            break;
    }
    return m.la2(s, k);
}

const char* parameter_name(Parameter p) {
    return p == Parameter::R ? "R" : p == Parameter::la1 ? "la1" : "la2";
}

}  // namespace

void set_component(model::ModelState& m, Parameter p, int s, int k, double value) {
    switch (p) {
        case Parameter::R:
            m.R(s, k) = model::RealCell::of_double(value);
            return;
        case Parameter::la1:
            m.la1(s, k) = model::RealCell::of_double(value);
            return;
        case Parameter::la2:
            m.la2(s, k) = value;
            return;
    }
}

void show_stock_averages(const model::ModelState& model, FieldWriter& window) {
    const int stocks = std::min(model.stocks_in_tables(), window_stocks);
    const int maps = model.maps_in_tables();
    for (int k = 1; k <= stocks; ++k) {
        double average = 0;
        for (int s = 1; s <= maps; ++s) {
            average += model.prob(s) * model.R(s, k).value();
        }
        window.set_label_caption(k - 1, model::three_decimals_text(average));
    }
}

void recalculate(model::ModelState& model, PendingEdits& pending, FieldWriter& window) {
    window.show_notice("");
    // The vectors have as many components as the tables hold; only the fields that exist are
    // rewritten. Each vector's rewrite records into its own pending row only, so the state
    // before the run serves every vector.
    const int stocks = model.stocks_in_tables();
    const int maps = model.maps_in_tables();
    const PendingEdits before = pending;
    PendingEdits kept;  // the flags of the vectors left as typed, which stay pending
    std::string left_as_typed;
    const auto keep = [&left_as_typed](const std::string& name) {
        left_as_typed += (left_as_typed.empty() ? "" : ", ") + name;
    };
    for (int s = 1; s <= window_maps; ++s) {
        for (Parameter p : {Parameter::R, Parameter::la1, Parameter::la2}) {
            const bool done = renormalise_in_model(
                stocks, [&](int k) { return component(model, p, s, k); },
                [&](int k, double v) { set_component(model, p, s, k, v); }, before.values(p).row(s),
                before.flags(p).row(s), window, stock_field(p, s));
            if (!done) {
                keep(std::string(parameter_name(p)) + " of map " + std::to_string(s));
                for (int k = 1; k <= stocks; ++k) {
                    kept.flags(p)(s, k) = before.flags(p)(s, k);
                }
            }
        }
    }
    const bool prob_done = renormalise_in_model(
        maps, [&](int s) { return model.prob(s); }, [&](int s, double v) { model.prob(s) = v; },
        before.new_prob.all(), before.edited_prob.all(), window, Field::Text8);
    if (!prob_done) {
        keep("prob");
        for (int s = 1; s <= maps; ++s) {
            kept.edited_prob(s) = before.edited_prob(s);
        }
    }
    pending.clear_flags(maps, stocks);
    // A vector left as it was keeps its edits pending, so its fields still say what will apply.
    for (int s = 1; s <= maps; ++s) {
        pending.edited_prob(s) |= kept.edited_prob(s);
        for (int k = 1; k <= stocks; ++k) {
            for (Parameter p : {Parameter::R, Parameter::la1, Parameter::la2}) {
                pending.flags(p)(s, k) |= kept.flags(p)(s, k);
            }
        }
    }
    show_stock_averages(model, window);
    if (!left_as_typed.empty()) {
        window.show_notice("Not applied, still pending: " + left_as_typed +
                           " (the values sum to 0 or cannot be rescaled to sum 1).");
    }
}

}  // namespace quobel::editing
