// The random iteration and its cobweb.
#include "model/iteration.hpp"

#include <cmath>

#include "model/maps.hpp"

namespace quobel::model {

using plot::PaletteColour;

void press_on_plot(ModelState& model, plot::PlotSurface& surface, double x) {
    const auto point = static_cast<float>(x);
    if (!std::isfinite(point)) {
        return;
    }
    model.current_r = RealCell::of_single(point);
    surface.draw_point(point, point, PaletteColour::light_magenta);
}

int choose_map(const ModelState& model, RandomSource& random) {
    if (model.num_maps == 1) {
        return 1;
    }
    if (model.num_maps == 2) {
        const double u = random.draw();
        return u < model.prob(1) ? 1 : 2;
    }
    if (model.num_maps == 3) {
        const double u = random.draw();
        if (u < model.prob(1)) {
            return 1;
        }
        return u < model.prob(2) + model.prob(1) ? 2 : 3;
    }
    return 0;
}

StepResult iterate_step(ModelState& model, RandomSource& random, plot::PlotSurface& surface) {
    const int s = choose_map(model, random);
    if (s == 0) {
        return {StepOutcome::no_map, 0};
    }
    const double r = model.current_r.value();
    const double next = tau(model, s, r);
    if (!std::isfinite(next)) {
        return {StepOutcome::undefined, s};
    }
    plot::draw_finite_line(surface, r, r, r, next, PaletteColour::light_magenta);
    plot::draw_finite_line(surface, r, next, next, next, PaletteColour::light_magenta);
    model.current_r = RealCell::of_double(next);
    return {StepOutcome::taken, s};
}

RunResult run_steps(ModelState& model, RandomSource& random, plot::PlotSurface& surface, int steps,
                    StepLog* log) {
    RunResult run;
    for (; run.steps_taken < steps; ++run.steps_taken) {
        run.stop = iterate_step(model, random, surface);
        if (run.stop.outcome != StepOutcome::taken) {
            break;
        }
        if (log != nullptr) {
            log->record(run.stop.map, model.current_r.value());
        }
    }
    run.stopped_at = model.current_r.value();
    return run;
}

}  // namespace quobel::model
