// Standard errors by batch means, and the check that the batches were long enough.
#include "analysis/batch_means.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

namespace quobel::analysis {

double batch_means_error(const std::vector<double>& means) {
    const auto n = static_cast<double>(means.size());
    if (means.size() < 2) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    double mean = 0;
    for (const double value : means) {
        mean += value;
    }
    mean /= n;
    double squares = 0;
    for (const double value : means) {
        squares += (value - mean) * (value - mean);
    }
    return std::sqrt(squares / (n - 1) / n);
}

std::vector<double> grouped_means(const std::vector<double>& sums,
                                  const std::vector<std::int64_t>& lengths, int group) {
    std::vector<double> means;
    const auto size = static_cast<std::size_t>(std::max(group, 1));
    for (std::size_t first = 0; first + size <= std::min(sums.size(), lengths.size());
         first += size) {
        double sum = 0;
        std::int64_t length = 0;
        for (std::size_t i = first; i < first + size; ++i) {
            sum += sums[i];
            length += lengths[i];
        }
        if (length > 0) {
            means.push_back(sum / static_cast<double>(length));
        }
    }
    return means;
}

// From B independent batch means the error has a relative standard error of about
// 1 / sqrt(2 (B - 1)). The long and the short batches share their steps, so that their errors rise
// and fall together: when the means are independent, the ratio long / short has the smaller
// spread sqrt(1 / (2 (B_long - 1)) - 1 / (2 (B_short - 1))), about 0.11 for 32 batches against
// 128. Three of those (2.6 standard errors of the 32-batch error itself) are crossed by chance in
// about 2 runs of 1000; fewer would miss too much. On a series whose correlation time is near the
// short batches' length, where the 32-batch error is some 12% too small, two runs in three cross
// it, and nearly every run where it is 25% too small.
bool batch_error_still_growing(double long_error, int long_batches, double short_error,
                               int short_batches) {
    if (long_batches < 2 || short_batches <= long_batches || !(short_error > 0) ||
        !std::isfinite(long_error)) {
        return false;
    }
    const double spread = std::sqrt(0.5 / (long_batches - 1) - 0.5 / (short_batches - 1));
    return long_error > short_error * (1 + 3 * spread);
}

}  // namespace quobel::analysis
