// model_check.h -- `ostra --check`: a run up to its first step, and what it found.
//
// Exports: CheckModel, CheckSummary.
#pragma once

#include <string>

#include "model/model_state.h"

namespace ostra {

// After ReadControl and SetupRun: everything a run does before its first
// step or solve -- the tables at time 0 (starting the companion programs of
// time-variable tables as a run does), the initial values, the transport
// assembly with its flow balance and equation numbering, the sources, sinks
// and loads at time 0, the mass-balance set-up and the positivity criterion
// (recorded as a warning instead of asked). Writes no result file. Ends the
// run through Error on the faults a run would meet there. Companion programs
// of nonlinear terms, which a run starts only in its first step, are looked
// for and a missing one is recorded as a warning.
void CheckModel(ModelState& s);

// The model summary of a check that found no fault: mode, scheme, time
// step, equations, compartments, interfaces, companion programs, files read
// and warnings, one item a line.
std::string CheckSummary(ModelState& s);

}  // namespace ostra
