// Parsing of decimal number texts, shared by the field parse and the parameter file reader.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace quobel::model::detail {

// Length of the decimal number at the start of text: optional sign, digits with an optional point
// (digits on at least one side), optional exponent. 0 when the text does not start with one.
std::size_t decimal_number_length(std::string_view text);

// The value of a text that is exactly one decimal number. Empty when it is not one, or when it is
// too large for a double; a number too small for a double reads as 0.
std::optional<double> parse_decimal(std::string_view text);

}  // namespace quobel::model::detail
