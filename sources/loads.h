// loads.h -- the load vector: external loads and boundary contributions.
//
// Exports: ForceFn.
#pragma once

#include "model/model_state.h"

namespace ostra {

// Fills B (NEQN) for Time: "ENVS" mode from "Loads.csv" plus BBC (sign
// reversed for a steady run), "EQNS" mode from "BEqnSolver.csv". Runs the
// loads companion first when the loads vary in time. Writes "B.dng" during
// the dump step of a dynamic run.
void ForceFn(ModelState& s, Double Time, DVector& BBC, DVector& B);

}  // namespace ostra
