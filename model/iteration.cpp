// The random iteration.
#include "model/iteration.hpp"

#include <cmath>

#include "model/maps.hpp"

namespace quobel::model {

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

StepResult iterate_step(ModelState& model, RandomSource& random) {
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

}  // namespace quobel::model
