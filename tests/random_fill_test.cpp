// Tests of start-up and the random fill: truncate3, random_simplex, randomise_parameters.
#include "model/start_up.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <vector>

#include "model/number_text.hpp"
#include "support/recording_windows.hpp"

namespace quobel::model {
namespace {

using testing::ScriptedDraws;

constexpr float below_one = 0.99999994f;  // the largest float below 1
constexpr double zero_share = 0.013377;

std::array<float, 4> simplex_of(std::vector<float> draws) {
    ModelState model;
    ScriptedDraws random(std::move(draws));
    random_simplex(model, random);
    EXPECT_EQ(random.taken, 3);
    EXPECT_FALSE(random.exhausted);
    return model.random_weights;
}

// Four positive shares whose single-precision roundings still add up to 1.
void expect_simplex(const std::array<float, 4>& w) {
    double sum = 0;
    for (float share : w) {
        EXPECT_GT(share, 0.0f);
        sum += share;
    }
    EXPECT_NEAR(sum, 1.0, 1e-7);
}

TEST(RandomFill, Truncate3CutsTowardsMinusInfinity) {
    EXPECT_EQ(truncate3(0.4999), 0.499);
    EXPECT_EQ(truncate3(0.25), 0.25);
    EXPECT_EQ(truncate3(-0.0001), -0.001);
    EXPECT_EQ(truncate3(0.0009), 0.0);
}

TEST(RandomFill, SimplexFromKnownDraws) {
    using W = std::array<float, 4>;
    const float z = static_cast<float>(zero_share);
    EXPECT_EQ(simplex_of({0.5f, 0.5f, 0.5f}), (W{0.25f, 0.368f, 0.184f, 0.198f}));
    // Every share that truncates to 0 is replaced by z.
    EXPECT_EQ(simplex_of({0, 0, 0}), (W{z, z, z, 0.959869f}));
    // The largest possible first share.
    EXPECT_EQ(simplex_of({below_one, below_one, below_one}), (W{0.499f, 0.487f, z, 0.000623f}));
    // The smallest possible last share, whatever the third draw.
    EXPECT_EQ(simplex_of({0, below_one, below_one}), (W{z, 0.973f, z, 0.000246f}));
    EXPECT_EQ(simplex_of({0, below_one, 0.5f}), (W{z, 0.973f, z, 0.000246f}));
    // A first draw below 0.002 gives a first share of z, from 0.002 on it gives 0.001.
    EXPECT_EQ(simplex_of({0.0019f, 0.5f, 0.5f})[0], z);
    EXPECT_EQ(simplex_of({0.002f, 0.5f, 0.5f})[0], 0.001f);

    for (const auto& draws : std::vector<std::vector<float>>{{0.5f, 0.5f, 0.5f},
                                                             {0, 0, 0},
                                                             {below_one, below_one, below_one},
                                                             {0, below_one, below_one},
                                                             {0.1234f, 0.9876f, 0.0001f},
                                                             {0.75f, 0.001f, below_one}}) {
        expect_simplex(simplex_of(draws));
    }
}

TEST(RandomFill, InitialiseModelDefaults) {
    ModelState model;
    ScriptedDraws random(std::vector<float>(30, 0.5f));
    initialise_model(model, random);
    EXPECT_EQ(random.taken, 27);

    EXPECT_EQ(model.num_maps, 3);
    EXPECT_EQ(model.num_stocks, 4);
    EXPECT_EQ(model.num_points, 100);
    EXPECT_EQ(model.grid_step, 0.01);
    EXPECT_EQ(model.prob(1), 0.3);
    EXPECT_EQ(model.prob(2), 0.35);
    EXPECT_EQ(model.prob(3), 0.35);
    for (int s = 4; s <= max_maps; ++s) {
        EXPECT_EQ(model.prob(s), 0);
    }
    EXPECT_EQ(model.data_file_name, "maps_data.txt");
    EXPECT_EQ(model.current_r, RealCell());

    // R and la1 hold single-precision shares, la2 the same shares widened to double.
    EXPECT_EQ(model.R(2, 2), RealCell::of_single(0.368f));
    EXPECT_EQ(model.la1(3, 4), RealCell::of_single(0.198f));
    EXPECT_EQ(general_text(model.R(2, 2)), "0.368");
    EXPECT_EQ(model.la2(1, 2), 0.36800000071525574);
    EXPECT_EQ(general_text(model.la2(1, 2)), "0.368000000715256");
    // Cells outside the maps and stocks in use stay 0.
    EXPECT_EQ(model.R(4, 1), RealCell());
    EXPECT_EQ(model.la1(1, 5), RealCell());
    EXPECT_EQ(model.la2(3, 5), 0.0);
}

TEST(RandomFill, TablesFilledPassByPassMapByMap) {
    // Call n of random_simplex (from 1) gets a first draw that makes its first share n / 1000.
    std::vector<float> draws;
    for (int n = 1; n <= 9; ++n) {
        draws.insert(draws.end(), {0.0021f * static_cast<float>(n), 0.5f, 0.5f});
    }
    const auto share = [](int n) { return static_cast<double>(static_cast<float>(n / 1000.0)); };
    ModelState model;
    ScriptedDraws random(draws);
    initialise_model(model, random);
    EXPECT_EQ(random.taken, 27);
    for (int s = 1; s <= 3; ++s) {
        EXPECT_EQ(model.R(s, 1).value(), share(s));
        EXPECT_EQ(model.la1(s, 1).value(), share(s + 3));
        EXPECT_EQ(model.la2(s, 1), share(s + 6));
    }
}

TEST(RandomFill, DefaultGeneratorGivesTheSameValidTablesEveryRun) {
    ModelState first, second;
    UniformGenerator random_first, random_second;
    initialise_model(first, random_first);
    initialise_model(second, random_second);
    EXPECT_EQ(first, second);
    for (int s = 1; s <= 3; ++s) {
        std::array<float, 4> R{}, la1{}, la2{};
        for (int k = 1; k <= 4; ++k) {
            R[k - 1] = static_cast<float>(first.R(s, k).value());
            la1[k - 1] = static_cast<float>(first.la1(s, k).value());
            la2[k - 1] = static_cast<float>(first.la2(s, k));
        }
        expect_simplex(R);
        expect_simplex(la1);
        expect_simplex(la2);
    }
}

TEST(RandomFill, FewerStocksStillTakeThreeDrawsPerVector) {
    ModelState model;
    model.num_maps = 3;
    model.num_stocks = 3;
    ScriptedDraws random(std::vector<float>(27, 0.5f));
    randomise_parameters(model, random);
    EXPECT_EQ(random.taken, 27);
    EXPECT_FALSE(random.exhausted);
    EXPECT_EQ(model.la2(3, 3), static_cast<double>(0.184f));
    EXPECT_EQ(model.R(1, 4), RealCell());
    EXPECT_LT(model.R(1, 1).value() + model.R(1, 2).value() + model.R(1, 3).value(), 1.0);

    // No stocks: the draws are taken all the same and nothing is stored.
    ModelState empty;
    empty.num_maps = 3;
    ScriptedDraws more(std::vector<float>(27, 0.5f));
    randomise_parameters(empty, more);
    EXPECT_EQ(more.taken, 27);
    EXPECT_EQ(empty.R, ModelState().R);
    EXPECT_EQ(empty.la1, ModelState().la1);
    EXPECT_EQ(empty.la2, ModelState().la2);
}

TEST(RandomFill, ResetBeyondTheTablesStaysInside) {
    // Reset with counts loaded or typed beyond what the fill serves: maps beyond 10 and stocks
    // beyond 4 are not written, and nothing is read past the four shares of a draw.
    ModelState model;
    model.num_maps = 12;
    model.num_stocks = 6;
    for (int s = 1; s <= max_maps; ++s) {
        for (int k = 5; k <= max_stocks; ++k) {
            model.R(s, k) = RealCell::of_double(9);
            model.la2(s, k) = 9;
        }
    }
    ScriptedDraws random(std::vector<float>(90, 0.5f));
    randomise_parameters(model, random);
    EXPECT_EQ(random.taken, 90);
    for (int s = 1; s <= max_maps; ++s) {
        EXPECT_EQ(model.R(s, 4), RealCell::of_single(0.198f));
        EXPECT_EQ(model.la2(s, 4), static_cast<double>(0.198f));
        for (int k = 5; k <= max_stocks; ++k) {
            EXPECT_EQ(model.R(s, k), RealCell::of_double(9));
            EXPECT_EQ(model.la2(s, k), 9);
        }
    }

    for (double count : {-1.0, 0.5, std::numeric_limits<double>::quiet_NaN()}) {
        ModelState none;
        none.num_maps = count;
        none.num_stocks = 4;
        ScriptedDraws no_draws;
        randomise_parameters(none, no_draws);
        EXPECT_EQ(no_draws.taken, 0) << count;
    }
}

}  // namespace
}  // namespace quobel::model
