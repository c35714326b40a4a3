// text_reader.h -- sequential reading of the system's comma-separated files.
//
// Exports: TextReader, TextReader::Position, VisibleText.
//
// A header or label line is skipped whole; after it values are taken one after
// another as fields. A field ends at a comma or at the end of a line; blanks
// and double quotes around it are removed; line breaks carry no meaning, so a
// record may span lines and several records may share one. A comma that ends
// a line closes the field before it and opens none. CR LF and LF line ends are
// both accepted, and a UTF-8 byte-order mark at the start of a file (as
// spreadsheets write it) is skipped. A missing file, an empty or unparsable
// numeric field, a value outside its type's range or a file that ends early
// throws textio::DataError naming the file, the line, the field and what was
// expected; a value quoted in a message shows invisible characters visibly.
//
// The whole file is read when the reader is made; a reader can also be made
// over bytes already in memory (a file read once and parsed again later).
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>

namespace textio {

// `text` with characters that print as nothing or as blanks spelled out:
// "1,0\t" -> "1,0<tab>", a no-break space -> "<no-break space>", a
// byte-order mark -> "<byte-order mark>", other control bytes -> "<0x01>".
std::string VisibleText(std::string_view text);

class TextReader {
public:
    // Opens `name` in `dir` (case-insensitive) and reads it whole. Throws
    // DataError when the file cannot be opened.
    TextReader(const std::filesystem::path& dir, const std::string& name);
    // A reader over `content`, the bytes of a file called `name` (for messages).
    static TextReader FromContent(std::string name, std::string content);

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

    // What sets the number of values the file must hold ("\"Control.csv\"
    // pair 5 gives NT = 8 compartments ..."): added after "; " to a message
    // that the file ended before a value (not to the one of an empty file).
    void SetCountNote(std::string note) { countNote_ = std::move(note); }
    const std::string& CountNote() const { return countNote_; }

    // The line number of the last field or line read (1-based).
    int Line() const { return fieldLine_; }
    const std::string& Name() const { return name_; }

    // A message naming this file and the current line: used by callers for
    // data errors found after reading ("file \"Flows.csv\", line 4: ...").
    std::string Where() const;

    // Where the reader stands, to come back to it later (Restore) on the same content.
    struct Position {
        std::size_t next = 0, pos = 0, lineStart = 0, lineLength = 0;
        bool lineOpen = false;
        int lineNo = 0, fieldLine = 0, fieldNo = 0;
    };
    Position Save() const;
    void Restore(const Position& p);

private:
    TextReader() = default;
    void Start();
    bool NextLine();
    std::string NextField(std::string_view what, std::string_view expected);
    // A whole number within [lowest, highest], the field rounded half to even.
    double ReadWhole(std::string_view what, double lowest, double highest,
                     std::string_view expected);
    [[noreturn]] void Fail(std::string_view what, std::string_view expected,
                           std::string_view found) const;
    std::string_view LineText() const { return std::string_view(content_).substr(lineStart_, lineLength_); }

    std::string name_;
    std::string content_;
    std::string countNote_;
    std::size_t next_ = 0;        // start of the next unread line in content_
    std::size_t lineStart_ = 0;   // current physical line, without its line end
    std::size_t lineLength_ = 0;
    std::size_t pos_ = 0;         // next unread character of the current line
    bool lineOpen_ = false;       // the current line still has unread fields
    int lineNo_ = 0;              // number of the current physical line
    int fieldLine_ = 0;           // line of the last field returned
    int fieldNo_ = 0;             // position of the last field on its line
};

}  // namespace textio
