// The cobweb of the random iteration on the plot: the start point and the two segments of a step.
#pragma once

#include "plot/plot_surface.hpp"

namespace quobel::plot {

inline constexpr PaletteColour cobweb_colour = PaletteColour::light_magenta;

// The start point, marked on the diagonal.
void draw_start_point(PlotSurface& surface, float r);

// One step from `from` to `to`: from the diagonal to the graph of the map, then across to the
// diagonal. A segment that cannot be drawn in single precision is left out.
void draw_cobweb_step(PlotSurface& surface, double from, double to);

}  // namespace quobel::plot
