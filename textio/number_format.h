// number_format.h -- the general number format of every output file.
//
// Exports: FormatDouble, FormatSingle, FormatInteger, CounterText, NumberInText, SingleInText,
// FormatDoubleTo, FormatSingleTo, FORMATTED_NUMBER_MAX.
//
// A number is written with a leading blank when non-negative or a minus sign,
// without a zero before the decimal point (.5, -.5), with up to 15 significant
// digits for a Double and 7 for a Single, in exponent form where C's %G
// chooses it for that many digits (1E-05, 1.5E+20), followed by one trailing
// blank. Negative zero is written as 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace textio {

// " .5 ", "-2.5 ", " 1E-05 ": Double, 15 significant digits.
std::string FormatDouble(double value);

// The float's own value to 7 significant digits: 0.1f gives " .1 ".
std::string FormatSingle(float value);

// The same texts written into `out` (room for FORMATTED_NUMBER_MAX
// characters); return the length. No allocation: for result rows.
inline constexpr std::size_t FORMATTED_NUMBER_MAX = 40;
std::size_t FormatDoubleTo(char* out, double value);
std::size_t FormatSingleTo(char* out, float value);

// " 12 ", "-3 ".
std::string FormatInteger(std::int64_t value);

// The same text without the trailing blank, as the window counters show it:
// CounterText(FormatInteger(12)) is " 12".
std::string CounterText(const std::string& formatted);

// A Double in the general format without its surrounding blanks, for a
// number standing inside a message: "an outflow of 9", "-2.5".
std::string NumberInText(double value);

// A Single the same way, with its own 7 digits: "0.1" of a table reads ".1".
std::string SingleInText(float value);

}  // namespace textio
