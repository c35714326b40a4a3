// table_records.cpp -- sizing and reading the records of the model tables.
#include "model/table_records.h"

#include "model/error.h"
#include "model/table_readers.h"
#include "textio/errors.h"

namespace ostra {

std::string DescribeRecord(const RecordPlace& at) {
    std::string text;
    if (at.ISV > 0) text = "state variable " + std::to_string(at.ISV) + ", ";
    return text + "compartment " + std::to_string(at.I);
}

int RecordLength(ModelState& s, const RecordPlace& at, int base, int perInterface) {
    const Integer nas = CompartmentNAS(s, at.I);
    if (nas > s.opt.NAS) {
        Error(s, "NAS(I) = " + std::to_string(nas) + " > NAS = " + std::to_string(s.opt.NAS) +
                     " for compartment " + std::to_string(at.I) + " (column 2 of \"Compartments.csv\"): " +
                     "the record of " + DescribeRecord(at) + " in \"" + at.file +
                     "\" does not fit the table");
    }
    // Computed in int: a large negative NAS(I) simply means no record.
    const int length = base + perInterface * static_cast<int>(nas);
    return length < 1 ? 0 : length;
}

void NoteRecordLine(std::vector<int>& lines, int row, const textio::TextReader& in) {
    if (lines.size() <= static_cast<std::size_t>(row)) lines.resize(static_cast<std::size_t>(row) + 1, 0);
    lines[static_cast<std::size_t>(row)] = in.Line();
}

int RecordLine(const std::vector<int>& lines, int row) {
    return row >= 0 && static_cast<std::size_t>(row) < lines.size() ? lines[static_cast<std::size_t>(row)] : 0;
}

std::string RecordWhere(const char* file, const std::vector<int>& lines, int row, Integer ISV, Integer I) {
    std::string text = "file \"" + std::string(file) + "\"";
    const int line = RecordLine(lines, row);
    if (line > 0) text += ", record on line " + std::to_string(line);
    return text + " (" + DescribeRecord(RecordPlace{file, ISV, I}) + ")";
}

int TableRow(const ModelState& s, Integer ISV, Integer I) { return (ISV - 1) * s.setup.NT + I; }

Single ReadTableValue(textio::TextReader& in, const RecordPlace& at, int J) {
    try {
        return in.ReadSingle("");
    } catch (const textio::DataError& e) {
        // The record first, then what sets the number of records (the
        // reader's count note, when the file ended early).
        std::string what = e.what(), note;
        const std::string counted = "; " + in.CountNote();
        if (!in.CountNote().empty() && what.size() >= counted.size() &&
            what.compare(what.size() - counted.size(), counted.size(), counted) == 0) {
            what.resize(what.size() - counted.size());
            note = counted;
        }
        throw textio::DataError(what + " -- value " + std::to_string(J) + " of the record of " +
                                DescribeRecord(at) + note);
    }
}

}  // namespace ostra
