// fuzz_text_reader.cpp -- libFuzzer harness of the field reader of every
// input file (textio::TextReader) on arbitrary bytes.
//
// Exports: LLVMFuzzerTestOneInput.
//
// Input: byte 0 is the number n of operation bytes (taken modulo 65), the
// next n bytes are the operations, the rest is the content of the file. Each
// operation byte selects a reader call (ReadLine, TryReadLine, the typed
// fields, MoreFieldsOnLine, AtEnd, Save, Restore, Where). Besides crashes
// and sanitizer reports, the harness aborts when the reader breaks one of
// its promises:
//   - a number read as Single or Double is finite;
//   - a line returned holds no line feed;
//   - a message of a read error shows no control character (VisibleText);
//   - Line() does not go back, except by Restore;
//   - AtEnd() is true exactly when the next field cannot be read, and then
//     no line can be read either;
//   - MoreFieldsOnLine() true means a next field exists and, right after a
//     field was read, that it stands on the same line;
//   - TryReadLine() is false exactly when ReadLine() throws;
//   - after Restore(p) the reader reads exactly as it did after Save() gave p.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "support/scratch_model.h"
#include "textio/errors.h"
#include "textio/text_reader.h"

namespace {

using ostra::fuzz::Finding;
using textio::TextReader;

void CheckMessage(const std::string& message) {
    for (char ch : message) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7F)
            Finding("a read error message holds the control byte " + std::to_string(c) + ": " +
                    textio::VisibleText(message));
    }
}

// The outcome of one call, for comparing two readers.
struct Outcome {
    bool thrown = false;
    std::string text;  // the value as text, or the message
    int line = 0;
    bool operator==(const Outcome&) const = default;
};

Outcome Call(TextReader& in, unsigned op) {
    Outcome o;
    try {
        switch (op % 8) {
            case 0: o.text = in.ReadLine("a line"); break;
            case 1: {
                std::string line;
                o.text = in.TryReadLine(line) ? "line:" + line : "end";
                break;
            }
            case 2: o.text = std::to_string(in.ReadInteger("an integer")); break;
            case 3: o.text = std::to_string(in.ReadLong("a long")); break;
            case 4: {
                const float v = in.ReadSingle("a single");
                if (!std::isfinite(v)) Finding("ReadSingle returned a value that is not finite");
                o.text = std::to_string(v);
                break;
            }
            case 5: {
                const double v = in.ReadDouble("a double");
                if (!std::isfinite(v)) Finding("ReadDouble returned a value that is not finite");
                o.text = std::to_string(v);
                break;
            }
            case 6: o.text = in.ReadString("a text"); break;
            default: o.text = in.AtEnd() ? "at end" : "more"; break;
        }
        if ((op % 8 == 0 || op % 8 == 1) && o.text.find('\n') != std::string::npos)
            Finding("a line returned by the reader holds a line feed");
    } catch (const textio::DataError& e) {
        o.thrown = true;
        o.text = e.what();
        CheckMessage(o.text);
    }
    o.line = in.Line();
    return o;
}

void CheckAtEnd(const TextReader& in) {
    TextReader probe = in;
    const bool atEnd = probe.AtEnd();
    TextReader field = probe;
    bool read = true;
    try {
        (void)field.ReadString("a text");
    } catch (const textio::DataError&) {
        read = false;
    }
    if (atEnd == read) Finding(std::string("AtEnd() is ") + (atEnd ? "true" : "false") +
                               " but the next field " + (read ? "can" : "cannot") + " be read");
    if (atEnd) {
        std::string line;
        TextReader lines = probe;
        if (lines.TryReadLine(line)) Finding("AtEnd() is true but a further line can be read");
    }
}

// `afterField`: the last call read a field, so Line() is the line the
// reader stands on.
void CheckMoreFields(const TextReader& in, bool afterField) {
    if (!in.MoreFieldsOnLine()) return;
    TextReader probe = in;
    const int line = probe.Line();
    try {
        (void)probe.ReadString("a text");
    } catch (const textio::DataError& e) {
        Finding(std::string("MoreFieldsOnLine() is true but no field can be read: ") + e.what());
    }
    if (afterField && probe.Line() != line)
        Finding("MoreFieldsOnLine() is true but the next field is on line " + std::to_string(probe.Line()) +
                ", not " + std::to_string(line));
}

void CheckTryReadLine(const TextReader& in) {
    TextReader a = in, b = in;
    std::string line;
    const bool got = a.TryReadLine(line);
    bool thrown = false;
    std::string other;
    try {
        other = b.ReadLine("a line");
    } catch (const textio::DataError&) {
        thrown = true;
    }
    if (got == thrown || (got && line != other))
        Finding("TryReadLine() and ReadLine() disagree on the next line");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::size_t nOps = std::min<std::size_t>(data[0] % 65, size - 1);
    const std::vector<std::uint8_t> ops(data + 1, data + 1 + nOps);
    const std::string content(reinterpret_cast<const char*>(data + 1 + nOps), size - 1 - nOps);

    CheckMessage(textio::VisibleText(content));
    TextReader in = TextReader::FromContent("fuzz.csv", content);
    bool saved = false;
    TextReader::Position position{};
    TextReader atSave = in;
    int lastLine = 0;
    bool afterField = false;
    for (std::size_t k = 0; k < ops.size(); ++k) {
        const unsigned op = ops[k];
        CheckAtEnd(in);
        CheckMoreFields(in, afterField);
        CheckTryReadLine(in);
        if (op % 16 == 8) {
            position = in.Save();
            atSave = in;
            saved = true;
            continue;  // Save() changes nothing
        }
        if (op % 16 == 9 && saved) {
            in.Restore(position);
            lastLine = in.Line();
            afterField = false;
            // The restored reader and the copy made at Save() read alike.
            TextReader a = in, b = atSave;
            for (std::size_t j = k + 1; j < ops.size() && j < k + 9; ++j)
                if (!(Call(a, ops[j]) == Call(b, ops[j])))
                    Finding("a reader restored to a saved position reads otherwise than it did there");
            continue;
        }
        if (op % 16 == 10) {
            const std::string where = in.Where();
            if (where.find("fuzz.csv") == std::string::npos) Finding("Where() does not name the file");
            continue;
        }
        const Outcome o = Call(in, op);
        afterField = !o.thrown && op % 8 >= 2 && op % 8 <= 6;
        if (in.Line() < lastLine) Finding("Line() went back from " + std::to_string(lastLine) + " to " +
                                          std::to_string(in.Line()) + " without a Restore");
        lastLine = in.Line();
    }
    return 0;
}
