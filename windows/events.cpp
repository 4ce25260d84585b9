// The event routing of both windows.
#include "windows/events.hpp"

#include "editing/pending_edits.hpp"
#include "editing/recalculation.hpp"
#include "model/start_up.hpp"
#include "plot/draw_maps.hpp"
#include "storage/parameter_file.hpp"
#include "sweep/sweep_csv.hpp"
#include "windows/exports.hpp"
#include "windows/main_window.hpp"
#include "windows/save_load_window.hpp"

namespace quobel::windows {

ParameterField parameter_field(const sweep::ParameterName& name) {
    if (name.table == sweep::ParameterName::Table::prob) {
        return {Field::Text8, name.map - 1};
    }
    return {editing::stock_field(sweep::stock_parameter(name.table), name.map), name.stock - 1};
}

void Events::start_up() {
    model::initialise_model(state_.model, *state_.random);
    state_.pending.clear_flags(state_.model.maps_in_tables(), state_.model.stocks_in_tables());
    windows_.show_main_window();
}

void Events::main_window_loaded(MainWindowOps& window) {
    load_main_window(state_, window);
}

void Events::button_pressed(MainWindowOps& window, MainButton button) {
    switch (button) {
        case MainButton::Command1:
            window.show_notice("");
            plot::draw_maps(state_.model, window.plot());
            break;
        case MainButton::Command2:
            editing::recalculate(state_.model, state_.pending, window);
            parameters_changed();
            break;
        case MainButton::Command3:
            run_button(state_, window, 1);
            break;
        case MainButton::Command4:
            run_button(state_, window, 100);
            break;
        case MainButton::Command5:
            run_button(state_, window, 10000);
            break;
        case MainButton::Command6:
            windows_.show_save_load_window();
            break;
        case MainButton::Command7:
            model::randomise_parameters(state_.model, *state_.random);
            // The window that raised the event goes away here.
            windows_.close_main_window();
            windows_.show_main_window();
            parameters_changed();
            break;
    }
}

void Events::field_changed(MainWindowOps& window, Field field, int index, std::string_view text) {
    switch (field) {
        case Field::Text4:  // shows the current point; nothing reads it
            break;
        case Field::Text9:
            editing::set_num_maps(state_.model, window, text);
            parameters_changed();
            break;
        default:
            editing::record_edit(state_.pending, field, index, text);
            break;
    }
}

void Events::plot_pressed(MainWindowOps& window, double x, double /*y*/) {
    press_on_plot(state_, window, x);
}

bool Events::trajectory_to_export(MainWindowOps& window) {
    if (state_.step_log.size() == 0) {
        window.show_notice(no_trajectory_notice);
        return false;
    }
    return true;
}

bool Events::export_trajectory(MainWindowOps& window, const std::string& name) {
    const storage::FileOutcome outcome =
        export_trajectory_csv(state_.step_log.points(), name, no_trajectory_notice);
    window.show_notice(outcome.ok ? std::string() : outcome.reason);
    return outcome.ok;
}

void Events::save_load_window_loaded(SaveLoadOps& window) {
    load_save_load_window(state_, window);
}

void Events::file_name_changed(std::string_view text) {
    state_.model.data_file_name = std::string(text);
}

void Events::save_pressed(SaveLoadOps& window) {
    save_button(state_, window);
}

void Events::load_pressed(SaveLoadOps& window) {
    if (load_button(state_, window)) {
        show_loaded();
    }
}

void Events::open_file(std::string_view name) {
    state_.model.data_file_name = std::string(name);
    const storage::FileOutcome outcome =
        storage::load_parameter_file(state_.model, state_.model.data_file_name);
    if (!outcome.ok) {
        if (MainWindowOps* main = windows_.main_window()) {
            main->show_notice(outcome.reason);
        }
        return;
    }
    show_loaded();
}

std::string Events::enter_values(
    const std::vector<std::pair<sweep::ParameterName, double>>& values) {
    MainWindowOps* window = windows_.main_window();
    if (window == nullptr) {
        return "The main window is closed, so there are no fields to write the values into.";
    }
    using Table = sweep::ParameterName::Table;
    struct Write {
        ParameterField place;
        std::string text;
    };
    std::vector<Write> writes;
    for (const auto& [name, value] : values) {
        if (name.map < 1 || name.map > window_maps ||
            (name.table != Table::prob && (name.stock < 1 || name.stock > window_stocks))) {
            return "The main window has no field for " + sweep::parameter_name_text(name) +
                   ": it shows stocks 1 to " + std::to_string(window_stocks) + " of maps 1 to " +
                   std::to_string(window_maps) + ".";
        }
        // The shortest decimal that reads back as the value itself.
        writes.push_back({parameter_field(name), sweep::number_text(value)});
    }
    for (const Write& write : writes) {
        window->set_field_text(write.place.field, write.place.index, write.text);
    }
    return {};
}

void Events::show_loaded() {
    // With the main window closed there are no fields to refresh: the values are in the model
    // and show when the main window is next loaded.
    if (MainWindowOps* main = windows_.main_window()) {
        refresh_after_load(state_, *main);
    }
    parameters_changed();
}

}  // namespace quobel::windows
