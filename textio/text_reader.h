// text_reader.h -- sequential reading of the system's comma-separated files.
//
// Exports: TextReader.
//
// A header or label line is skipped whole; after it values are taken one after
// another as fields. A field ends at a comma or at the end of a line; blanks
// and double quotes around it are removed; line breaks carry no meaning, so a
// record may span lines and several records may share one. A comma that ends
// a line closes the field before it and opens none. CR LF and LF line ends are
// both accepted. A missing file, an empty or unparsable numeric field, a value
// outside its type's range or a file that ends early throws textio::DataError
// naming the file, the line, the field and what was expected.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

namespace textio {

class TextReader {
public:
    // Opens `name` in `dir` (case-insensitive). Throws DataError when the file
    // cannot be opened.
    TextReader(const std::filesystem::path& dir, const std::string& name);

    // Reads the rest of the current line, or the next whole line when the
    // current one is used up, and returns it (header and label lines; the
    // "-999" lines of the loads file). Throws DataError at end of file.
    std::string ReadLine(std::string_view what = "a line");
    // Like ReadLine, but returns false at end of file instead of throwing.
    bool TryReadLine(std::string& line);

    // Typed fields. `what` names the value in the user's terms for messages
    // ("compartment number of record 3"); it is only formatted on error.
    // Integer: signed 16-bit, the field rounded half to even when not whole.
    std::int16_t ReadInteger(std::string_view what);
    std::int32_t ReadLong(std::string_view what);
    float ReadSingle(std::string_view what);
    double ReadDouble(std::string_view what);
    std::string ReadString(std::string_view what);

    // True when the current line still holds a non-blank field after the ones
    // read (an extra value on a value line).
    bool MoreFieldsOnLine() const;
    // True when no further field exists in the file.
    bool AtEnd();

    // The line number of the last field or line read (1-based).
    int Line() const { return fieldLine_; }
    const std::string& Name() const { return name_; }

    // A message naming this file and the current line: used by callers for
    // data errors found after reading ("file \"Flows.csv\", line 4: ...").
    std::string Where() const;

private:
    bool NextLine();
    std::string NextField(std::string_view what, std::string_view expected);
    // A whole number within [lowest, highest], the field rounded half to even.
    double ReadWhole(std::string_view what, double lowest, double highest,
                     std::string_view expected);
    [[noreturn]] void Fail(std::string_view what, std::string_view expected,
                           std::string_view found) const;

    std::string name_;
    std::ifstream in_;
    std::string line_;        // current physical line without its line end
    std::size_t pos_ = 0;     // next unread character of line_
    bool lineOpen_ = false;   // line_ still has unread fields
    int lineNo_ = 0;          // number of the physical line in line_
    int fieldLine_ = 0;       // line of the last field returned
    int fieldNo_ = 0;         // position of the last field on its line
};

}  // namespace textio
