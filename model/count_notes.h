// count_notes.h -- where the number of values a table must hold comes from,
// for the message of a table that ends too early.
//
// Exports: CompartmentCountNote, TableCountNote, EquationCountNote.
//
// Most tables hold one record per compartment or per state variable and
// compartment, so their length follows from the counts of "Control.csv"
// (pair 4 NEQN, pair 5 NSV and NT); a count one too large there shows as a
// table that ends early. The notes name that count and its place, as
// textio::TextReader::SetCountNote adds them to an end-of-file message.
#pragma once

#include <string>

#include "model/model_state.h"

namespace ostra {

// "\"Control.csv\" pair 5 (line 10) gives NT = NTCount1 + NTCount2 = 8
// compartments, so the file needs " + `needs`.
std::string CompartmentCountNote(const ModelState& s, const std::string& needs);

// The same with NSV: "... gives NSV = 2 state variables and NT = ... = 8
// compartments, so the file needs " + `needs`; `perRecord` > 0 makes
// `needs` "NSV x NT = 16 records of <perRecord> values".
std::string TableCountNote(const ModelState& s, int perRecord, const std::string& needs = "");

// "\"Control.csv\" pair 4 (line 8) gives NEQN = 3 equations" in equation-
// solver mode, "\"SVCompmap.csv\" gives NEQN = 3 equations" in compartment
// mode; then ", so the file needs " + `needs`.
std::string EquationCountNote(const ModelState& s, const std::string& needs);

}  // namespace ostra
