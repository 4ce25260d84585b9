// The four number text forms, all independent of the process's locale.
#include "model/number_text.hpp"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

namespace quobel::model {

namespace {

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

std::size_t decimal_number_length(std::string_view text) {
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        ++i;
    }
    std::size_t digits = 0;
    while (i < text.size() && is_digit(text[i])) {
        ++i;
        ++digits;
    }
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && is_digit(text[i])) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0) {
        return 0;
    }
    // An exponent counts only when digits follow it, so "2e" and "2e+" read as 2.
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) {
            ++j;
        }
        if (j < text.size() && is_digit(text[j])) {
            while (j < text.size() && is_digit(text[j])) {
                ++j;
            }
            i = j;
        }
    }
    return i;
}

std::optional<double> parse_decimal(std::string_view text) {
    if (text.empty() || decimal_number_length(text) != text.size()) {
        return std::nullopt;
    }
    if (text.front() == '+') {
        text.remove_prefix(1);
    }
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error == std::errc::result_out_of_range) {
        // Out of range is either too small (reads as zero) or too large to hold (not a number
        // the program can use). A decimal exponent of the leading digit above zero means large.
        const auto mark = text.find_first_of("eE");
        const std::string_view mantissa = text.substr(0, mark);
        long exponent = 0;
        if (mark != std::string_view::npos) {
            const std::string_view digits = text.substr(mark + 1);
            const bool negative = !digits.empty() && digits.front() == '-';
            const std::string_view magnitude =
                digits.substr(!digits.empty() && (digits.front() == '-' || digits.front() == '+'));
            // Saturate: an exponent of more than six digits is far beyond any double either way.
            exponent = magnitude.size() > 6 ? 1000000 : std::atol(std::string(magnitude).c_str());
            if (negative) {
                exponent = -exponent;
            }
        }
        const auto first = mantissa.find_first_of("123456789");
        const auto point = mantissa.find('.');
        const auto point_at = point == std::string_view::npos ? mantissa.size() : point;
        if (first == std::string_view::npos) {
            return 0.0;
        }
        const long leading = first < point_at ? static_cast<long>(point_at - first)
                                              : -static_cast<long>(first - point_at - 1);
        if (leading + exponent > 0) {
            return std::nullopt;
        }
        return 0.0;
    }
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

double parse_leading_number(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    const std::size_t length = decimal_number_length(text);
    if (length == 0) {
        return 0.0;
    }
    return parse_decimal(text.substr(0, length)).value_or(0.0);
}

namespace {

// A finite non-zero value rounded to `digits` significant digits: its digit string (no trailing
// zeros, at least one digit), its sign, and the decimal exponent of the first digit.
struct Decimal {
    bool negative = false;
    std::string digits;
    int exponent = 0;
};

Decimal round_to_digits(double value, int digits) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value,
                                      std::chars_format::scientific, digits - 1);
    const std::string_view text(buffer, static_cast<std::size_t>(result.ptr - buffer));
    Decimal decimal;
    std::size_t i = 0;
    if (text[i] == '-') {
        decimal.negative = true;
        ++i;
    }
    const std::size_t mark = text.find('e');
    for (; i < mark; ++i) {
        if (text[i] != '.') {
            decimal.digits.push_back(text[i]);
        }
    }
    decimal.exponent = std::atoi(std::string(text.substr(mark + 1)).c_str());
    // Rounding up can carry the largest doubles past the largest finite one, whose text would not
    // read back (1.79769313486232E+308): those keep the largest decimal of that many digits below.
    constexpr std::string_view largest_digits = "17976931348623157";  // 1.7976931348623157E+308
    if (decimal.exponent == std::numeric_limits<double>::max_exponent10) {
        std::string largest(largest_digits.substr(0, static_cast<std::size_t>(digits)));
        std::string rounded = decimal.digits;
        rounded.resize(largest.size(), '0');
        if (rounded > largest) {
            decimal.digits = largest;
        }
    }
    while (decimal.digits.size() > 1 && decimal.digits.back() == '0') {
        decimal.digits.pop_back();
    }
    return decimal;
}

std::string non_finite_text(double value) {
    if (std::isnan(value)) {
        return "NaN";
    }
    return value > 0 ? "Inf" : "-Inf";
}

}  // namespace

std::string general_text(double value, Precision precision) {
    if (!std::isfinite(value)) {
        return non_finite_text(value);
    }
    if (value == 0) {
        return "0";
    }
    const int digits = precision == Precision::single_precision ? 7 : 15;
    const Decimal decimal = round_to_digits(value, digits);
    const std::string& d = decimal.digits;
    const int e = decimal.exponent;
    std::string text = decimal.negative ? "-" : "";
    // The exponent form starts at the same magnitudes in both precisions: a load brings every
    // value back in double precision, and its text must keep its shape for a saved file to save
    // again byte for byte.
    constexpr int whole_digits = 15;
    if (e < -5 || e >= whole_digits) {
        text += d.front();
        if (d.size() > 1) {
            text += '.';
            text.append(d, 1);
        }
        const int magnitude = std::abs(e);
        text += e < 0 ? "E-" : "E+";
        if (magnitude < 10) {
            text += '0';
        }
        text += std::to_string(magnitude);
    } else if (e >= 0) {
        const auto whole = static_cast<std::size_t>(e) + 1;
        if (d.size() <= whole) {
            text += d;
            text.append(whole - d.size(), '0');
        } else {
            text.append(d, 0, whole);
            text += '.';
            text.append(d, whole);
        }
    } else {
        text += "0.";
        text.append(static_cast<std::size_t>(-e - 1), '0');
        text += d;
    }
    return text;
}

std::string three_decimals_text(double value) {
    if (!std::isfinite(value)) {
        return non_finite_text(value);
    }
    // Work on the 15-digit decimal form, the one the user reads elsewhere, so that a value that
    // reads 0.0625 rounds up like the decimal it shows rather than like its binary neighbour.
    std::string thousandths = "0";  // the value times 1000, rounded, as decimal digits
    bool negative = false;
    if (value != 0) {
        const Decimal decimal = round_to_digits(value, 15);
        negative = decimal.negative;
        const int kept = decimal.exponent + 4;  // digits before the point of value * 1000
        if (kept >= static_cast<int>(decimal.digits.size())) {
            thousandths = decimal.digits;
            thousandths.append(static_cast<std::size_t>(kept) - decimal.digits.size(), '0');
        } else if (kept >= 0) {
            thousandths = "0" + decimal.digits.substr(0, static_cast<std::size_t>(kept));
            if (decimal.digits[static_cast<std::size_t>(kept)] >= '5') {
                std::size_t i = thousandths.size();
                while (i-- > 0) {
                    if (thousandths[i] == '9') {
                        thousandths[i] = '0';
                    } else {
                        ++thousandths[i];
                        break;
                    }
                }
            }
        }
    }
    const auto first = thousandths.find_first_not_of('0');
    thousandths = first == std::string::npos ? "" : thousandths.substr(first);
    const bool zero = thousandths.empty();
    if (thousandths.size() < 4) {
        thousandths.insert(0, 4 - thousandths.size(), '0');
    }
    thousandths.insert(thousandths.size() - 3, ".");
    return negative && !zero ? "-" + thousandths : thousandths;
}

std::string file_number_text(double value, Precision precision) {
    std::string digits = general_text(value, precision);
    std::string text = " ";
    if (digits.front() == '-') {
        text = "-";
        digits.erase(0, 1);
    }
    if (digits.starts_with("0.")) {
        digits.erase(0, 1);
    }
    return text + digits + " ";
}

}  // namespace quobel::model
