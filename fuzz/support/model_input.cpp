// model_input.cpp -- the input of the whole-run harness: an example model and
// the tables that replace some of its own.
//
// Exports (model_input.h): ParseModelInput, SerializeModelInput,
// MutateModelInput, CrossOverModelInputs.
#include "support/model_input.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <random>
#include <vector>

#include "support/scratch_model.h"
#include "textio/file_names.h"

extern "C" std::size_t LLVMFuzzerMutate(std::uint8_t* data, std::size_t size, std::size_t maxSize);

namespace ostra::fuzz {
namespace {

constexpr std::size_t MAX_TABLE = 0xFFFF;

std::size_t TableNumber(const std::string& name) {
    const auto& names = TableNames();
    return static_cast<std::size_t>(std::find(names.begin(), names.end(), name) - names.begin());
}

// The bytes of table `name` in example `e`, if it has one.
const std::string* ExampleTable(const ExampleModel& e, const std::string& name) {
    for (const auto& [file, bytes] : e.tables)
        if (textio::LowerCase(file) == textio::LowerCase(name)) return &bytes;
    return nullptr;
}

// A starting point for table `name` in example `example`: its own table, or
// the first other example's that has one, or nothing.
std::string SeedTable(std::size_t example, const std::string& name) {
    const auto& all = Examples();
    if (const std::string* own = ExampleTable(all[example], name)) return *own;
    for (const ExampleModel& e : all)
        if (const std::string* other = ExampleTable(e, name)) return *other;
    return "";
}

std::size_t Write(const std::string& bytes, std::uint8_t* out, std::size_t maxSize) {
    if (bytes.size() > maxSize) return 0;
    std::memcpy(out, bytes.data(), bytes.size());
    return bytes.size();
}

// `text` with line `number` (1-based; its line end kept) holding `value`.
// A text of fewer lines gets empty lines and then the line at its end, each
// ended as its first line is (CR LF or LF).
std::string WithLine(const std::string& text, std::size_t number, const std::string& value) {
    const std::size_t firstEnd = text.find('\n');
    const bool crlf = firstEnd != std::string::npos && firstEnd > 0 && text[firstEnd - 1] == '\r';
    const std::string eol = crlf ? "\r\n" : "\n";
    std::size_t start = 0, line = 1;
    while (line < number) {
        const std::size_t nl = text.find('\n', start);
        if (nl == std::string::npos) break;
        start = nl + 1;
        ++line;
    }
    if (line == number && start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        if (end > start && text[end - 1] == '\r') --end;
        return text.substr(0, start) + value + text.substr(end);
    }
    // Lines 1 .. line - 1 are complete (or the text ends in a line without its end).
    std::string out = text;
    if (!out.empty() && out.back() != '\n') {
        out += eol;
        ++line;
    }
    for (; line < number; ++line) out += eol;
    return out + value + eol;
}

// libFuzzer's mutation of `bytes`, allowed to grow to `room` bytes.
void MutateBytes(std::string& bytes, std::size_t room) {
    room = std::min(room, MAX_TABLE);
    if (room == 0) return;
    const std::size_t size = std::min(bytes.size(), room);
    std::vector<std::uint8_t> buffer(room);
    std::memcpy(buffer.data(), bytes.data(), size);
    const std::size_t n = LLVMFuzzerMutate(buffer.data(), size, room);
    bytes.assign(reinterpret_cast<const char*>(buffer.data()), n);
}

}  // namespace

ModelInput ParseModelInput(const std::uint8_t* data, std::size_t size) {
    ModelInput in;
    if (size == 0) return in;
    in.example = data[0] % Examples().size();
    in.fdColumns = (data[0] / Examples().size()) % 2 == 1;
    std::size_t p = 1;
    const auto& names = TableNames();
    while (p < size) {
        const std::string& name = names[data[p] % names.size()];
        std::size_t n = 0;
        if (p + 1 < size) n = data[p + 1];
        if (p + 2 < size) n |= static_cast<std::size_t>(data[p + 2]) << 8;
        p += 3;
        const std::size_t start = std::min(p, size);
        const std::size_t end = std::min(size, start + n);
        in.tables[name] = std::string(reinterpret_cast<const char*>(data + start), end - start);
        p = end;
    }
    return in;
}

std::string SerializeModelInput(const ModelInput& input) {
    std::string out(1, static_cast<char>(input.example + (input.fdColumns ? Examples().size() : 0)));
    for (const auto& [name, bytes] : input.tables) {
        const std::size_t n = std::min(bytes.size(), MAX_TABLE);
        out.push_back(static_cast<char>(TableNumber(name)));
        out.push_back(static_cast<char>(n & 0xFF));
        out.push_back(static_cast<char>(n >> 8));
        out.append(bytes, 0, n);
    }
    return out;
}

std::size_t MutateModelInput(std::uint8_t* data, std::size_t size, std::size_t maxSize, unsigned seed) {
    std::minstd_rand random(seed);
    auto pick = [&](std::size_t n) { return static_cast<std::size_t>(random() % n); };
    ModelInput in = ParseModelInput(data, size);
    const auto& names = TableNames();
    const std::size_t choice = pick(100);
    auto overhead = [&] { return SerializeModelInput(in).size(); };

    if (choice < 8 || size == 0) {
        // Another example, the replacements kept.
        in.example = pick(Examples().size());
    } else if (choice < 14 && !in.tables.empty()) {
        // One replacement dropped.
        auto it = in.tables.begin();
        std::advance(it, static_cast<long>(pick(in.tables.size())));
        in.tables.erase(it);
    } else if (choice < 30 || in.tables.empty()) {
        // A table newly replaced, starting from a valid one, mutated once.
        const std::string& name = names[pick(names.size())];
        std::string bytes = in.tables.count(name) ? in.tables[name] : SeedTable(in.example, name);
        in.tables[name] = bytes;
        const std::size_t used = overhead();
        if (used < maxSize) MutateBytes(bytes, bytes.size() + (maxSize - used));
        in.tables[name] = bytes;
    } else if (choice < 36) {
        // A replaced table taken from the example as it stands (undoing a mutation).
        auto it = in.tables.begin();
        std::advance(it, static_cast<long>(pick(in.tables.size())));
        it->second = SeedTable(in.example, it->first);
    } else if (choice < 46) {
        // One choice of how the run solves, the rest of "Control.csv" kept.
        const std::size_t which = pick(3);
        if (which == 2) {
            in.fdColumns = !in.fdColumns;
        } else {
            if (in.tables.count("Control.csv") == 0) in.tables["Control.csv"] = SeedTable(in.example, "Control.csv");
            std::string& control = in.tables["Control.csv"];
            if (which == 0)
                control = WithLine(WithLine(control, 73, "Linear solver"), 74, pick(2) ? "SPARSE-LU" : "GAUSS-JORDAN");
            else
                control = WithLine(control, 34, pick(2) ? "Y" : "N");  // pair 17, the analytic Jacobian
        }
    } else if (choice < 50) {
        // libFuzzer's mutation of the input as a whole.
        return LLVMFuzzerMutate(data, size, maxSize);
    } else {
        // The bytes of one replaced table mutated.
        auto it = in.tables.begin();
        std::advance(it, static_cast<long>(pick(in.tables.size())));
        const std::size_t used = overhead();
        if (used < maxSize) MutateBytes(it->second, it->second.size() + (maxSize - used));
    }
    const std::size_t n = Write(SerializeModelInput(in), data, maxSize);
    return n > 0 ? n : LLVMFuzzerMutate(data, size, maxSize);
}

std::size_t CrossOverModelInputs(const std::uint8_t* a, std::size_t aSize, const std::uint8_t* b,
                                 std::size_t bSize, std::uint8_t* out, std::size_t maxOutSize, unsigned seed) {
    std::minstd_rand random(seed);
    ModelInput first = ParseModelInput(a, aSize);
    const ModelInput second = ParseModelInput(b, bSize);
    if (!second.tables.empty()) {
        // One table of the second input joins (or replaces the same table of) the first.
        auto it = second.tables.begin();
        std::advance(it, static_cast<long>(random() % second.tables.size()));
        first.tables[it->first] = it->second;
    }
    return Write(SerializeModelInput(first), out, maxOutSize);
}

}  // namespace ostra::fuzz
