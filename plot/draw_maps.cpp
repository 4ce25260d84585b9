// The graphs of the maps on the plot.
#include "plot/draw_maps.hpp"

#include "model/iteration.hpp"
#include "model/maps.hpp"

namespace quobel::plot {

PaletteColour map_colour(int s) {
    switch (s) {
        case 1:
            return PaletteColour::light_yellow;
        case 2:
            return PaletteColour::light_green;
        default:
            return PaletteColour::light_cyan;
    }
}

void draw_maps(const model::ModelState& model, PlotSurface& surface) {
    constexpr auto grey = PaletteColour::light_grey;
    surface.clear();
    surface.draw_line(0, 0, 0, 1, grey);
    surface.draw_line(0, 1, 1, 1, grey);
    surface.draw_line(1, 1, 1, 0, grey);
    surface.draw_line(1, 0, 0, 0, grey);
    surface.draw_line(0, 0, 1, 1, grey);

    const int maps = model::maps_drawn(model);
    if (maps == 0) {
        return;
    }
    // Each segment evaluates both of its ends, interleaving the maps segment by segment.
    const int points = model.num_points;
    for (int j = 1; j <= points; ++j) {
        const double xa = model.grid_step * (j - 1);
        const double xb = model.grid_step * j;
        for (int s = 1; s <= maps; ++s) {
            draw_finite_line(surface, xa, model::tau(model, s, xa), xb, model::tau(model, s, xb),
                             map_colour(s));
        }
    }
    // The closing segment makes every graph end at exactly r = 1.
    const double xc = model.grid_step * (points - 1);
    for (int s = 1; s <= maps; ++s) {
        draw_finite_line(surface, xc, model::tau(model, s, xc), 1, model::tau(model, s, 1),
                         map_colour(s));
    }
}

}  // namespace quobel::plot
