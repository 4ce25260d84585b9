// Pictures written to files.
#include "windows/qt/image_export.hpp"

#include <QBuffer>
#include <QFile>
#include <QPainter>
#include <QRect>
#include <QSvgGenerator>
#include <string_view>

namespace quobel::windows::qt {

std::optional<QByteArray> png_bytes(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG")) {
        return std::nullopt;
    }
    return bytes;
}

QByteArray svg_bytes(QSize size, const QString& title,
                     const std::function<void(QPainter&)>& paint) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QSvgGenerator generator;
    generator.setOutputDevice(&buffer);
    generator.setSize(size);
    generator.setViewBox(QRect(QPoint(0, 0), size));
    generator.setTitle(title);
    {
        QPainter painter(&generator);
        paint(painter);
    }
    return bytes;
}

storage::FileOutcome save_image_bytes(const QString& name, const QByteArray& bytes) {
    return storage::replace_file(
        QFile::encodeName(name).toStdString(),
        std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

}  // namespace quobel::windows::qt
