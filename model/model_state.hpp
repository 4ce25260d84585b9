// The state of the random dynamical system: counts, parameter tables, current point, file name.
#pragma once

#include <array>
#include <string>

#include "model/real_cell.hpp"
#include "model/tables.hpp"

namespace quobel::model {

struct ModelState {
    // Counts start as whole numbers, but the map count takes whatever number is typed into its
    // field (2.5, -3, 1e9), so every use compares them numerically and loops go through
    // loop_count().
    double num_maps = 0;
    double num_stocks = 0;
    int num_points = 0;    // segments per map graph
    double grid_step = 0;  // 1 / num_points, computed once at start-up

    MapTable<double> prob;
    MapStockTable<RealCell> R;
    MapStockTable<RealCell> la1;
    MapStockTable<double> la2;

    std::array<float, 4> random_weights{};  // shares 1..4 of the last random_simplex at 0..3

    RealCell current_r;  // an unset point counts as 0, which is what a default cell holds
    std::string data_file_name;

    int maps_in_tables() const { return loop_count(num_maps, max_maps); }
    int stocks_in_tables() const { return loop_count(num_stocks, max_stocks); }

    friend bool operator==(const ModelState&, const ModelState&) = default;
};

// Whether two states hold the same system, whatever their current points and file names.
inline bool same_parameters(const ModelState& a, const ModelState& b) {
    return a.num_maps == b.num_maps && a.num_stocks == b.num_stocks && a.prob == b.prob &&
           a.R == b.R && a.la1 == b.la1 && a.la2 == b.la2;
}

}  // namespace quobel::model
