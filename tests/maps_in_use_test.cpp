// Tests of the chances with which the iteration picks each map.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <utility>
#include <vector>

#include "analysis/maps_in_use.hpp"
#include "model/model_state.hpp"

namespace quobel::analysis {
namespace {

using model::ModelState;

TEST(MapsInUse, ChancesFollowTheStepsRule) {
    ModelState model;
    model.num_maps = 3;
    model.prob(1) = 0.75;
    model.prob(2) = 0.5;
    EXPECT_EQ(maps_in_use(model).chance, (std::array<double, 3>{0.75, 0.25, 0}));
    model.prob(1) = 0.5;
    model.prob(2) = -0.2;  // map 2 is never picked
    EXPECT_EQ(maps_in_use(model).chance, (std::array<double, 3>{0.5, 0, 0.5}));
    model.num_maps = 2;
    model.prob(1) = std::numeric_limits<double>::quiet_NaN();  // no draw is below it
    EXPECT_EQ(maps_in_use(model).chance, (std::array<double, 3>{0, 1, 0}));
    model.num_maps = 2.5;
    EXPECT_EQ(maps_in_use(model).count, 0);
}

// The chances describe the maps the step draws from: none for a count the step cannot use.
TEST(MapsInUse, CountIsTheStepsMapCount) {
    ModelState model;
    for (const auto& [count, drawn] : std::vector<std::pair<double, int>>{
             {1, 1}, {2, 2}, {3, 3}, {0, 0}, {2.5, 0}, {4, 0}, {std::nan(""), 0}}) {
        model.num_maps = count;
        const MapsInUse maps = maps_in_use(model);
        EXPECT_EQ(maps.count, drawn) << count;
        double total = 0;
        for (double chance : maps.chance) {
            total += chance;
        }
        EXPECT_EQ(total, maps.count == 0 ? 0 : 1) << count;
    }
}

}  // namespace
}  // namespace quobel::analysis
