// Form2, the save and load window: the file name, "Save", "Load" and their status words.
#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>
#include <string_view>

#include "windows/events.hpp"
#include "windows/window_operations.hpp"

namespace quobel::windows::qt {

class Form2 final : public QWidget, public SaveLoadOps {
    Q_OBJECT

  public:
    explicit Form2(Events& events);

    void set_file_name_text(std::string_view text) override;
    // A failure leaves the word empty and tells its reason twice, in the status label's tooltip
    // and on the line at the bottom of the window, without a dialog that would stop the user.
    void set_status(StatusLabel label, std::string_view word, std::string_view reason) override;

    QLineEdit* file_name_field() const { return file_name_; }
    QPushButton* save_button() const { return save_; }
    QPushButton* load_button() const { return load_; }
    QLabel* status_label(StatusLabel label) const;
    QLabel* reason_line() const { return reason_; }

  signals:
    // The user closed the window with its close box.
    void closed();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    Events& events_;
    QLineEdit* file_name_ = nullptr;  // Text1
    QPushButton* save_ = nullptr;     // Command1
    QPushButton* load_ = nullptr;     // Command2
    QLabel* saved_ = nullptr;         // Label2
    QLabel* loaded_ = nullptr;        // Label3
    QLabel* reason_ = nullptr;        // why the last save or load failed
};

}  // namespace quobel::windows::qt
