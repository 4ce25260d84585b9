// A seeded soak of the real windows: thousands of random keystrokes, clicks and plot presses, with
// the program's state checked after every one of them.
#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <deque>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "model/number_text.hpp"
#include "model/tables.hpp"
#include "storage/parameter_file.hpp"
#include "support/program_invariants.hpp"
#include "support/qt_test_support.hpp"

using quobel::model::max_maps;
using quobel::model::max_stocks;
using quobel::model::ModelState;
using quobel::windows::Field;
using quobel::windows::MainButton;
using quobel::windows::StatusLabel;
using quobel::windows::qt::Form1;
using quobel::windows::qt::Form2;
using quobel::windows::qt::PlotPicture;
using quobel::windows::qt::QtProgram;
using namespace quobel::windows::qt::testing;
using quobel::testing::broken_model_rule;
using quobel::testing::broken_pending_rule;

namespace {

constexpr int soak_events = 3000;

// The draws come straight from mt19937, whose sequence the standard fixes, rather than from the
// library's distributions, whose results differ between implementations.
class Dice {
  public:
    explicit Dice(std::uint32_t seed) : engine_(seed) {}
    int below(int n) { return static_cast<int>(engine_() % static_cast<std::uint32_t>(n)); }
    bool one_in(int n) { return below(n) == 0; }
    template <class T, std::size_t N>
    const T& pick(const std::array<T, N>& items) {
        return items[static_cast<std::size_t>(below(static_cast<int>(N)))];
    }

  private:
    std::mt19937 engine_;
};

// What users type into the parameter fields and the map count: shares, counts, nothing, junk,
// and numbers at the edges of what a double holds.
const std::array<const char*, 42> typed_texts = {
    "0.25",
    "0.1",
    "0.333",
    "0.5",
    ".75",
    "1",
    "0.0625",
    "0.999",
    "-0.25",
    "2",
    "3",
    "2.5",
    "2.0",
    "1e9",
    "-3",
    "0",
    "",
    "4",
    "10",
    "11",
    "abc",
    "1e999",
    "--",
    ".",
    "\u00f1",
    "3abc",
    " 3",
    "1e",
    "-0",
    "1,5",
    "0.2.5",
    "123456789012345678901234567890",
    "0.000000000000000000000000001",
    "1.7976931348623157e308",
    "-1.7976931348623157e308",
    "3.14159265358979323846264338327950288",
    "1e308",
    "4.9e-324",
    "1e-310",
    "99999999999999999999999999999999999999999999999999",
    "0.1234567890123456789",
    "-1e-300",
};

const std::array<const char*, 5> map_counts = {"1", "2", "3", "3", "2.0"};

const std::array<Qt::MouseButton, 3> mouse_buttons = {Qt::LeftButton, Qt::RightButton,
                                                      Qt::MiddleButton};
const std::array<Qt::KeyboardModifiers, 5> modifiers = {Qt::NoModifier, Qt::ShiftModifier,
                                                        Qt::ControlModifier, Qt::AltModifier,
                                                        Qt::ShiftModifier | Qt::ControlModifier};

// The buttons of Form1 except the long run, which takes far longer than any other event, weighted
// toward drawing and recalculating.
const std::array<MainButton, 10> short_buttons = {
    MainButton::Command1, MainButton::Command1, MainButton::Command2, MainButton::Command2,
    MainButton::Command2, MainButton::Command3, MainButton::Command3, MainButton::Command4,
    MainButton::Command6, MainButton::Command7};

// A file name the save and load window is given, and whether a save under it must succeed.
struct FileName {
    QString text;
    bool writable;
};

QString q(const std::string& text) {
    return QString::fromStdString(text);
}

bool close_to(double a, double b) {
    return a == b || std::abs(a - b) <= 1e-6 * std::max(std::abs(a), std::abs(b));
}

// The first broken rule of the program's state, or an empty text.
QString broken_invariant(const QtProgram& program) {
    for (const std::string& broken :
         {broken_model_rule(program.state.model), broken_pending_rule(program.state.pending)}) {
        if (!broken.empty()) {
            return q(broken);
        }
    }
    const Form1* form1 = program.windows.form1();
    if (form1 == nullptr || !form1->isVisible()) {
        return QStringLiteral("the main window is gone");
    }
    // Closed windows are gone once the event loop has run, and nothing ever waits on the user.
    int form1s = 0, form2s = 0;
    for (const QWidget* window : QApplication::topLevelWidgets()) {
        form1s += qobject_cast<const Form1*>(window) != nullptr ? 1 : 0;
        form2s += qobject_cast<const Form2*>(window) != nullptr ? 1 : 0;
    }
    if (form1s != 1 || form2s > 1) {
        return QStringLiteral("%1 main windows and %2 save and load windows exist")
            .arg(form1s)
            .arg(form2s);
    }
    if (QApplication::activeModalWidget() != nullptr) {
        return QStringLiteral("a modal window is open");
    }
    return {};
}

// Whether a file that was just saved from `model` loads back with the model's values; the load
// goes into a fresh model so that every value compared comes from the file.
QString fails_to_load_back(const ModelState& model, const std::string& name) {
    ModelState fresh;
    const auto outcome = quobel::storage::load_parameter_file(fresh, name);
    if (!outcome.ok) {
        return QStringLiteral("the saved file does not load: ") + q(outcome.reason);
    }
    const double maps = std::min(model.num_maps, double{max_maps});
    const double stocks = std::min(model.num_stocks, double{max_stocks});
    if (!close_to(fresh.num_maps, maps) || !close_to(fresh.num_stocks, stocks)) {
        return QStringLiteral("the counts come back as %1 and %2")
            .arg(fresh.num_maps)
            .arg(fresh.num_stocks);
    }
    for (int s = 1; s <= model.maps_in_tables(); ++s) {
        if (!close_to(fresh.prob(s), model.prob(s))) {
            return QStringLiteral("prob(%1) comes back as %2").arg(s).arg(fresh.prob(s));
        }
        for (int k = 1; k <= model.stocks_in_tables(); ++k) {
            if (!close_to(fresh.R(s, k).value(), model.R(s, k).value()) ||
                !close_to(fresh.la1(s, k).value(), model.la1(s, k).value()) ||
                !close_to(fresh.la2(s, k), model.la2(s, k))) {
                return QStringLiteral("map %1 stock %2 comes back changed").arg(s).arg(k);
            }
        }
    }
    return {};
}

// Types a text keystroke by keystroke; a character beyond ASCII comes as the text of a key the
// keyboard has no code for, as a compose sequence or an input method delivers it.
void key_in(QLineEdit* field, const QString& text) {
    for (const QChar c : text) {
        if (c.unicode() < 0x80) {
            QTest::keyClick(field, c.toLatin1());
        } else {
            QTest::sendKeyEvent(QTest::Click, field, Qt::Key_unknown, QString(c), Qt::NoModifier);
        }
    }
}

QtMessageHandler test_handler = nullptr;

// The offscreen platform cannot raise a window, and says so each time "Save / Load" brings an
// open Form2 to the front; every other message goes on to the test log.
void drop_raise_warnings(QtMsgType type, const QMessageLogContext& context,
                         const QString& message) {
    if (message != QLatin1String("This plugin does not support raise()")) {
        test_handler(type, context, message);
    }
}

// Lets the event loop catch up, including the destruction of windows closed by the last event.
void settle() {
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}  // namespace

class TestSoak : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() { test_handler = qInstallMessageHandler(drop_raise_warnings); }
    void cleanupTestCase() { qInstallMessageHandler(test_handler); }

    void init() {
        folder_ = std::make_unique<QTemporaryDir>();
        QVERIFY(folder_->isValid());
        // Form2 starts with a name relative to the working folder; saves under it land here.
        previous_folder_ = QDir::currentPath();
        QVERIFY(QDir::setCurrent(folder_->path()));
        QFile junk(folder_->filePath(QStringLiteral("junk.txt")));
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write("abc\r\n--\r\n");
        junk.close();
        names_ = {
            {QStringLiteral("maps_data.txt"), true},
            {folder_->filePath(QStringLiteral("maps_a.txt")), true},
            {folder_->filePath(QStringLiteral("maps b.txt")), true},
            {folder_->filePath(QStringLiteral("\u00f1ame.txt")), true},
            {folder_->filePath(QStringLiteral("junk.txt")), true},
            {folder_->path(), false},
            {folder_->filePath(QStringLiteral("missing/maps.txt")), false},
            {QString(), false},
        };
        loadable_.clear();
        recent_.clear();
        counts_ = {};
    }
    void cleanup() {
        program_.reset();
        settle();
        QDir::setCurrent(previous_folder_);
        folder_.reset();
    }

    void randomEventsKeepTheProgramSound_data() {
        QTest::addColumn<quint32>("seed");
        // Two seeds of 3000 events each; a fault seen under a seed shows again under it.
        QTest::newRow("seed 7") << quint32{7};
        QTest::newRow("seed 2024") << quint32{2024};
    }
    void randomEventsKeepTheProgramSound() {
        QFETCH(quint32, seed);
        seed_ = seed;
        program_ = started_program();
        Dice dice(seed);
        QElapsedTimer clock;
        clock.start();
        for (event_ = 0; event_ < soak_events; ++event_) {
            const int kind = dice.below(20);
            if (kind < 8) {
                type_into_form1(dice);
            } else if (kind < 13) {
                click_form1(dice);
            } else if (kind < 16) {
                press_plot(dice);
            } else {
                use_form2(dice);
            }
            if (QTest::currentTestFailed()) {
                return;
            }
            settle();
            const QString broken = broken_invariant(*program_);
            QVERIFY2(broken.isEmpty(), qPrintable(failure(broken)));
        }
        const qint64 elapsed = clock.elapsed();

        const ModelState& m = program_->state.model;
        const QByteArray digest =
            QCryptographicHash::hash(
                QByteArray::fromStdString(quobel::storage::parameter_file_text(m) +
                                          quobel::model::general_text(m.current_r)),
                QCryptographicHash::Sha1)
                .toHex()
                .left(12);
        qInfo(
            "%d events in %lld ms: %d keystroke texts, %d clicks (%d Reset, %d Next 10000), %d "
            "plot presses, %d saves (%d saved), %d loads (%d loaded); final state %s",
            soak_events, elapsed, counts_.typed, counts_.clicks, counts_.resets, counts_.long_runs,
            counts_.presses, counts_.saves, counts_.saved, counts_.loads, counts_.loaded,
            digest.constData());
        // Every kind of event took place, and saves and loads both succeeded and failed.
        QVERIFY(counts_.typed > 0 && counts_.resets > 0 && counts_.long_runs > 0 &&
                counts_.presses > 0);
        QVERIFY(counts_.saved > 0 && counts_.saved < counts_.saves && counts_.loaded > 0 &&
                counts_.loaded < counts_.loads);

        program_.reset();
        settle();
        QCOMPARE(QApplication::topLevelWidgets().size(), 0);
    }

  private:
    Form1& form1() { return *program_->windows.form1(); }

    void note(const QString& what) {
        recent_.push_back(QStringLiteral("#%1 %2").arg(event_).arg(what));
        if (recent_.size() > 12) {
            recent_.pop_front();
        }
    }

    // The broken rule with the events that led to it.
    QString failure(const QString& broken) const {
        QString text = broken + QStringLiteral("\nlast events (seed %1):").arg(seed_);
        for (const QString& event : recent_) {
            text += QLatin1Char('\n') + event;
        }
        return text;
    }

    void type_into_form1(Dice& dice) {
        // The map count gets more than its share: it changes the model at every keystroke.
        const int which = dice.below(16);
        const Field field = which < 12   ? static_cast<Field>(which)
                            : which < 15 ? Field::Text9
                                         : Field::Text8;
        const int index = dice.below(quobel::windows::field_elements(field));
        QLineEdit* edit = form1().field(field, index);
        QVERIFY(edit != nullptr);
        // Most counts typed are ones the maps can run with, so that the runs take steps through
        // whatever parameters the other texts left behind.
        const QString text =
            QString::fromUtf8(field == Field::Text9 && !dice.one_in(3) ? dice.pick(map_counts)
                                                                       : dice.pick(typed_texts));
        const int how = dice.below(6);
        if (how == 5) {
            // The field's own undo takes back the user's last typing, if any is left since the
            // program last wrote the field.
            note(QStringLiteral("Ctrl+Z in %1").arg(edit->objectName()));
            QTest::keyClick(edit, Qt::Key_Z, Qt::ControlModifier);
            return;
        }
        note(QStringLiteral("type \"%1\" into %2 (%3)")
                 .arg(text, edit->objectName(),
                      how < 2   ? QStringLiteral("after Ctrl+A")
                      : how < 4 ? QStringLiteral("after Backspaces")
                                : QStringLiteral("at the cursor")));
        if (how < 2) {
            QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
            if (text.isEmpty()) {
                QTest::keyClick(edit, Qt::Key_Backspace);
            }
        } else if (how < 4) {
            QTest::keyClick(edit, Qt::Key_End);
            for (qsizetype n = edit->text().size(); n > 0; --n) {
                QTest::keyClick(edit, Qt::Key_Backspace);
            }
        }
        key_in(edit, text);
        ++counts_.typed;
    }

    void click_form1(Dice& dice) {
        const MainButton button = dice.one_in(50) ? MainButton::Command5 : dice.pick(short_buttons);
        QPushButton* control = form1().button(button);
        QVERIFY(control != nullptr);
        note(QStringLiteral("click %1 \"%2\"").arg(control->objectName(), control->text()));
        QTest::mouseClick(control, Qt::LeftButton);
        ++counts_.clicks;
        counts_.resets += button == MainButton::Command7 ? 1 : 0;
        counts_.long_runs += button == MainButton::Command5 ? 1 : 0;
    }

    void press_plot(Dice& dice) {
        PlotPicture& plot = form1().plot_picture();
        // Half the presses land within a few pixels of an edge, in the plot's margins and corners.
        const auto coordinate = [&dice](int extent) {
            switch (dice.below(4)) {
                case 0:
                    return dice.below(3);
                case 1:
                    return extent - 1 - dice.below(3);
                default:
                    return dice.below(extent);
            }
        };
        const QPoint at(coordinate(plot.width()), coordinate(plot.height()));
        const Qt::MouseButton button = dice.pick(mouse_buttons);
        const Qt::KeyboardModifiers modifier = dice.pick(modifiers);
        note(QStringLiteral("press button %1 with modifiers %2 on the plot at (%3, %4)")
                 .arg(static_cast<int>(button))
                 .arg(static_cast<int>(modifier))
                 .arg(at.x())
                 .arg(at.y()));
        QTest::mouseClick(&plot, button, modifier, at);
        ++counts_.presses;
    }

    void use_form2(Dice& dice) {
        Form2* form2 = program_->windows.form2();
        if (form2 == nullptr) {
            note(QStringLiteral("open Form2"));
            QTest::mouseClick(form1().button(MainButton::Command6), Qt::LeftButton);
            QVERIFY(program_->windows.form2() != nullptr);
            return;
        }
        const int action = dice.below(10);
        if (action < 4) {
            const FileName& name =
                names_[static_cast<std::size_t>(dice.below(static_cast<int>(names_.size())))];
            note(QStringLiteral("type the file name \"%1\"").arg(name.text));
            QTest::keyClick(form2->file_name_field(), Qt::Key_A, Qt::ControlModifier);
            QTest::keyClick(form2->file_name_field(), Qt::Key_Backspace);
            key_in(form2->file_name_field(), name.text);
            QCOMPARE(q(program_->state.model.data_file_name), name.text);
        } else if (action < 6) {
            save(*form2);
        } else if (action < 8) {
            load(*form2);
        } else {
            note(QStringLiteral("close Form2"));
            QPointer<Form2> closed = form2;
            QVERIFY(form2->close());
            QCOMPARE(program_->windows.form2(), nullptr);
            settle();
            QVERIFY(closed.isNull());
        }
    }

    // The entry of the name the model holds, nullptr if the typing did not arrive as typed.
    const FileName* current_name() const {
        const QString name = q(program_->state.model.data_file_name);
        const auto found = std::find_if(names_.begin(), names_.end(),
                                        [&name](const FileName& f) { return f.text == name; });
        return found != names_.end() ? &*found : nullptr;
    }

    void save(Form2& form2) {
        const FileName* entry = current_name();
        QVERIFY(entry != nullptr);
        const FileName& name = *entry;
        note(QStringLiteral("Save as \"%1\"").arg(name.text));
        QTest::mouseClick(form2.save_button(), Qt::LeftButton);
        ++counts_.saves;
        const bool saved = form2.status_label(StatusLabel::save)->text() == QStringLiteral("Saved");
        QVERIFY2(saved == name.writable,
                 qPrintable(failure(saved ? QStringLiteral("a save that cannot succeed said Saved")
                                          : QStringLiteral("a save failed: ") +
                                                form2.reason_line()->text())));
        if (saved) {
            ++counts_.saved;
            loadable_.insert(name.text);
            const QString broken =
                fails_to_load_back(program_->state.model, name.text.toStdString());
            QVERIFY2(broken.isEmpty(), qPrintable(failure(broken)));
        }
    }

    void load(Form2& form2) {
        const FileName* entry = current_name();
        QVERIFY(entry != nullptr);
        const FileName& name = *entry;
        note(QStringLiteral("Load \"%1\"").arg(name.text));
        QTest::mouseClick(form2.load_button(), Qt::LeftButton);
        ++counts_.loads;
        const bool loaded =
            form2.status_label(StatusLabel::load)->text() == QStringLiteral("Loaded");
        // A load succeeds exactly under the names a save succeeded under.
        QVERIFY2(
            loaded == loadable_.contains(name.text),
            qPrintable(failure(loaded ? QStringLiteral("a load of a file never saved said Loaded")
                                      : QStringLiteral("a saved file did not load: ") +
                                            form2.reason_line()->text())));
        counts_.loaded += loaded ? 1 : 0;
    }

    std::unique_ptr<QTemporaryDir> folder_;
    QString previous_folder_;
    std::vector<FileName> names_;
    QSet<QString> loadable_;  // names under which a save succeeded
    std::unique_ptr<QtProgram> program_;
    int event_ = 0;
    std::deque<QString> recent_;
    quint32 seed_ = 0;
    struct Counts {
        int typed = 0, clicks = 0, resets = 0, long_runs = 0, presses = 0;
        int saves = 0, saved = 0, loads = 0, loaded = 0;
    } counts_;
};

QTEST_MAIN(TestSoak)
#include "tst_soak.moc"
