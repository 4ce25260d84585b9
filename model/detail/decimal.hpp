// Former home of the decimal parse, now public in model/number_text.hpp.
#pragma once

#include "model/number_text.hpp"

namespace quobel::model::detail {

using model::decimal_number_length;
using model::parse_decimal;

}  // namespace quobel::model::detail
