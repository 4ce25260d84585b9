// Standard errors by batch means.
#include "analysis/batch_means.hpp"

#include <cmath>
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

}  // namespace quobel::analysis
