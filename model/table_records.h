// table_records.h -- pieces shared by the readers of the model tables.
//
// Exports: RecordPlace, DescribeRecord, RecordLength, ReadTableValue.
//
// A record of a model table belongs to one compartment (and, in the
// per-state-variable tables, to one state variable). These helpers size a
// record from the compartment's interface count and read its values, so that
// every failure names the file, the line, the compartment and the state
// variable in the user's terms.
#pragma once

#include <string>

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

// Reads value J of the record at `at` as a Single. A missing, empty or
// unparsable field throws textio::DataError naming the file, line and field
// and, after them, the value, record, compartment and state variable.
Single ReadTableValue(textio::TextReader& in, const RecordPlace& at, int J);

}  // namespace ostra
