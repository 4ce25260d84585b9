// Helpers of the Qt window tests and benchmarks: typing as a user does, reading the plot's pixels,
// counting repaints.
#pragma once

#include <QColor>
#include <QEvent>
#include <QImage>
#include <QLineEdit>
#include <QTest>
#include <cmath>
#include <memory>

#include "plot/plot_surface.hpp"
#include "windows/qt/plot_picture.hpp"
#include "windows/qt/qt_window_system.hpp"

namespace quobel::windows::qt::testing {

// Selects the whole text of a field and types over it, keystroke by keystroke.
inline void type_over(QLineEdit* field, const QString& text) {
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(field, text);
}

inline QColor palette_colour(plot::PaletteColour colour) {
    const plot::Rgb rgb = plot::palette_rgb(colour);
    return {rgb.red, rgb.green, rgb.blue};
}

// The pixel that shows a world point of the unit square.
inline QPoint pixel_at(const PlotPicture& plot, double x, double y) {
    const QPointF p = plot.to_pixel(x, y);
    return {static_cast<int>(std::floor(p.x())), static_cast<int>(std::floor(p.y()))};
}

inline QColor colour_at(PlotPicture& plot, double x, double y) {
    return plot.image().pixelColor(pixel_at(plot, x, y));
}

// Counts the paint events of the widgets it is installed on.
class PaintCounter final : public QObject {
  public:
    long paints = 0;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        paints += event->type() == QEvent::Paint ? 1 : 0;
        return QObject::eventFilter(watched, event);
    }
};

// A started program whose main window is on the screen.
inline std::unique_ptr<QtProgram> started_program() {
    auto program = std::make_unique<QtProgram>();
    program->events.start_up();
    if (!QTest::qWaitForWindowExposed(program->windows.form1())) {
        qWarning("the main window was never exposed");
    }
    return program;
}

}  // namespace quobel::windows::qt::testing
