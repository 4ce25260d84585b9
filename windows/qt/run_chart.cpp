// One chart of a long run's result.
#include "windows/qt/run_chart.hpp"

#include <QChart>
#include <QChartView>
#include <QHBoxLayout>
#include <QLineSeries>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>

#include "windows/qt/image_export.hpp"

namespace quobel::windows::qt {

RunChart::RunChart(QWidget* parent, const ChartTitles& titles) : whole_x_(titles.whole_x) {
    auto* chart = new QChart;
    chart->setTitle(titles.chart);
    chart->legend()->hide();
    series_ = new QLineSeries(chart);
    chart->addSeries(series_);
    x_ = new QValueAxis(chart);
    y_ = new QValueAxis(chart);
    x_->setTitleText(titles.x);
    y_->setTitleText(titles.y);
    // Until a run has shown its points, ticks would only mean nothing.
    x_->setVisible(false);
    y_->setVisible(false);
    chart->addAxis(x_, Qt::AlignBottom);
    chart->addAxis(y_, Qt::AlignLeft);
    series_->attachAxis(x_);
    series_->attachAxis(y_);

    box_ = new QWidget(parent);
    view_ = new QChartView(chart, box_);
    view_->setRenderHint(QPainter::Antialiasing);
    view_->setMinimumSize(320, 260);
    png_ = new QPushButton(QStringLiteral("Export as PNG..."), box_);
    svg_ = new QPushButton(QStringLiteral("Export as SVG..."), box_);
    buttons_ = new QHBoxLayout;
    buttons_->addStretch();
    buttons_->addWidget(png_);
    buttons_->addWidget(svg_);
    auto* layout = new QVBoxLayout(box_);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_, 1);
    layout->addLayout(buttons_);
}

void RunChart::show(const std::vector<analysis::ChartPoint>& points) {
    QList<QPointF> line;
    line.reserve(static_cast<qsizetype>(points.size()));
    for (const analysis::ChartPoint& point : points) {
        line.append({point.x, point.y});
    }
    series_->replace(line);
    x_->setVisible(!points.empty());
    y_->setVisible(!points.empty());
}

namespace {

// Ticks on round numbers from one end of the axis to the other.
// Five intervals at most leave room for each label under a chart a third of the window wide;
// three for the long numbers of steps.
void set_range(QValueAxis& axis, analysis::AxisRange range, bool whole) {
    const analysis::Ticks ticks = analysis::nice_ticks(range, whole ? 3 : 5);
    axis.setRange(ticks.low, ticks.high);
    axis.setTickCount(std::max(ticks.count, 2));
    axis.setLabelFormat(QStringLiteral("%.%1f").arg(whole ? 0 : ticks.decimals));
}

}  // namespace

void RunChart::set_title(const QString& title) {
    view_->chart()->setTitle(title);
}

void RunChart::set_x_range(analysis::AxisRange range) {
    set_range(*x_, range, whole_x_);
}

void RunChart::set_y_range(analysis::AxisRange range) {
    set_range(*y_, range, false);
}

QImage RunChart::image(double factor) const {
    const QSize size = (QSizeF(view_->size()) * factor).toSize();
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(factor);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        view_->render(&painter);
    }
    return image;
}

QByteArray RunChart::svg() const {
    return svg_bytes(view_->size(), view_->chart()->title(),
                     [this](QPainter& painter) { view_->render(&painter); });
}

}  // namespace quobel::windows::qt
