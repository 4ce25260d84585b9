// Renders the SVG icon into the PNG sizes of the hicolor icon theme, at build time.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <QTextStream>

// Usage: render_icon ICON.svg FOLDER SIZE...; writes FOLDER/<SIZE>x<SIZE>/apps/quobel.png.
int main(int argc, char** argv) {
    QGuiApplication application(argc, argv);
    QTextStream errors(stderr);
    const QStringList arguments = QGuiApplication::arguments();
    if (arguments.size() < 4) {
        errors << "usage: render_icon ICON.svg OUTPUT_FOLDER SIZE...\n";
        return 2;
    }
    QSvgRenderer renderer(arguments.at(1));
    if (!renderer.isValid()) {
        errors << "cannot read the icon " << arguments.at(1) << "\n";
        return 1;
    }
    for (qsizetype i = 3; i < arguments.size(); ++i) {
        bool is_number = false;
        const int size = arguments.at(i).toInt(&is_number);
        if (!is_number || size < 1 || size > 4096) {
            errors << "not an icon size: " << arguments.at(i) << "\n";
            return 2;
        }
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            QPainter painter(&image);
            painter.setRenderHint(QPainter::Antialiasing);
            renderer.render(&painter);
        }
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(arguments.at(2)).arg(size);
        const QString file = folder + QStringLiteral("/quobel.png");
        if (!QDir().mkpath(folder) || !image.save(file, "PNG")) {
            errors << "cannot write " << file << "\n";
            return 1;
        }
    }
    return 0;
}
