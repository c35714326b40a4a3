// table_records.h -- pieces shared by the readers of the model tables.
//
// Exports: RecordPlace, DescribeRecord, RecordLength, ReadTableValue,
// NoteRecordLine, RecordLine, RecordWhere, TableRow.
//
// A record of a model table belongs to one compartment (and, in the
// per-state-variable tables, to one state variable). These helpers size a
// record from the compartment's interface count and read its values, so that
// every failure names the file, the line, the compartment and the state
// variable in the user's terms.
#pragma once

#include <string>
#include <vector>

#include "model/model_state.h"
#include "textio/text_reader.h"

namespace ostra {

// Where a record sits: its file, its state variable (0 in the tables that
// have none) and its compartment.
struct RecordPlace {
    const char* file;
    Integer ISV;
    Integer I;
};

// "compartment 3" or "state variable 2, compartment 3".
std::string DescribeRecord(const RecordPlace& at);

// Number of values in the record of compartment at.I: base + perInterface x
// NAS(I), or 0 when that is below 1 (the compartment has no record). Ends the
// run through Error when NAS(I) exceeds NAS, since the record would not fit
// the table.
int RecordLength(ModelState& s, const RecordPlace& at, int base, int perInterface);

// Remembers that the record of table row `row` starts on the line `in` is at.
void NoteRecordLine(std::vector<int>& lines, int row, const textio::TextReader& in);

// "file \"Flows.csv\", record on line 5 (state variable 1, compartment 2)",
// or without the line when it is not known.
std::string RecordWhere(const char* file, const std::vector<int>& lines, int row, Integer ISV, Integer I);

// The line on which the record of table row `row` starts; 0 when not known.
int RecordLine(const std::vector<int>& lines, int row);

// The row of state variable ISV and compartment I in the per-state-variable
// tables: (ISV - 1) x NT + I.
int TableRow(const ModelState& s, Integer ISV, Integer I);

// Reads value J of the record at `at` as a Single. A missing, empty or
// unparsable field throws textio::DataError naming the file, line and field
// and, after them, the value, record, compartment and state variable.
Single ReadTableValue(textio::TextReader& in, const RecordPlace& at, int J);

}  // namespace ostra
