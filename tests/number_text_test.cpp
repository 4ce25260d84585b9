// Tests of the number text forms.
#include "model/number_text.hpp"

#include <gtest/gtest.h>

#include <limits>

namespace quobel::model {
namespace {

TEST(NumberText, LeadingNumberParse) {
    EXPECT_EQ(parse_leading_number("0.25"), 0.25);
    EXPECT_EQ(parse_leading_number(".5abc"), 0.5);
    EXPECT_EQ(parse_leading_number("-3x"), -3.0);
    EXPECT_EQ(parse_leading_number("2.5"), 2.5);
    EXPECT_EQ(parse_leading_number("1e9"), 1e9);
    EXPECT_EQ(parse_leading_number("2e"), 2.0);
    EXPECT_EQ(parse_leading_number("  7"), 7.0);
    EXPECT_EQ(parse_leading_number("+4"), 4.0);
    EXPECT_EQ(parse_leading_number("5."), 5.0);
    EXPECT_EQ(parse_leading_number(""), 0.0);
    EXPECT_EQ(parse_leading_number("abc"), 0.0);
    EXPECT_EQ(parse_leading_number("-"), 0.0);
    EXPECT_EQ(parse_leading_number("."), 0.0);
    EXPECT_EQ(parse_leading_number("1,5"), 1.0);
    EXPECT_EQ(parse_leading_number("1e999"), 0.0);  // too large to hold
    EXPECT_EQ(parse_leading_number("1e-999"), 0.0);
}

TEST(NumberText, GeneralTextOfDoubles) {
    EXPECT_EQ(general_text(0.0), "0");
    EXPECT_EQ(general_text(-0.0), "0");
    EXPECT_EQ(general_text(3.0), "3");
    EXPECT_EQ(general_text(0.1 + 0.2), "0.3");
    EXPECT_EQ(general_text(0.49999999999999994), "0.5");
    EXPECT_EQ(general_text(0.24360198624904508), "0.243601986249045");
    EXPECT_EQ(general_text(static_cast<double>(0.368f)), "0.368000000715256");
    EXPECT_EQ(general_text(-0.125), "-0.125");
    EXPECT_EQ(general_text(1234.5), "1234.5");
    EXPECT_EQ(general_text(0.00001), "0.00001");
    EXPECT_EQ(general_text(1e-7), "1E-07");
    EXPECT_EQ(general_text(1.5e20), "1.5E+20");
    EXPECT_EQ(general_text(1e9), "1000000000");
}

TEST(NumberText, GeneralTextOfSinglePrecision) {
    EXPECT_EQ(general_text(0.368f, Precision::single_precision), "0.368");
    EXPECT_EQ(general_text(0.4534884f, Precision::single_precision), "0.4534884");
    EXPECT_EQ(general_text(RealCell::of_single(0.123f)), "0.123");
    EXPECT_EQ(general_text(RealCell::of_double(0.123f)), "0.123000003397465");
}

TEST(NumberText, GeneralTextReadsBack) {
    for (double v : {0.1, 1e-7, 1.5e20, -2.75e-12, 123456789012345.0, 1e300}) {
        EXPECT_EQ(general_text(parse_leading_number(general_text(v))), general_text(v)) << v;
    }
}

TEST(NumberText, NonFiniteValuesHaveAText) {
    EXPECT_EQ(general_text(std::numeric_limits<double>::infinity()), "Inf");
    EXPECT_EQ(three_decimals_text(-std::numeric_limits<double>::infinity()), "-Inf");
    EXPECT_EQ(general_text(std::numeric_limits<double>::quiet_NaN()), "NaN");
}

TEST(NumberText, ThreeDecimals) {
    EXPECT_EQ(three_decimals_text(0.25), "0.250");
    EXPECT_EQ(three_decimals_text(1.0), "1.000");
    EXPECT_EQ(three_decimals_text(0.0), "0.000");
    EXPECT_EQ(three_decimals_text(-0.125), "-0.125");
    EXPECT_EQ(three_decimals_text(0.1 / 0.6 * 0.5), "0.083");
    EXPECT_EQ(three_decimals_text(0.36800000071525574), "0.368");
    EXPECT_EQ(three_decimals_text(0.9995), "1.000");
    EXPECT_EQ(three_decimals_text(0.0625), "0.063");  // a half rounds away from zero
    EXPECT_EQ(three_decimals_text(-0.0625), "-0.063");
    EXPECT_EQ(three_decimals_text(0.0004), "0.000");
    EXPECT_EQ(three_decimals_text(-0.0004), "0.000");
    EXPECT_EQ(three_decimals_text(0.0005), "0.001");
    EXPECT_EQ(three_decimals_text(1e-20), "0.000");
    EXPECT_EQ(three_decimals_text(1234567.8915), "1234567.892");
    EXPECT_EQ(three_decimals_text(1e20), "100000000000000000000.000");
}

TEST(NumberText, FileNumberForm) {
    EXPECT_EQ(file_number_text(0.0), " 0 ");
    EXPECT_EQ(file_number_text(1.0), " 1 ");
    EXPECT_EQ(file_number_text(3.0), " 3 ");
    EXPECT_EQ(file_number_text(0.25), " .25 ");
    EXPECT_EQ(file_number_text(-0.5), "-.5 ");
    EXPECT_EQ(file_number_text(-0.125), "-.125 ");
    EXPECT_EQ(file_number_text(0.1 + 0.2), " .3 ");
    EXPECT_EQ(file_number_text(2.5), " 2.5 ");
    EXPECT_EQ(file_number_text(RealCell::of_single(0.123f)), " .123 ");
    EXPECT_EQ(file_number_text(RealCell::of_double(0.123f)), " .123000003397465 ");
    EXPECT_EQ(file_number_text(1e-7), " 1E-07 ");
}

}  // namespace
}  // namespace quobel::model
