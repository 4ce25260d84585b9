// Pictures written to files: a PNG from pixels or an SVG from painting, through the same safe
// replacement as every other file the program writes.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>
#include <functional>
#include <optional>

#include "storage/text_file.hpp"

class QPainter;

namespace quobel::windows::qt {

// The image encoded as PNG; empty when it cannot be encoded.
std::optional<QByteArray> png_bytes(const QImage& image);

// An SVG document of `size`, titled `title`, drawn by `paint`.
QByteArray svg_bytes(QSize size, const QString& title, const std::function<void(QPainter&)>& paint);

// Saves `bytes` as the file `name` safely, as storage::replace_file (storage/text_file.hpp) says.
storage::FileOutcome save_image_bytes(const QString& name, const QByteArray& bytes);

}  // namespace quobel::windows::qt
