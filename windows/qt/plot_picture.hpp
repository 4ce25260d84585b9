// Picture2, the plot: a retained image of all drawing since the last clear, seen through world
// coordinates.
#pragma once

#include <QImage>
#include <QPainter>
#include <QPointF>
#include <QRect>
#include <QSize>
#include <QWidget>
#include <optional>

#include "plot/plot_surface.hpp"

namespace quobel::windows::qt {

// Drawing goes into the image through one painter that stays open for a whole burst of drawing
// (a run of 10000 steps is 20000 segments); when control returns to the event loop the painter is
// closed and the changed part of the widget is repainted once.
class PlotPicture final : public QWidget, public plot::PlotSurface {
    Q_OBJECT

  public:
    PlotPicture(QSize size, QWidget* parent);
    ~PlotPicture() override;
    PlotPicture(const PlotPicture&) = delete;
    PlotPicture& operator=(const PlotPicture&) = delete;

    void set_world_window(double left, double top, double right, double bottom) override;
    void clear() override;
    void draw_line(float x1, float y1, float x2, float y2, plot::PaletteColour colour) override;
    void draw_point(float x, float y, plot::PaletteColour colour) override;

    // The picture with every drawing so far in it.
    const QImage& image();
    // The pixel that shows a world point (it may lie outside the picture).
    QPointF to_pixel(double x, double y) const;
    // The world point at the middle of the pixel under a widget position.
    QPointF to_world(QPointF position) const;

  signals:
    // A mouse button went down on the plot at this world point.
    void pressed(double x, double y);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    QPainter& painter_for(plot::PaletteColour colour);
    void finish_drawing();

    QImage image_;
    QPainter painter_;  // open on image_ during a burst of drawing
    std::optional<plot::PaletteColour> pen_;
    QRect dirty_;  // drawn since the last repaint request
    double left_ = plot::world_left, top_ = plot::world_top;
    double right_ = plot::world_right, bottom_ = plot::world_bottom;
};

}  // namespace quobel::windows::qt
