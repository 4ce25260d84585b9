// The logic of the save and load window and the main window's refresh after a load.
#include "windows/save_load_window.hpp"

#include <string>

#include "editing/pending_edits.hpp"
#include "model/number_text.hpp"
#include "storage/parameter_file.hpp"
#include "windows/main_window.hpp"

namespace quobel::windows {

void load_save_load_window(const ProgramState& state, SaveLoadOps& window) {
    window.set_file_name_text(state.model.data_file_name);
}

void save_button(ProgramState& state, SaveLoadOps& window) {
    window.set_status(StatusLabel::save, "", "");
    const storage::FileOutcome outcome =
        storage::save_parameter_file(state.model, state.model.data_file_name);
    window.set_status(StatusLabel::save, outcome.ok ? "Saved" : "", outcome.reason);
}

bool load_button(ProgramState& state, SaveLoadOps& window) {
    window.set_status(StatusLabel::load, "", "");
    const storage::FileOutcome outcome =
        storage::load_parameter_file(state.model, state.model.data_file_name);
    if (!outcome.ok) {
        window.set_status(StatusLabel::load, "", outcome.reason);
        return false;
    }
    window.set_status(StatusLabel::load, "Loaded", "");
    return true;
}

void refresh_after_load(ProgramState& state, MainWindowOps& window) {
    show_parameters(state.model, window, StockTextForm::three_decimals);
    // A loaded count with more digits than the field shows (3.000000000000001 shows as 3) leaves
    // a field that already read 3 as it was, so its change handler does not run. The count in
    // force must still be the one the field shows, as after any other change of the field;
    // otherwise the steps and the graphs would find no map while the field says 3.
    const std::string shown = window.field_text(Field::Text9, 0);
    if (model::parse_leading_number(shown) != state.model.num_maps) {
        editing::set_num_maps(state.model, window, shown);
    }
}

}  // namespace quobel::windows
