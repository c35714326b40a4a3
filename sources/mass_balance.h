// mass_balance.h -- running mass account and "MassBalance.csv".
//
// Exports: MassBalanceSetup, MassBalanceCountBoundaries, MassBalanceStep,
// MassBalanceReport.
#pragma once

#include "model/model_state.h"

namespace ostra {

// Sizes the accumulators and zeroes MBIn and MBOut (after the first parameter update).
void MassBalanceSetup(ModelState& s);

// Counts MBBoundaryLength and sizes MBBoundary (first step, before assembly).
void MassBalanceCountBoundaries(ModelState& s);

// Adds one step's fluxes: c at the end of the step, DELT, and the records
// left by the step's assembly.
void MassBalanceStep(ModelState& s, const DVector& c);

// Initial and final masses, balance errors and "MassBalance.csv".
void MassBalanceReport(ModelState& s, const DVector& c);

}  // namespace ostra
