// The logic of the main window, Form1: filling it from the model, the press on the plot and the
// run buttons.
#pragma once

#include "windows/program_state.hpp"
#include "windows/window_operations.hpp"

namespace quobel::windows {

// How the stock fields show R and la1: in the general text of the precision each is held in, or
// in "0.000". la2 always shows in "0.000".
enum class StockTextForm { general, three_decimals };

// Writes the model's parameters into the main window: the stock fields of maps 1..3, the
// probabilities, then the map count (whose write may run set_num_maps and so change the model).
// Writes only the elements the window has.
void show_parameters(const model::ModelState& m, MainWindowOps& window, StockTextForm form);

// Fills a freshly loaded main window from the model: the averages, then the parameters with R and
// la1 in their general text, clears the stock edit flags and sets the plot's world window.
void load_main_window(ProgramState& state, MainWindowOps& window);

// A press on the plot at x: the point, in single precision, becomes the start of a new cobweb,
// marked on the diagonal and shown in Text4. A coordinate with no single-precision value keeps
// the point as it was.
void press_on_plot(ProgramState& state, MainWindowOps& window, double x);

// "Next Step", "Next 100", "Next 10000": the steps, then Text4 and, for the long runs, the grey
// diagonal; a run that stops early says why through the window's notice.
void run_button(ProgramState& state, MainWindowOps& window, int steps);

}  // namespace quobel::windows
