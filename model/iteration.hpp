// The random iteration: map choice, one step and runs of steps, each step reported to the caller.
#pragma once

#include <cmath>
#include <utility>

#include "model/maps.hpp"
#include "model/model_state.hpp"
#include "model/random_source.hpp"

namespace quobel::model {

// How many maps the iteration draws from: 1, 2 or 3 when the map count is exactly that value, 0
// for any other count (2.5, 4, NaN), which has no map to pick.
inline int maps_drawn(const ModelState& model) {
    if (model.num_maps == 1) {
        return 1;
    }
    if (model.num_maps == 2) {
        return 2;
    }
    if (model.num_maps == 3) {
        return 3;
    }
    return 0;
}

// The map of the next step by the cumulative probabilities; one draw for two or three maps, none
// for one. Returns 0, taking no draw, when maps_drawn is 0.
inline int choose_map(const ModelState& model, RandomSource& random) {
    switch (maps_drawn(model)) {
        case 1:
            return 1;
        case 2:
            return random.draw() < model.prob(1) ? 1 : 2;
        case 3: {
            const double u = random.draw();
            if (u < model.prob(1)) {
                return 1;
            }
            return u < model.prob(2) + model.prob(1) ? 2 : 3;
        }
        default:
            return 0;
    }
}

enum class StepOutcome {
    taken,      // the point moved from `from` to `to`
    no_map,     // the map count is not 1, 2 or 3: the point kept
    undefined,  // the chosen map has no finite value at the point: the point kept
};

struct StepResult {
    StepOutcome outcome = StepOutcome::taken;
    int map = 0;      // the map chosen (0 for no_map)
    double from = 0;  // the point the step started from
    double to = 0;    // the point after the step; `from` again when it was not taken
    friend bool operator==(const StepResult&, const StepResult&) = default;
};

// Defined here with choose_map, so that a run of steps compiles into one loop around the draw and
// tau, as fast as when the iteration drew the cobweb itself.
inline StepResult iterate_step(ModelState& model, RandomSource& random) {
    const double r = model.current_r.value();
    const int s = choose_map(model, random);
    if (s == 0) {
        return {StepOutcome::no_map, 0, r, r};
    }
    const double next = tau(model, s, r);
    if (!std::isfinite(next)) {
        return {StepOutcome::undefined, s, r, r};
    }
    model.current_r = RealCell::of_double(next);
    return {StepOutcome::taken, s, r, next};
}

struct RunResult {
    int steps_taken = 0;
    StepResult stop;        // the step that ended the run early; outcome taken when all steps ran
    double stopped_at = 0;  // the point at which the run stopped
};

// Up to `steps` steps; a step that cannot be taken ends the run there. Each step taken is handed
// to `on_step` (a callable taking const StepResult&) before the next one is drawn; a template, so
// that a 10000-step run costs no call through a pointer beyond those the caller makes.
template <class OnStep>
RunResult run_steps(ModelState& model, RandomSource& random, int steps, OnStep&& on_step) {
    RunResult run;
    for (; run.steps_taken < steps; ++run.steps_taken) {
        run.stop = iterate_step(model, random);
        if (run.stop.outcome != StepOutcome::taken) {
            break;
        }
        on_step(std::as_const(run.stop));
    }
    run.stopped_at = model.current_r.value();
    return run;
}

inline RunResult run_steps(ModelState& model, RandomSource& random, int steps) {
    return run_steps(model, random, steps, [](const StepResult&) {});
}

}  // namespace quobel::model
