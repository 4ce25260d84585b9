// The operations the window logic needs from its two windows, whatever toolkit shows them.
#pragma once

#include <string>
#include <string_view>

#include "editing/fields.hpp"
#include "plot/plot_surface.hpp"

namespace quobel::windows {

// The field table and the writes of editing are the main window's too.
using editing::Field;
using editing::field_elements;
using editing::Parameter;
using editing::stock_field;
using editing::stock_field_parameter;
using editing::StockFieldParameter;
using editing::window_maps;
using editing::window_stocks;

// The main window, Form1: the writes editing makes, reading a field back, and the plot.
class MainWindowOps : public editing::FieldWriter {
  public:
    virtual std::string field_text(Field field, int index) const = 0;
    virtual plot::PlotSurface& plot() = 0;

  protected:
    ~MainWindowOps() = default;
};

// The two status labels of the save and load window: Label2 beside "Save", Label3 beside "Load".
enum class StatusLabel { save, load };

// The save and load window, Form2.
class SaveLoadOps {
  public:
    // Writes the file-name field, Text1; its change handler copies the text to data_file_name.
    virtual void set_file_name_text(std::string_view text) = 0;
    // Sets a status label's word ("Saved", "Loaded" or empty) and, for a failure, the reason
    // that the window shows beside it.
    virtual void set_status(StatusLabel label, std::string_view word, std::string_view reason) = 0;

  protected:
    ~SaveLoadOps() = default;
};

// Showing and closing the windows. Showing a closed window creates and loads it, which runs its
// load routine through the event routing (Events::main_window_loaded, save_load_window_loaded).
class WindowSystem {
  public:
    // The open main window, or nullptr while it is closed.
    virtual MainWindowOps* main_window() = 0;
    virtual void show_main_window() = 0;
    virtual void close_main_window() = 0;
    // Creates and loads Form2 if it is not open, else brings it to the front.
    virtual void show_save_load_window() = 0;

  protected:
    ~WindowSystem() = default;
};

}  // namespace quobel::windows
