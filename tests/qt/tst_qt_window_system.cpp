// Tests of the two windows together: opening Form2, saving and loading, Reset, closing windows.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QIcon>
#include <QLabel>
#include <QPixmap>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "model/number_text.hpp"
#include "support/qt_test_support.hpp"

using quobel::windows::Field;
using quobel::windows::MainButton;
using quobel::windows::StatusLabel;
using quobel::windows::qt::Form1;
using quobel::windows::qt::Form2;
using quobel::windows::qt::QtProgram;
using namespace quobel::windows::qt::testing;

class TestQtWindowSystem : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        QVERIFY(folder_.isValid());
        program_ = started_program();
    }
    void cleanup() {
        program_.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(QApplication::topLevelWidgets().size(), 0);
    }

    void theProgramGoesByItsDesktopNameAndIcon() {
        quobel::windows::qt::identify_program();
        QCOMPARE(QGuiApplication::desktopFileName(), QStringLiteral("quobel"));
        // Drawn from the built-in SVG at any size a desktop asks for.
        const QPixmap icon = QApplication::windowIcon().pixmap(48, 48);
        QCOMPARE(icon.size(), QSize(48, 48));
        QVERIFY(icon.toImage().pixelColor(24, 24).alpha() > 0);
    }

    void saveLoadTwiceOpensOneWindow() {
        Form1* form1 = program_->windows.form1();
        QTest::mouseClick(form1->button(MainButton::Command6), Qt::LeftButton);
        Form2* form2 = program_->windows.form2();
        QVERIFY(form2 != nullptr);
        type_over(form2->file_name_field(), QStringLiteral("other.txt"));
        QTest::mouseClick(form1->button(MainButton::Command6), Qt::LeftButton);
        QCOMPARE(program_->windows.form2(), form2);
        QCOMPARE(form2->file_name_field()->text(), QStringLiteral("other.txt"));
        int open = 0;
        for (QWidget* window : QApplication::topLevelWidgets()) {
            open += qobject_cast<Form2*>(window) != nullptr ? 1 : 0;
        }
        QCOMPARE(open, 1);
        QCOMPARE(form2->windowTitle(), QStringLiteral("Save / Load data"));
        QCOMPARE(form2->size(), QSize(312, 213));
        QCOMPARE(form2->geometry().topLeft(), QPoint(388, 319));
        QCOMPARE(form2->findChild<QLabel*>(QStringLiteral("Label1"))->text(),
                 QStringLiteral("         File name"));
        QCOMPARE(form2->status_label(StatusLabel::save)->geometry(), QRect(224, 88, 73, 33));
    }

    void saveThenLoadInAFolder() {
        Form1* form1 = program_->windows.form1();
        QTest::mouseClick(form1->button(MainButton::Command6), Qt::LeftButton);
        Form2* form2 = program_->windows.form2();
        QCOMPARE(form2->file_name_field()->text(), QStringLiteral("maps_data.txt"));
        QCOMPARE(form2->status_label(StatusLabel::save)->text(), QString());
        const QString name = folder_.filePath(QStringLiteral("maps.txt"));
        type_over(form2->file_name_field(), name);
        QCOMPARE(QString::fromStdString(program_->state.model.data_file_name), name);

        const std::string saved_r = form1->field_text(Field::Text1, 2);
        QTest::mouseClick(form2->save_button(), Qt::LeftButton);
        QCOMPARE(form2->status_label(StatusLabel::save)->text(), QStringLiteral("Saved"));
        QVERIFY(QFile::exists(name));

        // New random parameters, then the saved ones back.
        QTest::mouseClick(program_->windows.form1()->button(MainButton::Command7), Qt::LeftButton);
        form1 = program_->windows.form1();
        QVERIFY(form1->field_text(Field::Text1, 2) != saved_r);
        QTest::mouseClick(form2->load_button(), Qt::LeftButton);
        QCOMPARE(form2->status_label(StatusLabel::load)->text(), QStringLiteral("Loaded"));
        QCOMPARE(form2->status_label(StatusLabel::save)->text(), QStringLiteral("Saved"));
        const double loaded = program_->state.model.R(1, 3).value();
        QCOMPARE(form1->field(Field::Text1, 2)->text(),
                 QString::fromStdString(quobel::model::three_decimals_text(loaded)));
        QCOMPARE(form2->reason_line()->text(), QString());
    }

    void aFailedLoadSaysWhyWithoutADialog() {
        QTest::mouseClick(program_->windows.form1()->button(MainButton::Command6), Qt::LeftButton);
        Form2* form2 = program_->windows.form2();
        QLabel* loaded = form2->status_label(StatusLabel::load);
        type_over(form2->file_name_field(), folder_.filePath(QStringLiteral("missing.txt")));
        QTest::mouseClick(form2->load_button(), Qt::LeftButton);
        QCOMPARE(loaded->text(), QString());
        QVERIFY(!loaded->toolTip().isEmpty());
        QVERIFY(form2->reason_line()->text().contains(loaded->toolTip()));
        QVERIFY(form2->reason_line()->geometry().top() >= 170);
        QCOMPARE(QApplication::activeModalWidget(), nullptr);

        type_over(form2->file_name_field(), folder_.filePath(QStringLiteral("good.txt")));
        QTest::mouseClick(form2->save_button(), Qt::LeftButton);
        QCOMPARE(form2->status_label(StatusLabel::save)->text(), QStringLiteral("Saved"));
        QCOMPARE(form2->reason_line()->text(), QString());
    }

    void resetReplacesForm1AndKeepsForm2() {
        QPointer<Form1> old_form1 = program_->windows.form1();
        QTest::mouseClick(old_form1->button(MainButton::Command1), Qt::LeftButton);
        QTest::mouseClick(&old_form1->plot_picture(), Qt::LeftButton);
        QTest::mouseClick(old_form1->button(MainButton::Command6), Qt::LeftButton);
        Form2* form2 = program_->windows.form2();
        type_over(form2->file_name_field(), QStringLiteral("kept.txt"));
        const double r = program_->state.model.current_r.value();
        const std::string old_share = old_form1->field_text(Field::Text2, 0);
        old_form1->move(40, 30);

        QTest::mouseClick(old_form1->button(MainButton::Command7), Qt::LeftButton);
        Form1* form1 = program_->windows.form1();
        QVERIFY(form1 != old_form1);
        QVERIFY(form1->isVisible());
        QCOMPARE(form1->pos(), QPoint(40, 30));
        QVERIFY(form1->field_text(Field::Text2, 0) != old_share);
        QCOMPARE(form1->field_text(Field::Text4, 0), std::string());
        QCOMPARE(form1->field_text(Field::Text9, 0), std::string("3"));
        QCOMPARE(program_->state.model.current_r.value(), r);
        // The old window goes once the click is over; Form2 stays as it was.
        QTRY_VERIFY(old_form1.isNull());
        QCOMPARE(program_->windows.form2(), form2);
        QVERIFY(form2->isVisible());
        QCOMPARE(form2->file_name_field()->text(), QStringLiteral("kept.txt"));
    }

    void closingForm1LeavesForm2Working() {
        QTest::mouseClick(program_->windows.form1()->button(MainButton::Command6), Qt::LeftButton);
        Form2* form2 = program_->windows.form2();
        const QString name = folder_.filePath(QStringLiteral("closed.txt"));
        type_over(form2->file_name_field(), name);
        QTest::mouseClick(form2->save_button(), Qt::LeftButton);

        QPointer<Form1> form1 = program_->windows.form1();
        QVERIFY(form1->close());
        QCOMPARE(program_->windows.main_window(), nullptr);
        QTRY_VERIFY(form1.isNull());
        // The load goes into the model; there is no main window to refresh.
        QTest::mouseClick(form2->load_button(), Qt::LeftButton);
        QCOMPARE(form2->status_label(StatusLabel::load)->text(), QStringLiteral("Loaded"));
        // Showing the main window again loads the model into a fresh one.
        program_->windows.show_main_window();
        QVERIFY(program_->windows.form1() != nullptr);
        QCOMPARE(program_->windows.form1()->field_text(Field::Text9, 0), std::string("3"));
    }

    void aClosedForm2OpensAfresh() {
        QTest::mouseClick(program_->windows.form1()->button(MainButton::Command6), Qt::LeftButton);
        Form2* form2 = program_->windows.form2();
        type_over(form2->file_name_field(), folder_.filePath(QStringLiteral("again.txt")));
        QTest::mouseClick(form2->save_button(), Qt::LeftButton);
        form2->close();
        QTest::mouseClick(program_->windows.form1()->button(MainButton::Command6), Qt::LeftButton);
        Form2* fresh = program_->windows.form2();
        QVERIFY(fresh != nullptr);
        QCOMPARE(fresh->file_name_field()->text(), folder_.filePath(QStringLiteral("again.txt")));
        QCOMPARE(fresh->status_label(StatusLabel::save)->text(), QString());
    }

    // The program's own event loop: Reset does not end it, closing Form1 while Form2 is open does
    // not end it, closing the last window does. Runs last, as it ends the event loop.
    void theProgramEndsWithItsLastWindow() {
        int step = 0;
        QTimer::singleShot(0, this, [&] {
            QTest::mouseClick(program_->windows.form1()->button(MainButton::Command7),
                              Qt::LeftButton);
            QTest::mouseClick(program_->windows.form1()->button(MainButton::Command6),
                              Qt::LeftButton);
            step = 1;
            QTimer::singleShot(50, this, [&] {
                program_->windows.form1()->close();
                step = 2;
                QTimer::singleShot(50, this, [&] {
                    QVERIFY(program_->windows.form2()->isVisible());
                    step = 3;
                    program_->windows.form2()->close();
                });
            });
        });
        QTimer::singleShot(10000, this, [] { QCoreApplication::exit(1); });  // a guard only
        QCOMPARE(QApplication::exec(), 0);
        QCOMPARE(step, 3);
    }

  private:
    QTemporaryDir folder_;
    std::unique_ptr<QtProgram> program_;
};

QTEST_MAIN(TestQtWindowSystem)
#include "tst_qt_window_system.moc"
