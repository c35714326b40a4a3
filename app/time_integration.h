// time_integration.h -- the steady-state solution and the time loop.
//
// Exports: SteadyState, TimeLoop.
#pragma once

#include "model/model_state.h"

namespace ostra {

// Steady state: parameters, assembly, dumps, one solve (or Newton), snapshot.
void SteadyState(ModelState& s);

// The dynamic run: NumTimeSteps steps of the scheme DynType, result rows
// and mass-balance bookkeeping.
void TimeLoop(ModelState& s);

}  // namespace ostra
