// table_oracles.h -- second opinions on the tables that are kept as parsed.
//
// Exports: PrepareTimeZero, CheckMultiplierLookups, CheckLoadsReading,
// CheckSourcesReading.
//
// "FlowandEMultipliers.csv", "Loads.csv", "VolumeSrcSnks.csv" and
// "AreaSrcSnks.csv" are parsed once and kept while their bytes stay the
// same; the program promises that this answers exactly as reading the file
// afresh at every use. Each check below compares the two on the model in
// the scratch directory and aborts (Finding) on any difference: a value, a
// matrix element, a mass-balance record or the message of a read error.
#pragma once

#include "model/model_state.h"

namespace ostra::fuzz {

// Reads "Control.csv", sets the run up and reads every table at time 0, as
// a check of the model does (no result file is created). True when the
// tables are in place, whatever happened after them.
bool PrepareTimeZero(ModelState& s);

// Every multiplier lookup the transport assembly makes, and a few it never
// makes, by the kept records and by a fresh scan of the file.
void CheckMultiplierLookups(ModelState& s);

// The load vector at every time level of the run, by the kept time blocks
// and by a fresh reading of "Loads.csv" for each time.
void CheckLoadsReading(ModelState& s);

// The coefficient matrix and mass-balance lists of the sources and sinks,
// by the kept records (twice) and by a fresh reading of both files.
void CheckSourcesReading(ModelState& s);

}  // namespace ostra::fuzz
