// Tests of the general number format shared by every output file.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "textio/number_format.h"

namespace {

using textio::CounterText;
using textio::FormatDouble;
using textio::FormatInteger;
using textio::FormatSingle;

TEST(NumberFormat, LeadingBlankOrMinusAndNoZeroBeforeThePoint) {
    EXPECT_EQ(FormatDouble(0.5), " .5 ");
    EXPECT_EQ(FormatDouble(-0.5), "-.5 ");
    EXPECT_EQ(FormatDouble(2.5), " 2.5 ");
    EXPECT_EQ(FormatDouble(-2.5), "-2.5 ");
    EXPECT_EQ(FormatDouble(10), " 10 ");
    EXPECT_EQ(FormatDouble(-999), "-999 ");
    EXPECT_EQ(FormatDouble(0.0), " 0 ");
    EXPECT_EQ(FormatDouble(-0.0), " 0 ");
}

TEST(NumberFormat, ExponentFormWhereGChoosesIt) {
    EXPECT_EQ(FormatDouble(0.0001), " .0001 ");
    EXPECT_EQ(FormatDouble(0.00001), " 1E-05 ");
    EXPECT_EQ(FormatDouble(-0.00001), "-1E-05 ");
    EXPECT_EQ(FormatDouble(1.5e20), " 1.5E+20 ");
    EXPECT_EQ(FormatDouble(123456789012345.0), " 123456789012345 ");
    EXPECT_EQ(FormatDouble(1e15), " 1E+15 ");
    EXPECT_EQ(FormatDouble(1.25e-7), " 1.25E-07 ");
    EXPECT_EQ(FormatSingle(1234567.0f), " 1234567 ");
    EXPECT_EQ(FormatSingle(12345678.0f), " 1.234568E+07 ");
    EXPECT_EQ(FormatSingle(1e-5f), " 1E-05 ");
}

TEST(NumberFormat, DoubleHasFifteenDigitsSingleSeven) {
    EXPECT_EQ(FormatDouble(1.0 / 3.0), " .333333333333333 ");
    EXPECT_EQ(FormatSingle(1.0f / 3.0f), " .3333333 ");
    // The float's own value, not its double widening.
    EXPECT_EQ(FormatSingle(0.1f), " .1 ");
    // A Single time step widened to Double keeps its binary rounding.
    EXPECT_EQ(FormatDouble(static_cast<double>(0.1f)), " .100000001490116 ");
    EXPECT_EQ(FormatDouble(2.0 / 3.0), " .666666666666667 ");
    EXPECT_EQ(FormatSingle(-2.0f / 3.0f), "-.6666667 ");
}

TEST(NumberFormat, IntegersAndCounters) {
    EXPECT_EQ(FormatInteger(12), " 12 ");
    EXPECT_EQ(FormatInteger(0), " 0 ");
    EXPECT_EQ(FormatInteger(-3), "-3 ");
    EXPECT_EQ(CounterText(FormatInteger(12)), " 12");
    EXPECT_EQ("Time Step" + CounterText(FormatInteger(12)), "Time Step 12");
    EXPECT_EQ(CounterText(FormatDouble(-0.5)), "-.5");
}

}  // namespace

namespace {

TEST(NumberFormat, NumbersInsideMessagesHaveNoSurroundingBlanks) {
    EXPECT_EQ(textio::NumberInText(9), "9");
    EXPECT_EQ(textio::NumberInText(-2.5), "-2.5");
    EXPECT_EQ(textio::NumberInText(0.00001), "1E-05");
    EXPECT_EQ(textio::NumberInText(-0.0), "0");
}

}  // namespace
