// table_readers.h -- readers of the compartment-mode model tables.
//
// Exports: CompartmentNAS, CompartmentCountHint, AdjacentCompartment, ReadCompartments, ReadInterfaces, ReadFlows,
// ReadECoef, ReadKdandTempCoef, ReadBoundary, ReadFlowandEMultipliers,
// ReadFlowandEMultipliersFromFile, InvalidateMultipliers, CheckMultipliersAgain,
// LookAtMultipliers.
//
// Each reader opens its file in the model directory, skips the header line,
// reads its records field by field into the table sized by the run set-up
// (overwriting in place, values beyond a record keeping what they held) and
// closes the file. Check failures end the run through Error with the
// system's message; unreadable data ends it with a message naming the file,
// line and field.
#pragma once

#include "model/model_state.h"

namespace ostra {

// NAS(I): the number of interfaces of compartment I (1-based), column 2 of
// Compartment rounded to the nearest Integer, halves to even. Ends the run
// through Error when the value lies outside the Integer range.
Integer CompartmentNAS(ModelState& s, Integer I);

// The adjacent compartment of interface n (1-based) of compartment I: the
// Inface value in column 2 + 5 (n - 1) rounded to the nearest Integer, halves
// to even. Ends the run through Error, naming "Interfaces.csv", the
// compartment, the interface and the value, when it lies outside the Integer
// range. Other checks (-999, a number that is no compartment) are the caller's.
Integer AdjacentCompartment(ModelState& s, Integer I, int n);

// For a message about compartment number K outside 1..NT: when
// "Compartments.csv" holds more records than the NT of "Control.csv" pair 5,
// says so (the count there is then the likely fault); else "".
std::string CompartmentCountHint(ModelState& s, int K);

// "Compartments.csv" -> Compartment (NT x 10). Checks Compartment(I, 1) = I.
void ReadCompartments(ModelState& s);

// "Interfaces.csv" -> Inface; record I holds 1 + 5 NAS(I) values. Sets
// VariableAlpha when a weighting factor differs from 1 (never resets it).
void ReadInterfaces(ModelState& s);

// "Flows.csv" -> Flow; NSV x NT records of 2 + 2 NAS(I) values.
void ReadFlows(ModelState& s);

// "ECoefficients.csv" -> ECoef; same shape as the flow table.
void ReadECoef(ModelState& s);

// "linearKdandTempCoef.csv" -> KdTempCoef; NSV x NT records of 4 values.
void ReadKdandTempCoef(ModelState& s);

// "BOUNDARY.csv" -> Boundary; NSV x NT records of 3 values.
void ReadBoundary(ModelState& s);

// Multipliers of matrix entry (CompRow, CompCol) for the interface
// (IntI, IntJ) of state variable ISV from "FlowandEMultipliers.csv": the
// first record whose state variable, row and column compartments match in
// order and whose interface pair matches in either order. Both are 1 when no
// record matches. The records are parsed at the first lookup after
// InvalidateMultipliers and kept; a record cut short or unreadable ends the
// run only when no record before it matches.
void ReadFlowandEMultipliers(ModelState& s, Integer ISV, Integer CompRow, Integer CompCol,
                             Integer IntI, Integer IntJ, Single& EMult, Single& QMult);

// The same lookup by a fresh scan of the file that stops at the first
// matching record, as the cached lookup behaves; kept for measurement and
// for checking the cache against it.
void ReadFlowandEMultipliersFromFile(ModelState& s, Integer ISV, Integer CompRow, Integer CompCol,
                                     Integer IntI, Integer IntJ, Single& EMult, Single& QMult);

// Forgets parsed multiplier records, so the next lookup parses the file again.
void InvalidateMultipliers(ModelState& s);

// Makes the next lookup look at the file (one stat) and parse it again if
// its bytes have changed: called at the start of every assembly.
void CheckMultipliersAgain(ModelState& s);

// The look at the file that the first lookup of an assembly makes (once per
// assembly; later calls return true): true when it still holds the bytes its
// records were parsed from, false when it changed (the records are dropped
// and parsed again at the next lookup). Ends the run where the file can no
// longer be read.
bool LookAtMultipliers(ModelState& s);

}  // namespace ostra
