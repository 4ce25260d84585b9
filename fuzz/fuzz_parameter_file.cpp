// Fuzz target of the parameter file reader: any bytes as a file's text are either refused, leaving
// the program as it was, or loaded, after which save, load, save agree and the main window shows
// what the model holds.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_checks.hpp"
#include "model/number_text.hpp"
#include "storage/parameter_file.hpp"
#include "support/recording_windows.hpp"

namespace {

using namespace quobel;
using fuzz::check;
using testing::Field;
using testing::MainButton;
using windows::Parameter;

void check_round_trip(const std::string& name) {
    model::ModelState loaded;
    const storage::FileOutcome outcome = storage::load_parameter_file(loaded, name);
    check(outcome.ok, "a text the reader accepts does not load from a file", outcome.reason);
    const std::string saved = storage::parameter_file_text(loaded);
    fuzz::check_reloads(saved, "saved after loading the fuzz text");
}

// The refresh shows the model, and every field that it marked as edited holds, as its pending
// value, the number its text shows.
void check_main_window(const testing::Program& program,
                       const testing::RecordingMainWindow& window) {
    const model::ModelState& m = program.state.model;
    const editing::PendingEdits& pending = program.state.pending;
    fuzz::check_fields_show_model(m, window, fuzz::CellText::three_decimals);
    const int stocks = std::min(m.stocks_in_tables(), windows::window_stocks);
    for (int s = 1; s <= windows::window_maps; ++s) {
        for (int k = 1; k <= stocks; ++k) {
            const auto consistent = [&](Parameter p, std::int16_t flag, double value) {
                const std::string shown = window.field_text(windows::stock_field(p, s), k - 1);
                check(flag == 0 || value == model::parse_leading_number(shown),
                      "a field marked as edited holds another pending value", shown);
            };
            consistent(Parameter::R, pending.edited_R(s, k), pending.new_R(s, k));
            consistent(Parameter::la1, pending.edited_la1(s, k), pending.new_la1(s, k));
            consistent(Parameter::la2, pending.edited_la2(s, k), pending.new_la2(s, k));
        }
    }
    const int maps = std::min(m.maps_in_tables(), windows::window_maps);
    for (int j = 0; j < maps; ++j) {
        const std::string shown = window.field_text(Field::Text8, j);
        check(pending.edited_prob(j + 1) == 0 ||
                  pending.new_prob(j + 1) == model::parse_leading_number(shown),
              "a prob field marked as edited holds another pending value", shown);
    }
}

// What a loaded parameter set can do to the rest of the program: the graphs, a start point, a
// long run, recalculation and Reset, each leaving a sound state. Only a load brings stock counts
// other than 4, 10 maps or stocks, and values no typing reaches.
void use_loaded_parameters(testing::Program& program) {
    fuzz::WindowWatch watch;
    const auto after = [&] {
        fuzz::check_model(program.state.model);
        fuzz::check_pending(program.state.pending);
        watch.look(program.main());
    };
    after();
    program.main().click(MainButton::Command1);
    after();
    program.main().press(0.25);
    after();
    program.main().click(MainButton::Command4);
    after();
    program.main().click(MainButton::Command2);
    after();
    program.main().click(MainButton::Command1);
    after();
    program.main().click(MainButton::Command7);
    fuzz::check_fields_show_model(program.state.model, program.main(), fuzz::CellText::general);
    after();
    program.main().click(MainButton::Command3);
    after();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::string name = fuzz::scratch_folder().path() + "/parameters.txt";
    fuzz::write_file(name, text);

    const storage::ReadOutcome read = storage::read_value_block(text);
    if (read.parameters) {
        check_round_trip(name);
    } else {
        check(!read.reason.empty(), "a refusal without a reason");
    }

    testing::Program program;
    testing::RecordingMainWindow& window = program.start();
    testing::RecordingSaveLoadWindow& form2 = program.open_save_load();
    form2.set_file_name_text(name);
    const model::ModelState model_before = program.state.model;
    const editing::PendingEdits pending_before = program.state.pending;
    const std::size_t writes_before = window.writes.size();

    form2.click_load();

    fuzz::check_model(program.state.model);
    fuzz::check_pending(program.state.pending);
    if (!read.parameters) {
        check(form2.loaded_word.empty(), "a refused file reported as loaded");
        check(!form2.load_reason.empty(), "a refused file without a reason");
        check(program.state.model == model_before, "a refused file changed the model");
        check(program.state.pending == pending_before, "a refused file changed the pending edits");
        check(window.writes.size() == writes_before, "a refused file changed the main window");
        return 0;
    }
    check(form2.loaded_word == "Loaded", "an accepted file not reported as loaded",
          form2.load_reason);
    // The refresh may change the map count and prob (through the map count field) but never the
    // stock tables.
    const storage::ParameterSet& set = *read.parameters;
    const model::ModelState& m = program.state.model;
    for (int s = 1; s <= model::loop_count(set.num_maps, model::max_maps); ++s) {
        for (int k = 1; k <= model::loop_count(set.num_stocks, model::max_stocks); ++k) {
            check(m.R(s, k).value() == set.R(s, k) && m.la1(s, k).value() == set.la1(s, k) &&
                      m.la2(s, k) == set.la2(s, k),
                  "a loaded cell differs from the file");
        }
    }
    check_main_window(program, window);
    use_loaded_parameters(program);
    return 0;
}
