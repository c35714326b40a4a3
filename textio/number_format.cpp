// number_format.cpp -- the general number format of the output files.
#include "textio/number_format.h"

#include <cstdio>
#include <string>

namespace textio {
namespace {

// %G with `digits` significant digits, then the house rules: no zero before
// the decimal point, a leading blank for non-negative values, a trailing blank.
std::string Format(double value, int digits) {
    if (value == 0.0) return " 0 ";  // also negative zero
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*G", digits, value);
    std::string text(buf);
    if (text.compare(0, 2, "0.") == 0) {
        text.erase(0, 1);
    } else if (text.compare(0, 3, "-0.") == 0) {
        text.erase(1, 1);
    }
    if (text[0] != '-') text.insert(text.begin(), ' ');
    text.push_back(' ');
    return text;
}

}  // namespace

std::string FormatDouble(double value) { return Format(value, 15); }

std::string FormatSingle(float value) { return Format(static_cast<double>(value), 7); }

std::string FormatInteger(std::int64_t value) {
    std::string text = std::to_string(value);
    if (value >= 0) text.insert(text.begin(), ' ');
    text.push_back(' ');
    return text;
}

std::string CounterText(const std::string& formatted) {
    if (!formatted.empty() && formatted.back() == ' ')
        return formatted.substr(0, formatted.size() - 1);
    return formatted;
}

std::string NumberInText(double value) {
    std::string text = FormatDouble(value);
    text.pop_back();                   // the trailing blank
    if (text[0] == ' ') text.erase(0, 1);  // the blank of a non-negative value
    return text;
}

}  // namespace textio
