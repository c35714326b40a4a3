// text_reader.cpp -- field-by-field reading of the system's input files.
#include "textio/text_reader.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "textio/errors.h"
#include "textio/file_names.h"

namespace textio {
namespace {

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

}  // namespace

TextReader::TextReader(const std::filesystem::path& dir, const std::string& name) : name_(name) {
    in_.open(FindFile(dir, name), std::ios::binary);
    if (!in_) throw DataError("cannot open input file \"" + name + "\" in " + dir.string());
}

bool TextReader::NextLine() {
    if (!std::getline(in_, line_)) {
        lineOpen_ = false;
        return false;
    }
    if (!line_.empty() && line_.back() == '\r') line_.pop_back();
    ++lineNo_;
    pos_ = 0;
    lineOpen_ = true;
    fieldNo_ = 0;
    return true;
}

bool TextReader::TryReadLine(std::string& line) {
    if (lineOpen_ && pos_ > 0) {
        // The rest of a line whose fields were partly read.
        line = line_.substr(pos_);
        lineOpen_ = false;
        fieldLine_ = lineNo_;
        return true;
    }
    if (!NextLine()) return false;
    line = line_;
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
            std::size_t p = pos_;
            while (p < line_.size() && IsBlank(line_[p])) ++p;
            if (p < line_.size()) return false;
            lineOpen_ = false;
        }
        if (!NextLine()) return true;
    }
}

bool TextReader::MoreFieldsOnLine() const {
    if (!lineOpen_) return false;
    for (std::size_t p = pos_; p < line_.size(); ++p)
        if (!IsBlank(line_[p]) && line_[p] != ',' && line_[p] != '"') return true;
    return false;
}

std::string TextReader::NextField(std::string_view what, std::string_view expected) {
    // Lines, and line ends after a comma, that hold nothing carry no field.
    for (;;) {
        if (lineOpen_ && line_.find_first_not_of(" \t", pos_) != std::string::npos) break;
        lineOpen_ = false;
        if (!NextLine()) {
            fieldLine_ = lineNo_;
            Fail(what, expected, "the end of the file");
        }
    }
    ++fieldNo_;
    fieldLine_ = lineNo_;
    std::size_t p = pos_;
    while (p < line_.size() && IsBlank(line_[p])) ++p;
    std::string field;
    if (p < line_.size() && line_[p] == '"') {
        const std::size_t close = line_.find('"', p + 1);
        if (close == std::string::npos) {
            field = line_.substr(p + 1);
            p = line_.size();
        } else {
            field = line_.substr(p + 1, close - p - 1);
            p = close + 1;
        }
        const std::size_t comma = line_.find(',', p);
        p = (comma == std::string::npos) ? line_.size() : comma;
    } else {
        const std::size_t comma = line_.find(',', p);
        const std::size_t end = (comma == std::string::npos) ? line_.size() : comma;
        field = line_.substr(p, end - p);
        while (!field.empty() && IsBlank(field.back())) field.pop_back();
        p = end;
    }
    if (p < line_.size()) {
        pos_ = p + 1;  // past the comma
        if (pos_ >= line_.size()) lineOpen_ = false;  // a comma ending the line opens no field
    } else {
        pos_ = line_.size();
        lineOpen_ = false;
    }
    return field;
}

void TextReader::Fail(std::string_view what, std::string_view expected,
                      std::string_view found) const {
    std::string msg = "file \"" + name_ + "\", line " + std::to_string(fieldLine_);
    if (fieldNo_ > 0 && found != "the end of the file") msg += ", field " + std::to_string(fieldNo_);
    if (!what.empty()) msg += " (" + std::string(what) + ")";
    msg += ": expected " + std::string(expected) + ", found ";
    msg += (found == "the end of the file") ? std::string(found) : "\"" + std::string(found) + "\"";
    throw DataError(msg);
}

std::string TextReader::Where() const {
    return "file \"" + name_ + "\", line " + std::to_string(fieldLine_);
}

std::string TextReader::ReadString(std::string_view what) { return NextField(what, "a text"); }

double TextReader::ReadDouble(std::string_view what) {
    const std::string field = NextField(what, "a number");
    if (!LooksNumeric(field)) Fail(what, "a number", field);
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(field.c_str(), &end);
    if (end != field.c_str() + field.size()) Fail(what, "a number", field);
    if (errno == ERANGE && std::isinf(v)) Fail(what, "a number within the Double range", field);
    return v;
}

float TextReader::ReadSingle(std::string_view what) {
    const std::string field = NextField(what, "a number");
    if (!LooksNumeric(field)) Fail(what, "a number", field);
    char* end = nullptr;
    errno = 0;
    const float v = std::strtof(field.c_str(), &end);
    if (end != field.c_str() + field.size()) Fail(what, "a number", field);
    if (errno == ERANGE && std::isinf(v)) Fail(what, "a number within the Single range", field);
    return v;
}

double TextReader::ReadWhole(std::string_view what, double lowest, double highest,
                             std::string_view expected) {
    const std::string field = NextField(what, "a whole number");
    if (!LooksNumeric(field)) Fail(what, "a whole number", field);
    char* end = nullptr;
    const double v = std::strtod(field.c_str(), &end);
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
