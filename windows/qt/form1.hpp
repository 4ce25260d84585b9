// Form1, the main window: the parameter fields, the averages, the formula, the plot and the
// seven buttons.
//
// Data flow: a keystroke in a field (or a program write of it) goes to Events::field_changed,
// which records it as a pending edit; "Recalculate !!!" applies the pending edits to the model and
// writes the renormalised values back into the fields; "GO !!!" and the step buttons draw the
// model on the plot. This class only shows and forwards: every decision is in Events. The menu
// bar above the client area offers "Save / Load" again, the exports of the plot and of the cobweb
// trajectory, the analysis and sweep windows and Quit; F5..F9 press the buttons with keys.
#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QString>
#include <QWidget>
#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "windows/events.hpp"
#include "windows/qt/plot_picture.hpp"
#include "windows/window_operations.hpp"

namespace quobel::windows::qt {

class Form1 final : public QWidget, public MainWindowOps {
    Q_OBJECT

  public:
    explicit Form1(Events& events);

    void set_field_text(Field field, int index, std::string_view text) override;
    std::string field_text(Field field, int index) const override;
    void set_label_caption(int index, std::string_view text) override;
    void show_notice(std::string_view text) override;
    plot::PlotSurface& plot() override { return *plot_; }

    // The controls, for the window system and for tests; nullptr for an element the window lacks.
    QLineEdit* field(Field field, int index) const;
    QPushButton* button(MainButton button) const;
    QLabel* average_label(int index) const;
    QLabel* hint_label() const { return hint_; }
    PlotPicture& plot_picture() const { return *plot_; }
    // The area under the menu bar that holds every control, 685 x 622 pixels.
    QWidget* client_area() const { return client_; }
    QMenuBar* menu_bar() const { return menu_bar_; }

    // The exports of the File menu once a name is chosen. A failure is told in the hint line,
    // never in a dialog; a success withdraws an earlier notice.
    // The plot at `scale` times its resolution on the screen.
    bool export_plot(const QString& name, int scale);
    // The cobweb since the last start point, as StepLog keeps it.
    bool export_trajectory(const QString& name);

    static const QString hint_caption;

  signals:
    // The user closed the window with its close box.
    void closed();
    // View > Analysis: the window system owns that window, which outlives this one.
    void analysis_requested();
    // View > Sweep: likewise.
    void sweep_requested();
    // File > Quit: every window closes and the program ends.
    void quit_requested();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    // The pieces of the fixed layout, each placed and created in its turn from top to bottom.
    void add_top_rows();
    void add_parameter_rows();
    void add_buttons();
    // The start point's field with its heading, and the hint line under them.
    void add_point_row();
    void add_field_array(Field field, int top_twips, const QColor& background);
    void add_menus();
    void ask_plot_export();
    void ask_trajectory_export();
    void show_about();

    Events& events_;
    QMenuBar* menu_bar_ = nullptr;
    QWidget* client_ = nullptr;
    std::array<std::vector<QLineEdit*>, 12> fields_;  // by Field, then element index
    std::array<QPushButton*, 7> buttons_{};           // by MainButton
    std::array<QLabel*, window_stocks> averages_{};   // Label14
    QLabel* hint_ = nullptr;                          // Label15
    PlotPicture* plot_ = nullptr;                     // Picture2
};

}  // namespace quobel::windows::qt
