// One chart of a long run's result: a view with one line and two value axes, its export buttons,
// and its picture as PNG pixels or SVG.
#pragma once

#include <QImage>
#include <QString>
#include <optional>
#include <vector>

#include "analysis/chart_data.hpp"

class QChartView;
class QLineSeries;
class QPushButton;
class QValueAxis;
class QWidget;
class QHBoxLayout;

namespace quobel::windows::qt {

struct ChartTitles {
    QString chart, x, y;
    bool whole_x = false;  // the x axis shows whole numbers (steps)
};

class RunChart {
  public:
    // The chart's widgets become children of a box of their own, parented to `parent`.
    RunChart(QWidget* parent, const ChartTitles& titles);

    QWidget* box() const { return box_; }
    QChartView* view() const { return view_; }
    QLineSeries* series() const { return series_; }
    QPushButton* png_button() const { return png_; }
    QPushButton* svg_button() const { return svg_; }
    // The row of buttons under the chart, for more controls beside them.
    QHBoxLayout* buttons() const { return buttons_; }

    void show(const std::vector<analysis::ChartPoint>& points);
    void set_title(const QString& title);
    void set_x_range(analysis::AxisRange range);
    void set_y_range(analysis::AxisRange range);

    // The chart as on the screen, times `factor` in each direction.
    QImage image(double factor) const;
    QByteArray svg() const;

  private:
    QWidget* box_ = nullptr;
    QChartView* view_ = nullptr;
    QLineSeries* series_ = nullptr;
    QValueAxis* x_ = nullptr;
    QValueAxis* y_ = nullptr;
    QPushButton* png_ = nullptr;
    QPushButton* svg_ = nullptr;
    QHBoxLayout* buttons_ = nullptr;
    bool whole_x_ = false;
};

}  // namespace quobel::windows::qt
