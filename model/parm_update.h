// parm_update.h -- bringing the model tables up to date for a time.
//
// Exports: ParmUpdate.
#pragma once

#include "model/model_state.h"

namespace ostra {

// Reads every table at Time = 0 and, at later times, refreshes the tables
// declared time-variable (asking each one's companion program first); then
// rebuilds SectnToEqn, EqnToSectn, EqnVolume, EqnRetard ("ENVS" mode) or
// reads A and RVDiag ("EQNS" mode), and refreshes the upwind weights when
// VariableAlpha. Ends the run through Error on inconsistent data.
void ParmUpdate(ModelState& s, Double Time, DSparse& A);

}  // namespace ostra
