// Picture1: the formula of the maps.
#include "windows/qt/formula_picture.hpp"

#include <QFontMetricsF>
#include <QPainter>
#include <QString>
#include <algorithm>
#include <functional>

#include "windows/qt/controls.hpp"

namespace quobel::windows::qt {

namespace {

// The formula sits in a white box of this size at the picture's top left; the rest of the
// picture is its black ground.
constexpr double box_width = 294, box_height = 52;

// Sets mathematics from left to right: text on a baseline, indices in a smaller face, a sum sign
// with limits and fractions. A typesetter that does not draw only measures, which is how a
// fraction centres its parts and how the whole formula is fitted to its box.
class Typesetter {
  public:
    using Piece = std::function<void(Typesetter&, double baseline)>;

    Typesetter(QPainter* painter, const QFont& face)
        : painter_(painter), face_(face), small_(face) {
        small_.setPointSizeF(face.pointSizeF() * 0.62);
    }

    double x() const { return x_; }

    // The width a piece takes.
    double measure(const Piece& piece) const {
        Typesetter measuring(nullptr, face_);
        piece(measuring, 0);
        return measuring.x_;
    }

    void text(const QString& s, double baseline) { x_ += put(s, face_, x_, baseline); }

    // A symbol with a subscript and, when given, a superscript stacked over it.
    void indexed(const QString& symbol, const QString& sub, const QString& super, double baseline) {
        text(symbol, baseline);
        const double sub_width = put(sub, small_, x_, baseline + sub_drop());
        const double super_width =
            super.isEmpty() ? 0 : put(super, small_, x_, baseline - super_rise());
        x_ += std::max(sub_width, super_width) + 0.5;
    }

    // How far text with indices reaches above and below its baseline.
    double height_above() const {
        return std::max(QFontMetricsF(face_).ascent(),
                        super_rise() + QFontMetricsF(small_).ascent());
    }
    double depth_below() const {
        return std::max(QFontMetricsF(face_).descent(),
                        sub_drop() + QFontMetricsF(small_).descent());
    }

    // The sum sign, taller than the text, with its lower limit under it and its upper one over it.
    void sum(const QString& below, const QString& above, double baseline) {
        QFont big = face_;
        big.setPointSizeF(face_.pointSizeF() * 1.9);
        const QFontMetricsF sign_metrics(big), small(small_);
        const QString sign = QStringLiteral("\u2211");
        const QRectF glyph = sign_metrics.tightBoundingRect(sign);
        const double width =
            std::max({sign_metrics.horizontalAdvance(sign), small.horizontalAdvance(below),
                      small.horizontalAdvance(above)});
        // The sign is centred on the maths axis, a little above the baseline.
        const double axis = baseline - QFontMetricsF(face_).xHeight() / 2;
        const double sign_baseline = axis - (glyph.top() + glyph.bottom()) / 2;
        put_centred(sign, big, width, sign_baseline);
        put_centred(below, small_, width, sign_baseline + glyph.bottom() + small.ascent() + 0.5);
        put_centred(above, small_, width, sign_baseline + glyph.top() - small.descent() - 1);
        x_ += width + 2;
    }

    // A fraction whose bar lies at height `axis`, the numerator over it and the denominator under.
    void fraction(const Piece& numerator, const Piece& denominator, double axis) {
        const double top = measure(numerator), bottom = measure(denominator);
        const double width = std::max(top, bottom) + 2;
        const double start = x_;
        x_ = start + (width - top) / 2;
        numerator(*this, axis - depth_below() - 1);
        x_ = start + (width - bottom) / 2;
        denominator(*this, axis + height_above() + 1);
        if (painter_ != nullptr) {
            painter_->drawLine(QPointF(start, axis), QPointF(start + width, axis));
        }
        x_ = start + width + 2;
    }

  private:
    double sub_drop() const { return QFontMetricsF(small_).ascent() * 0.5; }
    double super_rise() const { return QFontMetricsF(small_).ascent() * 0.85; }

    double put(const QString& s, const QFont& font, double x, double baseline) {
        if (painter_ != nullptr) {
            painter_->setFont(font);
            painter_->drawText(QPointF(x, baseline), s);
        }
        return QFontMetricsF(font).horizontalAdvance(s);
    }

    void put_centred(const QString& s, const QFont& font, double width, double baseline) {
        put(s, font, x_ + (width - QFontMetricsF(font).horizontalAdvance(s)) / 2, baseline);
    }

    QPainter* painter_;  // none while measuring
    QFont face_, small_;
    double x_ = 0;
};

const QString lambda = QStringLiteral("\u03BB");

// tau_s(r) = sum_{k=1}^{K} R_k(s) lambda^1_k r / (lambda^1_k r + lambda^2_k (1 - r)),  r in [0,1]
// The fraction bar lies on `axis`; the text sits on a baseline half an x-height below it.
void set_formula(Typesetter& t, double axis, double x_height) {
    const double baseline = axis + x_height / 2;
    const QString k = QStringLiteral("k");
    t.indexed(QStringLiteral("\u03C4"), QStringLiteral("s"), QString(), baseline);
    t.text(QStringLiteral("(r) = "), baseline);
    t.sum(QStringLiteral("k=1"), QStringLiteral("K"), baseline);
    t.indexed(QStringLiteral("R"), k, QString(), baseline);
    t.text(QStringLiteral("(s) "), baseline);
    t.fraction(
        [&](Typesetter& top, double line) {
            top.indexed(lambda, k, QStringLiteral("1"), line);
            top.text(QStringLiteral(" r"), line);
        },
        [&](Typesetter& bottom, double line) {
            bottom.indexed(lambda, k, QStringLiteral("1"), line);
            bottom.text(QStringLiteral(" r + "), line);
            bottom.indexed(lambda, k, QStringLiteral("2"), line);
            bottom.text(QStringLiteral(" (1 \u2212 r)"), line);
        },
        axis);
    t.text(QStringLiteral(",   r \u2208 [0,1]"), baseline);
}

}  // namespace

void FormulaPicture::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.fillRect(rect(), Qt::black);
    painter.fillRect(QRectF(0, 0, box_width, box_height), Qt::white);
    painter.setPen(QPen(QColor(24, 24, 24), 1));

    const QFont face = dialog_font(9.75);
    Typesetter measuring(nullptr, face);
    const double x_height = QFontMetricsF(face).xHeight();
    const double width = measuring.measure(
        [x_height](Typesetter& t, double axis) { set_formula(t, axis, x_height); });
    // Fitted to the box with a small margin; the formula is centred in it.
    const double margin = 4;
    const double scale = std::min(1.0, (box_width - 2 * margin) / width);
    painter.translate((box_width - width * scale) / 2, box_height / 2);
    painter.scale(scale, scale);
    Typesetter typesetter(&painter, face);
    set_formula(typesetter, 0, x_height);
}

}  // namespace quobel::windows::qt
