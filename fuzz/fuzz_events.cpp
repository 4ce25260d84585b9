// Fuzz target of the event routing: the input's bytes are a user's session (typing into any
// field, every button, presses on the plot, the save and load window with its files), and after
// every event the program state must still be sound.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <map>
#include <string>

#include "fuzz_checks.hpp"
#include "model/number_text.hpp"
#include "storage/parameter_file.hpp"
#include "support/recording_windows.hpp"

namespace {

using namespace quobel;
using fuzz::check;
using testing::Field;
using testing::MainButton;

// Texts that reach the edges of the parse and of the handlers: counts, junk, extreme magnitudes.
constexpr const char* typed_texts[] = {
    "",
    "0",
    "1",
    "2",
    "3",
    "4",
    "2.5",
    "-3",
    "1e9",
    "-1e9",
    "0.25",
    "0.5",
    "junk",
    "1e308",
    "-1e308",
    "1.7976931348623157e308",
    "4.9e-324",
    "1e-300",
    "0.0005",
    "2.0",
    "3.0000000000000004",
    "10",
    "11",
    ".",
    "-",
    "1e",
    "0.1",
    "-0.125",
    "1E+20",
    "0.3",
    "0.7",
    "1e-9",
};

// File names below the scratch folder, including a folder, a missing folder and no name at all.
constexpr const char* file_names[] = {"maps_data.txt", "a",  "b.txt", "", ".", "..",
                                      "missing/c",     "a/b"};

enum class Event {
    type_field,
    paste_field,
    button,
    press_plot,
    close_form2,
    type_file_name,
    save,
    load,
    close_form1,
    use_sweep_point,
};

constexpr int max_events = 64;

class Session {
  public:
    explicit Session(FuzzedDataProvider& in) : in_(in) {
        program_.start();
        // Saves under the default name must land in the scratch folder too.
        program_.state.model.data_file_name = fuzz::scratch_folder().path() + "/maps_data.txt";
    }

    // Runs events until the input ends or the user has closed both windows.
    void run() {
        for (int n = 0; n < max_events && in_.remaining_bytes() > 0; ++n) {
            if (main() == nullptr && form2() == nullptr) {
                return;
            }
            const auto event = static_cast<Event>(
                in_.ConsumeIntegralInRange<int>(0, static_cast<int>(Event::use_sweep_point)));
            handle(event);
            check_after(event);
        }
    }

  private:
    testing::RecordingMainWindow* main() { return program_.windows.main(); }
    testing::RecordingSaveLoadWindow* form2() { return program_.windows.save_load(); }

    std::string typed_text() {
        if (in_.ConsumeBool()) {
            return typed_texts[in_.ConsumeIntegralInRange<std::size_t>(0,
                                                                       std::size(typed_texts) - 1)];
        }
        return in_.ConsumeRandomLengthString(24);
    }

    std::string file_name() {
        if (in_.ConsumeBool()) {
            return file_names[in_.ConsumeIntegralInRange<std::size_t>(0,
                                                                      std::size(file_names) - 1)];
        }
        // Any name of file-name characters, kept inside the scratch folder.
        static constexpr char allowed[] = "abc.-_0";
        std::string name = in_.ConsumeRandomLengthString(12);
        for (char& c : name) {
            c = allowed[static_cast<unsigned char>(c) % (sizeof allowed - 1)];
        }
        return name;
    }

    double plot_coordinate() {
        constexpr double edges[] = {plot::world_left, 0.0, 0.5, 1.0, plot::world_right};
        if (in_.ConsumeBool()) {
            return edges[in_.ConsumeIntegralInRange<std::size_t>(0, std::size(edges) - 1)];
        }
        return plot::world_left +
               (plot::world_right - plot::world_left) * in_.ConsumeProbability<double>();
    }

    MainButton button() {
        auto button = static_cast<MainButton>(in_.ConsumeIntegralInRange<int>(0, 6));
        // "Next 10000" is slow for a fuzzer: only with a magic byte, once per input.
        if (button == MainButton::Command5 &&
            (in_.ConsumeIntegral<std::uint8_t>() != 0x5A || long_runs_ > 0)) {
            button = MainButton::Command3;
        }
        if (button == MainButton::Command5) {
            ++long_runs_;
        }
        return button;
    }

    void handle(Event event) {
        auto* window = main();
        auto* save_load = form2();
        switch (event) {
            case Event::type_field:
            case Event::paste_field: {
                const auto field = static_cast<Field>(
                    in_.ConsumeIntegralInRange<int>(0, static_cast<int>(Field::Text12)));
                const int index =
                    in_.ConsumeIntegralInRange<int>(0, windows::field_elements(field) - 1);
                const std::string text = typed_text();
                if (window == nullptr) {
                    return;
                }
                if (event == Event::type_field) {
                    window->type(field, index, text);
                } else {
                    window->set_field_text(field, index, text);
                }
                return;
            }
            case Event::button: {
                const MainButton pressed = button();
                last_button_ = pressed;
                if (window != nullptr) {
                    const model::ModelState before = program_.state.model;
                    window->click(pressed);
                    if (pressed == MainButton::Command2) {
                        check_recalculated(before, *window);
                    } else if (pressed == MainButton::Command7) {
                        fuzz::check_fields_show_model(program_.state.model, *main(),
                                                      fuzz::CellText::general);
                    }
                }
                return;
            }
            case Event::press_plot: {
                const double x = plot_coordinate();
                const double y = plot_coordinate();
                if (window != nullptr) {
                    window->press(x, y);
                }
                return;
            }
            case Event::close_form2:
                program_.windows.close_save_load_window();
                return;
            case Event::type_file_name: {
                const std::string name = file_name();
                if (save_load != nullptr) {
                    // The folder pasted, then the name typed keystroke by keystroke.
                    const std::string folder = fuzz::scratch_folder().path() + "/";
                    save_load->set_file_name_text(folder);
                    for (std::size_t n = 1; n <= name.size(); ++n) {
                        save_load->set_file_name_text(folder + name.substr(0, n));
                    }
                }
                return;
            }
            case Event::save:
                if (save_load != nullptr) {
                    save(*save_load);
                }
                return;
            case Event::load:
                if (save_load != nullptr) {
                    load(*save_load);
                }
                return;
            case Event::close_form1:
                // Closing the main window while Form2 stays open is the only way to a load with
                // no fields to refresh; with Form2 closed it would end the program.
                if (save_load != nullptr) {
                    program_.windows.close_main_window();
                }
                return;
            case Event::use_sweep_point:
                use_sweep_point(window);
                return;
        }
    }

    // The sweep window's "Use this point" with one value of any component, the window's or not.
    void use_sweep_point(const testing::RecordingMainWindow* window) {
        using Table = sweep::ParameterName::Table;
        const auto table = static_cast<Table>(in_.ConsumeIntegralInRange<int>(0, 3));
        const int map = in_.ConsumeIntegralInRange<int>(0, 4);
        const int stock = table == Table::prob ? 0 : in_.ConsumeIntegralInRange<int>(0, 5);
        const double value = in_.ConsumeFloatingPoint<double>();
        const model::ModelState before = program_.state.model;
        const std::string refusal = program_.events.enter_values({{{table, map, stock}, value}});
        const std::string name = sweep::parameter_name_text({table, map, stock});
        check(program_.state.model == before, "Use this point changed the model", name);
        const bool has_field = window != nullptr && map >= 1 && map <= windows::window_maps &&
                               (table == Table::prob || (stock >= 1 && stock <= 4));
        check(refusal.empty() == has_field, "Use this point refused a field or wrote none", name);
        if (!has_field) {
            return;
        }
        // Typed as the shortest decimal of the value, it must read back as the value itself.
        const editing::PendingEdits& pending = program_.state.pending;
        const double typed = table == Table::prob  ? pending.new_prob(map)
                             : table == Table::R   ? pending.new_R(map, stock)
                             : table == Table::la1 ? pending.new_la1(map, stock)
                                                   : pending.new_la2(map, stock);
        check(typed == value, "the typed value does not read back as the point's", name);
    }

    void save(testing::RecordingSaveLoadWindow& window) {
        const std::string& name = program_.state.model.data_file_name;
        window.click_save();
        if (window.saved_word == "Saved") {
            const std::string text = fuzz::read_file(name);
            check(text == storage::parameter_file_text(program_.state.model),
                  "the saved file is not the model's text", name);
            fuzz::check_reloads(text, name);
            saved_[name] = text;
        } else {
            check(window.saved_word.empty(), "a save status other than Saved", window.saved_word);
            check(!window.save_reason.empty(), "a failed save without a reason", name);
        }
    }

    void load(testing::RecordingSaveLoadWindow& window) {
        const std::string name = program_.state.model.data_file_name;
        const model::ModelState model_before = program_.state.model;
        const editing::PendingEdits pending_before = program_.state.pending;
        window.click_load();
        if (window.loaded_word == "Loaded") {
            if (auto* shown = main()) {
                fuzz::check_fields_show_model(program_.state.model, *shown,
                                              fuzz::CellText::three_decimals);
            }
            return;
        }
        check(window.loaded_word.empty(), "a load status other than Loaded", window.loaded_word);
        check(!window.load_reason.empty(), "a failed load without a reason", name);
        check(!saved_.contains(name), "a file the program saved does not load", window.load_reason);
        check(program_.state.model == model_before, "a failed load changed the model", name);
        check(program_.state.pending == pending_before, "a failed load changed the edits", name);
    }

    // Every vector that recalculation changed is shown in "0.000" and keeps no pending edit. A
    // vector that cannot be rescaled keeps its values, fields and pending edits, and the window
    // says so.
    void check_recalculated(const model::ModelState& before,
                            const testing::RecordingMainWindow& window) {
        const model::ModelState& m = program_.state.model;
        const editing::PendingEdits& pending = program_.state.pending;
        const int stocks = m.stocks_in_tables();
        const int shown_stocks = std::min(stocks, windows::window_stocks);
        using windows::Parameter;
        const auto vector_checked = [&](Parameter p, int s, auto value, auto flag) {
            bool changed = false;
            bool pending_left = false;
            for (int k = 1; k <= stocks; ++k) {
                changed = changed || value(m, s, k) != value(before, s, k);
                pending_left = pending_left || (s <= m.maps_in_tables() && flag(s, k) != 0);
            }
            for (int k = 1; changed && k <= shown_stocks; ++k) {
                const std::string text = window.field_text(windows::stock_field(p, s), k - 1);
                check(text == model::three_decimals_text(value(m, s, k)),
                      "a recalculated vector is not shown", text);
            }
            check(!pending_left || (!changed && !window.notice.empty()),
                  "a vector left with pending edits", window.notice);
        };
        for (int s = 1; s <= windows::window_maps; ++s) {
            vector_checked(
                Parameter::R, s,
                [](const model::ModelState& x, int s, int k) { return x.R(s, k).value(); },
                [&](int s, int k) { return pending.edited_R(s, k); });
            vector_checked(
                Parameter::la1, s,
                [](const model::ModelState& x, int s, int k) { return x.la1(s, k).value(); },
                [&](int s, int k) { return pending.edited_la1(s, k); });
            vector_checked(
                Parameter::la2, s,
                [](const model::ModelState& x, int s, int k) { return x.la2(s, k); },
                [&](int s, int k) { return pending.edited_la2(s, k); });
        }
        bool prob_changed = false;
        bool prob_pending = false;
        for (int s = 1; s <= m.maps_in_tables(); ++s) {
            prob_changed = prob_changed || m.prob(s) != before.prob(s);
            prob_pending = prob_pending || pending.edited_prob(s) != 0;
        }
        check(!prob_pending || (!prob_changed && !window.notice.empty()),
              "prob left with pending edits", window.notice);
    }

    void check_after(Event event) {
        const model::ModelState& m = program_.state.model;
        fuzz::check_model(m);
        fuzz::check_pending(program_.state.pending);
        if (auto* window = main()) {
            watch_.look(*window);
            fuzz::check_map_count_shown(m, *window);
            // A press or a run shows the point it leaves; the user may type anything into Text4
            // in between, which the program never reads.
            if (event == Event::press_plot ||
                (event == Event::button &&
                 (last_button_ == MainButton::Command3 || last_button_ == MainButton::Command4 ||
                  last_button_ == MainButton::Command5))) {
                const std::string point = window->field_text(Field::Text4, 0);
                check(point == model::general_text(m.current_r),
                      "Text4 does not show the current point", point);
            }
        }
        if (auto* window = form2()) {
            check(window->file_name == m.data_file_name,
                  "the file-name field and the file name "
                  "differ",
                  window->file_name);
        }
        // Each text was checked to load back when it was saved; it must still be there.
        for (const auto& [name, text] : saved_) {
            check(fuzz::read_file(name) == text, "a saved file changed without a save", name);
        }
    }

    FuzzedDataProvider& in_;
    testing::Program program_;
    std::map<std::string, std::string> saved_;  // name -> text of every file saved so far
    int long_runs_ = 0;
    fuzz::WindowWatch watch_;
    MainButton last_button_ = MainButton::Command1;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::scratch_folder().empty();
    FuzzedDataProvider in(data, size);
    Session session(in);
    session.run();
    return 0;
}
