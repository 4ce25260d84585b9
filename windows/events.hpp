// The event routing of both windows: every event of Form1 and Form2 goes through here, from the
// Qt binding and from the tests' stand-in alike, so the two cannot drift apart.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sweep/parameter_names.hpp"

#include "windows/program_state.hpp"
#include "windows/window_operations.hpp"

namespace quobel::windows {

inline constexpr std::string_view no_trajectory_notice =
    "There is no trajectory to export yet: click on the diagonal, then take steps.";

// The main window's field array that shows the component's vector, Text8 for prob, and the
// component's element in it. Maps 1 to 3 only; the array may have fewer elements than the index.
struct ParameterField {
    Field field = Field::Text8;
    int index = 0;
};
ParameterField parameter_field(const sweep::ParameterName& name);

enum class MainButton {
    Command1,  // "GO !!!"
    Command2,  // "Recalculate !!!"
    Command3,  // "Next Step"
    Command4,  // "Next 100"
    Command5,  // "Next 10000"
    Command6,  // "Save / Load"
    Command7,  // "Reset"
};

class Events {
  public:
    Events(ProgramState& state, WindowSystem& windows) : state_(state), windows_(windows) {}

    // Program start: the model's defaults, then the main window is shown (which loads it).
    void start_up();
    // A parameter file named when the program starts, once the main window shows: the name
    // becomes data_file_name and the file loads as Form2's Load does; a refusal shows as the main
    // window's notice.
    void open_file(std::string_view name);

    // Form1
    void main_window_loaded(MainWindowOps& window);
    // The events of Form1 name the window that raised them: Reset replaces the window, so none of
    // them may hold on to it afterwards.
    void button_pressed(MainWindowOps& window, MainButton button);
    void field_changed(MainWindowOps& window, Field field, int index, std::string_view text);
    void plot_pressed(MainWindowOps& window, double x, double y);
    // File > Export trajectory as CSV, asked before a file name is chosen: whether there is a
    // cobweb to export; when there is none the window's notice says so.
    bool trajectory_to_export(MainWindowOps& window);
    // Writes the cobweb since the last start point, as the step log keeps it, to the file `name`.
    // A failure is told through the window's notice; a success withdraws an earlier notice.
    bool export_trajectory(MainWindowOps& window, const std::string& name);

    // Form2
    void save_load_window_loaded(SaveLoadOps& window);
    void file_name_changed(std::string_view text);
    void save_pressed(SaveLoadOps& window);
    void load_pressed(SaveLoadOps& window);

    // The Sweep window's "Use this point": writes each value into the main window's field that
    // shows its component, as typing it would, so that "Recalculate !!!" applies them. All or
    // nothing: returns why nothing was written, or empty.
    std::string enter_values(const std::vector<std::pair<sweep::ParameterName, double>>& values);

    ProgramState& state() { return state_; }

    // Called after every change of the model's parameters (Recalculate, a Load, Reset, the map
    // count), for views that show quantities derived from them; not on pending edits.
    void on_parameters_changed(std::function<void()> listener) {
        parameters_changed_ = std::move(listener);
    }

  private:
    // After a load: the main window's fields show the loaded values, and derived views follow.
    void show_loaded();
    void parameters_changed() {
        if (parameters_changed_) {
            parameters_changed_();
        }
    }

    ProgramState& state_;
    WindowSystem& windows_;
    std::function<void()> parameters_changed_;
};

}  // namespace quobel::windows
