// Picture2, the plot.
#include "windows/qt/plot_picture.hpp"

#include <QMetaObject>
#include <QMouseEvent>
#include <QPaintEvent>
#include <algorithm>
#include <cmath>

namespace quobel::windows::qt {

namespace {

// A coordinate at fraction t of the way from a to b, counted from the nearer end.
double between(double a, double b, double t) {
    return t <= 0.5 ? a + t * (b - a) : b - (1 - t) * (b - a);
}

// Liang-Barsky: cuts the segment down to the part inside [0, width] x [0, height], in double
// precision. A segment may reach far outside the picture (a map value of 1e30): where it crosses
// an edge, the coordinate across that edge is set to the edge itself and only the other one is
// interpolated, from the nearer end, so that huge ends do not swamp the part that shows.
// False when no part is inside.
bool clip_to(QPointF& a, QPointF& b, double width, double height) {
    const double dx = b.x() - a.x(), dy = b.y() - a.y();
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {a.x(), width - a.x(), a.y(), height - a.y()};
    const double edge[4] = {0, width, 0, height};
    double enter = 0, leave = 1;
    int enter_edge = -1, leave_edge = -1;
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0) {
                return false;  // parallel to this edge and outside it
            }
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0 && t > enter) {
            enter = t;
            enter_edge = i;
        } else if (p[i] > 0 && t < leave) {
            leave = t;
            leave_edge = i;
        }
        if (enter > leave) {
            return false;
        }
    }
    const auto point_at = [&](double t, int crossed) {
        if (crossed < 0) {
            return t == 0 ? a : b;
        }
        if (crossed < 2) {
            return QPointF(edge[crossed], between(a.y(), b.y(), t));
        }
        return QPointF(between(a.x(), b.x(), t), edge[crossed]);
    };
    const QPointF from = point_at(enter, enter_edge), to = point_at(leave, leave_edge);
    a = from;
    b = to;
    return true;
}

bool finite(QPointF p) {
    return std::isfinite(p.x()) && std::isfinite(p.y());
}

// The pixel that holds a point of [0, width] x [0, height].
QPoint pixel_of(QPointF p, int width, int height) {
    return {std::clamp(static_cast<int>(std::floor(p.x())), 0, width - 1),
            std::clamp(static_cast<int>(std::floor(p.y())), 0, height - 1)};
}

}  // namespace

PlotPicture::PlotPicture(QSize size, QWidget* parent)
    : QWidget(parent), image_(size, QImage::Format_RGB32) {
    setFixedSize(size);
    // The picture does not depend on the widget's size, so a resize repaints only new parts.
    setAttribute(Qt::WA_StaticContents);
    setAttribute(Qt::WA_OpaquePaintEvent);
    image_.fill(Qt::black);
}

PlotPicture::~PlotPicture() {
    if (painter_.isActive()) {
        painter_.end();
    }
}

void PlotPicture::set_world_window(double left, double top, double right, double bottom) {
    left_ = left;
    top_ = top;
    right_ = right;
    bottom_ = bottom;
}

QPointF PlotPicture::to_pixel(double x, double y) const {
    return {(x - left_) / (right_ - left_) * image_.width(),
            (y - top_) / (bottom_ - top_) * image_.height()};
}

QPointF PlotPicture::to_world(QPointF position) const {
    const double u = std::floor(position.x()) + 0.5, v = std::floor(position.y()) + 0.5;
    return {left_ + u / image_.width() * (right_ - left_),
            top_ + v / image_.height() * (bottom_ - top_)};
}

QPainter& PlotPicture::painter_for(plot::PaletteColour colour) {
    if (!painter_.isActive()) {
        painter_.begin(&image_);
        pen_.reset();
        // Closed once the whole burst is drawn, when the event loop gets control back.
        QMetaObject::invokeMethod(this, &PlotPicture::finish_drawing, Qt::QueuedConnection);
    }
    if (pen_ != colour) {
        const plot::Rgb rgb = plot::palette_rgb(colour);
        painter_.setPen(QPen(QColor(rgb.red, rgb.green, rgb.blue), 0));  // one pixel, aliased
        pen_ = colour;
    }
    return painter_;
}

void PlotPicture::finish_drawing() {
    if (painter_.isActive()) {
        painter_.end();
    }
    if (!dirty_.isEmpty()) {
        update(dirty_);
        dirty_ = QRect();
    }
}

void PlotPicture::clear() {
    painter_for(plot::PaletteColour::black).fillRect(image_.rect(), Qt::black);
    dirty_ = image_.rect();
}

void PlotPicture::draw_line(float x1, float y1, float x2, float y2, plot::PaletteColour colour) {
    QPointF a = to_pixel(x1, y1), b = to_pixel(x2, y2);
    if (!finite(a) || !finite(b) || !clip_to(a, b, image_.width(), image_.height())) {
        return;
    }
    const QPoint from = pixel_of(a, image_.width(), image_.height());
    const QPoint to = pixel_of(b, image_.width(), image_.height());
    // Built from its corners: QRect::normalized() would drop a row of an upside-down rectangle.
    const QRect covered(QPoint(std::min(from.x(), to.x()), std::min(from.y(), to.y())),
                        QPoint(std::max(from.x(), to.x()), std::max(from.y(), to.y())));
    QPainter& painter = painter_for(colour);
    if (from.x() == to.x() || from.y() == to.y()) {
        // The cobweb is all upright and level segments: filled as one-pixel-wide rectangles, the
        // same pixels as the line (both ends included) at half the cost.
        painter.fillRect(covered, painter.pen().color());
    } else {
        painter.drawLine(from, to);
    }
    dirty_ |= covered;
}

void PlotPicture::draw_point(float x, float y, plot::PaletteColour colour) {
    const QPointF p = to_pixel(x, y);
    if (!finite(p) || p.x() < 0 || p.y() < 0 || p.x() > image_.width() || p.y() > image_.height()) {
        return;
    }
    const QPoint pixel = pixel_of(p, image_.width(), image_.height());
    painter_for(colour).drawPoint(pixel);
    dirty_ |= QRect(pixel, QSize(1, 1));
}

const QImage& PlotPicture::image() {
    finish_drawing();
    return image_;
}

void PlotPicture::paintEvent(QPaintEvent* event) {
    // A repaint that comes before the burst is finished shows what is drawn so far.
    if (painter_.isActive()) {
        painter_.end();
    }
    QPainter painter(this);
    const QRect dirty = event->rect();
    painter.drawImage(dirty, image_, dirty);
}

void PlotPicture::mousePressEvent(QMouseEvent* event) {
    const QPointF world = to_world(event->position());
    emit pressed(world.x(), world.y());
}

}  // namespace quobel::windows::qt
