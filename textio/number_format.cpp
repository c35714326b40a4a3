// number_format.cpp -- the general number format of the output files.
#include "textio/number_format.h"

#include <charconv>
#include <cstring>
#include <string>

namespace textio {
namespace {

// %G with `digits` significant digits, then the house rules: no zero before
// the decimal point, a leading blank for non-negative values, a trailing
// blank. std::to_chars with a precision converts exactly as printf does
// (same digits, same choice of exponent form, an exponent of at least two
// digits), only faster and without locale; its letters ('e', "inf",
// "nan") are upper-cased as %G writes them.
std::size_t Format(char* out, double value, int digits) {
    if (value == 0.0) {  // also negative zero
        std::memcpy(out, " 0 ", 3);
        return 3;
    }
    char buf[FORMATTED_NUMBER_MAX];
    const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, digits);
    const char* p = buf;
    std::size_t n = 0;
    if (*p == '-') {
        out[n++] = '-';
        ++p;
    } else {
        out[n++] = ' ';
    }
    if (p[0] == '0' && p + 1 < res.ptr && p[1] == '.') ++p;  // .5, not 0.5
    for (; p < res.ptr; ++p) out[n++] = (*p >= 'a' && *p <= 'z') ? static_cast<char>(*p - 'a' + 'A') : *p;
    out[n++] = ' ';
    return n;
}

std::string AsString(double value, int digits) {
    char buf[FORMATTED_NUMBER_MAX];
    return std::string(buf, Format(buf, value, digits));
}

}  // namespace

std::string FormatDouble(double value) { return AsString(value, 15); }

std::string FormatSingle(float value) { return AsString(static_cast<double>(value), 7); }

std::size_t FormatDoubleTo(char* out, double value) { return Format(out, value, 15); }

std::size_t FormatSingleTo(char* out, float value) { return Format(out, static_cast<double>(value), 7); }

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

std::string SingleInText(float value) {
    std::string text = FormatSingle(value);
    text.pop_back();
    if (text[0] == ' ') text.erase(0, 1);
    return text;
}

}  // namespace textio
