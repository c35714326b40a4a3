// loads.h -- the load vector: external loads and boundary contributions.
//
// Exports: ForceFn.
#pragma once

#include "model/model_state.h"

namespace ostra {

// Fills B (NEQN, mass per time per unit WC) for Time: compartment mode from
// the block of "Loads.csv" whose window holds Time, plus BBC (sign reversed,
// and BBC scaled by XScale in place, for a steady run); equation-solver mode
// from "BEqnSolver.csv". Keeps the loads as read in MBLoads when
// MassBalanceOn. Runs the loads companion first when the loads vary in time
// and writes "B.dng" during the dump step of a dynamic run. Ends the run
// through Error on a load record without an equation; a file that ends
// before its terminators ends it with a message naming file and line.
void ForceFn(ModelState& s, Double Time, DVector& BBC, DVector& B);

}  // namespace ostra
