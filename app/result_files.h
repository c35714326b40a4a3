// result_files.h -- "AllTimeSeries.csv", "OneCompTimeSeries.csv", "ProfileSnapshot.csv".
//
// Exports: CheckResultChoice, OpenAllTimeSeries, OpenOneCompTimeSeries, AllTimeSeries,
// OneCompTimeSeries, ProfileSnapshot, CheckConcentrations.
#pragma once

#include "model/model_state.h"

namespace ostra {

// The result options of a dynamic compartment-mode run, checked before the
// first step (also by --check): NumSectnPrint names a compartment (else a
// fatal error); a warning when it holds no state variable ("OneCompTimeSeries.csv"
// would hold the times alone) or when ProfileStep is no step of the run (no
// "ProfileSnapshot.csv" would be written).
void CheckResultChoice(ModelState& s);

// Create the time-series file in s.files.TimeSeries and write its header.
void OpenAllTimeSeries(ModelState& s);
void OpenOneCompTimeSeries(ModelState& s);

// One row stamped with CurrentTime.
void AllTimeSeries(ModelState& s, const DVector& c);
void OneCompTimeSeries(ModelState& s, Integer NumSectnPrint, const DVector& c);

// Rewrites "ProfileSnapshot.csv" with one snapshot stamped with CurrentTime.
void ProfileSnapshot(ModelState& s, const DVector& c);

// Ends the run through Error, naming the equation and CurrentTime, when a
// concentration of c(1..NEQN) is not a finite number (a step that overflowed
// or met an invalid operation), whether or not a row is due.
void CheckConcentrations(ModelState& s, const DVector& c);

}  // namespace ostra
