// The figures of the exponents and of a long run as named fields.
#include "analysis/report_fields.hpp"

#include <algorithm>
#include <utility>

#include "analysis/log_odds_bins.hpp"

namespace quobel::analysis {

namespace {

// The occupied bins of the log-odds histogram, from the lower edge of the first in log-odds.
Fields log_odds_fields(const LongRunResult& r) {
    const auto& counts = r.log_odds_histogram;
    const auto occupied = [](std::int64_t count) { return count > 0; };
    const auto first = std::find_if(counts.begin(), counts.end(), occupied);
    const auto last = std::find_if(counts.rbegin(), counts.rend(), occupied).base();
    const double low =
        first == counts.end()
            ? 0.0
            : log_odds_bin_low_edge(static_cast<std::size_t>(first - counts.begin()));
    return {{"low", low},
            {"width", log_odds_bin_width},
            {"counts", std::vector<std::int64_t>(first, first == counts.end() ? first : last)},
            {"at_0", r.at_boundary[0]},
            {"at_1", r.at_boundary[1]}};
}

FieldValue absorbed_value(const LongRunResult& r) {
    for (std::int64_t side = 0; side < 2; ++side) {
        const std::int64_t step = r.boundaries[static_cast<std::size_t>(side)].absorbed;
        if (step >= 0) {
            return Fields{{"boundary", side}, {"step", step}};
        }
    }
    return nullptr;
}

std::vector<Fields> first_within_value(const LongRunResult& r) {
    std::vector<Fields> entries;
    for (std::int64_t side = 0; side < 2; ++side) {
        for (std::size_t level = 0; level < nearness.size(); ++level) {
            const std::int64_t step =
                r.boundaries[static_cast<std::size_t>(side)].first_within[level];
            entries.push_back({{"boundary", side},
                               {"within", nearness[level]},
                               {"step", step >= 0 ? FieldValue(step) : FieldValue(nullptr)}});
        }
    }
    return entries;
}

}  // namespace

std::string_view end_text(LongRunEnd end) {
    switch (end) {
        case LongRunEnd::finished:
            return "finished";
        case LongRunEnd::cancelled:
            return "cancelled";
        case LongRunEnd::not_finite:
            return "not finite";
        case LongRunEnd::no_map:
            break;
    }
    return "no map";
}

std::vector<std::string> flag_texts(const std::vector<Flag>& flags) {
    std::vector<std::string> texts;
    texts.reserve(flags.size());
    for (const Flag& flag : flags) {
        texts.push_back(flag.text);
    }
    return texts;
}

std::vector<std::string> flag_texts(const LongRunResult& result, const std::vector<Flag>& flags) {
    std::vector<std::string> texts = flag_texts(flags);
    if (std::string warning = error_bar_warning(result); !warning.empty()) {
        texts.push_back(std::move(warning));
    }
    return texts;
}

Fields exponents_fields(const BoundaryExponents& e) {
    std::vector<Fields> maps;
    for (const MapTerms& t : e.terms) {
        maps.push_back({{"map", std::int64_t{t.map}},
                        {"chance", t.chance},
                        {"slope_at_0", t.slope_at_0},
                        {"slope_at_1", t.slope_at_1}});
    }
    return {{"lambda_0", e.lambda_0},
            {"lambda_1", e.lambda_1},
            {"verdict", std::string(verdict_text(e.verdict))},
            {"explanation", verdict_explanation(e)},
            {"flags", flag_texts(e.flags)},
            {"kelly", e.kelly},
            {"maps", std::move(maps)}};
}

Fields run_fields(const LongRunResult& r, const std::vector<Flag>& flags) {
    const std::vector<std::int64_t> draws(r.draws.begin(),
                                          r.draws.begin() + std::clamp(r.maps.count, 0, 3));
    return {{"end", std::string(end_text(r.end))},
            {"steps", r.steps_taken},
            {"recorded", r.recorded},
            {"start", r.start},
            {"last", r.last},
            {"histogram", r.histogram},
            {"below", r.below},
            {"above", r.above},
            {"log_odds_histogram", log_odds_fields(r)},
            {"mean_r", r.mean_r},
            {"mean_r_stderr", r.mean_r_error},
            {"lyapunov", r.lyapunov},
            {"lyapunov_stderr", r.lyapunov_error},
            {"errors_may_be_too_small", r.errors_may_be_too_small},
            {"lambda_0", r.boundary_lambda[0]},
            {"lambda_1", r.boundary_lambda[1]},
            {"draws", draws},
            {"absorbed", absorbed_value(r)},
            {"first_within", first_within_value(r)},
            {"flags", flag_texts(r, flags)}};
}

Fields run_fields(const EnsembleResult& ensemble, const std::vector<Flag>& flags) {
    Fields fields = run_fields(ensemble.pooled, flags);
    if (ensemble.chains <= 1) {
        return fields;  // one chain is the run itself
    }
    const auto after = std::find_if(fields.begin(), fields.end(),
                                    [](const Field& f) { return f.name == "lyapunov_stderr"; });
    fields.insert(after + 1, {{"chains", std::int64_t{ensemble.chains}},
                              {"mean_r_chain_error", ensemble.mean_r_chain_error},
                              {"lyapunov_chain_error", ensemble.lyapunov_chain_error}});
    const auto absorbed = std::find_if(fields.begin(), fields.end(),
                                       [](const Field& f) { return f.name == "absorbed"; });
    fields.insert(absorbed + 1,
                  {"absorbed_chains", std::vector<std::int64_t>(ensemble.absorbed_chains.begin(),
                                                                ensemble.absorbed_chains.end())});
    return fields;
}

}  // namespace quobel::analysis
