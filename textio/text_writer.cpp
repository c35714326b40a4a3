// text_writer.cpp -- line-by-line output with CR LF line ends.
#include "textio/text_writer.h"

#include <cmath>

#include "textio/errors.h"
#include "textio/file_names.h"
#include "textio/number_format.h"

namespace textio {

TextWriter::TextWriter(const std::filesystem::path& dir, const std::string& name, Mode mode)
    : name_(name) {
    std::filesystem::path path;
    if (mode == Mode::Append) {
        path = FindFile(dir, name);
        out_.open(path, std::ios::binary | std::ios::app);
    } else {
        path = OutputPath(dir, name);
        out_.open(path, std::ios::binary | std::ios::trunc);
    }
    if (!out_) throw DataError("cannot create file \"" + name + "\" in " + dir.string());
}

TextWriter& TextWriter::Text(std::string_view text) {
    buffer_.append(text);
    return *this;
}
void TextWriter::RefuseNonFinite(double value) const {
    if (std::isfinite(value)) return;
    throw DataError("a value to be written into \"" + name_ + "\" is " + NumberInText(value) +
                    ", not a finite number; the file does not get it (an overflow or an invalid "
                    "operation in the computation that gave it)");
}

TextWriter& TextWriter::Double(double value) {
    RefuseNonFinite(value);
    char buf[FORMATTED_NUMBER_MAX];
    buffer_.append(buf, FormatDoubleTo(buf, value));
    return *this;
}
TextWriter& TextWriter::Single(float value) {
    RefuseNonFinite(value);
    char buf[FORMATTED_NUMBER_MAX];
    buffer_.append(buf, FormatSingleTo(buf, value));
    return *this;
}
TextWriter& TextWriter::Integer(std::int64_t value) { return Text(FormatInteger(value)); }

TextWriter& TextWriter::EndLine() {
    buffer_.append("\r\n");
    if (buffer_.size() > (1u << 16)) {
        out_.write(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
        buffer_.clear();
    }
    return *this;
}

void TextWriter::Close() {
    if (!out_.is_open()) return;
    out_.write(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
    buffer_.clear();
    out_.close();
    if (out_.fail()) throw DataError("could not write file \"" + name_ + "\"");
}

TextWriter::~TextWriter() {
    if (!out_.is_open()) return;
    out_.write(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
    out_.close();
}

}  // namespace textio
