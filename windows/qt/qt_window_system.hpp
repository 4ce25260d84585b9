// Showing and closing the Qt windows, and the whole program as main() runs it.
#pragma once

#include <QPoint>
#include <QPointer>
#include <QWidget>
#include <optional>
#include <vector>

#include "windows/events.hpp"
#include "windows/program_state.hpp"
#include "windows/qt/analysis_window.hpp"
#include "windows/qt/form1.hpp"
#include "windows/qt/form2.hpp"
#include "windows/qt/sweep_window.hpp"
#include "windows/window_operations.hpp"

namespace quobel::windows::qt {

// The windows are top-level and independent: closing Form1 (Reset, or the user) leaves Form2 and
// the analysis window open, and the program ends when the user has closed the last of them.
class QtWindowSystem final : public WindowSystem {
  public:
    QtWindowSystem() = default;
    ~QtWindowSystem();
    QtWindowSystem(const QtWindowSystem&) = delete;
    QtWindowSystem& operator=(const QtWindowSystem&) = delete;

    // Also keeps the analysis and sweep windows up to date with every change of the model's
    // parameters.
    void attach(Events& events);

    MainWindowOps* main_window() override { return form1_.data(); }
    void show_main_window() override;
    void close_main_window() override;
    void show_save_load_window() override;
    // Creates the one analysis window on first use, else shows it again and brings it to the
    // front. It lives as long as the program: closing only hides it, and Reset does not touch it.
    void show_analysis_window();
    // The sweep window, in the same way.
    void show_sweep_window();
    // Closes every window, then ends the event loop.
    void quit();

    // The open windows, nullptr while closed; the analysis window once created, shown or not.
    Form1* form1() const { return form1_.data(); }
    Form2* form2() const { return form2_.data(); }
    AnalysisWindow* analysis_window() const { return analysis_.data(); }
    SweepWindow* sweep_window() const { return sweep_.data(); }

  private:
    // A fresh window in `slot`, destroyed when the user closes it; not yet loaded or shown.
    template <class Form>
    Form* create(QPointer<Form>& slot);
    // A window that was closed: no longer shown or written to, destroyed by the event loop.
    void forget(QWidget* window);

    Events* events_ = nullptr;
    QPointer<Form1> form1_;
    QPointer<Form2> form2_;
    QPointer<AnalysisWindow> analysis_;
    QPointer<SweepWindow> sweep_;
    std::optional<QPoint> main_position_;  // where the main window was when last closed by Reset
    // Closed windows wait for the event loop to destroy them; whatever is left goes with us.
    std::vector<QPointer<QWidget>> closed_;
};

// Names the running program after its desktop entry and gives every window its icon, so that a
// desktop shows the windows under Quobel's name and picture.
void identify_program();

// The program: its state, the windows and the routing between them.
struct QtProgram {
    QtProgram() { windows.attach(events); }
    QtProgram(const QtProgram&) = delete;
    QtProgram& operator=(const QtProgram&) = delete;

    ProgramState state;
    QtWindowSystem windows;
    Events events{state, windows};
};

}  // namespace quobel::windows::qt
