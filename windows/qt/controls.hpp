// The controls both windows are built from: twip geometry, the palette, the fonts and the dialog
// that asks for a file name.
#pragma once

#include <QColor>
#include <QDoubleSpinBox>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRect>
#include <QSpinBox>
#include <QString>
#include <QStringList>
#include <string_view>

namespace quobel::windows::qt {

// Layouts are given in twips; at 96 dots per inch 15 twips make one device-independent pixel, so
// a high-DPI screen scales the whole window.
inline constexpr int twips_per_pixel = 15;

constexpr int from_twips(int twips) {
    return twips / twips_per_pixel;
}

inline QRect twips_rect(int left, int top, int width, int height) {
    return {from_twips(left), from_twips(top), from_twips(width), from_twips(height)};
}

// The logic's texts are UTF-8.
inline QString from_utf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The colours of the layout, as red, green, blue.
namespace colour {
inline const QColor green{0, 192, 0};  // both windows' background
inline const QColor yellow{255, 255, 0};
inline const QColor light_yellow{255, 255, 128};
inline const QColor light_green{128, 255, 128};
inline const QColor light_cyan{128, 255, 255};
inline const QColor pale_green{192, 255, 192};
inline const QColor pale_red{255, 192, 192};
inline const QColor light_grey{192, 192, 192};
inline const QColor red{255, 0, 0};
}  // namespace colour

// The sans-serif dialog face at the given size.
QFont dialog_font(double points, bool bold = false);

// A window of the program: green, of a fixed client size in twips, with the dialog face at 8.25 pt
// for the controls without a font of their own.
void set_up_window(QWidget& window, const QString& name, const QString& caption, int width_twips,
                   int height_twips);

// Gives a widget an opaque background of its own colour.
void set_background(QWidget& widget, const QColor& background);

// A push button whose caption wraps onto several lines when the button is too narrow for it, as
// "Next Step" does on its tall, narrow button. text() stays the caption as given.
class WrappingButton final : public QPushButton {
  public:
    WrappingButton(const QString& caption, QWidget* parent) : QPushButton(caption, parent) {}

  protected:
    void paintEvent(QPaintEvent* event) override;
};

// A label at the given place: plain text (blanks kept), wrapped at the label's width, top left.
QLabel* make_label(QWidget& parent, const QString& name, const QString& caption, QRect geometry,
                   const QColor& background);

QLineEdit* make_field(QWidget& parent, const QString& name, QRect geometry,
                      const QColor& background, const QColor& text = Qt::black);

QPushButton* make_button(QWidget& parent, const QString& name, const QString& caption,
                         QRect geometry, const QFont& font);

// A box for a whole number, its thousands grouped.
QSpinBox* make_count_box(QWidget* parent, int lowest, int highest, int value, int step = 1);

// The progress of a job running elsewhere, in thousandths, without a percentage.
QProgressBar* make_progress_bar(QWidget* parent);

// The factor of a PNG export over the picture's resolution on the screen, 0.25 to 8.
QDoubleSpinBox* make_png_scale_box(QWidget* parent);

// The kinds of file the windows export, in the order of the Sweep window's buttons.
enum class ExportFile { png, svg, csv };

// The suffix of the kind, without its dot: "png".
QString export_suffix(ExportFile kind);

// Asks for the name of a file to write, empty when the user cancels; `chosen_filter`, when given,
// receives the filter the user picked. A name typed without a suffix gets `suffix`.
QString ask_save_name(QWidget& parent, const QString& title, const QString& suggested,
                      const QStringList& filters, const QString& suffix,
                      QString* chosen_filter = nullptr);

// Asks, titled "Export <what> as PNG" and suggesting "<stem>.png", for the name of a file of the
// kind; every window's exports ask this way.
QString ask_export_name(QWidget& parent, ExportFile kind, const QString& what, const QString& stem);

}  // namespace quobel::windows::qt
