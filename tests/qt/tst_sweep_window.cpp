// Tests of the sweep window on the real widgets: a line and a plane swept to the end, Cancel,
// the pointer's text, "Use this point", recomputing on a change and the exports.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>

#include "support/qt_test_support.hpp"
#include "support/recording_windows.hpp"
#include "windows/qt/sweep_window.hpp"

using quobel::windows::Field;
using quobel::windows::MainButton;
using quobel::windows::qt::QtProgram;
using quobel::windows::qt::SweepWindow;
using namespace quobel::windows::qt::testing;

namespace {

void set_line(SweepWindow& window, const QString& name, double from, double to, int count) {
    window.parameter_box(0)->setCurrentText(name);
    window.parameter_box(1)->setCurrentIndex(0);
    window.from_box(0)->setValue(from);
    window.to_box(0)->setValue(to);
    window.count_box(0)->setValue(count);
}

bool wait_for_end(SweepWindow& window) {
    QSignalSpy finished(&window, &SweepWindow::sweep_finished);
    window.sweep_button()->click();
    return finished.wait(20000);
}

}  // namespace

class TestSweepWindow : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        program_ = started_program();
        program_->windows.form1()->findChild<QAction*>(QStringLiteral("SweepAction"))->trigger();
        window_ = program_->windows.sweep_window();
        QVERIFY(window_ != nullptr);
        QVERIFY(QTest::qWaitForWindowExposed(window_));
    }
    void cleanup() { program_.reset(); }

    void aLineFillsEveryColumnAndLeavesTheModelAlone() {
        const quobel::model::ModelState before = program_->state.model;
        // Any draw from the program's generator would be counted here.
        auto draws = std::make_unique<quobel::testing::ScriptedDraws>();
        const quobel::testing::ScriptedDraws& taken = *draws;
        program_->state.random = std::move(draws);
        set_line(*window_, QStringLiteral("la1(1,1)"), 0.1, 0.9, 9);
        window_->steps_box()->setValue(5000);
        window_->burn_in_box()->setValue(500);
        window_->bins_box()->setValue(20);
        QVERIFY(wait_for_end(*window_));
        QVERIFY(window_->results().complete());
        QCOMPARE(window_->results().size(), 9);
        QCOMPARE(window_->progress_bar()->value(), 1000);
        QCOMPARE(window_->plot()->cells().size(), QSize(9, 20));
        // Every column has its run: no cell is left in the colour of a point not computed.
        const QImage cells = window_->plot()->cells();
        for (int x = 0; x < cells.width(); ++x) {
            for (int y = 0; y < cells.height(); ++y) {
                QVERIFY(cells.pixel(x, y) != (0xff000000U | quobel::windows::pending_colour));
            }
        }
        QVERIFY(program_->state.model == before);
        QCOMPARE(taken.taken, 0);
    }

    void aPlaneIsTheAtlasOfExactVerdicts() {
        window_->parameter_box(0)->setCurrentText(QStringLiteral("la1(1,1)"));
        window_->parameter_box(1)->setCurrentText(QStringLiteral("prob(1)"));
        window_->count_box(0)->setValue(40);
        window_->count_box(1)->setValue(30);
        // No runs on a plane.
        QVERIFY(!window_->steps_box()->isEnabled());
        QCOMPARE(window_->settings().run.steps, 0);
        QVERIFY(wait_for_end(*window_));
        QCOMPARE(window_->plot()->cells().size(), QSize(40, 30));
        QCOMPARE(window_->results().done(), 1200);
    }

    void cancelStopsAtOnceAndKeepsThePointsSoFar() {
        set_line(*window_, QStringLiteral("la1(1,1)"), 0.01, 0.99, 2000);
        window_->steps_box()->setValue(10'000'000);
        QSignalSpy finished(window_, &SweepWindow::sweep_finished);
        window_->sweep_button()->click();
        QVERIFY(window_->running());
        QTest::qWait(100);
        window_->cancel_button()->click();
        QVERIFY(!window_->running());
        QCOMPARE(finished.count(), 1);
        QVERIFY(window_->status_label()->text().startsWith(QStringLiteral("Cancelled after")));
        QVERIFY(!window_->results().complete());
        // Only a whole sweep has a CSV.
        QTemporaryDir folder;
        QVERIFY(!window_->export_csv(folder.filePath(QStringLiteral("part.csv"))));
        QVERIFY(!QFile::exists(folder.filePath(QStringLiteral("part.csv"))));
    }

    void hoverTellsAndUseThisPointWritesTheFields() {
        set_line(*window_, QStringLiteral("la1(1,2)"), 0.2, 0.6, 5);
        window_->steps_box()->setValue(0);
        QVERIFY(wait_for_end(*window_));
        QTest::mouseMove(window_->plot(), point_under(0.9));
        QVERIFY(
            window_->point_label()->text().startsWith(QStringLiteral("la1(1,2) = 0.6: Lambda_0")));
        QVERIFY(!window_->use_button()->isEnabled());
        QTest::mouseClick(window_->plot(), Qt::LeftButton, Qt::NoModifier, point_under(0.9));
        QVERIFY(window_->use_button()->isEnabled());
        window_->use_button()->click();
        QCOMPARE(program_->windows.form1()->field(Field::Text2, 1)->text(), QStringLiteral("0.6"));
        QCOMPARE(program_->state.pending.edited_la1(1, 2), 1);
        QVERIFY(window_->status_label()->text().contains(QStringLiteral("Recalculate !!!")));
    }

    void aChangeOfParametersMovesTheMarkOrStartsAgain() {
        set_line(*window_, QStringLiteral("prob(1)"), 0.1, 0.9, 5);
        window_->steps_box()->setValue(0);
        QVERIFY(wait_for_end(*window_));
        type_over(program_->windows.form1()->field(Field::Text8, 0), QStringLiteral("0.5"));
        program_->windows.form1()->button(MainButton::Command2)->click();
        QVERIFY(window_->stale_label()->isVisibleTo(window_));
        QVERIFY(!window_->running());
        window_->recompute_box()->setChecked(true);
        QSignalSpy finished(window_, &SweepWindow::sweep_finished);
        type_over(program_->windows.form1()->field(Field::Text8, 0), QStringLiteral("0.6"));
        program_->windows.form1()->button(MainButton::Command2)->click();
        QVERIFY(finished.wait(20000));
        QVERIFY(!window_->stale_label()->isVisibleTo(window_));
        QVERIFY(
            quobel::model::same_parameters(window_->results().parameters(), program_->state.model));
    }

    void exportsWritePictureAndCsv() {
        set_line(*window_, QStringLiteral("la1(1,1)"), 0.1, 0.9, 6);
        window_->steps_box()->setValue(2000);
        window_->burn_in_box()->setValue(100);
        QVERIFY(wait_for_end(*window_));
        QTemporaryDir folder;
        const QString png = folder.filePath(QStringLiteral("sweep.png"));
        QVERIFY(window_->export_png(png, 2));
        QCOMPARE(QImage(png).size(), window_->plot()->size() * 2);
        const QString svg = folder.filePath(QStringLiteral("sweep.svg"));
        QVERIFY(window_->export_svg(svg));
        QFile svg_file(svg);
        QVERIFY(svg_file.open(QIODevice::ReadOnly));
        QVERIFY(svg_file.readAll().contains("<svg"));
        const QString csv = folder.filePath(QStringLiteral("sweep.csv"));
        QVERIFY(window_->export_csv(csv));
        QFile csv_file(csv);
        QVERIFY(csv_file.open(QIODevice::ReadOnly));
        QCOMPARE(csv_file.readAll().toStdString(), window_->results().csv());
        QFile settings_file(folder.filePath(QStringLiteral("sweep.json")));
        QVERIFY(settings_file.open(QIODevice::ReadOnly));
        QCOMPARE(settings_file.readAll().toStdString(), window_->results().settings_json());
    }

  private:
    // A place over the picture's cells at `across` of their width, halfway up.
    QPoint point_under(double across) const {
        const QRectF cells = window_->plot()->cells_rect();
        return QPoint(static_cast<int>(cells.left() + across * cells.width()),
                      static_cast<int>(cells.center().y()));
    }

    std::unique_ptr<QtProgram> program_;
    SweepWindow* window_ = nullptr;
};

QTEST_MAIN(TestSweepWindow)
#include "tst_sweep_window.moc"
