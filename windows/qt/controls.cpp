// The controls both windows are built from.
#include "windows/qt/controls.hpp"

#include <QFileDialog>
#include <QStyleOptionButton>
#include <QStylePainter>

#include "windows/exports.hpp"

namespace quobel::windows::qt {

QFont dialog_font(double points, bool bold) {
    QFont font;
    // Faces with the widths the layout was measured in come first, so that every caption fits
    // its control; any sans-serif face will do.
    font.setFamilies({QStringLiteral("Nimbus Sans"), QStringLiteral("Liberation Sans"),
                      QStringLiteral("Arial"), QStringLiteral("DejaVu Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

void set_background(QWidget& widget, const QColor& background) {
    QPalette palette = widget.palette();
    palette.setColor(QPalette::Window, background);
    widget.setPalette(palette);
    widget.setAutoFillBackground(true);
}

void set_up_window(QWidget& window, const QString& name, const QString& caption, int width_twips,
                   int height_twips) {
    window.setObjectName(name);
    window.setWindowTitle(caption);
    window.setFixedSize(from_twips(width_twips), from_twips(height_twips));
    set_background(window, colour::green);
    window.setFont(dialog_font(8.25));
}

void WrappingButton::paintEvent(QPaintEvent* /*event*/) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const QString caption = option.text;
    option.text.clear();
    painter.drawControl(QStyle::CE_PushButton, option);
    const QRect contents = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
    painter.setPen(option.palette.color(QPalette::ButtonText));
    painter.drawText(contents, Qt::AlignCenter | Qt::TextWordWrap, caption);
}

QLabel* make_label(QWidget& parent, const QString& name, const QString& caption, QRect geometry,
                   const QColor& background) {
    auto* label = new QLabel(caption, &parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setGeometry(geometry);
    set_background(*label, background);
    return label;
}

QLineEdit* make_field(QWidget& parent, const QString& name, QRect geometry,
                      const QColor& background, const QColor& text) {
    auto* field = new QLineEdit(&parent);
    field->setObjectName(name);
    field->setGeometry(geometry);
    QPalette palette = field->palette();
    palette.setColor(QPalette::Base, background);
    palette.setColor(QPalette::Text, text);
    field->setPalette(palette);
    return field;
}

QPushButton* make_button(QWidget& parent, const QString& name, const QString& caption,
                         QRect geometry, const QFont& font) {
    auto* button = new WrappingButton(caption, &parent);
    button->setObjectName(name);
    button->setGeometry(geometry);
    button->setFont(font);
    return button;
}

QString export_suffix(ExportFile kind) {
    switch (kind) {
        case ExportFile::png:
            return QStringLiteral("png");
        case ExportFile::svg:
            return QStringLiteral("svg");
        case ExportFile::csv:
            break;
    }
    return QStringLiteral("csv");
}

QString ask_save_name(QWidget& parent, const QString& title, const QString& suggested,
                      const QStringList& filters, const QString& suffix, QString* chosen_filter) {
    QFileDialog dialog(&parent, title);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(filters);
    // The dialog's own suffix makes it ask before it replaces the file the suffixed name names.
    dialog.setDefaultSuffix(suffix);
    dialog.selectFile(suggested);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    if (chosen_filter != nullptr) {
        *chosen_filter = dialog.selectedNameFilter();
    }
    // Not every platform's dialog adds the default suffix itself.
    return from_utf8(
        with_suffix(dialog.selectedFiles().constFirst().toStdString(), suffix.toStdString()));
}

QString ask_export_name(QWidget& parent, ExportFile kind, const QString& what,
                        const QString& stem) {
    const QString suffix = export_suffix(kind);
    const QString filter = kind == ExportFile::png   ? QStringLiteral("PNG images (*.png)")
                           : kind == ExportFile::svg ? QStringLiteral("SVG images (*.svg)")
                                                     : QStringLiteral("CSV files (*.csv)");
    return ask_save_name(parent, QStringLiteral("Export %1 as %2").arg(what, suffix.toUpper()),
                         stem + QLatin1Char('.') + suffix, {filter}, suffix);
}

QSpinBox* make_count_box(QWidget* parent, int lowest, int highest, int value, int step) {
    auto* box = new QSpinBox(parent);
    box->setRange(lowest, highest);
    box->setValue(value);
    box->setSingleStep(step);
    box->setGroupSeparatorShown(true);
    return box;
}

QProgressBar* make_progress_bar(QWidget* parent) {
    auto* bar = new QProgressBar(parent);
    bar->setRange(0, 1000);
    bar->setValue(0);
    bar->setTextVisible(false);
    return bar;
}

QDoubleSpinBox* make_png_scale_box(QWidget* parent) {
    auto* box = new QDoubleSpinBox(parent);
    box->setRange(0.25, 8);
    box->setSingleStep(0.5);
    box->setValue(1);
    box->setPrefix(QStringLiteral("PNG scale "));
    box->setToolTip(QStringLiteral("1 gives the picture's resolution on the screen"));
    return box;
}

}  // namespace quobel::windows::qt
