// Start-up defaults and the random fill of the parameter tables.
#pragma once

#include "model/model_state.hpp"
#include "model/random_source.hpp"

namespace quobel::model {

// floor(x * 1000) / 1000 in double precision: x cut down to three decimals (towards minus
// infinity).
double truncate3(double x);

// Four positive shares adding up to 1 into random_weights; takes exactly three draws.
void random_simplex(ModelState& model, RandomSource& random);

// New random shares for R, la1 (single precision) and la2 (widened to double) of every map in use,
// in three passes, one random_simplex per map and table. The draws serve at most four stocks and
// the tables at most ten maps; counts beyond that leave the extra cells as they are.
void randomise_parameters(ModelState& model, RandomSource& random);

// The defaults and the random fill of start-up (3 maps, 4 stocks, 100 points, prob 0.3, 0.35,
// 0.35, "maps_data.txt"). Clearing the edit flags and showing the main window are the
// application's steps that follow.
void initialise_model(ModelState& model, RandomSource& random);

}  // namespace quobel::model
