// The points of a sweep axis as the decimals they stand for, each rounded once to a double.
#include "sweep/decimal_grid.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <numeric>
#include <string>
#include <system_error>
#include <vector>

namespace quobel::sweep {

namespace {

// A double as its shortest decimal that reads back as it: +-digits x 10^exponent, at most 17
// digits. This is how the command line, the window and the sweep's settings file give FROM and TO.
struct Decimal {
    bool negative = false;
    std::uint64_t digits = 0;
    int exponent = 0;
};

Decimal shortest_decimal(double value) {
    std::array<char, 40> text{};
    const char* const end =
        std::to_chars(text.data(), text.data() + text.size(), value, std::chars_format::scientific)
            .ptr;
    Decimal decimal;
    const char* p = text.data();
    decimal.negative = *p == '-';
    p += decimal.negative ? 1 : 0;
    int fraction_digits = 0;
    bool in_fraction = false;
    for (; p != end && *p != 'e'; ++p) {
        if (*p == '.') {
            in_fraction = true;
            continue;
        }
        decimal.digits = decimal.digits * 10 + static_cast<std::uint64_t>(*p - '0');
        fraction_digits += in_fraction ? 1 : 0;
    }
    if (p != end) {
        ++p;
        p += *p == '+' ? 1 : 0;
        std::from_chars(p, end, decimal.exponent);
    }
    decimal.exponent -= fraction_digits;
    return decimal;
}

// A whole number of any size, for the rare grid point that 64 bits cannot hold exactly: base 10^9
// digits, least significant first.
class BigWhole {
  public:
    explicit BigWhole(std::uint64_t value) {
        for (; value > 0; value /= base) {
            limbs_.push_back(static_cast<std::uint32_t>(value % base));
        }
    }

    bool zero() const { return limbs_.empty(); }

    void multiply(std::uint32_t factor) {
        std::uint64_t carry = 0;
        for (std::uint32_t& limb : limbs_) {
            const std::uint64_t product = std::uint64_t{limb} * factor + carry;
            limb = static_cast<std::uint32_t>(product % base);
            carry = product / base;
        }
        for (; carry > 0; carry /= base) {
            limbs_.push_back(static_cast<std::uint32_t>(carry % base));
        }
        trim();
    }

    void shift_decimal(int places) {
        if (zero()) {
            return;
        }
        limbs_.insert(limbs_.begin(), static_cast<std::size_t>(places / 9), 0);
        std::uint32_t factor = 1;
        for (int p = 0; p < places % 9; ++p) {
            factor *= 10;
        }
        multiply(factor);
    }

    // The remainder.
    std::uint32_t divide(std::uint32_t divisor) {
        std::uint64_t remainder = 0;
        for (auto limb = limbs_.rbegin(); limb != limbs_.rend(); ++limb) {
            const std::uint64_t current = remainder * base + *limb;
            *limb = static_cast<std::uint32_t>(current / divisor);
            remainder = current % divisor;
        }
        trim();
        return static_cast<std::uint32_t>(remainder);
    }

    friend int compare(const BigWhole& a, const BigWhole& b) {
        if (a.limbs_.size() != b.limbs_.size()) {
            return a.limbs_.size() < b.limbs_.size() ? -1 : 1;
        }
        for (std::size_t i = a.limbs_.size(); i-- > 0;) {
            if (a.limbs_[i] != b.limbs_[i]) {
                return a.limbs_[i] < b.limbs_[i] ? -1 : 1;
            }
        }
        return 0;
    }

    void add(const BigWhole& other) {
        limbs_.resize(std::max(limbs_.size(), other.limbs_.size()) + 1, 0);
        std::uint32_t carry = 0;
        for (std::size_t i = 0; i < limbs_.size(); ++i) {
            const std::uint32_t sum =
                limbs_[i] + (i < other.limbs_.size() ? other.limbs_[i] : 0) + carry;
            carry = sum >= base ? 1 : 0;
            limbs_[i] = sum - carry * base;
        }
        trim();
    }

    // Takes away a number no greater than this one.
    void subtract(const BigWhole& other) {
        std::uint32_t borrow = 0;
        for (std::size_t i = 0; i < limbs_.size(); ++i) {
            const std::uint32_t taken = (i < other.limbs_.size() ? other.limbs_[i] : 0) + borrow;
            borrow = limbs_[i] < taken ? 1 : 0;
            limbs_[i] = limbs_[i] + borrow * base - taken;
        }
        trim();
    }

    std::size_t decimal_digits() const {
        return zero() ? 0 : 9 * (limbs_.size() - 1) + std::to_string(limbs_.back()).size();
    }

    std::string text() const {
        std::string out = zero() ? "0" : std::to_string(limbs_.back());
        for (std::size_t i = limbs_.size() - 1; i-- > 0;) {
            const std::string part = std::to_string(limbs_[i]);
            out += std::string(9 - part.size(), '0') + part;
        }
        return out;
    }

  private:
    static constexpr std::uint32_t base = 1'000'000'000;

    void trim() {
        while (!limbs_.empty() && limbs_.back() == 0) {
            limbs_.pop_back();
        }
    }

    std::vector<std::uint32_t> limbs_;
};

// A rounding boundary between two doubles has at most 769 significant digits (those of the
// subnormal ones, m 2^-1075 with m odd below 2^54), so a decimal truncated to more digits than that
// and marked inexact by a last digit 1 rounds as the exact value does.
constexpr int exact_rounding_digits = 800;

// The double nearest to (a (steps - i) + b i) 10^exponent / steps, whole numbers of any size.
double nearest_by_text(const Decimal& a, const Decimal& b, int exponent, std::int64_t i,
                       std::int64_t steps) {
    BigWhole left(a.digits);
    left.shift_decimal(a.exponent - exponent);
    left.multiply(static_cast<std::uint32_t>(steps - i));
    BigWhole right(b.digits);
    right.shift_decimal(b.exponent - exponent);
    right.multiply(static_cast<std::uint32_t>(i));
    bool negative = a.negative;
    if (a.negative == b.negative) {
        left.add(right);
    } else if (compare(left, right) >= 0) {
        left.subtract(right);
    } else {
        right.subtract(left);
        left = right;
        negative = b.negative;
    }
    if (left.zero()) {
        return 0.0;
    }
    const int scale =
        std::max(0, exact_rounding_digits + 7 - static_cast<int>(left.decimal_digits()));
    left.shift_decimal(scale);
    const bool inexact = left.divide(static_cast<std::uint32_t>(steps)) != 0;
    const std::string text = (negative ? "-" : "") + left.text() + (inexact ? "1" : "") + "e" +
                             std::to_string(exponent - scale - (inexact ? 1 : 0));
    double value = 0;
    if (std::from_chars(text.data(), text.data() + text.size(), value).ec != std::errc()) {
        // Out of range: below the smallest subnormal, since a point lies between FROM and TO.
        return negative ? -0.0 : 0.0;
    }
    return value;
}

// 10^p for 0 <= p <= 18.
std::int64_t power_of_ten(int p) {
    std::int64_t power = 1;
    for (int i = 0; i < p; ++i) {
        power *= 10;
    }
    return power;
}

constexpr std::int64_t exact_in_double = std::int64_t{1} << 53;

}  // namespace

double decimal_grid_point(double from, double to, std::int64_t count, std::int64_t i) {
    if (count <= 1 || i <= 0) {
        return from;
    }
    if (i >= count - 1) {
        return to;
    }
    if (!std::isfinite(from) || !std::isfinite(to)) {
        return from + (to - from) * static_cast<double>(i) / static_cast<double>(count - 1);
    }
    const Decimal a = shortest_decimal(from);
    const Decimal b = shortest_decimal(to);
    const int exponent = std::min(a.exponent, b.exponent);
    const std::int64_t steps = count - 1;
    const int a_shift = a.exponent - exponent;
    const int b_shift = b.exponent - exponent;
    std::int64_t numerator = 0;
    std::int64_t denominator = steps;
    const auto term = [&](const Decimal& d, int shift, std::int64_t weight, std::int64_t& out) {
        std::int64_t scaled = 0;
        return shift <= 18 &&
               !__builtin_mul_overflow(static_cast<std::int64_t>(d.digits), power_of_ten(shift),
                                       &scaled) &&
               !__builtin_mul_overflow(d.negative ? -scaled : scaled, weight, &out);
    };
    std::int64_t left = 0;
    std::int64_t right = 0;
    bool fits = term(a, a_shift, steps - i, left) && term(b, b_shift, i, right) &&
                !__builtin_add_overflow(left, right, &numerator);
    if (fits && exponent >= 0) {
        fits = exponent <= 18 &&
               !__builtin_mul_overflow(numerator, power_of_ten(exponent), &numerator);
    } else if (fits) {
        fits = -exponent <= 18 &&
               !__builtin_mul_overflow(denominator, power_of_ten(-exponent), &denominator);
    }
    if (fits && numerator != std::numeric_limits<std::int64_t>::min()) {
        const std::int64_t common = std::gcd(numerator, denominator);
        if (common > 1) {
            numerator /= common;
            denominator /= common;
        }
        if (numerator >= -exact_in_double && numerator <= exact_in_double &&
            denominator <= exact_in_double) {
            return static_cast<double>(numerator) / static_cast<double>(denominator);
        }
    }
    return nearest_by_text(a, b, exponent, i, steps);
}

}  // namespace quobel::sweep
