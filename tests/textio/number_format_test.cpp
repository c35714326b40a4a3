// Tests of the general number format shared by every output file.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
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

// The formatter must write, character for character, what printf's %G
// writes with the house rules applied: compared on random bit patterns
// (every magnitude, denormals, infinities, NaN) and on short decimals.
std::string ByPrintf(double value, int digits) {
    if (value == 0.0) return " 0 ";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*G", digits, value);
    std::string text(buf);
    if (text.compare(0, 2, "0.") == 0) text.erase(0, 1);
    else if (text.compare(0, 3, "-0.") == 0) text.erase(1, 1);
    if (text[0] != '-') text.insert(text.begin(), ' ');
    return text + " ";
}

TEST(NumberFormat, SameTextAsPrintfForEveryKindOfValue) {
    std::mt19937_64 rng(2718281828);
    std::uniform_int_distribution<int> decimals(-40, 40);
    for (int k = 0; k < 200000; ++k) {
        const std::uint64_t bits = rng();
        double d;
        std::memcpy(&d, &bits, sizeof d);
        if (k % 2) d = std::round(std::ldexp(static_cast<double>(bits % 100000), 0)) * std::pow(10.0, decimals(rng));
        ASSERT_EQ(FormatDouble(d), ByPrintf(d, 15)) << d;
        const float f = static_cast<float>(d);
        ASSERT_EQ(FormatSingle(f), ByPrintf(static_cast<double>(f), 7)) << f;
    }
    for (double d : {std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                     std::nan(""), 0.1, 1e-5, 99999.95, 0.000099999999999999995})
        EXPECT_EQ(FormatDouble(d), ByPrintf(d, 15)) << d;
}

}  // namespace
