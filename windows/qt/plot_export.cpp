// Writing the plot's picture to a PNG file.
#include "windows/qt/plot_export.hpp"

#include <optional>
#include <string>

#include "windows/exports.hpp"
#include "windows/qt/image_export.hpp"

namespace quobel::windows::qt {

QImage enlarged(const QImage& picture, int scale) {
    QImage source = picture.convertToFormat(QImage::Format_RGB32);
    if (scale == 1) {
        return source;
    }
    QImage image(source.width() * scale, source.height() * scale, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        const auto* from = reinterpret_cast<const QRgb*>(source.constScanLine(y / scale));
        auto* to = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            to[x] = from[x / scale];
        }
    }
    return image;
}

storage::FileOutcome export_plot_png(const QImage& picture, const QString& name, int scale) {
    if (picture.isNull()) {
        return {false, "There is no picture of the plot to export."};
    }
    if (scale < 1 || scale > largest_plot_export_scale) {
        return {false, "The plot cannot be exported at the scale " + std::to_string(scale) +
                           ": the scale goes from 1 to " +
                           std::to_string(largest_plot_export_scale) + "."};
    }
    const std::string refusal = image_size_refusal(static_cast<double>(picture.width()) * scale,
                                                   static_cast<double>(picture.height()) * scale);
    if (!refusal.empty()) {
        return {false, refusal};
    }
    const std::optional<QByteArray> bytes = png_bytes(enlarged(picture, scale));
    if (!bytes) {
        return {false, "The picture of the plot could not be turned into a PNG image."};
    }
    return save_image_bytes(name, *bytes);
}

}  // namespace quobel::windows::qt
