// The random iteration: the start point, map choice, one step and runs of steps drawn as a cobweb.
#pragma once

#include "model/model_state.hpp"
#include "model/random_source.hpp"
#include "model/step_log.hpp"
#include "plot/plot_surface.hpp"

namespace quobel::model {

// The press on the plot: the x coordinate becomes the current point (single precision) and is
// marked on the diagonal.
void press_on_plot(ModelState& model, plot::PlotSurface& surface, double x);

// The map of the next step by the cumulative probabilities; one draw for two or three maps, none
// for one. Returns 0, taking no draw, when the map count is not 1, 2 or 3.
int choose_map(const ModelState& model, RandomSource& random);

enum class StepOutcome {
    taken,      // the point moved and the two cobweb segments were drawn
    no_map,     // the map count is not 1, 2 or 3: nothing drawn, the point kept
    undefined,  // the chosen map has no finite value at the point: nothing drawn, the point kept
};

struct StepResult {
    StepOutcome outcome = StepOutcome::taken;
    int map = 0;  // the map chosen (0 for no_map)
};

StepResult iterate_step(ModelState& model, RandomSource& random, plot::PlotSurface& surface);

struct RunResult {
    int steps_taken = 0;
    StepResult stop;        // the step that ended the run early; outcome taken when all steps ran
    double stopped_at = 0;  // the point at which the run stopped
};

// Up to `steps` steps; a step that cannot be taken ends the run there. Each step taken is added to
// `log` when one is given.
RunResult run_steps(ModelState& model, RandomSource& random, plot::PlotSurface& surface, int steps,
                    StepLog* log = nullptr);

}  // namespace quobel::model
