// The cobweb of the random iteration.
#include "plot/cobweb.hpp"

namespace quobel::plot {

void draw_start_point(PlotSurface& surface, float r) {
    surface.draw_point(r, r, cobweb_colour);
}

}  // namespace quobel::plot
