// Tests of the sweep window's picture as points come in: a batch repaints only the columns it
// coloured, and what the screen then shows is the whole picture drawn afresh.
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QTest>
#include <memory>
#include <vector>

#include "analysis_models.hpp"
#include "sweep/sweep.hpp"
#include "windows/qt/sweep_plot.hpp"

using quobel::windows::LineRows;
using quobel::windows::SweepResults;
using quobel::windows::qt::SweepPlot;

namespace {

// The regions of the paint events of the widget it is installed on.
class PaintRegions final : public QObject {
  public:
    std::vector<QRegion> regions;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            regions.push_back(static_cast<QPaintEvent*>(event)->region());
        }
        return QObject::eventFilter(watched, event);
    }
};

// A sweep computed beforehand, its points handed to a plot on the screen in batches as the
// window hands them.
struct SweepOnScreen {
    quobel::model::ModelState model = quobel::analysis::test_models::start_up_model();
    quobel::sweep::SweepSettings settings;
    std::vector<quobel::sweep::PointResult> points;
    SweepResults results;
    std::unique_ptr<SweepPlot> plot;

    // A plane of 40 x 30 verdicts, or a line of 30 short runs with their log-odds rows.
    explicit SweepOnScreen(bool plane) {
        using quobel::sweep::parse_parameter_name;
        settings.axes.push_back({*parse_parameter_name("la1(1,1)"), 0.01, 0.99, plane ? 40 : 30});
        if (plane) {
            settings.axes.push_back({*parse_parameter_name("prob(1)"), 0.01, 0.99, 30});
            settings.run.steps = 0;  // the atlas has no runs
        } else {
            settings.run.steps = 3000;
            settings.run.burn_in = 100;
            settings.run.bins = 40;
            settings.log_odds = true;
        }
        quobel::sweep::SweepControl control;
        quobel::sweep::run_sweep(
            model, settings, 0, quobel::sweep::grid_size(settings), 1, control,
            [&](const quobel::sweep::PointResult& point) { points.push_back(point); });
        results = SweepResults(model, settings);
        plot = std::make_unique<SweepPlot>(results, nullptr);
        plot->resize(760, 480);
        plot->show();
        plot->reset();
    }
    std::int64_t size() const { return static_cast<std::int64_t>(points.size()); }
    void hand_on(std::int64_t first, std::int64_t last) {
        for (std::int64_t i = first; i < last; ++i) {
            results.add(points[static_cast<std::size_t>(i)]);
        }
        plot->extend(first, last);
    }
};

// What the screen shows of the plot, and the whole picture drawn afresh at its size.
QImage on_screen(SweepPlot& plot) {
    return plot.screen()->grabWindow(plot.winId()).toImage().convertToFormat(QImage::Format_RGB32);
}
QImage drawn_afresh(const SweepPlot& plot) {
    QImage image(plot.size(), QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setFont(plot.font());
    plot.paint_picture(painter, plot.size());
    return image;
}

}  // namespace

class TestSweepPlot : public QObject {
    Q_OBJECT

  private slots:
    void withoutResultsThereAreNoCells() {
        const SweepResults none;
        SweepPlot plot(none, nullptr);
        plot.set_rows(LineRows::log_odds);  // before any sweep, as the check box allows
        plot.reset();
        plot.extend(0, 0);
        QVERIFY(plot.cells().isNull());
    }

    void aBatchOfAtlasPointsRepaintsOnlyItsColumns() {
        SweepOnScreen sweep(true);
        SweepPlot& plot = *sweep.plot;
        QVERIFY(QTest::qWaitForWindowExposed(&plot));
        QTest::qWait(30);
        PaintRegions paints;
        plot.installEventFilter(&paints);
        const QRectF cells = plot.cells_rect();
        const double column_width = cells.width() / 40;
        // Batches that begin and end inside a column of 30 points.
        for (std::int64_t first = 0; first < 1200; first += 100) {
            paints.regions.clear();
            sweep.hand_on(first, first + 100);
            QTRY_VERIFY(!paints.regions.empty());
            const auto left = static_cast<double>(first / 30);
            const auto right = static_cast<double>((first + 99) / 30 + 1);
            const QRect columns = QRectF(cells.left() + left * column_width, cells.top(),
                                         (right - left) * column_width, cells.height())
                                      .toAlignedRect()
                                      .adjusted(-3, -3, 3, 3);
            for (const QRegion& region : paints.regions) {
                QVERIFY2(columns.contains(region.boundingRect()),
                         qPrintable(QStringLiteral("batch from %1").arg(first)));
            }
        }
    }

    void theScreenShowsTheWholePicture_data() {
        QTest::addColumn<bool>("plane");
        QTest::addColumn<bool>("log_odds");
        QTest::addColumn<int>("batch");
        QTest::newRow("atlas") << true << false << 70;
        QTest::newRow("line in r") << false << false << 4;
        // The log-odds rows shown grow with the values reached, and with them every cell moves.
        QTest::newRow("line in log-odds") << false << true << 4;
    }
    void theScreenShowsTheWholePicture() {
        QFETCH(bool, plane);
        QFETCH(bool, log_odds);
        QFETCH(int, batch);
        SweepOnScreen sweep(plane);
        SweepPlot& plot = *sweep.plot;
        QVERIFY(QTest::qWaitForWindowExposed(&plot));
        plot.set_rows(log_odds ? LineRows::log_odds : LineRows::r);
        plot.set_marks({0.5, 0.3});
        plot.set_chosen(plane ? 400 : 10);
        QTest::qWait(30);
        for (std::int64_t first = 0; first < sweep.size(); first += batch) {
            sweep.hand_on(first, std::min<std::int64_t>(first + batch, sweep.size()));
            QTest::qWait(20);
        }
        const QImage shown = on_screen(plot);
        QCOMPARE(shown.size(), plot.size());
        QVERIFY(shown == drawn_afresh(plot));
    }
};

QTEST_MAIN(TestSweepPlot)
#include "tst_sweep_plot.moc"
