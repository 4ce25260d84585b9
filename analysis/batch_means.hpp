// Standard errors of time averages by batch means: a long correlated series cut into batches whose
// means are nearly independent, so that their spread tells how far the overall mean may be off.
#pragma once

#include <vector>

namespace quobel::analysis {

// sqrt(s^2 / n) for the n batch means with sample variance s^2; NaN for fewer than two batches.
double batch_means_error(const std::vector<double>& means);

}  // namespace quobel::analysis
