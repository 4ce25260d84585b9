// Standard errors of time averages by batch means: a long correlated series cut into batches whose
// means are nearly independent, so that their spread tells how far the overall mean may be off.
#pragma once

#include <cstdint>
#include <vector>

namespace quobel::analysis {

// sqrt(s^2 / n) for the n batch means with sample variance s^2; NaN for fewer than two batches.
double batch_means_error(const std::vector<double>& means);

// The means of consecutive groups of `group` batches given by their sums and step counts: batches
// `group` times as long over the same steps. An incomplete group at the end and a group of no
// steps give no mean.
std::vector<double> grouped_means(const std::vector<double>& sums,
                                  const std::vector<std::int64_t>& lengths, int group);

// Whether the error from `long_batches` batches exceeds the error from `short_batches` shorter
// batches over the same steps by more than chance allows: the sign that the batches are not yet
// long against the correlation time, so that both errors are too small.
bool batch_error_still_growing(double long_error, int long_batches, double short_error,
                               int short_batches);

}  // namespace quobel::analysis
