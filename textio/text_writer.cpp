// text_writer.cpp -- line-by-line output with CR LF line ends.
#include "textio/text_writer.h"

#include <cerrno>
#include <cmath>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

#include "textio/errors.h"
#include "textio/file_names.h"
#include "textio/number_format.h"

namespace textio {

namespace {

std::string Reason(int error) { return std::strerror(error); }

}  // namespace

TextWriter::TextWriter(const std::filesystem::path& dir, const std::string& name, Mode mode)
    : name_(name) {
    const std::filesystem::path path = mode == Mode::Append ? FindFile(dir, name) : OutputPath(dir, name);
    const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (mode == Mode::Append ? O_APPEND : O_TRUNC);
    fd_ = ::open(path.c_str(), flags, 0666);
    if (fd_ < 0)
        throw DataError("cannot create file \"" + name + "\" in " + dir.string() + ": " + Reason(errno));
}

int TextWriter::Flush() {
    std::size_t done = 0;
    while (done < buffer_.size()) {
        const ssize_t n = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int error = errno;
            buffer_.clear();
            return error;
        }
        done += static_cast<std::size_t>(n);
    }
    buffer_.clear();
    return 0;
}

void TextWriter::FailWrite(int error) const {
    throw DataError("could not write file \"" + name_ + "\": " + Reason(error));
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
        const int error = Flush();
        if (error != 0) FailWrite(error);
    }
    return *this;
}

void TextWriter::Close() {
    if (fd_ < 0) return;
    int error = Flush();
    if (::close(fd_) != 0 && error == 0) error = errno;
    fd_ = -1;
    if (error != 0) FailWrite(error);
}

TextWriter::~TextWriter() {
    if (fd_ < 0) return;
    Flush();
    ::close(fd_);
}

}  // namespace textio
