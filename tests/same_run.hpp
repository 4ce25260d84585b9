// Two long-run results compared field by field, bit for bit: the check of every test that
// expects one way of running a chain to give exactly what another gives.
#pragma once

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <string>

#include "analysis/long_run.hpp"

namespace quobel::analysis {

// Two doubles are the same bits (NaN included).
inline bool same(double a, double b) {
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

// Every field of two results, bit for bit.
inline void expect_same(const LongRunResult& a, const LongRunResult& b, const std::string& where) {
    SCOPED_TRACE(where);
    EXPECT_EQ(a.end, b.end);
    EXPECT_EQ(a.steps_taken, b.steps_taken);
    EXPECT_TRUE(same(a.start, b.start));
    EXPECT_TRUE(same(a.last, b.last));
    EXPECT_EQ(a.failed_map, b.failed_map);
    EXPECT_TRUE(same(a.failed_from, b.failed_from));
    EXPECT_EQ(a.recorded, b.recorded);
    EXPECT_EQ(a.histogram, b.histogram);
    EXPECT_EQ(a.below, b.below);
    EXPECT_EQ(a.above, b.above);
    EXPECT_TRUE(same(a.mean_r, b.mean_r)) << a.mean_r << " " << b.mean_r;
    EXPECT_TRUE(same(a.lyapunov, b.lyapunov)) << a.lyapunov << " " << b.lyapunov;
    EXPECT_TRUE(same(a.mean_r_error, b.mean_r_error));
    EXPECT_TRUE(same(a.lyapunov_error, b.lyapunov_error));
    EXPECT_EQ(a.batches, b.batches);
    EXPECT_EQ(a.errors_may_be_too_small, b.errors_may_be_too_small);
    EXPECT_EQ(a.log_odds_histogram, b.log_odds_histogram);
    EXPECT_EQ(a.at_boundary, b.at_boundary);
    for (std::size_t side = 0; side < 2; ++side) {
        EXPECT_EQ(a.boundaries[side].first_within, b.boundaries[side].first_within);
        EXPECT_EQ(a.boundaries[side].absorbed, b.boundaries[side].absorbed);
        EXPECT_TRUE(same(a.boundary_lambda[side], b.boundary_lambda[side]));
    }
    EXPECT_EQ(a.approached, b.approached);
    EXPECT_EQ(a.maps.count, b.maps.count);
    EXPECT_EQ(a.draws, b.draws);
    ASSERT_EQ(a.last_steps.size(), b.last_steps.size());
    for (std::size_t i = 0; i < a.last_steps.size(); ++i) {
        EXPECT_EQ(a.last_steps[i].step, b.last_steps[i].step);
        EXPECT_EQ(a.last_steps[i].map, b.last_steps[i].map);
        EXPECT_TRUE(same(a.last_steps[i].r, b.last_steps[i].r)) << i;
    }
}

}  // namespace quobel::analysis
