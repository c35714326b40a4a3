// equation_numbers.h -- global equation numbers of (state variable, compartment)
// pairs for the source, sink, load and mass-balance code.
//
// Exports: EquationOffset, EquationOf, RecordAt, RecordEquation, CheckRecordCompartment.
//
// The equations of state variable 1 come first, then those of state variable
// 2, and so on; within a state variable the local number is SectnToEqn.
#pragma once

#include <string>

#include "model/model_state.h"

namespace ostra {

// NEQNsm(1) + ... + NEQNsm(ISV - 1): the number of equations before those
// of state variable ISV (1-based).
int EquationOffset(const ModelState& s, int ISV);

// The global equation number (1..NEQN) of state variable ISV in compartment
// K, or MISSING (-999) when ISV has no equation there. ISV and K must lie in
// 1..NSV and 1..NT.
int EquationOf(const ModelState& s, int ISV, int K);

// Where a record of an input file stands, for messages.
struct RecordAt {
    const char* file;
    int line;
    std::string Where() const;  // "file \"Loads.csv\", line 4"
};

// The global equation of (ISV, K) named by a record of an input file. A
// compartment outside 1..NT, a state variable outside 1..NSV or a pair
// without an equation ends the run through Error with a message naming the
// file and line, the compartment, the state variable and `procedure`.
int RecordEquation(ModelState& s, const RecordAt& at, const char* procedure, int ISV, int K);

// Ends the run through Error when K lies outside 1..NT, naming the file and
// line, the value and `procedure`.
void CheckRecordCompartment(ModelState& s, const RecordAt& at, const char* procedure, int K);

}  // namespace ostra
