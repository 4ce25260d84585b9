// Start-up defaults and the random fill of the parameter tables.
#include "model/start_up.hpp"

#include <algorithm>
#include <cmath>

namespace quobel::model {

namespace {

// random_weights has four elements, so the random fill serves at most four stocks.
constexpr int stocks_per_draw = 4;

// The value that replaces a share that came out as 0, so that every share is positive.
constexpr double zero_share = 0.013377;

}  // namespace

double truncate3(double x) {
    return std::floor(x * 1000) / 1000;
}

void random_simplex(ModelState& model, RandomSource& random) {
    double a = truncate3(static_cast<double>(random.draw()) * 0.5);
    if (a == 0) {
        a = zero_share;
    }
    // Scaling by what is left after subtracting zero_share keeps room for a positive last share.
    double b = truncate3(static_cast<double>(random.draw()) * ((1 - a) - zero_share));
    if (b == 0) {
        b = zero_share;
    }
    double c = truncate3(static_cast<double>(random.draw()) * (((1 - a) - b) - zero_share));
    if (c == 0) {
        c = zero_share;
    }
    const double d = ((1 - a) - b) - c;
    model.random_weights = {static_cast<float>(a), static_cast<float>(b), static_cast<float>(c),
                            static_cast<float>(d)};
}

void randomise_parameters(ModelState& model, RandomSource& random) {
    const int maps = model.maps_in_tables();
    const int stocks = std::min(model.stocks_in_tables(), stocks_per_draw);
    for (int s = 1; s <= maps; ++s) {
        random_simplex(model, random);
        for (int k = 1; k <= stocks; ++k) {
            model.R(s, k) = RealCell::of_single(model.random_weights[k - 1]);
        }
    }
    for (int s = 1; s <= maps; ++s) {
        random_simplex(model, random);
        for (int k = 1; k <= stocks; ++k) {
            model.la1(s, k) = RealCell::of_single(model.random_weights[k - 1]);
        }
    }
    for (int s = 1; s <= maps; ++s) {
        random_simplex(model, random);
        for (int k = 1; k <= stocks; ++k) {
            model.la2(s, k) = static_cast<double>(model.random_weights[k - 1]);
        }
    }
}

void initialise_model(ModelState& model, RandomSource& random) {
    model.num_maps = 3;
    model.num_stocks = 4;
    model.num_points = 100;
    model.prob(1) = 0.3;
    model.prob(2) = 0.35;
    model.prob(3) = (1.0 - model.prob(1)) - model.prob(2);
    model.data_file_name = "maps_data.txt";
    randomise_parameters(model, random);
    model.grid_step = 1.0 / model.num_points;
}

}  // namespace quobel::model
