// "Recalculate !!!": apply the pending edits and renormalise every parameter vector to sum 1.
#pragma once

#include <span>

#include "editing/fields.hpp"
#include "editing/pending_edits.hpp"
#include "model/model_state.hpp"

namespace quobel::editing {

// One vector x(1..n) with its pending values p and flags f: edited components take their pending
// values, untouched ones share 1 - E in proportion, then the vector is divided by its sum and its
// fields F(0..) are rewritten in "0.000" (only the elements the window has). When a division has
// no finite outcome (all untouched components 0, or edited values summing to 0) the vector and its
// fields are left as they are; returns whether the vector was changed.
bool renormalise(std::span<double> x, std::span<const double> p, std::span<const std::int16_t> f,
                 FieldWriter& window, Field field);

// The ten vectors in the order R, la1, la2 of maps 1, 2, 3, then prob over maps 1..num_maps; then
// the flags of the maps in use are cleared and the stock averages refreshed.
void recalculate(model::ModelState& model, PendingEdits& pending, FieldWriter& window);

// Stores one component of a stock vector as recalculation does: in double precision.
void set_component(model::ModelState& m, Parameter p, int s, int k, double value);

// Shows the average payoff share of each stock under prob, sum over s of prob(s) R(s,k), in
// Label14, for the stocks the window shows.
void show_stock_averages(const model::ModelState& model, FieldWriter& window);

}  // namespace quobel::editing
