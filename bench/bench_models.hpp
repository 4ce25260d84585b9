// The parameters the benchmarks measure: those the program starts with.
#pragma once

#include "model/model_state.hpp"
#include "model/start_up.hpp"

namespace quobel::bench {

// Three maps, four stocks, random shares.
inline model::ModelState start_up_model() {
    model::ModelState model;
    model::UniformGenerator random;
    model::initialise_model(model, random);
    return model;
}

}  // namespace quobel::bench
