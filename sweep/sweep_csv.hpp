// The CSV file of a sweep: a settings line, a header and one row per grid point in grid order.
// Shards of one sweep merge into the file the whole sweep writes, byte for byte.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/model_state.hpp"
#include "sweep/sweep.hpp"

namespace quobel::sweep {

// The shortest text that reads back as the same double (std::to_chars): "inf", "-inf" and, whatever
// its sign bit, "nan" for non-finite values.
std::string number_text(double value);

// A fingerprint of the parameters a sweep starts from: the counts and every value in use, bit for
// bit, so shards computed from different files are told apart.
std::uint64_t parameters_fingerprint(const model::ModelState& model);

// "# quobel-cli sweep; ...; points [first,last) of size" and a line end. Shards of one sweep
// differ only in the points.
std::string settings_line(const model::ModelState& model, const SweepSettings& settings,
                          std::int64_t first, std::int64_t last);

// The varied parameters, lambda_0, lambda_1, verdict; with a run mean_r, mean_r_stderr, lyapunov,
// lyapunov_stderr and, for a line, density_1..density_K.
std::string header_line(const SweepSettings& settings);

std::string row_line(const SweepSettings& settings, const PointResult& point);

// The whole sweep's file from its shards, given as (name, text): refused unless they come from
// the same settings and together cover the grid exactly once, each with all of its rows.
struct MergeOutcome {
    std::optional<std::string> text;
    std::string reason;
};
MergeOutcome merge_shards(const std::vector<std::pair<std::string, std::string>>& texts);

}  // namespace quobel::sweep
