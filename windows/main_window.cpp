// The logic of the main window.
#include "windows/main_window.hpp"

#include <algorithm>
#include <cmath>
#include <string>

#include "editing/recalculation.hpp"
#include "model/iteration.hpp"
#include "model/number_text.hpp"
#include "plot/cobweb.hpp"

namespace quobel::windows {

using model::general_text;
using model::three_decimals_text;

void show_parameters(const model::ModelState& m, MainWindowOps& window, StockTextForm form) {
    const auto shown = [form](model::RealCell cell) {
        return form == StockTextForm::general ? general_text(cell)
                                              : three_decimals_text(cell.value());
    };
    const int stocks = std::min(m.stocks_in_tables(), window_stocks);
    for (int i = 0; i < stocks; ++i) {
        const int k = i + 1;
        for (int s = 1; s <= window_maps; ++s) {
            window.set_field_text(stock_field(Parameter::R, s), i, shown(m.R(s, k)));
            window.set_field_text(stock_field(Parameter::la1, s), i, shown(m.la1(s, k)));
            window.set_field_text(stock_field(Parameter::la2, s), i,
                                  three_decimals_text(m.la2(s, k)));
        }
    }
    const int maps = std::min(m.maps_in_tables(), window_maps);
    for (int i = 0; i < maps; ++i) {
        window.set_field_text(Field::Text8, i, general_text(m.prob(i + 1)));
    }
    window.set_field_text(Field::Text9, 0, general_text(m.num_maps));
}

void load_main_window(ProgramState& state, MainWindowOps& window) {
    const model::ModelState& m = state.model;
    // The averages use the probabilities in force before the write of the map count, which may
    // change them; the writes of the other fields only record pending edits.
    editing::show_stock_averages(m, window);
    show_parameters(m, window, StockTextForm::general);
    state.pending.clear_stock_flags(m.maps_in_tables(), m.stocks_in_tables());
    window.plot().set_world_window(plot::world_left, plot::world_top, plot::world_right,
                                   plot::world_bottom);
}

void press_on_plot(ProgramState& state, MainWindowOps& window, double x) {
    window.show_notice("");
    const auto point = static_cast<float>(x);
    if (std::isfinite(point)) {
        state.model.current_r = model::RealCell::of_single(point);
        plot::draw_start_point(window.plot(), point);
    }
    state.step_log.start(state.model.current_r.value());
    window.set_field_text(Field::Text4, 0, general_text(state.model.current_r));
}

namespace {

std::string stop_notice(const model::ModelState& m, const model::RunResult& run) {
    const std::string taken =
        "after " + std::to_string(run.steps_taken) + (run.steps_taken == 1 ? " step" : " steps");
    if (run.stop.outcome == model::StepOutcome::no_map) {
        return "No step taken: the map count " + general_text(m.num_maps) + " is not 1, 2 or 3.";
    }
    return "Stopped " + taken + ": map " + std::to_string(run.stop.map) +
           " has no finite value at r = " + general_text(m.current_r) +
           " (a zero denominator or a value too large).";
}

}  // namespace

void run_button(ProgramState& state, MainWindowOps& window, int steps) {
    window.show_notice("");
    if (state.step_log.size() == 0) {
        state.step_log.start(state.model.current_r.value());
    }
    plot::PlotSurface& surface = window.plot();
    model::StepLog& log = state.step_log;
    const model::RunResult run = model::run_steps(
        state.model, *state.random, steps, [&surface, &log](const model::StepResult& step) {
            plot::draw_cobweb_step(surface, step.from, step.to);
            log.record(step.map, step.to);
        });
    const std::string point = general_text(state.model.current_r);
    constexpr auto grey = plot::PaletteColour::light_grey;
    if (steps == 100) {
        window.plot().draw_line(0, 0, 1, 1, grey);
        window.set_field_text(Field::Text4, 0, point);
    } else {
        window.set_field_text(Field::Text4, 0, point);
        if (steps > 1) {
            window.plot().draw_line(0, 0, 1, 1, grey);
        }
    }
    if (run.stop.outcome != model::StepOutcome::taken) {
        window.show_notice(stop_notice(state.model, run));
    }
}

}  // namespace quobel::windows
