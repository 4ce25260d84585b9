// Checks shared by the fuzz targets: the invariants of the program state, the parameter file's
// round trip, and a scratch folder for the files the targets write.
#pragma once

#include <string>
#include <string_view>

#include "editing/pending_edits.hpp"
#include "model/model_state.hpp"
#include "support/recording_windows.hpp"

namespace quobel::fuzz {

// Reports a broken invariant and aborts, which libFuzzer records as a crash with its input.
[[noreturn]] void fail(std::string_view what, std::string_view detail = {});

inline void check(bool condition, std::string_view what, std::string_view detail = {}) {
    if (!condition) {
        fail(what, detail);
    }
}

// All 17 digits of a double, for messages.
std::string exact_text(double x);

// The rules of the program's state that the soak of the real windows checks too.
void check_model(const model::ModelState& model);
void check_pending(const editing::PendingEdits& pending);

// A file the program wrote must load, and saving what it loaded must give the same text again,
// byte for byte.
void check_reloads(std::string_view written, std::string_view where);

// How the main window shows R and la1: "0.000" after a load, the general text when the window
// itself is loaded (start-up and Reset). la2 is always in "0.000".
enum class CellText { three_decimals, general };

// The main window's parameter fields show the model: the stock fields of maps 1..3, the
// probabilities and the map count in the general text, and the count in force is the one shown.
void check_fields_show_model(const model::ModelState& model,
                             const testing::RecordingMainWindow& window, CellText r_and_la1);

// The map count in force is the number that the "Maps" field Text9 reads as: the steps, the
// graphs and the probabilities follow that field.
void check_map_count_shown(const model::ModelState& model,
                           const testing::RecordingMainWindow& window);

// Follows the main window (a new one after each Reset) and checks what it was given since the last
// look: writes only to field elements the window has, only finite lines and points on the plot.
class WindowWatch {
  public:
    void look(const testing::RecordingMainWindow& window);

  private:
    const testing::RecordingMainWindow* window_ = nullptr;
    std::size_t writes_ = 0;
    std::size_t lines_ = 0;
    std::size_t points_ = 0;
    int clears_ = 0;
};

// A private folder below the system's temporary folder, emptied on request and removed at exit.
class ScratchFolder {
  public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& path() const { return path_; }
    void empty() const;

  private:
    std::string path_;
};

// The folder of this fuzzing process, created on first use.
const ScratchFolder& scratch_folder();

std::string read_file(const std::string& name);
void write_file(const std::string& name, std::string_view text);

}  // namespace quobel::fuzz
