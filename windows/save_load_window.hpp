// The logic of the save and load window, Form2, and of the main window's refresh after a load.
#pragma once

#include "windows/program_state.hpp"
#include "windows/window_operations.hpp"

namespace quobel::windows {

// Form2's load: the file-name field shows data_file_name.
void load_save_load_window(const ProgramState& state, SaveLoadOps& window);

// "Save": writes the parameters to the file data_file_name names; the status beside the button
// says "Saved", or stays empty and tells why the save failed.
void save_button(ProgramState& state, SaveLoadOps& window);

// "Load": reads that file, all or nothing; the status says "Loaded", or stays empty and tells why
// the file was refused. Returns whether the model took the file's values.
bool load_button(ProgramState& state, SaveLoadOps& window);

// Shows the loaded values in the main window's fields: the stock fields of maps 1..3 in "0.000",
// the probabilities in the general text, then the map count (whose write may run set_num_maps).
void refresh_after_load(ProgramState& state, MainWindowOps& window);

}  // namespace quobel::windows
