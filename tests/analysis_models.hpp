// Parameter sets for the tests of the analysis core, written as rows over the stocks.
#pragma once

#include <algorithm>
#include <cmath>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "model/model_state.hpp"
#include "model/random_source.hpp"
#include "model/start_up.hpp"
#include "storage/parameter_file.hpp"

namespace quobel::analysis::test_models {

using model::ModelState;
using model::RealCell;

// One map's parameters as rows over the stocks.
struct MapRows {
    std::vector<double> R, la1, la2;
};

// Stored in double precision, as typed values are; with `single`, R, la1 and la2 hold the
// single-precision values of the same decimals, as the random fill stores its shares.
inline ModelState model_of(const std::vector<MapRows>& maps, const std::vector<double>& prob,
                           bool single = false) {
    ModelState model;
    model.num_maps = static_cast<double>(maps.size());
    model.num_stocks = static_cast<double>(maps.front().R.size());
    const auto cell = [single](double value) {
        return single ? RealCell::of_single(static_cast<float>(value)) : RealCell::of_double(value);
    };
    for (std::size_t s = 0; s < maps.size(); ++s) {
        for (std::size_t k = 0; k < maps[s].R.size(); ++k) {
            const int map = static_cast<int>(s) + 1;
            const int stock = static_cast<int>(k) + 1;
            model.R(map, stock) = cell(maps[s].R[k]);
            model.la1(map, stock) = cell(maps[s].la1[k]);
            model.la2(map, stock) = cell(maps[s].la2[k]).value();
        }
    }
    for (std::size_t s = 0; s < prob.size(); ++s) {
        model.prob(static_cast<int>(s) + 1) = prob[s];
    }
    return model;
}

// A portfolio of n shares, each drawn from [low, 1) before all are scaled to add up to 1.
inline std::vector<double> random_portfolio(std::mt19937_64& random, std::size_t n, double low) {
    std::uniform_real_distribution<double> share(low, 1);
    std::vector<double> values(n);
    double sum = 0;
    for (double& value : values) {
        value = share(random);
        sum += value;
    }
    for (double& value : values) {
        value /= sum;
    }
    return values;
}

// The model a parameter file's value block gives, the block written on one line with its rows
// between slashes: "1,3 / .4,.4,.2 / .5,.5,0 / .5,.5,0 / 1" (counts, R, la1, la2, prob). The
// reader takes commas and line ends alike, so each slash stands for one more comma.
inline ModelState model_of_block(std::string_view block) {
    std::string text(block);
    std::replace(text.begin(), text.end(), '/', ',');
    const storage::ReadOutcome read = storage::read_value_block(text);
    if (!read.parameters) {
        throw std::invalid_argument(read.reason);
    }
    ModelState model;
    storage::apply_parameters(model, *read.parameters);
    return model;
}

// The parameters the program starts with, drawn by `random`: shares stored in single precision,
// and the chances 0.3, 0.3 and 0.4 of three maps.
inline ModelState start_up_model(model::UniformGenerator random = {}) {
    ModelState model;
    model::initialise_model(model, random);
    model.prob(1) = 0.3;
    model.prob(2) = 0.3;
    model.prob(3) = 0.4;
    return model;
}

// The start-up parameters of the program's own generator with the map count set to `num_maps`,
// whatever it is.
inline ModelState start_up_model_with_maps(double num_maps) {
    ModelState model;
    model::UniformGenerator random;
    model::initialise_model(model, random);
    model.num_maps = num_maps;
    return model;
}

// Arrow securities: in map s only stock s pays. Investor 1 holds (x, 1 - x) in map 1 and
// (y, 1 - y) in map 2, investor 2 holds (b, 1 - b) in both, map 1 has the chance p. Then
// Lambda_0 = p log(x / b) + (1 - p) log((1 - y) / (1 - b)) and Lambda_1 = -Lambda_0; on the
// diagonal x = y = a this is KL(p||la2) - KL(p||la1). The parameters hold x = y = 0.5.
inline constexpr double arrow_p = 0.6;
inline constexpr double arrow_b = 0.4;

inline ModelState arrow_securities() {
    ModelState model;
    model.num_maps = 2;
    model.num_stocks = 2;
    model.R(1, 1) = RealCell::of_double(1);
    model.R(2, 2) = RealCell::of_double(1);
    for (int s = 1; s <= 2; ++s) {
        model.la1(s, 1) = model.la1(s, 2) = RealCell::of_double(0.5);
        model.la2(s, 1) = arrow_b;
        model.la2(s, 2) = 1 - arrow_b;
    }
    model.prob(1) = arrow_p;
    model.prob(2) = 1 - arrow_p;
    return model;
}

inline double arrow_lambda_0(double x, double y) {
    return arrow_p * std::log(x / arrow_b) + (1 - arrow_p) * std::log((1 - y) / (1 - arrow_b));
}

}  // namespace quobel::analysis::test_models
