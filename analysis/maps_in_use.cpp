// The chances of the maps under the iteration's rule for picking one.
#include "analysis/maps_in_use.hpp"

#include <algorithm>
#include <limits>

#include "model/iteration.hpp"

namespace quobel::analysis {

namespace {

// The chance that a uniform draw in [0, 1) lies below `bound`. A NaN bound is never above a
// draw, so it gives 0, as the step's comparison does.
double chance_below(double bound) {
    if (!(bound > 0)) {
        return 0;
    }
    return bound < 1 ? bound : 1;
}

}  // namespace

MapsInUse maps_in_use(const model::ModelState& model) {
    MapsInUse maps;
    constexpr double never = std::numeric_limits<double>::infinity();
    maps.count = model::maps_drawn(model);
    if (maps.count == 1) {
        maps.chance = {1, 0, 0};
        maps.threshold = {never, never, never};
    } else if (maps.count == 2) {
        const double first = chance_below(model.prob(1));
        maps.chance = {first, 1 - first, 0};
        maps.threshold = {model.prob(1), never, never};
    } else if (maps.count == 3) {
        const double first = chance_below(model.prob(1));
        const double second_bound = model.prob(2) + model.prob(1);
        const double below_second = chance_below(second_bound);
        // Map 2 takes the draws from prob(1) up to prob(1) + prob(2): none when that bound lies
        // below prob(1) (a negative prob(2)).
        maps.chance = {first, std::max(0.0, below_second - first),
                       1 - std::max(first, below_second)};
        maps.threshold = {model.prob(1), second_bound, never};
    }
    return maps;
}

}  // namespace quobel::analysis
