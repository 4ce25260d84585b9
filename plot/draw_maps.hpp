// The graphs of the maps on the plot ("GO !!!").
#pragma once

#include "model/model_state.hpp"
#include "plot/plot_surface.hpp"

namespace quobel::plot {

// Light yellow, light green and light cyan for maps 1, 2 and 3, as the map blocks of the window.
PaletteColour map_colour(int s);

// Clears the plot and draws the frame of the unit square, the diagonal and, when the map count is
// 1, 2 or 3, the graph of each map as num_points segments plus a closing one that ends at r = 1.
// A segment with an end at which a map has no finite value is left out.
void draw_maps(const model::ModelState& model, PlotSurface& surface);

}  // namespace quobel::plot
