// Helpers of the Qt window tests and benchmarks: typing as a user does, reading the plot's pixels,
// counting repaints.
#pragma once

#include <QColor>
#include <QEvent>
#include <QImage>
#include <QLineEdit>
#include <memory>

#include "plot/plot_surface.hpp"
#include "windows/qt/plot_picture.hpp"
#include "windows/qt/qt_window_system.hpp"

namespace quobel::windows::qt::testing {

// Selects the whole text of a field and types over it, keystroke by keystroke.
void type_over(QLineEdit* field, const QString& text);

QColor palette_colour(plot::PaletteColour colour);

// The pixel that shows a world point of the unit square.
QPoint pixel_at(const PlotPicture& plot, double x, double y);
QColor colour_at(PlotPicture& plot, double x, double y);

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
std::unique_ptr<QtProgram> started_program();

}  // namespace quobel::windows::qt::testing
