// text_writer.h -- sequential writing of result, diagnostic and request files.
//
// Exports: TextWriter.
//
// A line is a sequence of items written without separators: texts as they
// stand and numbers in the general number format (number_format.h). Every
// line ends with CR LF. Files are created anew on opening, replacing a file
// of the same name in any letter case; append mode keeps what is there. A
// number that is not finite (an overflow, not a number) is never written:
// Double and Single throw DataError naming the file instead.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace textio {

class TextWriter {
public:
    enum class Mode { Replace, Append };
    // Throws DataError when the file cannot be created.
    TextWriter(const std::filesystem::path& dir, const std::string& name, Mode mode = Mode::Replace);

    TextWriter& Text(std::string_view text);
    TextWriter& Double(double value);
    TextWriter& Single(float value);
    TextWriter& Integer(std::int64_t value);
    TextWriter& EndLine();   // CR LF

    // Flushes and closes; throws DataError when the data could not be
    // written, naming the file and the system's reason ("No space left on
    // device"). A line that fills the buffer is written at once and fails
    // the same way.
    void Close();
    ~TextWriter();
    TextWriter(const TextWriter&) = delete;
    TextWriter& operator=(const TextWriter&) = delete;

    const std::string& Name() const { return name_; }

private:
    void RefuseNonFinite(double value) const;
    // Writes the buffer out; the errno of the first failure, 0 when none.
    int Flush();
    [[noreturn]] void FailWrite(int error) const;
    std::string name_;
    int fd_ = -1;
    std::string buffer_;
};

}  // namespace textio
