// A model value that keeps whether it is held in single or double precision.
#pragma once

#include <cstdint>

namespace quobel::model {

enum class Precision : std::uint8_t { single_precision, double_precision };

// The precision decides how many significant digits the value's texts show (7 or 15), so a share
// drawn as the float 0.123 reads 0.123 rather than 0.123000003397465.
class RealCell {
  public:
    constexpr RealCell() = default;

    static constexpr RealCell of_single(float value) {
        return RealCell(static_cast<double>(value), Precision::single_precision);
    }
    static constexpr RealCell of_double(double value) {
        return RealCell(value, Precision::double_precision);
    }

    constexpr double value() const { return value_; }
    constexpr Precision precision() const { return precision_; }

    friend constexpr bool operator==(const RealCell&, const RealCell&) = default;

  private:
    constexpr RealCell(double value, Precision precision) : value_(value), precision_(precision) {}

    // A float widens to double exactly, so one double holds either kind of value.
    double value_ = 0.0;
    Precision precision_ = Precision::double_precision;
};

}  // namespace quobel::model
