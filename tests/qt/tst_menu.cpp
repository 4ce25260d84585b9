// Tests of the main window's menu bar, its keys, the exports and the analysis window it opens.
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "storage/trajectory_csv.hpp"
#include "support/qt_test_support.hpp"
#include "windows/qt/analysis_window.hpp"
#include "windows/qt/plot_export.hpp"

using quobel::plot::PaletteColour;
using quobel::windows::Field;
using quobel::windows::MainButton;
using quobel::windows::qt::AnalysisWindow;
using quobel::windows::qt::Form1;
using quobel::windows::qt::Form2;
using quobel::windows::qt::QtProgram;
using namespace quobel::windows::qt::testing;

namespace {

// The texts of a menu's actions as the user reads them, separators left out.
QStringList action_texts(const QMenu& menu) {
    QStringList texts;
    for (const QAction* action : menu.actions()) {
        if (!action->isSeparator()) {
            texts << QString(action->text()).remove(QLatin1Char('&'));
        }
    }
    return texts;
}

// All that a user sees of the main window: the plot's pixels and every field's text.
struct Look {
    QImage plot;
    QStringList texts;
    bool operator==(const Look&) const = default;
};

Look look(Form1& form1) {
    Look seen{form1.plot_picture().image().copy(), {}};
    for (int f = 0; f <= static_cast<int>(Field::Text12); ++f) {
        for (int i = 0; form1.field(static_cast<Field>(f), i) != nullptr; ++i) {
            seen.texts << form1.field(static_cast<Field>(f), i)->text();
        }
    }
    return seen;
}

// A start point and an edit waiting for "Recalculate !!!", the focus left in the edited field.
void prepare(Form1& form1) {
    QTest::mouseClick(&form1.plot_picture(), Qt::LeftButton, Qt::NoModifier,
                      pixel_at(form1.plot_picture(), 0.4, 0.4));
    type_over(form1.field(Field::Text1, 0), QStringLiteral("0.25"));
}

int open_analysis_windows() {
    int open = 0;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        open += qobject_cast<AnalysisWindow*>(window) != nullptr ? 1 : 0;
    }
    return open;
}

}  // namespace

class TestMenu : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        QVERIFY(folder_.isValid());
        program_ = started_program();
        form1_ = program_->windows.form1();
    }
    void cleanup() {
        program_.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(QApplication::topLevelWidgets().size(), 0);
    }

    void menusAndTheirActions() {
        QStringList titles;
        for (const QAction* action : form1_->menu_bar()->actions()) {
            titles << QString(action->text()).remove(QLatin1Char('&'));
        }
        QCOMPARE(titles, (QStringList{"File", "View", "Help"}));
        const auto menu = [this](const char* name) {
            return form1_->menu_bar()->findChild<QMenu*>(QLatin1String(name));
        };
        QCOMPARE(action_texts(*menu("FileMenu")),
                 (QStringList{QStringLiteral("Save / Load\u2026"),
                              QStringLiteral("Export plot as PNG\u2026"),
                              QStringLiteral("Export trajectory as CSV\u2026"), "Quit"}));
        QCOMPARE(action_texts(*menu("ViewMenu")),
                 (QStringList{QStringLiteral("Analysis\u2026"), QStringLiteral("Sweep\u2026")}));
        QCOMPARE(action_texts(*menu("HelpMenu")), QStringList{"About Quobel"});
    }

    void theClientAreaSitsUnderTheMenuBar() {
        const int bar = form1_->menu_bar()->height();
        QVERIFY(bar > 0);
        QCOMPARE(form1_->menu_bar()->geometry().top(), 0);
        QCOMPARE(form1_->client_area()->geometry(), QRect(0, bar, 685, 622));
        QCOMPARE(form1_->size(), QSize(685, 622 + bar));
        QCOMPARE(form1_->minimumSize(), form1_->maximumSize());
        // Controls keep their places relative to the client area.
        QCOMPARE(form1_->plot_picture().mapTo(form1_, QPoint(0, 0)), QPoint(176, 64 + bar));
        QCOMPARE(form1_->button(MainButton::Command7)->geometry(), QRect(416, 568, 57, 49));
        QCOMPARE(form1_->field(Field::Text1, 3)->geometry(), QRect(128, 96, 41, 25));
    }

    void keysPressTheirButtons_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("button_number");
        QTest::addColumn<QString>("tooltip");
        QTest::newRow("F5") << int(Qt::Key_F5) << int(MainButton::Command1)
                            << QStringLiteral("Draw the maps (F5)");
        QTest::newRow("F6") << int(Qt::Key_F6) << int(MainButton::Command3)
                            << QStringLiteral("Take one random step (F6)");
        QTest::newRow("F7") << int(Qt::Key_F7) << int(MainButton::Command4)
                            << QStringLiteral("Take 100 random steps (F7)");
        QTest::newRow("F8") << int(Qt::Key_F8) << int(MainButton::Command5)
                            << QStringLiteral("Take 10000 random steps (F8)");
        QTest::newRow("F9") << int(Qt::Key_F9) << int(MainButton::Command2)
                            << QStringLiteral("Apply the edited parameters (F9)");
    }
    // Two programs draw the same sequence from their generators: one gets the key, the other a
    // click of the button, and both must then look the same, and different from before.
    void keysPressTheirButtons() {
        QFETCH(int, key);
        QFETCH(int, button_number);
        const auto button = static_cast<MainButton>(button_number);
        QFETCH(QString, tooltip);
        QCOMPARE(form1_->button(button)->toolTip(), tooltip);

        prepare(*form1_);
        const Look before = look(*form1_);
        QVERIFY(QTest::qWaitForWindowActive(form1_));
        QTest::keyClick(form1_->field(Field::Text1, 0), static_cast<Qt::Key>(key));
        const Look by_key = look(*form1_);

        program_ = started_program();
        form1_ = program_->windows.form1();
        prepare(*form1_);
        QVERIFY(look(*form1_) == before);
        QTest::mouseClick(form1_->button(button), Qt::LeftButton);
        QVERIFY(by_key == look(*form1_));
        QVERIFY(!(by_key == before));
    }

    void theAnalysisWindowIsOneAndFollowsTheParameters() {
        QAction* analysis = form1_->findChild<QAction*>(QStringLiteral("AnalysisAction"));
        analysis->trigger();
        analysis->trigger();
        AnalysisWindow* window = program_->windows.analysis_window();
        QVERIFY(window != nullptr);
        QVERIFY(window->isVisible());
        QCOMPARE(open_analysis_windows(), 1);
        QVERIFY(QTest::qWaitForWindowExposed(window));

        // Recalculate applies new proportions of investor 1, and the exponents follow.
        QString exponent = window->lambda_0_label()->text();
        type_over(form1_->field(Field::Text2, 0), QStringLiteral("0.9"));
        QCOMPARE(window->lambda_0_label()->text(), exponent);  // an edit alone changes nothing
        QTest::mouseClick(form1_->button(MainButton::Command2), Qt::LeftButton);
        QVERIFY(window->lambda_0_label()->text() != exponent);

        // Reset replaces the main window and its parameters, not the analysis window.
        exponent = window->lambda_0_label()->text();
        QTest::mouseClick(form1_->button(MainButton::Command7), Qt::LeftButton);
        form1_ = program_->windows.form1();
        QCOMPARE(program_->windows.analysis_window(), window);
        QVERIFY(window->isVisible());
        QVERIFY(window->lambda_0_label()->text() != exponent);
    }

    void saveLoadAndAboutFromTheMenu() {
        QAction* save_load = form1_->findChild<QAction*>(QStringLiteral("SaveLoadAction"));
        save_load->trigger();
        Form2* form2 = program_->windows.form2();
        QVERIFY(form2 != nullptr && form2->isVisible());
        save_load->trigger();
        QCOMPARE(program_->windows.form2(), form2);

        form1_->findChild<QAction*>(QStringLiteral("AboutAction"))->trigger();
        auto* about = form1_->findChild<QMessageBox*>(QStringLiteral("AboutBox"));
        QVERIFY(about != nullptr && about->isVisible());
        QCOMPARE(about->windowTitle(), QStringLiteral("About Quobel"));
        QVERIFY(about->text().startsWith(QStringLiteral("Quobel explores")));
        QPointer<QMessageBox> gone = about;
        about->accept();
        QTRY_VERIFY(gone.isNull());
    }

    void thePlotExportsAtItsResolutionOrLarger() {
        QTest::mouseClick(form1_->button(MainButton::Command1), Qt::LeftButton);
        auto& plot = form1_->plot_picture();
        const QImage& picture = plot.image();
        const QString once = folder_.filePath(QStringLiteral("plot.png"));
        QVERIFY(form1_->export_plot(once, 1));
        const QImage saved(once);
        QCOMPARE(saved.size(), QSize(497, 497));
        QCOMPARE(saved.convertToFormat(QImage::Format_RGB32), picture);

        const QString twice = folder_.filePath(QStringLiteral("plot2.png"));
        QVERIFY(form1_->export_plot(twice, 2));
        const QImage large = QImage(twice).convertToFormat(QImage::Format_RGB32);
        QCOMPARE(large.size(), QSize(994, 994));
        const QPoint frame = pixel_at(plot, 0, 0.5);
        QCOMPARE(large.pixelColor(frame * 2 + QPoint(1, 1)),
                 palette_colour(PaletteColour::light_grey));
        // Every pixel is a block of 2 x 2 of the same colour: no colour in between.
        bool blocks = true;
        for (int y = 0; y < large.height() && blocks; ++y) {
            const auto* row = reinterpret_cast<const QRgb*>(large.constScanLine(y));
            const auto* from = reinterpret_cast<const QRgb*>(picture.constScanLine(y / 2));
            for (int x = 0; x < large.width(); ++x) {
                blocks = blocks && row[x] == from[x / 2];
            }
        }
        QVERIFY(blocks);
        QCOMPARE(form1_->hint_label()->text(), Form1::hint_caption);
    }

    void theTrajectoryRoundTripsThroughCsv() {
        // Nothing recorded yet: the menu says so at once, without asking for a name.
        form1_->findChild<QAction*>(QStringLiteral("ExportTrajectoryAction"))->trigger();
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
        QCOMPARE(form1_->hint_label()->toolTip(),
                 QString::fromUtf8(quobel::windows::no_trajectory_notice));
        const QString name = folder_.filePath(QStringLiteral("cobweb.csv"));
        QVERIFY(!form1_->export_trajectory(name));
        QVERIFY(!QFile::exists(name));

        auto& plot = form1_->plot_picture();
        QTest::mouseClick(&plot, Qt::LeftButton, Qt::NoModifier, pixel_at(plot, 0.3, 0.3));
        const double start = program_->state.model.current_r.value();
        QTest::mouseClick(form1_->button(MainButton::Command4), Qt::LeftButton);
        QVERIFY(form1_->export_trajectory(name));
        QCOMPARE(form1_->hint_label()->text(), Form1::hint_caption);

        const auto read =
            quobel::storage::load_trajectory_csv(QFile::encodeName(name).toStdString());
        QVERIFY2(read.points.has_value(), read.reason.c_str());
        const auto& points = *read.points;
        QCOMPARE(points.size(), std::size_t{101});
        QCOMPARE(points.front().step, std::int64_t{0});
        QCOMPARE(points.front().map, 0);
        QCOMPARE(points.front().r, start);
        QCOMPARE(points.back().step, std::int64_t{100});
        QCOMPARE(points.back().r, program_->state.model.current_r.value());
        QVERIFY(points == program_->state.step_log.points());
    }

    void aFailedExportTellsWhyAndLeavesAllAsItWas() {
        QTest::mouseClick(form1_->button(MainButton::Command3), Qt::LeftButton);
        const QString folder = folder_.path();
        QVERIFY(!form1_->export_plot(folder, 1));
        QLabel* hint = form1_->hint_label();
        QVERIFY(hint->text() != Form1::hint_caption);
        QVERIFY(hint->toolTip().contains(folder));
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
        QVERIFY(!form1_->export_trajectory(folder));
        QVERIFY(hint->toolTip().contains(folder));
        QVERIFY(QFileInfo(folder).isDir());
        // The next export that succeeds withdraws the notice.
        QVERIFY(form1_->export_plot(folder_.filePath(QStringLiteral("plot.png")), 4));
        QCOMPARE(hint->text(), Form1::hint_caption);
    }

    // The program's own event loop. Closing Form1 while the analysis window is open keeps the
    // program running; closing that last window ends it.
    void theAnalysisWindowCountsAsAWindow() {
        bool kept_running = false;
        QTimer::singleShot(0, this, [&] {
            program_->windows.form1()
                ->findChild<QAction*>(QStringLiteral("AnalysisAction"))
                ->trigger();
            program_->windows.form1()->close();
            QTimer::singleShot(50, this, [&] {
                kept_running = program_->windows.analysis_window()->isVisible();
                program_->windows.analysis_window()->close();
            });
        });
        QTimer::singleShot(10000, this, [] { QCoreApplication::exit(1); });  // a guard only
        QCOMPARE(QApplication::exec(), 0);
        QVERIFY(kept_running);
    }

    // File > Quit closes every window, Form2 and the analysis window too, and ends the program.
    void quitClosesEveryWindow() {
        QTimer::singleShot(0, this, [&] {
            Form1* form1 = program_->windows.form1();
            form1->findChild<QAction*>(QStringLiteral("SaveLoadAction"))->trigger();
            form1->findChild<QAction*>(QStringLiteral("AnalysisAction"))->trigger();
            form1->findChild<QAction*>(QStringLiteral("QuitAction"))->trigger();
        });
        QTimer::singleShot(10000, this, [] { QCoreApplication::exit(1); });  // a guard only
        QCOMPARE(QApplication::exec(), 0);
        QCOMPARE(program_->windows.form1(), nullptr);
        QCOMPARE(program_->windows.form2(), nullptr);
        QVERIFY(!program_->windows.analysis_window()->isVisible());
    }

  private:
    QTemporaryDir folder_;
    std::unique_ptr<QtProgram> program_;
    Form1* form1_ = nullptr;
};

QTEST_MAIN(TestMenu)
#include "tst_menu.moc"
