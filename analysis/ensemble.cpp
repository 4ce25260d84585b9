// The chains of one run pooled into the figures a user reads.
#include "analysis/ensemble.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string_view>

#include "analysis/batch_means.hpp"

namespace quobel::analysis {

namespace {

constexpr double not_a_number = std::numeric_limits<double>::quiet_NaN();

// The earlier of two steps at which something happened, -1 for never.
std::int64_t earlier(std::int64_t a, std::int64_t b) {
    return a < 0 ? b : b < 0 ? a : std::min(a, b);
}

// The error of the mean of independent chains' means, sqrt(sum e_i^2) / n, scaled by the largest
// so that neither tiny nor huge errors leave the range of their squares; one chain's error comes
// back as it is.
double combined_error(const std::vector<LongRunResult>& chains, double LongRunResult::*error) {
    double largest = 0;
    for (const LongRunResult& chain : chains) {
        const double e = chain.*error;
        if (std::isnan(e)) {
            return e;
        }
        largest = std::max(largest, std::abs(e));
    }
    if (largest == 0 || std::isinf(largest)) {
        return largest;
    }
    double squares = 0;
    for (const LongRunResult& chain : chains) {
        const double scaled = chain.*error / largest;
        squares += scaled * scaled;
    }
    return largest * std::sqrt(squares) / static_cast<double>(chains.size());
}

// The pooled figures from the chains' own, in chain order: the average weighted by the chains'
// recorded points, so that one chain's figure comes back as it is.
void pool(const std::vector<LongRunResult>& chains, EnsembleResult& ensemble) {
    LongRunResult& pooled = ensemble.pooled;
    const LongRunResult& first = chains.front();
    pooled.start = first.start;
    pooled.last = first.last;
    pooled.maps = first.maps;
    pooled.boundary_lambda = first.boundary_lambda;
    pooled.batches = first.batches;
    pooled.approached = first.approached;
    pooled.end = LongRunEnd::finished;
    pooled.boundaries = {};
    for (const LongRunResult& chain : chains) {
        // The enumerators go from the best end to the worst.
        if (chain.end > pooled.end) {
            pooled.end = chain.end;
        }
        if (chain.end == LongRunEnd::not_finite && pooled.failed_map == 0) {
            pooled.failed_map = chain.failed_map;
            pooled.failed_from = chain.failed_from;
        }
        pooled.steps_taken += chain.steps_taken;
        pooled.recorded += chain.recorded;
        for (std::size_t s = 0; s < pooled.draws.size(); ++s) {
            pooled.draws[s] += chain.draws[s];
        }
        pooled.errors_may_be_too_small =
            pooled.errors_may_be_too_small || chain.errors_may_be_too_small;
        if (chain.approached != pooled.approached) {
            pooled.approached = -1;
        }
        for (std::size_t side = 0; side < 2; ++side) {
            BoundaryApproach& to = pooled.boundaries[side];
            const BoundaryApproach& from = chain.boundaries[side];
            for (std::size_t level = 0; level < nearness.size(); ++level) {
                to.first_within[level] = earlier(to.first_within[level], from.first_within[level]);
            }
            to.absorbed = earlier(to.absorbed, from.absorbed);
            ensemble.absorbed_chains[side] += from.absorbed >= 0 ? 1 : 0;
        }
    }
    pooled.mean_r = pooled.lyapunov = not_a_number;
    if (pooled.recorded > 0) {
        const auto total = static_cast<double>(pooled.recorded);
        pooled.mean_r = pooled.lyapunov = 0;
        for (const LongRunResult& chain : chains) {
            if (chain.recorded > 0) {
                const double weight = static_cast<double>(chain.recorded) / total;
                pooled.mean_r += chain.mean_r * weight;
                pooled.lyapunov += chain.lyapunov * weight;
            }
        }
    }
    pooled.mean_r_error = combined_error(chains, &LongRunResult::mean_r_error);
    pooled.lyapunov_error = combined_error(chains, &LongRunResult::lyapunov_error);
}

// How a boundary absorbed some of the chains, for the texts: "0 in 3 of 8 chains".
std::string absorbed_chains_text(const EnsembleResult& ensemble, std::size_t side) {
    return std::to_string(side) + " in " + std::to_string(ensemble.absorbed_chains[side]) + " of " +
           std::to_string(ensemble.chains) + " chains";
}

// What `say` writes of each boundary that absorbed chains, joined by `separator`.
template <class Say>
std::string absorbing_sides(const EnsembleResult& ensemble, std::string_view separator, Say say) {
    std::string text;
    for (std::size_t side = 0; side < 2; ++side) {
        if (ensemble.absorbed_chains[side] > 0) {
            text += text.empty() ? std::string_view() : separator;
            say(side, text);
        }
    }
    return text;
}

}  // namespace

EnsembleResult run_ensemble(const LongRun& run, int chains, LongRunControl& control) {
    EnsembleResult ensemble;
    ensemble.chains = std::clamp(chains, 1, max_chains);
    const auto count = static_cast<std::size_t>(ensemble.chains);
    std::vector<LongRunResult> results(count);
    std::vector<ChainTask> tasks(count);
    ensemble.pooled.histogram.assign(static_cast<std::size_t>(run.settings().bins), 0);
    ensemble.pooled.log_odds_histogram.assign(static_cast<std::size_t>(log_odds_bins), 0);
    for (std::size_t i = 0; i < count; ++i) {
        tasks[i] = {.run = &run,
                    .chain = i,
                    .result = &results[i],
                    .counts = &ensemble.pooled,
                    .keep_last_steps = i == 0};
    }
    run_chains(tasks, control);

    pool(results, ensemble);
    ensemble.pooled.last_steps = std::move(results.front().last_steps);
    std::vector<double> finished_mean_r, finished_lyapunov;
    for (const LongRunResult& chain : results) {
        ensemble.chain_mean_r.push_back(chain.mean_r);
        ensemble.chain_lyapunov.push_back(chain.lyapunov);
        if (chain.end == LongRunEnd::finished) {
            finished_mean_r.push_back(chain.mean_r);
            finished_lyapunov.push_back(chain.lyapunov);
        }
    }
    // The chains are independent, so their means' spread is a batch-means error of its own.
    ensemble.mean_r_chain_error = batch_means_error(finished_mean_r);
    ensemble.lyapunov_chain_error = batch_means_error(finished_lyapunov);
    return ensemble;
}

std::string ensemble_absorption_text(const EnsembleResult& ensemble) {
    if (ensemble.chains <= 1) {
        return absorption_text(ensemble.pooled);
    }
    return absorbing_sides(ensemble, "; ", [&](std::size_t side, std::string& text) {
        const std::string boundary = std::to_string(side);
        text += "reached r = ";
        text += absorbed_chains_text(ensemble, side);
        text += " to within the smallest double, the first at step ";
        text += std::to_string(ensemble.pooled.boundaries[side].absorbed);
        text += ": from there r is " + boundary;
        text += " itself in those chains, and their exponent is then Lambda_" + boundary + "'s";
    });
}

std::string ensemble_absorbed_average_note(const EnsembleResult& ensemble) {
    if (ensemble.chains <= 1) {
        return absorbed_average_note(ensemble.pooled);
    }
    const std::string sides =
        absorbing_sides(ensemble, " and ", [&](std::size_t side, std::string& text) {
            text += "exactly ";
            text += absorbed_chains_text(ensemble, side);
            text += " from step ";
            text += std::to_string(ensemble.pooled.boundaries[side].absorbed);
            text += " on at the earliest";
        });
    if (sides.empty()) {
        return {};
    }
    return "(absorbed: " + sides +
           ", where the distance underflowed; the errors do not count that)";
}

}  // namespace quobel::analysis
