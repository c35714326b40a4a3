// time_integration.h -- the steady-state solution and the time loop.
//
// Exports: SteadyState, TimeLoop.
#pragma once

#include "model/model_state.h"

namespace ostra {

// Steady state: parameters at time 0, assembly, "A.dng" and "B.dng", one
// solve (or Newton iteration for a nonlinear run), then "ProfileSnapshot.csv"
// stamped -999. Ends the run through Error on the data errors of the
// procedures it calls.
void SteadyState(ModelState& s);

// The dynamic run, after PrepareDynamicRun: NumTimeSteps steps of the scheme
// DynType (1 explicit Euler, 2 MacCormack, 3 implicit Euler, 4 Crank-Nicolson,
// or Newton iteration at every step), each followed by its result row
// (stamped t + DELT) and mass-balance bookkeeping. Writes
// "EulerStabilityInfo.dng" for explicit Euler in compartment mode. Ends the
// run through Error when MacCormack is not applicable, a storage of zero
// would divide an explicit update or a step leaves a concentration that is
// not a finite number. A run without steps ends with the initial
// concentrations in c.
void TimeLoop(ModelState& s);

}  // namespace ostra
