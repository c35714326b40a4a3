// mass_balance.h -- running mass account and "MassBalance.csv".
//
// Exports: MassBalanceSetup, MassBalanceCountBoundaries, MassBalanceStep,
// MassBalanceReport.
//
// Every function does nothing unless MassBalanceOn (a dynamic compartment
// run without f(C) term).
#pragma once

#include "model/model_state.h"

namespace ostra {

// Sizes the accumulators and records (NSV, NEQN, MaxNSVxNT), zeroes MBIn and
// MBOut and empties the source/sink lists. Call after the first parameter
// update.
void MassBalanceSetup(ModelState& s);

// Counts MBBoundaryLength, the interfaces between interior compartments and
// non-interior neighbours over all state variables, and sizes MBBoundary.
// Call in the first step, before the first assembly.
void MassBalanceCountBoundaries(ModelState& s);

// Adds one step's fluxes: c (NEQN) at the end of the step, DELT, and the
// records left by the step's assembly. Ends the run through Error on a
// boundary concentration that cannot be formed or an area-based source.
void MassBalanceStep(ModelState& s, const DVector& c);

// Initial and final masses with the tables in force now, balance errors and
// "MassBalance.csv". Ends the run through Error (after the rows are
// written) when the initial and input masses sum to zero.
void MassBalanceReport(ModelState& s, const DVector& c);

}  // namespace ostra
