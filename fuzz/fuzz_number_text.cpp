// Fuzz target of the number texts: every text parses to a finite number, and every number's
// general, "0.000" and file texts read back to a value whose text is the same again.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>

#include "fuzz_checks.hpp"
#include "model/number_text.hpp"

namespace {

using namespace quobel;
using fuzz::check;
using model::Precision;

std::string describe(double x, std::string_view text) {
    return fuzz::exact_text(x) + " -> \"" + std::string(text) + "\"";
}

// Within the rounding to `digits` significant digits (plus the one of the parse back).
bool close(double x, double y, double relative) {
    return std::fabs(y - x) <=
           std::max(std::fabs(x) * relative, std::numeric_limits<double>::denorm_min());
}

void check_general_and_file(double x, Precision precision) {
    const std::string text = model::general_text(x, precision);
    const double back = model::parse_leading_number(text);
    check(model::general_text(back, precision) == text, "general text does not read back",
          describe(x, text) + " -> " + model::general_text(back, precision));
    const double relative = precision == Precision::single_precision ? 5.1e-7 : 5.1e-15;
    check(close(x, back, relative), "general text far from its value", describe(x, text));

    const std::string file = model::file_number_text(x, precision);
    check(file.size() >= 3 && (file.front() == ' ' || file.front() == '-') && file.back() == ' ',
          "file number without its sign position or trailing blank", describe(x, file));
    const std::string_view digits = std::string_view(file).substr(1, file.size() - 2);
    check(!digits.starts_with("0.") && digits.find(' ') == std::string_view::npos,
          "file number with a zero before the point or an inner blank", describe(x, file));
    const std::string field = file.front() == '-' ? "-" + std::string(digits) : std::string(digits);
    const auto read = model::parse_decimal(field);
    check(read.has_value(), "file number that the reader refuses", describe(x, file));
    check(*read == back, "file number reads other than the general text", describe(x, file));
}

void check_three_decimals(double x) {
    const std::string text = model::three_decimals_text(x);
    const auto point = text.find('.');
    const std::size_t first_digit = text.starts_with('-') ? 1 : 0;
    check(point != std::string::npos && point > first_digit && point + 4 == text.size() &&
              text.find_first_not_of("0123456789", first_digit) == point &&
              text.find_first_not_of("0123456789", point + 1) == std::string::npos,
          "\"0.000\" text of the wrong shape", describe(x, text));
    check(text != "-0.000", "\"0.000\" text of a negative zero", describe(x, text));
    const double back = model::parse_leading_number(text);
    check(model::three_decimals_text(back) == text, "\"0.000\" text does not read back",
          describe(x, text) + " -> " + model::three_decimals_text(back));
    check(std::fabs(back - x) <= 0.0005 + std::fabs(x) * 1e-14, "\"0.000\" text far from its value",
          describe(x, text));
}

void check_number(double x) {
    if (!std::isfinite(x)) {
        const std::string text = model::general_text(x);
        check(text == "NaN" || text == "Inf" || text == "-Inf", "text of a non-finite value", text);
        check(model::three_decimals_text(x) == text, "\"0.000\" text of a non-finite value", text);
        return;
    }
    check_general_and_file(x, Precision::double_precision);
    check_general_and_file(x, Precision::single_precision);
    const auto single = static_cast<float>(x);
    if (std::isfinite(single)) {
        check_general_and_file(single, Precision::single_precision);
    }
    check_three_decimals(x);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const double parsed = model::parse_leading_number(text);
    check(std::isfinite(parsed), "parse gave a non-finite value", std::string(text));
    check_number(parsed);
    // The same bytes as a double reach values no text the parse accepts can give.
    if (size >= sizeof(double)) {
        double raw = 0;
        std::memcpy(&raw, data, sizeof raw);
        check_number(raw);
    }
    return 0;
}
