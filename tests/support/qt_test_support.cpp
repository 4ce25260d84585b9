// Helpers of the Qt window tests and benchmarks.
#include "support/qt_test_support.hpp"

#include <QTest>
#include <cmath>

namespace quobel::windows::qt::testing {

void type_over(QLineEdit* field, const QString& text) {
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(field, text);
}

QColor palette_colour(plot::PaletteColour colour) {
    const plot::Rgb rgb = plot::palette_rgb(colour);
    return {rgb.red, rgb.green, rgb.blue};
}

QPoint pixel_at(const PlotPicture& plot, double x, double y) {
    const QPointF p = plot.to_pixel(x, y);
    return {static_cast<int>(std::floor(p.x())), static_cast<int>(std::floor(p.y()))};
}

QColor colour_at(PlotPicture& plot, double x, double y) {
    return plot.image().pixelColor(pixel_at(plot, x, y));
}

std::unique_ptr<QtProgram> started_program() {
    auto program = std::make_unique<QtProgram>();
    program->events.start_up();
    if (!QTest::qWaitForWindowExposed(program->windows.form1())) {
        qWarning("the main window was never exposed");
    }
    return program;
}

}  // namespace quobel::windows::qt::testing
