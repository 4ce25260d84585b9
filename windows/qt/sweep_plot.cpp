// The Sweep window's picture.
#include "windows/qt/sweep_plot.hpp"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

#include "analysis/chart_data.hpp"
#include "windows/qt/controls.hpp"

namespace quobel::windows::qt {

namespace {

constexpr double margin_left = 64;
constexpr double margin_top = 12;
constexpr double margin_bottom = 44;
constexpr double key_width = 190;
constexpr double gap = 14;

QColor rgb(std::uint32_t colour) {
    return QColor::fromRgb(static_cast<QRgb>(colour));
}

QString number(double value, int decimals) {
    return QString::number(value, 'f', std::clamp(decimals, 0, 12));
}

// The ticks of [low, high] that lie in it, as (value, label).
std::vector<std::pair<double, QString>> ticks_within(double low, double high, int most) {
    std::vector<std::pair<double, QString>> ticks;
    if (low > high) {
        std::swap(low, high);
    }
    const analysis::Ticks t = analysis::nice_ticks({low, high}, most);
    if (!(t.step > 0)) {
        ticks.emplace_back(low, number(low, 3));
        return ticks;
    }
    for (int i = 0; i < t.count; ++i) {
        const double value = t.low + i * t.step;
        const double slack = 1e-9 * t.step;
        if (value >= low - slack && value <= high + slack) {
            ticks.emplace_back(value, number(value, t.decimals));
        }
    }
    return ticks;
}

}  // namespace

SweepPlot::SweepPlot(const SweepResults& results, QWidget* parent)
    : QWidget(parent), results_(results) {
    setObjectName(QStringLiteral("SweepPlot"));
    setMouseTracking(true);
    setMinimumSize(520, 380);
    // Not static contents: the picture stretches with the widget, so a resize repaints it all.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void SweepPlot::reset() {
    cells_ = QImage();
    raster_ = results_.blank_raster(rows_);
    if (raster_.width > 0 && raster_.height > 0) {
        make_opaque(0, raster_.width);
        // The image reads the raster's own pixels: the cells are kept once, coloured in place.
        cells_ =
            QImage(reinterpret_cast<const uchar*>(raster_.pixels.data()), raster_.width,
                   raster_.height, static_cast<qsizetype>(raster_.width) * 4, QImage::Format_RGB32);
        shown_rows_ = results_.shown_rows(rows_);
    }
    chosen_.reset();
    update();
    extend(0, results_.done());
}

void SweepPlot::extend(std::int64_t first, std::int64_t last) {
    last = std::min(last, results_.done());
    if (cells_.isNull() || first >= last) {
        return;
    }
    results_.paint(raster_, rows_, first, last);
    // A plane's point colours one cell of its column, a line's point a whole column.
    const std::int64_t points_per_column = results_.line() ? 1 : results_.settings().axes[1].count;
    const auto left = static_cast<int>(first / points_per_column);
    const auto right = static_cast<int>((last - 1) / points_per_column) + 1;
    make_opaque(left, right);
    // The log-odds rows shown follow the values reached: when they grow, every cell moves.
    if (const auto shown = results_.shown_rows(rows_); shown != shown_rows_) {
        shown_rows_ = shown;
        update();
        return;
    }
    const Areas a = areas(size());
    const double column_width = a.cells.width() / raster_.width;
    QRect changed = QRectF(a.cells.left() + left * column_width, a.cells.top(),
                           (right - left) * column_width, a.cells.height())
                        .toAlignedRect()
                        .adjusted(-2, -2, 2, 2);
    if (!a.strip.isEmpty()) {
        // The strip's curves and its scale take in every new point. One rectangle, not two: a
        // scaled image drawn through a clip of several rectangles may take its rows one pixel
        // apart from the same image drawn whole.
        changed = changed.united(strip_area(a.strip));
    }
    update(changed);
}

void SweepPlot::make_opaque(int left, int right) {
    for (int y = 0; y < raster_.height; ++y) {
        for (int x = left; x < right; ++x) {
            raster_.at(x, y) |= 0xff000000U;
        }
    }
}

void SweepPlot::set_rows(LineRows rows) {
    if (rows != rows_) {
        rows_ = rows;
        const std::optional<std::int64_t> chosen = chosen_;
        reset();
        chosen_ = chosen;
    }
}

void SweepPlot::set_marks(const std::array<std::optional<double>, 2>& marks) {
    marks_ = marks;
    update();
}

void SweepPlot::set_chosen(std::optional<std::int64_t> index) {
    chosen_ = index;
    update();
}

SweepPlot::Areas SweepPlot::areas(QSize size) const {
    Areas a;
    const QRectF whole(margin_left, margin_top, size.width() - margin_left - key_width - gap,
                       size.height() - margin_top - margin_bottom);
    a.key = QRectF(whole.right() + gap, whole.top(), key_width - gap, whole.height());
    if (results_.empty() || !results_.line()) {
        a.cells = whole;
        return a;
    }
    // A line: the heat map on top, the strip of exponents below on the same horizontal axis.
    // Without runs the cells are one band of verdict colours above a taller strip.
    const double share = results_.has_runs() ? 0.7 : 0.15;
    const double cells_height = (whole.height() - gap) * share;
    a.cells = QRectF(whole.left(), whole.top(), whole.width(), cells_height);
    a.strip = QRectF(whole.left(), a.cells.bottom() + gap, whole.width(),
                     whole.height() - cells_height - gap);
    return a;
}

QRect SweepPlot::strip_area(const QRectF& strip) {
    // With the labels of its scale, which stand out half a line above and below it.
    return QRectF(0, strip.top() - 8, strip.right(), strip.height() + 16)
        .toAlignedRect()
        .adjusted(-2, -2, 2, 2);
}

void SweepPlot::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    paint_part(painter, size(), event->rect());
}

void SweepPlot::paint_picture(QPainter& painter, QSize size) const {
    paint_part(painter, size, std::nullopt);
}

void SweepPlot::paint_part(QPainter& painter, QSize size, std::optional<QRect> part) const {
    painter.fillRect(QRect(QPoint(0, 0), size), Qt::white);
    if (results_.empty()) {
        painter.setPen(Qt::darkGray);
        painter.drawText(QRect(QPoint(0, 0), size), Qt::AlignCenter | Qt::TextWordWrap,
                         QStringLiteral("Choose one parameter for a random bifurcation diagram, "
                                        "or two for a survival atlas, then press Sweep."));
        return;
    }
    const Areas a = areas(size);
    // Cells stay sharp at any size: each is a block of one colour. The image's top row is the
    // highest.
    const auto [first_row, last_row] = results_.shown_rows(rows_);
    painter.drawImage(a.cells, cells_,
                      QRectF(0, cells_.height() - last_row, cells_.width(), last_row - first_row));
    painter.setPen(QPen(Qt::black, 1));
    painter.drawRect(a.cells);
    // The strip and the key are the slow parts, and new points change neither the key nor, on a
    // plane, any strip.
    if (!a.strip.isEmpty() && (!part || part->intersects(strip_area(a.strip)))) {
        paint_strip(painter, a.strip);
    }
    paint_axes(painter, a);
    if (!part || part->intersects(a.key.toAlignedRect())) {
        paint_key(painter, a.key);
    }

    // The current parameters: a dashed line for a line, a ring for a plane.
    painter.setPen(QPen(Qt::black, 1.5, Qt::DashLine));
    const auto x_at = [&](double place) { return a.cells.left() + place * a.cells.width(); };
    const auto y_at = [&](double place) { return a.cells.bottom() - place * a.cells.height(); };
    if (results_.line()) {
        if (marks_[0]) {
            const double x = x_at(*marks_[0]);
            painter.drawLine(QPointF(x, a.cells.top()), QPointF(x, a.strip.bottom()));
        }
    } else if (marks_[0] && marks_[1]) {
        const QPointF centre(x_at(*marks_[0]), y_at(*marks_[1]));
        painter.setPen(QPen(Qt::white, 3));
        painter.drawEllipse(centre, 6, 6);
        painter.setPen(QPen(Qt::black, 1.5));
        painter.drawEllipse(centre, 6, 6);
    }

    if (chosen_ && *chosen_ < results_.size()) {
        painter.setPen(QPen(Qt::black, 2));
        painter.setBrush(Qt::NoBrush);
        const double columns = static_cast<double>(results_.settings().axes[0].count);
        if (results_.line()) {
            const double x = x_at((static_cast<double>(*chosen_) + 0.5) / columns);
            painter.drawLine(QPointF(x, a.cells.top()), QPointF(x, a.strip.bottom()));
        } else {
            const std::int64_t inner = results_.settings().axes[1].count;
            const double w = a.cells.width() / columns;
            const double h = a.cells.height() / static_cast<double>(inner);
            const std::int64_t column = *chosen_ / inner;
            const std::int64_t row = *chosen_ % inner;
            const QRectF cell(a.cells.left() + static_cast<double>(column) * w,
                              a.cells.bottom() - static_cast<double>(row + 1) * h, w, h);
            painter.drawRect(cell.adjusted(-2, -2, 2, 2));
        }
    }
}

void SweepPlot::paint_strip(QPainter& painter, const QRectF& strip) const {
    painter.setPen(QPen(Qt::black, 1));
    painter.drawRect(strip);
    double low = 0;
    double high = 0;
    for (std::int64_t i = 0; i < results_.done(); ++i) {
        for (int boundary = 0; boundary < 2; ++boundary) {
            const double lambda = results_.lambda(boundary, i);
            if (std::isfinite(lambda)) {
                low = std::min(low, lambda);
                high = std::max(high, lambda);
            }
        }
    }
    const analysis::AxisRange range = analysis::padded_range(low, high);
    const auto y_at = [&](double value) {
        return strip.bottom() - (value - range.low) / (range.high - range.low) * strip.height();
    };
    painter.setFont(dialog_font(8));
    for (const auto& [value, label] : ticks_within(range.low, range.high, 4)) {
        const double y = y_at(value);
        painter.setPen(QPen(value == 0 ? Qt::black : Qt::lightGray, 1,
                            value == 0 ? Qt::DashLine : Qt::SolidLine));
        painter.drawLine(QPointF(strip.left(), y), QPointF(strip.right(), y));
        painter.setPen(Qt::black);
        painter.drawText(QRectF(0, y - 8, strip.left() - 6, 16), Qt::AlignRight | Qt::AlignVCenter,
                         label);
    }
    const double columns = static_cast<double>(results_.settings().axes[0].count);
    const std::array<QColor, 2> colours{QColor(0x2b, 0x7b, 0xba), QColor(0xd7, 0x30, 0x1f)};
    painter.setRenderHint(QPainter::Antialiasing, true);
    for (int boundary = 0; boundary < 2; ++boundary) {
        // A value that is not finite breaks the curve.
        QPainterPath path;
        bool drawing = false;
        for (std::int64_t i = 0; i < results_.done(); ++i) {
            const double lambda = results_.lambda(boundary, i);
            if (!std::isfinite(lambda)) {
                drawing = false;
                continue;
            }
            const QPointF point(
                strip.left() + (static_cast<double>(i) + 0.5) / columns * strip.width(),
                y_at(lambda));
            if (drawing) {
                path.lineTo(point);
            } else {
                path.moveTo(point);
                drawing = true;
            }
        }
        painter.setPen(QPen(colours[static_cast<std::size_t>(boundary)], 1.5));
        painter.drawPath(path);
        painter.drawText(QPointF(strip.left() + 6 + 70 * boundary, strip.top() + 14),
                         boundary == 0 ? QStringLiteral("Lambda_0") : QStringLiteral("Lambda_1"));
    }
    painter.setRenderHint(QPainter::Antialiasing, false);
}

void SweepPlot::paint_axes(QPainter& painter, const Areas& a) const {
    painter.setFont(dialog_font(8));
    painter.setPen(Qt::black);
    const sweep::SweepSettings& settings = results_.settings();
    const QRectF& bottom_box = a.strip.isEmpty() ? a.cells : a.strip;

    const sweep::Axis& across = settings.axes[0];
    for (const auto& [value, label] : ticks_within(across.from, across.to, 8)) {
        const double x = bottom_box.left() + axis_place(across, value) * bottom_box.width();
        painter.drawLine(QPointF(x, bottom_box.bottom()), QPointF(x, bottom_box.bottom() + 4));
        painter.drawText(QRectF(x - 40, bottom_box.bottom() + 5, 80, 14), Qt::AlignCenter, label);
    }
    painter.drawText(QRectF(bottom_box.left(), bottom_box.bottom() + 22, bottom_box.width(), 16),
                     Qt::AlignCenter, from_utf8(sweep::parameter_name_text(across.name)));

    // Up the side of the cells: r, its log-odds, or the second parameter.
    std::vector<std::pair<double, QString>> ticks;
    QString title;
    if (!results_.line()) {
        const sweep::Axis& up = settings.axes[1];
        for (auto& [value, label] : ticks_within(up.from, up.to, 8)) {
            ticks.emplace_back(axis_place(up, value), label);
        }
        title = from_utf8(sweep::parameter_name_text(up.name));
    } else if (results_.has_runs()) {
        const auto [first_row, last_row] = results_.shown_rows(rows_);
        const double low = results_.row_edge(first_row, rows_);
        const double high = results_.row_edge(last_row, rows_);
        for (auto& [value, label] : ticks_within(low, high, rows_ == LineRows::r ? 5 : 8)) {
            ticks.emplace_back((value - low) / (high - low), label);
        }
        title = rows_ == LineRows::r ? QStringLiteral("r") : QStringLiteral("log(r/(1-r))");
    }
    for (const auto& [place, label] : ticks) {
        const double y = a.cells.bottom() - place * a.cells.height();
        painter.drawLine(QPointF(a.cells.left() - 4, y), QPointF(a.cells.left(), y));
        painter.drawText(QRectF(0, y - 8, a.cells.left() - 6, 16),
                         Qt::AlignRight | Qt::AlignVCenter, label);
    }
    if (!title.isEmpty()) {
        painter.save();
        painter.translate(12, a.cells.center().y());
        painter.rotate(-90);
        painter.drawText(QRectF(-a.cells.height() / 2, -10, a.cells.height(), 16), Qt::AlignCenter,
                         title);
        painter.restore();
    }
}

void SweepPlot::paint_key(QPainter& painter, const QRectF& key) const {
    painter.setFont(dialog_font(8));
    painter.setPen(Qt::black);
    if (results_.has_runs()) {
        // The colour bar: each column's density against the highest in that column.
        const QRectF bar(key.left(), key.top() + 20, 18, std::min(220.0, key.height() - 40));
        painter.drawText(QRectF(key.left(), key.top(), key.width(), 16), Qt::AlignLeft,
                         QStringLiteral("density / column's peak"));
        for (int y = 0; y < static_cast<int>(bar.height()); ++y) {
            const double t = 1 - y / bar.height();
            painter.fillRect(QRectF(bar.left(), bar.top() + y, bar.width(), 1),
                             rgb(density_colour(std::pow(10.0, 4 * (t - 1)))));
        }
        painter.drawRect(bar);
        for (int decade = 0; decade <= 4; ++decade) {
            const double y = bar.top() + decade / 4.0 * bar.height();
            painter.drawText(
                QRectF(bar.right() + 6, y - 8, 80, 16), Qt::AlignVCenter,
                decade == 0 ? QStringLiteral("1") : QStringLiteral("1e-%1").arg(decade));
        }
        painter.fillRect(QRectF(bar.left(), bar.bottom() + 12, 18, 12), rgb(no_run_colour));
        painter.drawText(QRectF(bar.right() + 6, bar.bottom() + 10, key.width() - 24, 16),
                         Qt::AlignVCenter, QStringLiteral("no run"));
        return;
    }
    // The verdicts, one swatch each.
    double y = key.top();
    for (const analysis::Verdict verdict : all_verdicts) {
        painter.fillRect(QRectF(key.left(), y + 2, 14, 12), rgb(verdict_colour(verdict)));
        painter.drawRect(QRectF(key.left(), y + 2, 14, 12));
        painter.drawText(QRectF(key.left() + 20, y, key.width() - 20, 16), Qt::AlignVCenter,
                         from_utf8(analysis::verdict_text(verdict)));
        y += 20;
    }
    painter.fillRect(QRectF(key.left(), y + 2, 14, 12), rgb(pending_colour));
    painter.drawRect(QRectF(key.left(), y + 2, 14, 12));
    painter.drawText(QRectF(key.left() + 20, y, key.width() - 20, 16), Qt::AlignVCenter,
                     QStringLiteral("not computed yet"));
    y += 28;
    painter.drawEllipse(QPointF(key.left() + 7, y + 8), 6, 6);
    painter.drawText(QRectF(key.left() + 20, y, key.width() - 20, 16), Qt::AlignVCenter,
                     QStringLiteral("the current parameters"));
}

std::optional<SweepResults::Place> SweepPlot::place_at(QPointF position) const {
    const Areas a = areas(size());
    // Over the strip a point is found by its column alone.
    QRectF box = a.cells;
    if (!a.strip.isEmpty() && a.strip.contains(position)) {
        position.setY(a.cells.bottom() - 1);
    }
    if (!box.contains(position)) {
        return std::nullopt;
    }
    return results_.place_at((position.x() - box.left()) / box.width(),
                             (position.y() - box.top()) / box.height(), rows_);
}

void SweepPlot::mouseMoveEvent(QMouseEvent* event) {
    const auto place = place_at(event->position());
    emit hovered(place ? from_utf8(results_.point_text(*place, rows_)) : QString());
}

void SweepPlot::mousePressEvent(QMouseEvent* event) {
    if (const auto place = place_at(event->position()); place && place->index < results_.done()) {
        set_chosen(place->index);
        emit chosen(place->index);
    }
}

void SweepPlot::leaveEvent(QEvent* /*event*/) {
    emit hovered(QString());
}

}  // namespace quobel::windows::qt
