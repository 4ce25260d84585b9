// Tests of Form1 on the real widgets: what start-up shows, typing, the buttons, the plot, layout.
#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <cmath>

#include "model/maps.hpp"
#include "model/number_text.hpp"
#include "support/qt_test_support.hpp"
#include "windows/qt/form1.hpp"

using quobel::model::general_text;
using quobel::model::three_decimals_text;
using quobel::plot::PaletteColour;
using quobel::windows::Field;
using quobel::windows::MainButton;
using quobel::windows::qt::Form1;
using quobel::windows::qt::QtProgram;
using namespace quobel::windows::qt::testing;

namespace {

QString q(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

class TestForm1 : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        program_ = started_program();
        form1_ = program_->windows.form1();
    }
    void cleanup() { program_.reset(); }

    void startUpShowsTheModel() {
        QCOMPARE(form1_->windowTitle(), QStringLiteral("Quobel"));
        QVERIFY(form1_->isVisible());
        QCOMPARE(form1_->field(Field::Text8, 0)->text(), QStringLiteral("0.3"));
        QCOMPARE(form1_->field(Field::Text8, 1)->text(), QStringLiteral("0.3"));
        QCOMPARE(form1_->field(Field::Text8, 2)->text(), QStringLiteral("0.4"));
        QCOMPARE(form1_->field(Field::Text9, 0)->text(), QStringLiteral("3"));
        QCOMPARE(form1_->field(Field::Text4, 0)->text(), QString());
        const auto& m = program_->state.model;
        for (int k = 1; k <= 4; ++k) {
            QCOMPARE(form1_->field(Field::Text1, k - 1)->text(), q(general_text(m.R(1, k))));
            QCOMPARE(form1_->field(Field::Text11, k - 1)->text(), q(general_text(m.la1(3, k))));
            QCOMPARE(form1_->field(Field::Text7, k - 1)->text(),
                     q(three_decimals_text(m.la2(2, k))));
            // The averages use the probabilities before the map count was written: 0.3, 0.35, 0.35.
            const double average =
                0.3 * m.R(1, k).value() + 0.35 * m.R(2, k).value() + 0.35 * m.R(3, k).value();
            QCOMPARE(form1_->average_label(k - 1)->text(), q(three_decimals_text(average)));
        }
        // Numbers wider than their field are shown from their first digit.
        QCOMPARE(form1_->field(Field::Text1, 0)->cursorPosition(), 0);
        QCOMPARE(form1_->hint_label()->text(), Form1::hint_caption);
        const auto caption = [this](const char* name) {
            return form1_->findChild<QLabel*>(QLatin1String(name))->text();
        };
        QCOMPARE(caption("Label13"), QStringLiteral("     Averages of  R_k"));
        QCOMPARE(caption("Label4"), QStringLiteral("  value         r"));
        QCOMPARE(caption("Label6"), QStringLiteral("lambda_k^1 (2)"));
        QCOMPARE(form1_->button(MainButton::Command2)->text(), QStringLiteral("Recalculate !!!"));
        QCOMPARE(form1_->button(MainButton::Command5)->text(), QStringLiteral("Next 10000"));
        QCOMPARE(form1_->button(MainButton::Command1)->font().pointSizeF(), 13.5);
        QVERIFY(form1_->button(MainButton::Command1)->font().bold());
        QCOMPARE(form1_->field(Field::Text9, 0)->palette().color(QPalette::Text),
                 QColor(255, 0, 0));
    }

    void aProgramWriteNotifiesOnlyWhenTheTextChanges() {
        QLineEdit* field = form1_->field(Field::Text2, 1);
        QSignalSpy changes(field, &QLineEdit::textChanged);
        // The line edit itself stays quiet when given the text it shows.
        field->setText(field->text());
        QCOMPARE(changes.count(), 0);
        form1_->set_field_text(Field::Text2, 1, field->text().toStdString());
        QCOMPARE(changes.count(), 0);
        QCOMPARE(program_->state.pending.edited_la1(1, 2), 0);
        form1_->set_field_text(Field::Text2, 1, "0.5");
        QCOMPARE(changes.count(), 1);
        // The handler ran before the write returned.
        QCOMPARE(program_->state.pending.new_la1(1, 2), 0.5);
        QCOMPARE(program_->state.pending.edited_la1(1, 2), 1);
        // Elements the window lacks are neither written nor read.
        form1_->set_field_text(Field::Text8, 3, "1");
        QCOMPARE(form1_->field_text(Field::Text8, 3), std::string());
        form1_->set_label_caption(4, "1");
    }

    void typingThenRecalculate() {
        QLineEdit* field = form1_->field(Field::Text1, 0);
        QSignalSpy changes(field, &QLineEdit::textChanged);
        type_over(field, QStringLiteral("0.25"));
        QCOMPARE(changes.count(), 4);  // "0", "0.", "0.2", "0.25"
        QCOMPARE(program_->state.pending.new_R(1, 1), 0.25);
        QCOMPARE(program_->state.model.R(1, 1).value() == 0.25, false);

        QTest::mouseClick(form1_->button(MainButton::Command2), Qt::LeftButton);
        const auto& m = program_->state.model;
        QCOMPARE(m.R(1, 1).value(), 0.25);
        QCOMPARE(field->text(), QStringLiteral("0.250"));
        double sum = 0;
        for (int k = 1; k <= 4; ++k) {
            sum += m.R(1, k).value();
            QCOMPARE(form1_->field(Field::Text1, k - 1)->text(),
                     q(three_decimals_text(m.R(1, k).value())));
        }
        QVERIFY(std::abs(sum - 1) < 1e-12);
        // The averages now use the probabilities in force, 0.3, 0.3 and 0.4.
        const double average =
            0.3 * m.R(1, 1).value() + 0.3 * m.R(2, 1).value() + 0.4 * m.R(3, 1).value();
        QCOMPARE(form1_->average_label(0)->text(), q(three_decimals_text(average)));
    }

    void goDrawsTheFrameTheDiagonalAndThreeGraphs() {
        QTest::mouseClick(form1_->button(MainButton::Command1), Qt::LeftButton);
        auto& plot = form1_->plot_picture();
        const QColor grey = palette_colour(PaletteColour::light_grey);
        QCOMPARE(colour_at(plot, 0, 0.5), grey);
        QCOMPARE(colour_at(plot, 0.5, 1), grey);
        QCOMPARE(colour_at(plot, 1, 0.3), grey);
        QCOMPARE(colour_at(plot, 0.7, 0), grey);
        // The graphs cross the diagonal only near their fixed points.
        int diagonal = 0;
        for (int i = 5; i <= 95; ++i) {
            diagonal += colour_at(plot, i / 100.0, i / 100.0) == grey ? 1 : 0;
        }
        QVERIFY2(diagonal >= 80, qPrintable(QString::number(diagonal)));
        // Each graph shows in its own colour at most of its grid points; a later map covers an
        // earlier one only where they meet.
        const PaletteColour colours[] = {PaletteColour::light_yellow, PaletteColour::light_green,
                                         PaletteColour::light_cyan};
        for (int s = 1; s <= 3; ++s) {
            int shown = 0;
            for (int j = 0; j <= 100; ++j) {
                const double x = j / 100.0;
                const double y = quobel::model::tau(program_->state.model, s, x);
                shown += colour_at(plot, static_cast<float>(x), static_cast<float>(y)) ==
                                 palette_colour(colours[s - 1])
                             ? 1
                             : 0;
            }
            QVERIFY2(shown >= 60, qPrintable(QStringLiteral("map %1: %2").arg(s).arg(shown)));
        }
    }

    void pressOnThePlotThenNextStep() {
        auto& plot = form1_->plot_picture();
        const QPoint middle = pixel_at(plot, 0.5, 0.5);
        QTest::mouseClick(&plot, Qt::LeftButton, Qt::NoModifier, middle);
        const double start = form1_->field(Field::Text4, 0)->text().toDouble();
        QVERIFY(std::abs(start - 0.5) < 1.01 / 497);
        QCOMPARE(plot.image().pixelColor(middle), palette_colour(PaletteColour::light_magenta));

        QTest::mouseClick(form1_->button(MainButton::Command3), Qt::LeftButton);
        const auto& m = program_->state.model;
        QCOMPARE(form1_->field(Field::Text4, 0)->text(), q(general_text(m.current_r)));
        QVERIFY(m.current_r.value() != start);
        // The horizontal cobweb segment ends on the diagonal at the new point.
        const double r = m.current_r.value();
        QCOMPARE(colour_at(plot, static_cast<float>(r), static_cast<float>(r)),
                 palette_colour(PaletteColour::light_magenta));
    }

    void aStoppedRunShowsItsNoticeInTheHintLine() {
        type_over(form1_->field(Field::Text9, 0), QStringLiteral("5"));
        QTest::mouseClick(form1_->button(MainButton::Command3), Qt::LeftButton);
        QLabel* hint = form1_->hint_label();
        QVERIFY(hint->text() != Form1::hint_caption);
        QVERIFY(hint->toolTip().startsWith(QStringLiteral("No step taken")));
        QVERIFY(hint->fontMetrics().horizontalAdvance(hint->text()) <= hint->width());
        QTest::mouseClick(form1_->button(MainButton::Command1), Qt::LeftButton);
        QCOMPARE(hint->text(), Form1::hint_caption);
        QCOMPARE(hint->toolTip(), QString());
    }

    void layout_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("expected");
        // Twips of the layout divided by 15.
        QTest::newRow("Form1 client area") << QString() << QRect(0, 0, 685, 622);
        QTest::newRow("Picture1") << "Picture1" << QRect(392, 0, 297, 57);
        QTest::newRow("Label13") << "Label13" << QRect(8, 16, 161, 25);
        QTest::newRow("Text9") << "Text9" << QRect(200, 32, 41, 25);
        QTest::newRow("Text8_2") << "Text8_2" << QRect(328, 32, 41, 25);
        QTest::newRow("Label14_3") << "Label14_3" << QRect(128, 40, 41, 25);
        QTest::newRow("Picture2") << "Picture2" << QRect(176, 64, 497, 497);
        QTest::newRow("Text3_1") << "Text3_1" << QRect(48, 192, 41, 25);
        QTest::newRow("Text12_3") << "Text12_3" << QRect(128, 496, 41, 25);
        QTest::newRow("Command2") << "Command2" << QRect(16, 528, 145, 25);
        QTest::newRow("Command1") << "Command1" << QRect(0, 560, 73, 57);
        QTest::newRow("Command5") << "Command5" << QRect(184, 568, 97, 49);
        QTest::newRow("Label4") << "Label4" << QRect(544, 568, 49, 33);
        QTest::newRow("Text4") << "Text4" << QRect(592, 568, 81, 33);
        QTest::newRow("Label15") << "Label15" << QRect(488, 608, 201, 17);
    }

    void layout() {
        QFETCH(QString, name);
        QFETCH(QRect, expected);
        // Positions are relative to the client area, which lies right under the menu bar.
        const QWidget* client = form1_->client_area();
        const QWidget* widget =
            name.isEmpty() ? client : client->findChild<QWidget*>(name, Qt::FindDirectChildrenOnly);
        QVERIFY(widget != nullptr);
        QCOMPARE(widget->geometry().size(), expected.size());
        if (!name.isEmpty()) {
            QCOMPARE(widget->geometry(), expected);
        }
    }

    void tabOrderFollowsTheLayout() {
        // The control that Tab moves to from a control.
        const auto next = [](QWidget* widget) {
            do {
                widget = widget->nextInFocusChain();
            } while (!(widget->focusPolicy() & Qt::TabFocus));
            return widget;
        };
        QCOMPARE(next(form1_->field(Field::Text9, 0)), form1_->field(Field::Text8, 0));
        QCOMPARE(next(form1_->field(Field::Text8, 2)), form1_->field(Field::Text1, 0));
        QCOMPARE(next(form1_->field(Field::Text1, 3)), form1_->field(Field::Text2, 0));
        QCOMPARE(next(form1_->field(Field::Text12, 3)), form1_->button(MainButton::Command2));
        QCOMPARE(next(form1_->button(MainButton::Command2)), form1_->button(MainButton::Command1));
        QCOMPARE(next(form1_->button(MainButton::Command7)), form1_->field(Field::Text4, 0));
    }

  private:
    std::unique_ptr<QtProgram> program_;
    Form1* form1_ = nullptr;
};

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"
