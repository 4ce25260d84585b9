// Form2, the save and load window.
#include "windows/qt/form2.hpp"

#include <QCloseEvent>

#include "windows/qt/controls.hpp"

namespace quobel::windows::qt {

Form2::Form2(Events& events) : events_(events) {
    set_up_window(*this, QStringLiteral("Form2"), QStringLiteral("Save / Load data"), 4680, 3195);
    const QFont bold = dialog_font(9.75, true);

    make_label(*this, QStringLiteral("Label1"), QStringLiteral("         File name"),
               twips_rect(240, 240, 3855, 375), colour::light_yellow)
        ->setFont(bold);
    file_name_ =
        make_field(*this, QStringLiteral("Text1"), twips_rect(240, 600, 3855, 375), colour::yellow);
    save_ = make_button(*this, QStringLiteral("Command1"), QStringLiteral("Save"),
                        twips_rect(1200, 1320, 1815, 495), bold);
    load_ = make_button(*this, QStringLiteral("Command2"), QStringLiteral("Load"),
                        twips_rect(1200, 2040, 1815, 495), bold);
    saved_ = make_label(*this, QStringLiteral("Label2"), QString(),
                        twips_rect(3360, 1320, 1095, 495), colour::light_grey);
    loaded_ = make_label(*this, QStringLiteral("Label3"), QString(),
                         twips_rect(3360, 2040, 1095, 495), colour::light_grey);

    // The free strip under the buttons holds the reason of a failed save or load.
    reason_ = new QLabel(this);
    reason_->setObjectName(QStringLiteral("Reason"));
    reason_->setTextFormat(Qt::PlainText);
    reason_->setWordWrap(true);
    reason_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    reason_->setGeometry(8, 172, width() - 16, height() - 174);
    reason_->setFont(dialog_font(7.5));
    QPalette palette = reason_->palette();
    palette.setColor(QPalette::WindowText, Qt::black);
    reason_->setPalette(palette);

    connect(file_name_, &QLineEdit::textChanged, this,
            [this](const QString& text) { events_.file_name_changed(text.toStdString()); });
    connect(save_, &QPushButton::clicked, this, [this] { events_.save_pressed(*this); });
    connect(load_, &QPushButton::clicked, this, [this] { events_.load_pressed(*this); });
    setTabOrder(file_name_, save_);
    setTabOrder(save_, load_);
}

QLabel* Form2::status_label(StatusLabel label) const {
    return label == StatusLabel::save ? saved_ : loaded_;
}

void Form2::set_file_name_text(std::string_view text) {
    const QString name = from_utf8(text);
    if (file_name_->text() != name) {
        file_name_->setText(name);
    }
}

void Form2::set_status(StatusLabel label, std::string_view word, std::string_view reason) {
    QLabel* status = status_label(label);
    status->setText(from_utf8(word));
    status->setToolTip(from_utf8(reason));
    if (!reason.empty()) {
        const QString what = label == StatusLabel::save ? QStringLiteral("Save failed: ")
                                                        : QStringLiteral("Load failed: ");
        reason_->setText(what + from_utf8(reason));
    } else if (!word.empty()) {
        reason_->clear();
    }
}

void Form2::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    if (event->isAccepted()) {
        emit closed();
    }
}

}  // namespace quobel::windows::qt
