// Recording stand-ins of the plot, the two windows and the window system, and scripted draws.
#pragma once

#include <array>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "model/random_source.hpp"
#include "plot/plot_surface.hpp"
#include "windows/events.hpp"
#include "windows/program_state.hpp"
#include "windows/window_operations.hpp"

namespace quobel::testing {

using plot::PaletteColour;
using windows::Field;
using windows::MainButton;
using windows::StatusLabel;

// Draws given by the test, in order; once they run out every draw is 0 and `exhausted` is set.
class ScriptedDraws final : public model::RandomSource {
  public:
    ScriptedDraws() = default;
    explicit ScriptedDraws(std::vector<float> draws) : draws_(draws.begin(), draws.end()) {}
    void add(std::vector<float> draws) { draws_.insert(draws_.end(), draws.begin(), draws.end()); }
    float draw() override;

    int taken = 0;
    bool exhausted = false;

  private:
    std::deque<float> draws_;
};

struct Segment {
    float x1, y1, x2, y2;
    PaletteColour colour;
    friend bool operator==(const Segment&, const Segment&) = default;
};

// Keeps every drawing call since the last clear, and counts the clears.
class RecordingSurface final : public plot::PlotSurface {
  public:
    void set_world_window(double left, double top, double right, double bottom) override;
    void clear() override;
    void draw_line(float x1, float y1, float x2, float y2, PaletteColour colour) override;
    void draw_point(float x, float y, PaletteColour colour) override;

    std::array<double, 4> world{};  // left, top, right, bottom; all 0 until set
    int world_window_calls = 0;
    int clears = 0;
    std::vector<Segment> lines;   // since the last clear
    std::vector<Segment> points;  // since the last clear, x2 = x1 and y2 = y1
};

// Form1 as a set of texts. Like the real line edit, a write that changes the text notifies the
// event routing before it returns; writing the same text notifies no one.
class RecordingMainWindow final : public windows::MainWindowOps {
  public:
    explicit RecordingMainWindow(windows::Events& events) : events_(events) {}

    void set_field_text(Field field, int index, std::string_view text) override;
    std::string field_text(Field field, int index) const override;
    void set_label_caption(int index, std::string_view text) override;
    void show_notice(std::string_view text) override { notice = std::string(text); }
    plot::PlotSurface& plot() override { return surface; }

    // What a user does: type text keystroke by keystroke into a field after selecting all of it
    // (each keystroke is a change), click a button, press on the plot.
    void type(Field field, int index, std::string_view text);
    void click(MainButton button) { events_.button_pressed(*this, button); }
    void press(double x, double y = 0.5) { events_.plot_pressed(*this, x, y); }

    std::string caption(int index) const { return captions.at(static_cast<std::size_t>(index)); }

    RecordingSurface surface;
    std::array<std::string, 4> captions;  // Label14(0..3)
    std::string notice;
    // Every write that changed a field, in order: (field, index, text).
    std::vector<std::tuple<Field, int, std::string>> writes;

  private:
    windows::Events& events_;
    std::map<std::pair<Field, int>, std::string> texts_;
};

// Form2 as a file-name text and two status labels.
class RecordingSaveLoadWindow final : public windows::SaveLoadOps {
  public:
    explicit RecordingSaveLoadWindow(windows::Events& events) : events_(events) {}

    void set_file_name_text(std::string_view text) override;
    void set_status(StatusLabel label, std::string_view word, std::string_view reason) override;

    void type_file_name(std::string_view text);
    void click_save() { events_.save_pressed(*this); }
    void click_load() { events_.load_pressed(*this); }

    std::string file_name;
    std::string saved_word, loaded_word;   // Label2, Label3
    std::string save_reason, load_reason;  // shown beside a failed save or load

  private:
    windows::Events& events_;
};

class RecordingWindowSystem final : public windows::WindowSystem {
  public:
    void attach(windows::Events& events) { events_ = &events; }

    windows::MainWindowOps* main_window() override { return main_.get(); }
    void show_main_window() override;
    void close_main_window() override;
    void show_save_load_window() override;

    // The user closes a window with its close box.
    void close_save_load_window() { save_load_.reset(); }

    RecordingMainWindow* main() { return main_.get(); }
    RecordingSaveLoadWindow* save_load() { return save_load_.get(); }

    int main_windows_created = 0;
    int save_load_windows_created = 0;
    int save_load_raised = 0;

  private:
    windows::Events* events_ = nullptr;
    std::unique_ptr<RecordingMainWindow> main_;
    std::unique_ptr<RecordingSaveLoadWindow> save_load_;
    // A closed window may still be running the handler that closed it, so it is kept until the
    // stand-in is destroyed.
    std::vector<std::unique_ptr<RecordingMainWindow>> closed_;
};

// A whole program against the stand-ins: state, windows, routing.
struct Program {
    explicit Program(
        std::unique_ptr<model::RandomSource> random = std::make_unique<model::UniformGenerator>())
        : state(std::move(random)) {
        windows.attach(events);
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // Starts the program: defaults, random fill, the main window shown and loaded.
    RecordingMainWindow& start() {
        events.start_up();
        return *windows.main();
    }
    RecordingMainWindow& main() { return *windows.main(); }
    RecordingSaveLoadWindow& open_save_load() {
        main().click(MainButton::Command6);
        return *windows.save_load();
    }

    windows::ProgramState state;
    RecordingWindowSystem windows;
    windows::Events events{state, windows};
};

}  // namespace quobel::testing
