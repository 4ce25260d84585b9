// The number text forms: decimal numbers, the leading-number parse, the general text, "0.000",
// the file form.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "model/real_cell.hpp"

namespace quobel::model {

// Length of the decimal number at the start of text: optional sign, digits with an optional point
// (digits on at least one side), optional exponent. 0 when the text does not start with one.
std::size_t decimal_number_length(std::string_view text);

// The value of a text that is exactly one decimal number. Empty when it is not one, or when it is
// too large for a double; a number too small for a double reads as 0.
std::optional<double> parse_decimal(std::string_view text);

// Reads the longest leading decimal number of a field's text ('.' as the decimal point, an optional
// sign and exponent, leading blanks skipped) and ignores the rest. Gives 0 when there is no number
// or when it is too large to hold, so the result is always finite. Never fails.
double parse_leading_number(std::string_view text);

// The shortest decimal text with at most 15 (double) or 7 (single precision) significant digits:
// no trailing zeros, "0." before fractions, no point for whole values; very large or very small
// magnitudes take an exponent ("1.5E+20"), which parse_leading_number reads back.
std::string general_text(double value, Precision precision = Precision::double_precision);
inline std::string general_text(RealCell cell) {
    return general_text(cell.value(), cell.precision());
}

// The pattern "0.000": at least one digit before the point, exactly three after it. Halves are
// rounded away from zero on the value's 15-digit decimal form, so 0.0625 shows as 0.063.
std::string three_decimals_text(double value);

// The parameter file's number form: a blank or a minus sign, the digits without a zero before the
// point (.25), one trailing blank. Digits as in general_text.
std::string file_number_text(double value, Precision precision = Precision::double_precision);
inline std::string file_number_text(RealCell cell) {
    return file_number_text(cell.value(), cell.precision());
}

}  // namespace quobel::model
