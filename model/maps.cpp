// Evaluation of the maps tau_s.
#include "model/maps.hpp"

namespace quobel::model {

double tau(const ModelState& model, int s, double r) {
    const int stocks = model.stocks_in_tables();
    const auto& R = model.R.row(s);
    const auto& la1 = model.la1.row(s);
    const auto& la2 = model.la2.row(s);
    double sum = 0;
    for (int k = 0; k < stocks; ++k) {
        // The grouping fixes the rounding: R * (la1 * r) over (la1 * r) + (la2 * (1 - r)).
        const double held_1 = la1[k].value() * r;
        const double held_2 = la2[k] * (1 - r);
        // A stock that neither investor holds pays its payoff to neither: its term is 0, where
        // the formula would give 0 / 0.
        if (held_1 == 0 && held_2 == 0) {
            continue;
        }
        sum += R[k].value() * held_1 / (held_1 + held_2);
    }
    return sum;
}

}  // namespace quobel::model
