// The logic of the save and load window, Form2, and of the main window's refresh after a load.
#pragma once

#include "windows/program_state.hpp"
#include "windows/window_operations.hpp"

namespace quobel::windows {

// Shows the loaded values in the main window's fields: the stock fields of maps 1..3 in "0.000",
// the probabilities in the general text, then the map count (whose write may run set_num_maps).
void refresh_after_load(ProgramState& state, MainWindowOps& window);

}  // namespace quobel::windows
