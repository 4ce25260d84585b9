// The drawing surface of the plot, seen through world coordinates, and its palette.
#pragma once

#include <cmath>
#include <cstdint>

namespace quobel::plot {

// An index into the standard 16-colour palette; only the colours the program draws with are named.
enum class PaletteColour : std::uint8_t {
    black = 0,
    light_grey = 7,
    light_green = 10,
    light_cyan = 11,
    light_magenta = 13,
    light_yellow = 14,
    white = 15,
};

struct Rgb {
    std::uint8_t red, green, blue;
    friend constexpr bool operator==(Rgb, Rgb) = default;
};

// The 16 colours in their usual order: dark ones, then light grey, dark grey and the bright ones.
constexpr Rgb palette_rgb(PaletteColour colour) {
    constexpr Rgb table[16] = {{0, 0, 0},       {0, 0, 128},   {0, 128, 0},   {0, 128, 128},
                               {128, 0, 0},     {128, 0, 128}, {128, 128, 0}, {192, 192, 192},
                               {128, 128, 128}, {0, 0, 255},   {0, 255, 0},   {0, 255, 255},
                               {255, 0, 0},     {255, 0, 255}, {255, 255, 0}, {255, 255, 255}};
    return table[static_cast<int>(colour) & 15];
}

// The square plot. The world window is set once per load of the main window; drawing accumulates
// until the next clear. A mouse button going down on the surface is not an operation but an event:
// the toolkit binding (or a test's stand-in) routes it to the window logic with world coordinates.
class PlotSurface {
  public:
    virtual void set_world_window(double left, double top, double right, double bottom) = 0;
    virtual void clear() = 0;
    virtual void draw_line(float x1, float y1, float x2, float y2, PaletteColour colour) = 0;
    virtual void draw_point(float x, float y, PaletteColour colour) = 0;

  protected:
    PlotSurface() = default;
    PlotSurface(const PlotSurface&) = default;
    PlotSurface& operator=(const PlotSurface&) = default;
    ~PlotSurface() = default;
};

// The model computes in double precision and the surface takes single precision. A segment with an
// end that is not finite in single precision cannot be drawn, so it is left out; returns whether
// it was drawn.
inline bool draw_finite_line(PlotSurface& surface, double x1, double y1, double x2, double y2,
                             PaletteColour colour) {
    const float fx1 = static_cast<float>(x1), fy1 = static_cast<float>(y1);
    const float fx2 = static_cast<float>(x2), fy2 = static_cast<float>(y2);
    if (!std::isfinite(fx1) || !std::isfinite(fy1) || !std::isfinite(fx2) || !std::isfinite(fy2)) {
        return false;
    }
    surface.draw_line(fx1, fy1, fx2, fy2, colour);
    return true;
}

// The world window of the plot: the unit square with a margin of 0.005 on every side.
inline constexpr double world_left = -0.005;
inline constexpr double world_top = 1.005;
inline constexpr double world_right = 1.005;
inline constexpr double world_bottom = -0.005;

}  // namespace quobel::plot
