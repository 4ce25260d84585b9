// The cobweb of the random iteration on the plot: the start point and the two segments of a step.
#pragma once

#include "plot/plot_surface.hpp"

namespace quobel::plot {

inline constexpr PaletteColour cobweb_colour = PaletteColour::light_magenta;

// The start point, marked on the diagonal.
void draw_start_point(PlotSurface& surface, float r);

// One step from `from` to `to`: from the diagonal to the graph of the map, then across to the
// diagonal. A segment that cannot be drawn in single precision is left out. Inline, as it runs
// 10000 times for one press of "Next 10000".
inline void draw_cobweb_step(PlotSurface& surface, double from, double to) {
    draw_finite_line(surface, from, from, from, to, cobweb_colour);
    draw_finite_line(surface, from, to, to, to, cobweb_colour);
}

}  // namespace quobel::plot
