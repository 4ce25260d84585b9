// The cobweb of the random iteration.
#include "plot/cobweb.hpp"

namespace quobel::plot {

void draw_start_point(PlotSurface& surface, float r) {
    surface.draw_point(r, r, cobweb_colour);
}

void draw_cobweb_step(PlotSurface& surface, double from, double to) {
    draw_finite_line(surface, from, from, from, to, cobweb_colour);
    draw_finite_line(surface, from, to, to, to, cobweb_colour);
}

}  // namespace quobel::plot
