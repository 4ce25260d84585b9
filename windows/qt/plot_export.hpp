// Writing the plot's picture to a PNG file, enlarged pixel by pixel.
#pragma once

#include <QImage>
#include <QString>
#include <array>

#include "storage/text_file.hpp"

namespace quobel::windows::qt {

// The scales the export dialog offers; 1 is the plot's resolution on the screen.
inline constexpr std::array plot_export_scales{1, 2, 4};
inline constexpr int largest_plot_export_scale = 8;

// The picture with every pixel repeated as a block of scale x scale pixels: no pixel takes a
// colour between two others, so every line keeps the exact colour of its palette entry.
QImage enlarged(const QImage& picture, int scale);

// Saves the picture at `scale` times its resolution; the outcome says why it failed.
// Saved safely, as storage::replace_file (storage/text_file.hpp) says.
storage::FileOutcome export_plot_png(const QImage& picture, const QString& name, int scale);

}  // namespace quobel::windows::qt
