// Evaluation of the maps tau_s.
#pragma once

#include "model/model_state.hpp"

namespace quobel::model {

// tau_s(r) = sum over k of R(s,k) * (la1(s,k) r) / ((la1(s,k) r) + la2(s,k) (1 - r)), with the
// terms added from k = 1 upwards. s must be 1..10. A stock of which both holdings la1(s,k) r and
// la2(s,k) (1 - r) are 0 adds 0. Any other zero denominator (negative shares) is not tested: the
// result is then not finite and the caller decides what to do with it.
double tau(const ModelState& model, int s, double r);

}  // namespace quobel::model
