// The logic of the main window, Form1: filling it from the model and its run buttons.
#pragma once

#include "windows/program_state.hpp"
#include "windows/window_operations.hpp"

namespace quobel::windows {

// Fills a freshly loaded main window from the model: the stock fields of maps 1..3, the averages,
// the probabilities, then the map count (whose write runs set_num_maps), clears the stock edit
// flags and sets the plot's world window. Writes only the elements the window has.
void load_main_window(ProgramState& state, MainWindowOps& window);

// "Next Step", "Next 100", "Next 10000": the steps, then Text4 and, for the long runs, the grey
// diagonal; a run that stops early says why through the window's notice.
void run_button(ProgramState& state, MainWindowOps& window, int steps);

}  // namespace quobel::windows
