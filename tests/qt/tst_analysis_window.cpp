// Tests of the analysis window on the real widgets: refresh, runs, Cancel and the exports.
#include <QApplication>
#include <QChart>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QImage>
#include <QLabel>
#include <QLineSeries>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>

#include "analysis/boundary_exponents.hpp"
#include "model/start_up.hpp"
#include "storage/trajectory_csv.hpp"
#include "windows/qt/analysis_window.hpp"

using quobel::analysis::LongRunEnd;
using quobel::model::RealCell;
using quobel::windows::ProgramState;
using quobel::windows::qt::AnalysisWindow;
using Chart = AnalysisWindow::Chart;

class TestAnalysisWindow : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        state_ = std::make_unique<ProgramState>();
        quobel::model::initialise_model(state_->model, *state_->random);
        state_->model.prob(2) = 0.3;
        state_->model.prob(3) = 0.4;
        state_->model.current_r = RealCell::of_single(0.5f);
        window_ = std::make_unique<AnalysisWindow>(*state_);
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    }
    void cleanup() {
        window_.reset();
        state_.reset();
    }

    void refreshShowsTheVerdict_data() {
        QTest::addColumn<double>("maps");
        QTest::addColumn<QList<double>>("R");
        QTest::addColumn<QList<double>>("la1");
        QTest::addColumn<QList<double>>("la2");
        QTest::addColumn<QString>("verdict");
        QTest::newRow("investor 1 bets more on the stock")
            << 1.0 << QList<double>{1} << QList<double>{0.6} << QList<double>{0.3}
            << "investor 1 takes over";
        QTest::newRow("investor 2 bets more on the stock")
            << 1.0 << QList<double>{1} << QList<double>{0.3} << QList<double>{0.6}
            << "investor 2 takes over";
        QTest::newRow("opposite bets on shared payoffs")
            << 1.0 << QList<double>{0.5, 0.5} << QList<double>{0.9, 0.1} << QList<double>{0.1, 0.9}
            << "both survive";
        QTest::newRow("equal portfolios")
            << 1.0 << QList<double>{0.5, 0.5} << QList<double>{0.2, 0.8} << QList<double>{0.2, 0.8}
            << "no selection";
        QTest::newRow("four maps") << 4.0 << QList<double>{1} << QList<double>{0.5}
                                   << QList<double>{0.5} << "no map in use";
    }
    void refreshShowsTheVerdict() {
        QFETCH(double, maps);
        QFETCH(QList<double>, R);
        QFETCH(QList<double>, la1);
        QFETCH(QList<double>, la2);
        QFETCH(QString, verdict);
        auto& model = state_->model;
        model.num_maps = maps;
        model.num_stocks = static_cast<double>(R.size());
        for (int k = 1; k <= R.size(); ++k) {
            model.R(1, k) = RealCell::of_double(R[k - 1]);
            model.la1(1, k) = RealCell::of_double(la1[k - 1]);
            model.la2(1, k) = la2[k - 1];
        }
        window_->refresh();
        QCOMPARE(window_->verdict_label()->text(), verdict);
        QVERIFY(!window_->explanation_label()->text().isEmpty());
        const auto exponents = quobel::analysis::boundary_exponents(model);
        QCOMPARE(window_->terms_table()->rowCount(), exponents.maps.count);
        if (exponents.maps.count > 0) {
            QCOMPARE(window_->lambda_0_label()->text(),
                     QString::number(exponents.lambda_0, 'g', 8));
            QCOMPARE(window_->lambda_1_label()->text(),
                     QString::number(exponents.lambda_1, 'g', 8));
        }
    }

    void refreshShowsTermsPortfoliosAndFlags() {
        QCOMPARE(window_->terms_table()->rowCount(), 3);
        // Kelly, then la1 and la2 of each map; a column per stock beside the row names.
        QCOMPARE(window_->portfolio_table()->rowCount(), 7);
        QCOMPARE(window_->portfolio_table()->columnCount(), 5);
        QCOMPARE(window_->portfolio_table()->item(0, 0)->text(), QStringLiteral("Kelly"));
        QVERIFY(window_->flags_label()->isHidden());

        state_->model.R(2, 1) = RealCell::of_double(state_->model.R(2, 1).value() + 0.5);
        window_->refresh();
        QVERIFY(!window_->flags_label()->isHidden());
        QVERIFY(window_->flags_label()->text().contains(
            QStringLiteral("r = 1 is not a fixed point of map 2")));
    }

    void aRunShowsItsResultAndLeavesTheModelAlone() {
        window_->steps_box()->setValue(200'000);
        window_->bins_box()->setValue(40);
        state_->model.current_r = RealCell::of_single(0.25f);
        const quobel::model::ModelState before = state_->model;
        QSignalSpy finished(window_.get(), &AnalysisWindow::run_finished);
        QTest::mouseClick(window_->run_button(), Qt::LeftButton);
        QVERIFY(window_->running());
        QVERIFY(!window_->run_button()->isEnabled());
        QVERIFY(finished.wait(20'000));

        QVERIFY(!window_->running());
        QVERIFY(window_->run_button()->isEnabled());
        QCOMPARE(window_->result()->end, LongRunEnd::finished);
        QCOMPARE(window_->result()->steps_taken, 200'000);
        QCOMPARE(window_->progress_bar()->value(), 1000);
        QVERIFY(window_->status_label()->text().startsWith(QStringLiteral("Finished")));
        QCOMPARE(window_->histogram_series()->count(), 80);
        QCOMPARE(window_->time_series()->count(), 1000);
        QVERIFY(window_->log_odds_series()->count() > 0);
        // Each average with its standard error, and how near r came to either boundary.
        const QString statistics = window_->statistics_label()->text();
        QCOMPARE(statistics.count(QChar(0x00b1)), 2);
        QVERIFY(statistics.contains(QStringLiteral("First within 1e-12 of r = 0: ")));
        QCOMPARE(window_->draws_table()->rowCount(), 3);

        // The run starts at the program's point and writes nothing back into the model.
        QCOMPARE(window_->result()->start, 0.25);
        QVERIFY(state_->model == before);

        // New parameters mark the result as theirs no longer.
        QVERIFY(window_->stale_label()->isHidden());
        state_->model.prob(1) = 0.2;
        window_->refresh();
        QVERIFY(!window_->stale_label()->isHidden());
    }

    // The statistics say when the error bars may be too small and what an absorbed run's figures
    // are, in the words quobel-cli uses.
    void doubtfulFiguresSaySo() {
        auto& model = state_->model;
        const auto set_map = [&model](int s, QList<double> R, QList<double> la1,
                                      QList<double> la2) {
            for (int k = 1; k <= R.size(); ++k) {
                model.R(s, k) = RealCell::of_double(R[k - 1]);
                model.la1(s, k) = RealCell::of_double(la1[k - 1]);
                model.la2(s, k) = la2[k - 1];
            }
        };
        const auto run = [this](int steps, int burn_in) {
            window_->steps_box()->setValue(steps);
            window_->burn_in_box()->setValue(burn_in);
            QSignalSpy finished(window_.get(), &AnalysisWindow::run_finished);
            QTest::mouseClick(window_->run_button(), Qt::LeftButton);
            return finished.wait(20'000);
        };
        // Two maps that move r a little up or down: r remembers where it was for hundreds of
        // steps, too long for batches of 900.
        model.num_maps = 2;
        model.num_stocks = 2;
        model.prob(1) = 0.5;
        model.prob(2) = 0.5;
        set_map(1, {0.9, 0.1}, {0.55, 0.45}, {0.45, 0.55});
        set_map(2, {0.1, 0.9}, {0.55, 0.45}, {0.45, 0.55});
        QVERIFY(run(30'000, 1000));
        QVERIFY(window_->result()->errors_may_be_too_small);
        QVERIFY(window_->statistics_label()->text().contains(
            QStringLiteral("\nError bars may be too small: run longer (")));
        QVERIFY(!window_->statistics_label()->text().contains(QStringLiteral("Absorbed")));

        // One map under which investor 1 takes over: r underflows to 1 within the burn-in.
        model.num_maps = 1;
        model.prob(1) = 1;
        set_map(1, {0.1, 0.9}, {0.4, 0.6}, {0.6, 0.4});
        QVERIFY(run(20'000, 10'000));
        const qint64 step = window_->result()->boundaries[1].absorbed;
        QVERIFY(step > 0 && step < 10'000);
        const QStringList lines = window_->statistics_label()->text().split(QLatin1Char('\n'));
        QCOMPARE(lines[1], QStringLiteral("Time average of r: 1 \u00b1 0 (absorbed: exactly 1 from "
                                          "step %1, where the distance underflowed; the error "
                                          "does not count that)")
                               .arg(step));
        QVERIFY(lines.contains(
            QStringLiteral("Absorbed: reached r = 1 to within the smallest double at step %1: "
                           "from there r is 1 itself, and the orbit's exponent is then "
                           "Lambda_1's.")
                .arg(step)));
        QVERIFY(!window_->result()->errors_may_be_too_small);
    }

    // A burn-in as long as the run or longer would leave every figure NaN: the window refuses to
    // start, says why in its status line, and keeps the burn-in as typed.
    void aBurnInThatTakesTheWholeRunIsRefused() {
        window_->steps_box()->setValue(5000);
        window_->burn_in_box()->setValue(10'000);
        QCOMPARE(window_->burn_in_box()->value(), 10'000);
        QTest::mouseClick(window_->run_button(), Qt::LeftButton);
        QVERIFY(!window_->running());
        QVERIFY(window_->result() == nullptr);
        QCOMPARE(window_->status_label()->text(),
                 QStringLiteral("A burn-in of 10000 steps leaves nothing to record in a run of "
                                "5000 steps: make the burn-in shorter than the run."));
        window_->burn_in_box()->setValue(5000);
        QTest::mouseClick(window_->run_button(), Qt::LeftButton);
        QVERIFY(!window_->running());
        QVERIFY(window_->status_label()->text().startsWith(QStringLiteral("A burn-in of 5000 ")));
        // One step left to record is a run.
        window_->burn_in_box()->setValue(4999);
        QSignalSpy finished(window_.get(), &AnalysisWindow::run_finished);
        QTest::mouseClick(window_->run_button(), Qt::LeftButton);
        QVERIFY(finished.wait(20'000));
        QCOMPARE(window_->result()->recorded, 1);
    }

    // With many chains too, the progress bar moving over the steps of all of them.
    void cancelStopsALongRunPromptly_data() {
        QTest::addColumn<int>("chains");
        QTest::newRow("one chain") << 1;
        QTest::newRow("16 chains") << 16;
    }
    void cancelStopsALongRunPromptly() {
        QFETCH(int, chains);
        window_->steps_box()->setValue(100'000'000);
        window_->chains_box()->setValue(chains);
        QSignalSpy finished(window_.get(), &AnalysisWindow::run_finished);
        QTest::mouseClick(window_->run_button(), Qt::LeftButton);
        // The window keeps handling events: the progress bar moves while the run goes on.
        QTRY_VERIFY_WITH_TIMEOUT(window_->progress_bar()->value() > 0, 10'000);
        QElapsedTimer clock;
        clock.start();
        QTest::mouseClick(window_->cancel_button(), Qt::LeftButton);
        QVERIFY(finished.wait(5'000));
        QVERIFY(clock.elapsed() < 1000);
        QCOMPARE(window_->result()->end, LongRunEnd::cancelled);
        QVERIFY(window_->result()->steps_taken < 100'000'000);
        QVERIFY(window_->status_label()->text().startsWith(QStringLiteral("Cancelled after")));
        QCOMPARE(
            window_->status_label()->text().endsWith(QStringLiteral(" of 16 chains together.")),
            chains == 16);

        // Closing the window in the middle of a run ends the run with it.
        QTest::mouseClick(window_->run_button(), Qt::LeftButton);
        QVERIFY(window_->running());
        clock.restart();
        window_.reset();
        QVERIFY(clock.elapsed() < 1000);
    }

    // Several chains pool their figures and show both errors of each.
    void chainsShowBothErrors() {
        QCOMPARE(window_->chains_box()->value(), 1);
        QCOMPARE(window_->chains_box()->minimum(), 1);
        QCOMPARE(window_->chains_box()->maximum(), 256);
        window_->steps_box()->setValue(20'000);
        window_->burn_in_box()->setValue(1000);
        window_->chains_box()->setValue(8);
        QSignalSpy finished(window_.get(), &AnalysisWindow::run_finished);
        QTest::mouseClick(window_->run_button(), Qt::LeftButton);
        QVERIFY(window_->status_label()->text().startsWith(
            QStringLiteral("Running 8 chains of 20,000 steps from r = 0.5")));
        QVERIFY(finished.wait(20'000));
        QCOMPARE(window_->ensemble()->chains, 8);
        QCOMPARE(window_->result()->steps_taken, 8 * 20'000);
        QCOMPARE(window_->result()->recorded, 8 * 19'000);
        QCOMPARE(window_->progress_bar()->value(), 1000);
        QCOMPARE(window_->status_label()->text(),
                 QStringLiteral("Finished: 8 chains of 20,000 steps."));
        const QStringList lines = window_->statistics_label()->text().split(QLatin1Char('\n'));
        QVERIFY(lines[0].endsWith(QStringLiteral("; 8 chains, 152,000 steps after the burn-in.")));
        for (const int line : {1, 2}) {
            QCOMPARE(lines[line].count(QChar(0x00b1)), 2);
            QVERIFY(lines[line].contains(QStringLiteral(" by batches, \u00b1 ")));
            QVERIFY(lines[line].contains(QStringLiteral(" between chains")));
        }
        // The chart of the last steps is chain 0's, and says so.
        QCOMPARE(window_->time_series()->count(), 1000);
        QCOMPARE(window_->time_series()->chart()->title(),
                 QStringLiteral("The last 1000 steps of chain 0"));
        // One chain again: the run's own texts.
        window_->chains_box()->setValue(1);
        QTest::mouseClick(window_->run_button(), Qt::LeftButton);
        QVERIFY(finished.wait(20'000));
        QCOMPARE(window_->time_series()->chart()->title(), QStringLiteral("The last 1000 steps"));
        QCOMPARE(window_->status_label()->text(), QStringLiteral("Finished: 20,000 steps."));
        QVERIFY(!window_->statistics_label()->text().contains(QStringLiteral("chains")));
    }

    void exports() {
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        const QString csv = folder.filePath(QStringLiteral("trajectory.csv"));
        QVERIFY(!window_->export_trajectory_csv(csv));  // nothing run yet

        window_->steps_box()->setValue(5000);
        window_->burn_in_box()->setValue(1000);
        QSignalSpy finished(window_.get(), &AnalysisWindow::run_finished);
        QTest::mouseClick(window_->run_button(), Qt::LeftButton);
        QVERIFY(finished.wait(20'000));

        QVERIFY(window_->export_trajectory_csv(csv));
        const auto read = quobel::storage::load_trajectory_csv(csv.toStdString());
        QVERIFY(read.points.has_value());
        QVERIFY(*read.points == window_->result()->last_steps);

        const QString png = folder.filePath(QStringLiteral("density.png"));
        QVERIFY(window_->export_chart_png(Chart::histogram, png));
        const QImage shown(png);
        QVERIFY(!shown.isNull());
        QVERIFY(window_->export_chart_png(Chart::histogram, png, 2));
        QCOMPARE(QImage(png).size(), shown.size() * 2);

        const QString svg = folder.filePath(QStringLiteral("steps.svg"));
        QVERIFY(window_->export_chart_svg(Chart::time_series, svg));
        QFile file(svg);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().contains("<svg"));

        // A failed export leaves the earlier file as it was.
        QVERIFY(!window_->export_chart_png(Chart::time_series, folder.path()));
        QVERIFY(window_->status_label()->text().startsWith(QStringLiteral("Cannot write")));
        QVERIFY(!window_->export_chart_png(Chart::histogram, png, 1000));
        QVERIFY(!window_->export_chart_png(Chart::histogram, png, 1e300));
        QCOMPARE(QImage(png).size(), shown.size() * 2);
    }

    void aTypedNameGetsTheSuffixOfItsKind() {
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        QPushButton* svg = nullptr;
        for (QPushButton* button : window_->findChildren<QPushButton*>()) {
            if (button->text() == QStringLiteral("Export as SVG...") && svg == nullptr) {
                svg = button;
            }
        }
        QVERIFY(svg != nullptr);
        // The dialog is modal: it is answered from inside its own event loop, as a user would.
        bool answered = false;
        QTimer::singleShot(0, this, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (dialog == nullptr) {
                return;
            }
            dialog->setDirectory(folder.path());
            dialog->selectFile(QStringLiteral("chart"));
            // Through QDialog, where accept() is public; the file dialog's own still runs.
            static_cast<QDialog*>(dialog)->accept();
            answered = true;
        });
        QTest::mouseClick(svg, Qt::LeftButton);
        QVERIFY(answered);
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files), QStringList{"chart.svg"});
        QVERIFY(window_->status_label()->text().contains(QStringLiteral("chart.svg")));
    }

  private:
    std::unique_ptr<ProgramState> state_;
    std::unique_ptr<AnalysisWindow> window_;
};

QTEST_MAIN(TestAnalysisWindow)
#include "tst_analysis_window.moc"
