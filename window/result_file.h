// result_file.h -- reading a result file of a run into numbers for drawing.
//
// Exports: ResultTable, ReadResult, ParseResultText, ParseNumber, TrimField.
//
// Result files are comma-separated: one header line, then rows of numbers
// written as " .5 ", "-2.5 ", " 1.5E-05 ", time-series rows ending with a
// comma (which opens no field). Lines that are not rows may follow the rows
// (the percentage line of "MassBalance.csv"). A file of a run that ended
// early has the same layout, with the rows written until then; the window
// knows such a run from its exit status and "Error.dng", not from the file.
// Nothing here needs Qt.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace ostra::window {

struct ResultTable {
    std::vector<std::string> header;        // trimmed fields of the first line
    std::vector<std::vector<double>> rows;  // each with header.size() values
    std::vector<std::string> trailer;       // text lines after the rows, trimmed
};

// The outcome of reading one file: the table, or why there is none.
struct ResultRead {
    std::optional<ResultTable> table;
    std::string problem;  // empty when table holds a value
};

// Removes blanks, tabs and a CR around a field.
std::string TrimField(const std::string& field);

// A number as the result files write it (" .5 ", "-999 ", " 1E-05 ");
// nothing when the field, trimmed, is not exactly one number.
std::optional<double> ParseNumber(const std::string& field);

// Parses the text of a result file; `name` only names the file in problems.
ResultRead ParseResultText(const std::string& text, const std::string& name);

// Reads and parses the file at `path`: missing, unreadable, empty or
// malformed files give a problem that names the file.
ResultRead ReadResult(const std::filesystem::path& path);

}  // namespace ostra::window
