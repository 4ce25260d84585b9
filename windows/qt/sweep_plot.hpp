// The Sweep window's picture: a line's heat map over its Lambda strip, or a plane's survival
// atlas with its legend, with axes, the current parameters marked and the chosen point.
#pragma once

#include <QImage>
#include <QRect>
#include <QRectF>
#include <QString>
#include <QWidget>
#include <array>
#include <cstdint>
#include <optional>
#include <utility>

#include "windows/sweep_view.hpp"

namespace quobel::windows::qt {

// The cells are kept once, as an image with one pixel per cell, coloured as points come in; a
// repaint scales it to the widget, so it costs the same however far the sweep has got, and a batch
// of points repaints only the columns it coloured (and a line's strip of exponents).
class SweepPlot final : public QWidget {
    Q_OBJECT

  public:
    SweepPlot(const SweepResults& results, QWidget* parent);

    // The results were replaced: every cell is coloured again.
    void reset();
    // Points [first, last) came in.
    void extend(std::int64_t first, std::int64_t last);
    void set_rows(LineRows rows);
    LineRows rows() const { return rows_; }
    void set_marks(const std::array<std::optional<double>, 2>& marks);
    void set_chosen(std::optional<std::int64_t> index);

    // The whole picture at `size`, for the screen and the exports alike.
    void paint_picture(QPainter& painter, QSize size) const;
    // Where the cells show in the widget.
    QRectF cells_rect() const { return areas(size()).cells; }
    // A copy of the cells, one pixel each.
    QImage cells() const { return cells_.copy(); }

  signals:
    // The text of the point under the pointer, empty when it leaves the cells.
    void hovered(const QString& text);
    // The user clicked a point.
    void chosen(std::int64_t index);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

  private:
    struct Areas {
        QRectF cells;  // the heat map or the atlas
        QRectF strip;  // a line's Lambda strip; empty for a plane
        QRectF key;    // the legend or the colour bar
    };
    Areas areas(QSize size) const;
    // What a change of the strip repaints.
    static QRect strip_area(const QRectF& strip);
    // Makes the raster's pixels in columns [left, right) opaque, as the image reads them.
    void make_opaque(int left, int right);
    // The picture at `size`, drawing only what may show in `part`, or all of it.
    void paint_part(QPainter& painter, QSize size, std::optional<QRect> part) const;
    std::optional<SweepResults::Place> place_at(QPointF position) const;
    void paint_strip(QPainter& painter, const QRectF& strip) const;
    void paint_key(QPainter& painter, const QRectF& key) const;
    void paint_axes(QPainter& painter, const Areas& areas) const;

    const SweepResults& results_;
    SweepRaster raster_;
    QImage cells_;  // reads raster_'s pixels
    std::pair<int, int> shown_rows_;
    LineRows rows_ = LineRows::r;
    std::array<std::optional<double>, 2> marks_;
    std::optional<std::int64_t> chosen_;
};

}  // namespace quobel::windows::qt
