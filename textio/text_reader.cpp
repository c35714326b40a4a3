// text_reader.cpp -- field-by-field reading of the system's input files.
#include "textio/text_reader.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <limits>
#include <type_traits>

#include "textio/errors.h"
#include "textio/file_names.h"

namespace textio {
namespace {

constexpr std::string_view BYTE_ORDER_MARK = "\xEF\xBB\xBF";

bool IsBlank(char ch) { return ch == ' ' || ch == '\t'; }

// Only plain decimal numbers are accepted: no hex, inf or nan spellings.
bool LooksNumeric(const std::string& s) {
    if (s.empty()) return false;
    for (char ch : s) {
        if (!((ch >= '0' && ch <= '9') || ch == '.' || ch == '+' || ch == '-' || ch == 'e' ||
              ch == 'E'))
            return false;
    }
    return true;
}

// The number of a field LooksNumeric accepted, as strtof / strtod convert
// it (nearest, ties to even). std::from_chars rounds the same way and is
// several times faster; what it does not take whole (a leading '+', a value
// beyond the range or below it) goes to strtof / strtod, as do the fields
// that are no number, so the values and the errno of every outcome are the
// C library's. `end` is where the conversion stopped.
template <typename T>
T ConvertNumber(const std::string& field, const char*& end) {
    T v{};
    const char* first = field.data();
    const char* last = first + field.size();
    const auto res = std::from_chars(first, last, v, std::chars_format::general);
    if (res.ec == std::errc{} && res.ptr == last) {
        errno = 0;
        end = last;
        return v;
    }
    char* stop = nullptr;
    errno = 0;
    if constexpr (std::is_same_v<T, float>)
        v = std::strtof(first, &stop);
    else
        v = std::strtod(first, &stop);
    end = stop;
    return v;
}

// A hint for a value that spreadsheet habits typically produce.
std::string HintFor(std::string_view found) {
    if (found.empty())
        return " (if a spreadsheet padded the row with empty fields, remove the trailing commas)";
    if (found.find(';') != std::string_view::npos)
        return "; fields are separated by commas, not semicolons";
    return "";
}

}  // namespace

std::string VisibleText(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto ch = static_cast<unsigned char>(text[i]);
        const std::string_view rest = text.substr(i);
        if (rest.substr(0, 3) == BYTE_ORDER_MARK) {
            out += "<byte-order mark>";
            i += 2;
        } else if (rest.substr(0, 2) == "\xC2\xA0") {
            out += "<no-break space>";
            i += 1;
        } else if (rest.substr(0, 3) == "\xE2\x80\x8B") {
            out += "<zero-width space>";
            i += 2;
        } else if (ch == '\t') {
            out += "<tab>";
        } else if (ch == '\r') {
            out += "<carriage return>";
        } else if (ch < 0x20 || ch == 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "<0x%02X>", ch);
            out += buf;
        } else {
            out.push_back(static_cast<char>(ch));
        }
    }
    return out;
}

TextReader::TextReader(const std::filesystem::path& dir, const std::string& name) : name_(name) {
    std::ifstream in(FindFile(dir, name), std::ios::binary);
    if (!in) throw DataError("cannot open input file \"" + name + "\" in " + dir.string());
    content_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    Start();
}

TextReader TextReader::FromContent(std::string name, std::string content) {
    TextReader r;
    r.name_ = std::move(name);
    r.content_ = std::move(content);
    r.Start();
    return r;
}

void TextReader::Start() {
    if (std::string_view(content_).substr(0, 3) == BYTE_ORDER_MARK) next_ = BYTE_ORDER_MARK.size();
}

TextReader::Position TextReader::Save() const {
    return {next_, pos_, lineStart_, lineLength_, lineOpen_, lineNo_, fieldLine_, fieldNo_};
}

void TextReader::Restore(const Position& p) {
    next_ = p.next, pos_ = p.pos, lineStart_ = p.lineStart, lineLength_ = p.lineLength;
    lineOpen_ = p.lineOpen, lineNo_ = p.lineNo, fieldLine_ = p.fieldLine, fieldNo_ = p.fieldNo;
}

bool TextReader::NextLine() {
    if (next_ >= content_.size()) {
        lineOpen_ = false;
        return false;
    }
    const std::size_t nl = content_.find('\n', next_);
    const std::size_t end = nl == std::string::npos ? content_.size() : nl;
    lineStart_ = next_;
    lineLength_ = end - next_;
    if (lineLength_ > 0 && content_[end - 1] == '\r') --lineLength_;
    next_ = nl == std::string::npos ? content_.size() : nl + 1;
    ++lineNo_;
    pos_ = 0;
    lineOpen_ = true;
    fieldNo_ = 0;
    return true;
}

bool TextReader::TryReadLine(std::string& line) {
    if (lineOpen_ && pos_ > 0) {
        // The rest of a line whose fields were partly read.
        line = std::string(LineText().substr(pos_));
        lineOpen_ = false;
        fieldLine_ = lineNo_;
        return true;
    }
    if (!NextLine()) return false;
    line = std::string(LineText());
    lineOpen_ = false;
    fieldLine_ = lineNo_;
    return true;
}

std::string TextReader::ReadLine(std::string_view what) {
    std::string line;
    if (!TryReadLine(line))
        Fail(what, "a line", "the end of the file");
    return line;
}

bool TextReader::AtEnd() {
    for (;;) {
        if (lineOpen_) {
            const std::string_view line = LineText();
            std::size_t p = pos_;
            while (p < line.size() && IsBlank(line[p])) ++p;
            if (p < line.size()) return false;
            lineOpen_ = false;
        }
        if (!NextLine()) return true;
    }
}

bool TextReader::MoreFieldsOnLine() const {
    if (!lineOpen_) return false;
    const std::string_view line = LineText();
    for (std::size_t p = pos_; p < line.size(); ++p)
        if (!IsBlank(line[p]) && line[p] != ',' && line[p] != '"') return true;
    return false;
}

std::string TextReader::NextField(std::string_view what, std::string_view expected) {
    // Lines, and line ends after a comma, that hold nothing carry no field.
    for (;;) {
        if (lineOpen_ && LineText().find_first_not_of(" \t", pos_) != std::string_view::npos) break;
        lineOpen_ = false;
        if (!NextLine()) {
            fieldLine_ = lineNo_;
            Fail(what, expected, "the end of the file");
        }
    }
    const std::string_view line = LineText();
    ++fieldNo_;
    fieldLine_ = lineNo_;
    std::size_t p = pos_;
    while (p < line.size() && IsBlank(line[p])) ++p;
    std::string field;
    if (p < line.size() && line[p] == '"') {
        const std::size_t close = line.find('"', p + 1);
        if (close == std::string_view::npos) {
            field = std::string(line.substr(p + 1));
            p = line.size();
        } else {
            field = std::string(line.substr(p + 1, close - p - 1));
            p = close + 1;
        }
        const std::size_t comma = line.find(',', p);
        p = (comma == std::string_view::npos) ? line.size() : comma;
    } else {
        const std::size_t comma = line.find(',', p);
        const std::size_t end = (comma == std::string_view::npos) ? line.size() : comma;
        field = std::string(line.substr(p, end - p));
        while (!field.empty() && IsBlank(field.back())) field.pop_back();
        p = end;
    }
    if (p < line.size()) {
        pos_ = p + 1;  // past the comma
        if (pos_ >= line.size()) lineOpen_ = false;  // a comma ending the line opens no field
    } else {
        pos_ = line.size();
        lineOpen_ = false;
    }
    return field;
}

void TextReader::Fail(std::string_view what, std::string_view expected,
                      std::string_view found) const {
    const bool atEnd = found == "the end of the file";
    // Nothing read at all: the file is empty (or holds only a byte-order mark).
    const bool empty = atEnd && fieldLine_ == 0;
    std::string msg = "file \"" + name_ + "\", line " + std::to_string(empty ? 1 : fieldLine_);
    if (fieldNo_ > 0 && !atEnd) msg += ", field " + std::to_string(fieldNo_);
    if (!what.empty()) msg += " (" + std::string(what) + ")";
    msg += ": expected " + std::string(expected) + ", found ";
    if (atEnd)
        msg += std::string(found) + (empty ? ": the file is empty" : countNote_.empty() ? "" : "; " + countNote_);
    else if (found.empty())
        msg += "an empty field";
    else
        msg += "\"" + VisibleText(found) + "\"";
    if (!atEnd) msg += HintFor(found);
    throw DataError(msg);
}

std::string TextReader::Where() const {
    return "file \"" + name_ + "\", line " + std::to_string(fieldLine_);
}

std::string TextReader::ReadString(std::string_view what) { return NextField(what, "a text"); }

double TextReader::ReadDouble(std::string_view what) {
    const std::string field = NextField(what, "a number");
    if (!LooksNumeric(field)) Fail(what, "a number", field);
    const char* end = nullptr;
    const double v = ConvertNumber<double>(field, end);
    if (end != field.c_str() + field.size()) Fail(what, "a number", field);
    if (errno == ERANGE && std::isinf(v)) Fail(what, "a number within the Double range", field);
    return v;
}

float TextReader::ReadSingle(std::string_view what) {
    const std::string field = NextField(what, "a number");
    if (!LooksNumeric(field)) Fail(what, "a number", field);
    const char* end = nullptr;
    const float v = ConvertNumber<float>(field, end);
    if (end != field.c_str() + field.size()) Fail(what, "a number", field);
    if (errno == ERANGE && std::isinf(v)) Fail(what, "a number within the Single range", field);
    return v;
}

double TextReader::ReadWhole(std::string_view what, double lowest, double highest,
                             std::string_view expected) {
    const std::string field = NextField(what, "a whole number");
    if (!LooksNumeric(field)) Fail(what, "a whole number", field);
    const char* end = nullptr;
    const double v = ConvertNumber<double>(field, end);
    if (end != field.c_str() + field.size()) Fail(what, "a whole number", field);
    const double r = std::nearbyint(v);  // halves to even
    if (!(r >= lowest && r <= highest)) Fail(what, expected, field);
    return r;
}

std::int32_t TextReader::ReadLong(std::string_view what) {
    return static_cast<std::int32_t>(ReadWhole(what, -2147483648.0, 2147483647.0,
                                               "a whole number from -2147483648 to 2147483647"));
}

std::int16_t TextReader::ReadInteger(std::string_view what) {
    return static_cast<std::int16_t>(
        ReadWhole(what, -32768.0, 32767.0, "a whole number from -32768 to 32767"));
}

}  // namespace textio
