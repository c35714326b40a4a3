// result_file.cpp -- header, rows and trailing text of a result file.
#include "window/result_file.h"

#include <charconv>
#include <cmath>
#include <fstream>
#include <sstream>
#include <system_error>

namespace ostra::window {
namespace {

constexpr const char* BLANKS = " \t\r";

// The fields of one line; a comma that ends the line opens no field.
std::vector<std::string> SplitFields(const std::string& line) {
    std::vector<std::string> fields;
    std::string::size_type start = 0;
    while (true) {
        const auto comma = line.find(',', start);
        if (comma == std::string::npos) {
            fields.push_back(line.substr(start));
            break;
        }
        fields.push_back(line.substr(start, comma - start));
        start = comma + 1;
    }
    const auto last = line.find_last_not_of(BLANKS);
    if (last != std::string::npos && line[last] == ',') fields.pop_back();
    return fields;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    while (!lines.empty() && TrimField(lines.back()).empty()) lines.pop_back();
    return lines;
}

ResultRead Problem(const std::string& text) { return ResultRead{std::nullopt, text}; }

}  // namespace

std::string TrimField(const std::string& field) {
    const auto first = field.find_first_not_of(BLANKS);
    if (first == std::string::npos) return "";
    const auto last = field.find_last_not_of(BLANKS);
    return field.substr(first, last - first + 1);
}

std::optional<double> ParseNumber(const std::string& field) {
    const std::string t = TrimField(field);
    if (t.empty()) return std::nullopt;
    double value = 0;
    const char* end = t.data() + t.size();
    const auto [ptr, ec] = std::from_chars(t.data(), end, value, std::chars_format::general);
    if (ec != std::errc() || ptr != end || !std::isfinite(value)) return std::nullopt;
    return value;
}

ResultRead ParseResultText(const std::string& text, const std::string& name) {
    const std::vector<std::string> lines = Lines(text);
    if (lines.empty()) return Problem("\"" + name + "\" is empty");

    ResultTable table;
    for (const std::string& field : SplitFields(lines[0])) table.header.push_back(TrimField(field));
    const std::size_t columns = table.header.size();
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::string where = "\"" + name + "\", line " + std::to_string(i + 1);
        if (TrimField(lines[i]).empty()) continue;
        const std::vector<std::string> fields = SplitFields(lines[i]);
        if (!ParseNumber(fields[0])) {
            table.trailer.push_back(TrimField(lines[i]));
            continue;
        }
        if (!table.trailer.empty())
            return Problem(where + ": a row of numbers after the text \"" + table.trailer.front() + "\"");
        if (fields.size() != columns)
            return Problem(where + " has " + std::to_string(fields.size()) + " fields, the header names " +
                           std::to_string(columns));
        std::vector<double> row;
        row.reserve(columns);
        for (std::size_t k = 0; k < fields.size(); ++k) {
            const std::optional<double> value = ParseNumber(fields[k]);
            if (!value)
                return Problem(where + ", field " + std::to_string(k + 1) + ": \"" + TrimField(fields[k]) +
                               "\" is not a number");
            row.push_back(*value);
        }
        table.rows.push_back(std::move(row));
    }
    return ResultRead{std::move(table), ""};
}

ResultRead ReadResult(const std::filesystem::path& path) {
    const std::string name = path.filename().string();
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) return Problem("\"" + name + "\" is missing");
    std::ifstream in(path, std::ios::binary);
    if (!in || !std::filesystem::is_regular_file(path, ec)) return Problem("\"" + name + "\" cannot be read");
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) return Problem("\"" + name + "\" cannot be read");
    return ParseResultText(text.str(), name);
}

}  // namespace ostra::window
