// Form1, the main window.
#include "windows/qt/form1.hpp"

#include <QAction>
#include <QCloseEvent>
#include <QFile>
#include <QFontMetrics>
#include <QKeySequence>
#include <QMenu>
#include <QMessageBox>
#include <QShortcut>
#include <QVBoxLayout>

#include "windows/qt/controls.hpp"
#include "windows/qt/formula_picture.hpp"
#include "windows/qt/plot_export.hpp"

namespace quobel::windows::qt {

namespace {

QString field_name(Field field) {
    static const char* const names[] = {"Text1", "Text2", "Text3", "Text4",  "Text5",  "Text6",
                                        "Text7", "Text8", "Text9", "Text10", "Text11", "Text12"};
    return QString::fromLatin1(names[static_cast<int>(field)]);
}

// The element name of an array field ("Text1_0"), or the field's own name for a single field.
QString element_name(Field field, int index) {
    if (field_elements(field) == 1) {
        return field_name(field);
    }
    return field_name(field) + QLatin1Char('_') + QString::number(index);
}

// The heading label of one row of a map block and the field array under it.
struct ParameterRow {
    const char* label;
    const char* caption;
    int label_top;
    Field field;
    int field_top;
};

// The background of the heading and the fields of each map block, map by map.
QColor map_colour(int map) {
    const QColor colours[window_maps] = {colour::light_yellow, colour::light_green,
                                         colour::light_cyan};
    return colours[map];
}

// Chains the tab order of the focusable direct children in the order they were created.
void set_tab_order_by_creation(QWidget& parent) {
    QWidget* previous = nullptr;
    for (QWidget* child : parent.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (child->focusPolicy() & Qt::TabFocus) {
            if (previous != nullptr) {
                QWidget::setTabOrder(previous, child);
            }
            previous = child;
        }
    }
}

}  // namespace

const QString Form1::hint_caption = QStringLiteral("Click on the diagonal to give initial value");

Form1::Form1(Events& events) : events_(events) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Quobel"));
    setFont(dialog_font(8.25));
    // Every control sits in the client area, placed relative to it, with the menu bar above.
    client_ = new QWidget(this);
    client_->setObjectName(QStringLiteral("ClientArea"));
    client_->setFixedSize(from_twips(10275), from_twips(9330));
    set_background(*client_, colour::green);

    // Created from top to bottom, which is also the tab order.
    add_top_rows();
    plot_ = new PlotPicture(QSize(from_twips(7455), from_twips(7455)), client_);
    plot_->setObjectName(QStringLiteral("Picture2"));
    plot_->move(from_twips(2640), from_twips(960));
    add_parameter_rows();
    add_buttons();
    add_point_row();
    set_tab_order_by_creation(*client_);

    // Every change of every field, typed or written by the program, goes to the routing.
    for (std::size_t f = 0; f < fields_.size(); ++f) {
        const auto field = static_cast<Field>(f);
        for (std::size_t i = 0; i < fields_[f].size(); ++i) {
            connect(fields_[f][i], &QLineEdit::textChanged, this,
                    [this, field, index = static_cast<int>(i)](const QString& text) {
                        events_.field_changed(*this, field, index, text.toStdString());
                    });
        }
    }
    connect(plot_, &PlotPicture::pressed, this,
            [this](double x, double y) { events_.plot_pressed(*this, x, y); });

    add_menus();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setMenuBar(menu_bar_);
    layout->addWidget(client_);
    // The window is the menu bar and the client area together, and keeps that size.
    layout->setSizeConstraint(QLayout::SetFixedSize);
    // Sized now, before the window exists on the screen, as a window of fixed size should be.
    layout->activate();
}

void Form1::add_top_rows() {
    auto* formula = new FormulaPicture(client_);
    formula->setObjectName(QStringLiteral("Picture1"));
    formula->setGeometry(twips_rect(5880, 0, 4455, 855));

    make_label(*client_, QStringLiteral("Label9"), QStringLiteral("Maps"),
               twips_rect(3000, 120, 615, 375), colour::pale_green);
    make_label(*client_, QStringLiteral("Label8"), QStringLiteral("Probabilities"),
               twips_rect(3720, 120, 1815, 375), colour::pale_green);
    make_label(*client_, QStringLiteral("Label13"), QStringLiteral("     Averages of  R_k"),
               twips_rect(120, 240, 2415, 375), colour::light_yellow)
        ->setFont(dialog_font(9.75));

    fields_[static_cast<int>(Field::Text9)].push_back(make_field(*client_, QStringLiteral("Text9"),
                                                                 twips_rect(3000, 480, 615, 375),
                                                                 colour::yellow, colour::red));
    for (int i = 0; i < window_maps; ++i) {
        fields_[static_cast<int>(Field::Text8)].push_back(
            make_field(*client_, element_name(Field::Text8, i),
                       twips_rect(3720 + 600 * i, 480, 615, 375), map_colour(i)));
    }
    for (int i = 0; i < window_stocks; ++i) {
        averages_[static_cast<std::size_t>(i)] =
            make_label(*client_, QStringLiteral("Label14_%1").arg(i), QString(),
                       twips_rect(120 + 600 * i, 600, 615, 375), colour::pale_red);
    }
}

void Form1::add_parameter_rows() {
    static constexpr ParameterRow rows[] = {
        {"Label1", "R_k (1)", 1080, Field::Text1, 1440},
        {"Label2", "lambda_k^1 (1)", 1800, Field::Text2, 2160},
        {"Label3", "lambda_k^2 (1)", 2520, Field::Text3, 2880},
        {"Label7", "R_k (2)", 3360, Field::Text5, 3720},
        {"Label6", "lambda_k^1 (2)", 4080, Field::Text6, 4440},
        {"Label5", "lambda_k^2 (2)", 4800, Field::Text7, 5160},
        {"Label10", "R_k (3)", 5640, Field::Text10, 6000},
        {"Label11", "lambda_k^1 (3)", 6360, Field::Text11, 6720},
        {"Label12", "lambda_k^2 (3)", 7080, Field::Text12, 7440},
    };
    const QFont heading = dialog_font(9.75);
    for (std::size_t row = 0; row < std::size(rows); ++row) {
        const ParameterRow& r = rows[row];
        make_label(*client_, QString::fromLatin1(r.label), QString::fromLatin1(r.caption),
                   twips_rect(120, r.label_top, 2415, 375), map_colour(static_cast<int>(row / 3)))
            ->setFont(heading);
        add_field_array(r.field, r.field_top, colour::yellow);
    }
}

void Form1::add_buttons() {
    struct ButtonRow {
        MainButton button;
        const char* caption;
        QRect geometry;
        double points;
        const char* purpose;  // the start of the tooltip of a button with a key
        Qt::Key key;          // Qt::Key_unknown for a button without one
    };
    const ButtonRow buttons[] = {
        {MainButton::Command2, "Recalculate !!!", twips_rect(240, 7920, 2175, 375), 9.75,
         "Apply the edited parameters", Qt::Key_F9},
        {MainButton::Command1, "GO !!!", twips_rect(0, 8400, 1095, 855), 13.5, "Draw the maps",
         Qt::Key_F5},
        {MainButton::Command3, "Next Step", twips_rect(1200, 8400, 615, 855), 9.75,
         "Take one random step", Qt::Key_F6},
        {MainButton::Command4, "Next 100", twips_rect(1920, 8400, 615, 855), 9.75,
         "Take 100 random steps", Qt::Key_F7},
        {MainButton::Command5, "Next 10000", twips_rect(2760, 8520, 1455, 735), 9.75,
         "Take 10000 random steps", Qt::Key_F8},
        {MainButton::Command6, "Save / Load", twips_rect(4440, 8520, 1695, 495), 9.75, nullptr,
         Qt::Key_unknown},
        {MainButton::Command7, "Reset", twips_rect(6240, 8520, 855, 735), 9.75, nullptr,
         Qt::Key_unknown},
    };
    for (const ButtonRow& b : buttons) {
        const int n = static_cast<int>(b.button);
        QPushButton* button =
            make_button(*client_, QStringLiteral("Command%1").arg(n + 1),
                        QString::fromLatin1(b.caption), b.geometry, dialog_font(b.points, true));
        buttons_[static_cast<std::size_t>(n)] = button;
        // Reset replaces this window from inside this handler; the routing is told which window
        // raised the event and holds on to it no longer than the call.
        connect(button, &QPushButton::clicked, this,
                [this, which = b.button] { events_.button_pressed(*this, which); });
        if (b.key == Qt::Key_unknown) {
            continue;
        }
        // The key works wherever the focus is in this window, a text field included, and raises
        // the very event of the button. Held down it presses once, as the button does.
        const QKeySequence key(b.key);
        auto* shortcut = new QShortcut(key, this);
        shortcut->setAutoRepeat(false);
        connect(shortcut, &QShortcut::activated, this,
                [this, which = b.button] { events_.button_pressed(*this, which); });
        button->setToolTip(QStringLiteral("%1 (%2)").arg(QString::fromLatin1(b.purpose),
                                                         key.toString(QKeySequence::NativeText)));
    }
}

void Form1::add_point_row() {
    make_label(*client_, QStringLiteral("Label4"), QStringLiteral("  value         r"),
               twips_rect(8160, 8520, 735, 495), colour::light_yellow)
        ->setFont(dialog_font(8.25, true));
    fields_[static_cast<int>(Field::Text4)].push_back(make_field(
        *client_, QStringLiteral("Text4"), twips_rect(8880, 8520, 1215, 495), colour::yellow));
    hint_ = make_label(*client_, QStringLiteral("Label15"), hint_caption,
                       twips_rect(7320, 9120, 3015, 255), colour::light_yellow);
}

void Form1::add_menus() {
    menu_bar_ = new QMenuBar(this);
    menu_bar_->setObjectName(QStringLiteral("MenuBar"));
    const auto add = [this](QMenu& menu, const char* name, const QString& text, auto handler) {
        QAction* action = menu.addAction(text);
        action->setObjectName(QString::fromLatin1(name));
        connect(action, &QAction::triggered, this, handler);
        return action;
    };

    QMenu* file = menu_bar_->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("FileMenu"));
    add(*file, "SaveLoadAction", QStringLiteral("&Save / Load\u2026"),
        [this] { events_.button_pressed(*this, MainButton::Command6); });
    file->addSeparator();
    add(*file, "ExportPlotAction", QStringLiteral("Export plot as &PNG\u2026"),
        [this] { ask_plot_export(); });
    add(*file, "ExportTrajectoryAction", QStringLiteral("Export trajectory as &CSV\u2026"),
        [this] { ask_trajectory_export(); });
    file->addSeparator();
    QAction* quit =
        add(*file, "QuitAction", QStringLiteral("&Quit"), [this] { emit quit_requested(); });
    quit->setShortcut(QKeySequence::Quit);
    quit->setMenuRole(QAction::QuitRole);

    QMenu* view = menu_bar_->addMenu(QStringLiteral("&View"));
    view->setObjectName(QStringLiteral("ViewMenu"));
    add(*view, "AnalysisAction", QStringLiteral("&Analysis\u2026"),
        [this] { emit analysis_requested(); });
    add(*view, "SweepAction", QStringLiteral("&Sweep\u2026"), [this] { emit sweep_requested(); });

    QMenu* help = menu_bar_->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("HelpMenu"));
    add(*help, "AboutAction", QStringLiteral("&About Quobel"), [this] {
        show_about();
    })->setMenuRole(QAction::AboutRole);
}

void Form1::add_field_array(Field field, int top_twips, const QColor& background) {
    for (int i = 0; i < window_stocks; ++i) {
        fields_[static_cast<int>(field)].push_back(
            make_field(*client_, element_name(field, i),
                       twips_rect(120 + 600 * i, top_twips, 615, 375), background));
    }
}

QLineEdit* Form1::field(Field field, int index) const {
    const std::vector<QLineEdit*>& elements = fields_[static_cast<int>(field)];
    if (index < 0 || index >= static_cast<int>(elements.size())) {
        return nullptr;
    }
    return elements[static_cast<std::size_t>(index)];
}

QPushButton* Form1::button(MainButton button) const {
    return buttons_[static_cast<std::size_t>(button)];
}

QLabel* Form1::average_label(int index) const {
    if (index < 0 || index >= window_stocks) {
        return nullptr;
    }
    return averages_[static_cast<std::size_t>(index)];
}

void Form1::set_field_text(Field field, int index, std::string_view text) {
    QLineEdit* edit = this->field(field, index);
    const QString new_text = from_utf8(text);
    // Writing the text a field already shows is no change: no notification, and the cursor of a
    // user typing in it stays where it is.
    if (edit == nullptr || edit->text() == new_text) {
        return;
    }
    // The change handler runs inside setText, before it returns.
    edit->setText(new_text);
    // Show a number from its first digit, as a user reads it, even when it is wider than the field.
    edit->setCursorPosition(0);
}

std::string Form1::field_text(Field field, int index) const {
    const QLineEdit* edit = this->field(field, index);
    return edit != nullptr ? edit->text().toStdString() : std::string();
}

void Form1::set_label_caption(int index, std::string_view text) {
    if (QLabel* label = average_label(index)) {
        label->setText(from_utf8(text));
    }
}

void Form1::show_notice(std::string_view text) {
    QPalette palette = hint_->palette();
    if (text.empty()) {
        hint_->setText(hint_caption);
        hint_->setToolTip(QString());
        palette.setColor(QPalette::WindowText, Qt::black);
    } else {
        // The hint line is short: it shows as much of the notice as fits, the tooltip all of it.
        const QString notice = from_utf8(text);
        hint_->setText(
            QFontMetrics(hint_->font()).elidedText(notice, Qt::ElideRight, hint_->width() - 2));
        hint_->setToolTip(notice);
        palette.setColor(QPalette::WindowText, colour::red);
    }
    hint_->setPalette(palette);
}

void Form1::ask_plot_export() {
    const QSize size = plot_->image().size();
    QStringList filters;
    for (const int scale : plot_export_scales) {
        filters << QStringLiteral("PNG image, %1x: %2 x %3 pixels (*.png)")
                       .arg(scale)
                       .arg(size.width() * scale)
                       .arg(size.height() * scale);
    }
    QString chosen = filters.constFirst();
    const QString name =
        ask_save_name(*this, QStringLiteral("Export plot as PNG"), QStringLiteral("plot.png"),
                      filters, export_suffix(ExportFile::png), &chosen);
    if (name.isEmpty()) {
        return;
    }
    const auto picked = filters.indexOf(chosen);
    export_plot(name, picked < 0 ? 1 : plot_export_scales[static_cast<std::size_t>(picked)]);
}

void Form1::ask_trajectory_export() {
    // Nothing to write: say so at once rather than after the user has chosen a name.
    if (!events_.trajectory_to_export(*this)) {
        return;
    }
    const QString name = ask_export_name(*this, ExportFile::csv, QStringLiteral("trajectory"),
                                         QStringLiteral("trajectory"));
    if (!name.isEmpty()) {
        export_trajectory(name);
    }
}

bool Form1::export_plot(const QString& name, int scale) {
    const storage::FileOutcome outcome = export_plot_png(plot_->image(), name, scale);
    show_notice(outcome.ok ? std::string() : outcome.reason);
    return outcome.ok;
}

bool Form1::export_trajectory(const QString& name) {
    return events_.export_trajectory(*this, QFile::encodeName(name).toStdString());
}

void Form1::show_about() {
    auto* box = new QMessageBox(
        QMessageBox::NoIcon, QStringLiteral("About Quobel"),
        QStringLiteral(
            "Quobel explores a random dynamical system on the interval [0,1]: r is the share of "
            "the wealth that investor 1 holds, and each step applies one of up to three maps, "
            "chosen at random with its probability.\n\n"
            "Each map is tau_s(r) = sum over the stocks k of R_k(s) lambda^1_k r / "
            "(lambda^1_k r + lambda^2_k (1 - r)): every stock's payoff is shared in proportion "
            "to what the two investors put into it."),
        QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("AboutBox"));
    box->setTextFormat(Qt::PlainText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    // Not blocking: the box waits for its OK while the event loop runs on.
    box->open();
}

void Form1::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    if (event->isAccepted()) {
        emit closed();
    }
}

}  // namespace quobel::windows::qt
