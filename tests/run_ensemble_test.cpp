// Tests of the ensemble of chains of one run: its pooled figures against the chains run alone,
// its two errors against each other and against theory, one chain against the run itself.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "analysis/ensemble.hpp"
#include "analysis_models.hpp"
#include "same_run.hpp"

namespace quobel::analysis {
namespace {

using test_models::model_of;
using test_models::ModelState;
using test_models::start_up_model;

LongRunSettings settings_of(std::int64_t steps, std::int64_t burn_in, std::uint64_t seed = 1) {
    LongRunSettings settings;
    settings.steps = steps;
    settings.burn_in = burn_in;
    settings.seed = seed;
    return settings;
}

// Chain `chain` of the run alone, with its own counts.
LongRunResult chain_alone(const LongRun& run, std::uint64_t chain) {
    LongRunResult result;
    const ChainTask task{.run = &run, .chain = chain, .result = &result, .keep_last_steps = true};
    LongRunControl control;
    run_chains({&task, 1}, control);
    return result;
}

// Investor 1 holds only stock 1 and investor 2 only stock 2: every step sends r to R(s,1),
// 0.25 with chance 0.3 or 0.9 with 0.7, so the points are independent draws of mean 0.705 and
// standard deviation sqrt(0.21) * 0.65.
ModelState independent_points() {
    const std::vector<double> la1{1, 0};
    const std::vector<double> la2{0, 1};
    return model_of({{{0.25, 0.75}, la1, la2}, {{0.9, 0.1}, la1, la2}}, {0.3, 0.7});
}

// Map 1 alone, whose orbits go to r = 1 and are absorbed there.
ModelState take_over() {
    return model_of({{{0.1, 0.9}, {0.4, 0.6}, {0.6, 0.4}}}, {1});
}

TEST(RunEnsemble, OneChainIsTheRunItself) {
    for (const ModelState& model : {start_up_model(), take_over(), independent_points()}) {
        const LongRun run(model, 0.3, settings_of(20'000, 1000, 9));
        LongRunControl control;
        const EnsembleResult ensemble = run_ensemble(run, 1, control);
        expect_same(ensemble.pooled, run.run(control), "one chain");
        EXPECT_EQ(ensemble.chains, 1);
        EXPECT_TRUE(std::isnan(ensemble.mean_r_chain_error));
        EXPECT_TRUE(std::isnan(ensemble.lyapunov_chain_error));
        EXPECT_EQ(ensemble_absorption_text(ensemble), absorption_text(ensemble.pooled));
        EXPECT_EQ(ensemble_absorbed_average_note(ensemble), absorbed_average_note(ensemble.pooled));
    }
    // Out of range, the count is brought into 1 .. max_chains.
    const LongRun short_run(start_up_model(), 0.5, settings_of(50, 0));
    LongRunControl control;
    EXPECT_EQ(run_ensemble(short_run, 0, control).chains, 1);
    const EnsembleResult most = run_ensemble(short_run, max_chains + 1, control);
    EXPECT_EQ(most.chains, max_chains);
    EXPECT_EQ(most.pooled.steps_taken, 50 * max_chains);
}

TEST(RunEnsemble, PooledFiguresAreThoseOfTheChainsRunAlone) {
    constexpr int chains = 5;
    for (const ModelState& model : {start_up_model(), take_over()}) {
        const LongRun run(model, 0.5, settings_of(30'000, 500, 4));
        LongRunControl control;
        const EnsembleResult ensemble = run_ensemble(run, chains, control);
        const LongRunResult& pooled = ensemble.pooled;

        std::vector<std::int64_t> histogram(run.settings().bins), log_odds;
        std::array<std::int64_t, 3> draws{};
        std::int64_t recorded = 0, at_1 = 0, earliest_absorbed = -1, earliest_near_1 = -1;
        double sum_r = 0, sum_log = 0, squared_errors = 0;
        std::vector<double> means;
        bool doubtful = false;
        for (int i = 0; i < chains; ++i) {
            const LongRunResult alone = chain_alone(run, static_cast<std::uint64_t>(i));
            EXPECT_EQ(ensemble.chain_mean_r[static_cast<std::size_t>(i)], alone.mean_r);
            EXPECT_EQ(ensemble.chain_lyapunov[static_cast<std::size_t>(i)], alone.lyapunov);
            if (i == 0) {
                EXPECT_EQ(pooled.last, alone.last);
                ASSERT_EQ(pooled.last_steps.size(), alone.last_steps.size());
                EXPECT_EQ(pooled.last_steps.back().r, alone.last_steps.back().r);
                EXPECT_EQ(pooled.last_steps.front().step, alone.last_steps.front().step);
            }
            for (std::size_t b = 0; b < histogram.size(); ++b) {
                histogram[b] += alone.histogram[b];
            }
            log_odds.resize(alone.log_odds_histogram.size());
            for (std::size_t b = 0; b < log_odds.size(); ++b) {
                log_odds[b] += alone.log_odds_histogram[b];
            }
            for (std::size_t s = 0; s < 3; ++s) {
                draws[s] += alone.draws[s];
            }
            recorded += alone.recorded;
            at_1 += alone.at_boundary[1];
            sum_r += alone.mean_r * static_cast<double>(alone.recorded);
            sum_log += alone.lyapunov * static_cast<double>(alone.recorded);
            squared_errors += alone.mean_r_error * alone.mean_r_error;
            means.push_back(alone.mean_r);
            doubtful = doubtful || alone.errors_may_be_too_small;
            const std::int64_t absorbed = alone.boundaries[1].absorbed;
            if (absorbed >= 0 && (earliest_absorbed < 0 || absorbed < earliest_absorbed)) {
                earliest_absorbed = absorbed;
            }
            const std::int64_t near = alone.boundaries[1].first_within[0];
            if (near >= 0 && (earliest_near_1 < 0 || near < earliest_near_1)) {
                earliest_near_1 = near;
            }
        }
        EXPECT_EQ(pooled.end, LongRunEnd::finished);
        EXPECT_EQ(pooled.histogram, histogram);
        EXPECT_EQ(pooled.log_odds_histogram, log_odds);
        EXPECT_EQ(pooled.draws, draws);
        EXPECT_EQ(pooled.recorded, recorded);
        EXPECT_EQ(pooled.recorded, chains * (30'000 - 500));
        EXPECT_EQ(pooled.steps_taken, chains * 30'000);
        EXPECT_EQ(pooled.at_boundary[1], at_1);
        EXPECT_NEAR(pooled.mean_r, sum_r / static_cast<double>(recorded), 1e-14);
        EXPECT_NEAR(pooled.lyapunov, sum_log / static_cast<double>(recorded), 1e-13);
        EXPECT_NEAR(pooled.mean_r_error, std::sqrt(squared_errors) / chains,
                    1e-14 * pooled.mean_r_error);
        EXPECT_EQ(pooled.errors_may_be_too_small, doubtful);
        EXPECT_EQ(pooled.boundaries[1].absorbed, earliest_absorbed);
        EXPECT_EQ(pooled.boundaries[1].first_within[0], earliest_near_1);
        // The density of the pooled counts still integrates to 1.
        const std::vector<double> density = pooled.density();
        double integral = 0;
        for (const double d : density) {
            integral += d / static_cast<double>(density.size());
        }
        EXPECT_NEAR(integral, 1.0, 1e-12);

        // The cross-chain error is the sample deviation of the means over sqrt(chains).
        double mean = 0;
        for (const double m : means) {
            mean += m / chains;
        }
        double squares = 0;
        for (const double m : means) {
            squares += (m - mean) * (m - mean);
        }
        EXPECT_NEAR(ensemble.mean_r_chain_error, std::sqrt(squares / (chains - 1) / chains), 1e-15);
    }
}

TEST(RunEnsemble, ErrorsFromBatchesAndFromChainsAgreeWhenThePointsAreIndependent) {
    constexpr int chains = 64;
    constexpr std::int64_t recorded = 20'000;
    const LongRun run(independent_points(), 0.5, settings_of(recorded + 100, 100, 11));
    LongRunControl control;
    const EnsembleResult ensemble = run_ensemble(run, chains, control);
    const double expected = std::sqrt(0.21) * 0.65 / std::sqrt(double{chains} * recorded);
    // The batch-means error pools 64 x 31 degrees of freedom, about 2% off; the cross-chain
    // one 63, about 9%.
    EXPECT_NEAR(ensemble.pooled.mean_r_error / expected, 1.0, 0.1);
    EXPECT_NEAR(ensemble.mean_r_chain_error / expected, 1.0, 0.35);
    EXPECT_NEAR(ensemble.mean_r_chain_error / ensemble.pooled.mean_r_error, 1.0, 0.35);
    EXPECT_NEAR(ensemble.pooled.mean_r, 0.705, 4 * expected);
    EXPECT_FALSE(ensemble.pooled.errors_may_be_too_small);
}

TEST(RunEnsemble, AbsorptionsAndEndsAsAUserReadsThem) {
    const LongRun run(take_over(), 0.5, settings_of(20'000, 100));
    LongRunControl control;
    const EnsembleResult ensemble = run_ensemble(run, 3, control);
    EXPECT_EQ(ensemble.absorbed_chains, (std::array<int, 2>{0, 3}));
    EXPECT_EQ(ensemble.pooled.approached, 1);
    const std::string first = std::to_string(ensemble.pooled.boundaries[1].absorbed);
    EXPECT_EQ(ensemble_absorption_text(ensemble),
              "reached r = 1 in 3 of 3 chains to within the smallest double, the first at step " +
                  first +
                  ": from there r is 1 itself in those chains, and their exponent is then "
                  "Lambda_1's");
    EXPECT_EQ(ensemble_absorbed_average_note(ensemble),
              "(absorbed: exactly 1 in 3 of 3 chains from step " + first +
                  " on at the earliest, where the distance underflowed; the errors do not count "
                  "that)");
    const LongRun free_run(independent_points(), 0.5, settings_of(2000, 100));
    const EnsembleResult free = run_ensemble(free_run, 3, control);
    EXPECT_EQ(free.absorbed_chains, (std::array<int, 2>{0, 0}));
    EXPECT_EQ(ensemble_absorption_text(free), "");
    EXPECT_EQ(ensemble_absorbed_average_note(free), "");

    // Every chain stops before its first step: at r = 0.5 the holdings 0.1 and -0.1 cancel.
    const LongRun failing(model_of({{{0.5, 0.5}, {0.2, 0.8}, {-0.2, 1.2}}}, {1}), 0.5, {});
    const EnsembleResult failed = run_ensemble(failing, 4, control);
    EXPECT_EQ(failed.pooled.end, LongRunEnd::not_finite);
    EXPECT_EQ(failed.pooled.failed_map, 1);
    EXPECT_EQ(failed.pooled.failed_from, 0.5);
    EXPECT_TRUE(std::isnan(failed.pooled.mean_r));
    EXPECT_TRUE(std::isnan(failed.mean_r_chain_error));

    // Cancelled before it starts: no chain finished, so there is no spread to tell an error.
    control.cancel = true;
    const EnsembleResult cancelled = run_ensemble(run, 4, control);
    EXPECT_EQ(cancelled.pooled.end, LongRunEnd::cancelled);
    EXPECT_TRUE(std::isnan(cancelled.mean_r_chain_error));
}

}  // namespace
}  // namespace quobel::analysis
