// Which maps the random iteration draws from, and the chance with which it picks each one.
#pragma once

#include <array>

#include "model/model_state.hpp"

namespace quobel::analysis {

// The iteration picks map 1 when a draw u in [0, 1) lies below prob(1) and map 2 when it lies
// below prob(1) + prob(2), so the chances are those bounds cut to [0, 1]: they always add up to 1,
// whatever prob holds. prob(3) is never read, and with one map prob(1) is not read either.
struct MapsInUse {
    int count = 0;                   // 1, 2 or 3; 0 when the map count is none of these
    std::array<double, 3> chance{};  // map s at s - 1
    std::array<double, 3>
        threshold{};  // the bounds the draw is compared with, as the step forms them
};

MapsInUse maps_in_use(const model::ModelState& model);

}  // namespace quobel::analysis
