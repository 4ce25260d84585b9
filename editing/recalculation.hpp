// "Recalculate !!!": apply the pending edits and renormalise every parameter vector to sum 1.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "editing/fields.hpp"
#include "editing/pending_edits.hpp"
#include "model/model_state.hpp"

namespace quobel::editing {

// The components of one parameter vector: a stock row (up to max_stocks) or prob (up to max_maps).
struct ParameterVector {
    std::array<double, model::max_stocks> values{};
    std::size_t size = 0;
    std::span<const double> components() const { return std::span(values).first(size); }
};
static_assert(model::max_maps <= model::max_stocks);

// One vector x(1..n) with its pending values p and flags f: edited components take their pending
// values, untouched ones share 1 - E in proportion, then the vector is divided by its sum. Nothing
// when a division has no finite outcome (all untouched components 0, or edited values summing to
// 0): the vector is then left as it is.
std::optional<ParameterVector> renormalised(std::span<const double> x, std::span<const double> p,
                                            std::span<const std::int16_t> f);

// Why renormalised(x, p, f) gives nothing.
enum class NoRenormalisation {
    untouched_sum_to_0,  // there are untouched components, and they add up to 0
    edited_sum_to_0,     // every component is edited, and the edits add up to 0
    not_finite,          // a component or a sum beyond the doubles, or not a number
};
// Only meaningful where renormalised gives nothing.
NoRenormalisation why_not_renormalised(std::span<const double> x, std::span<const double> p,
                                       std::span<const std::int16_t> f);

// The ten vectors in the order R, la1, la2 of maps 1, 2, 3, then prob over maps 1..num_maps, each
// renormalised and its fields F(0..) rewritten in "0.000" (only the elements the window has); then
// the flags of the maps in use are cleared and the stock averages refreshed.
void recalculate(model::ModelState& model, PendingEdits& pending, FieldWriter& window);

// Stores one component of a stock vector as recalculation does: in double precision.
void set_component(model::ModelState& m, Parameter p, int s, int k, double value);

// Shows the average payoff share of each stock under prob, sum over s of prob(s) R(s,k), in
// Label14, for the stocks the window shows.
void show_stock_averages(const model::ModelState& model, FieldWriter& window);

}  // namespace quobel::editing
