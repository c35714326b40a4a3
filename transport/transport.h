// transport.h -- advective and dispersive transport coefficients and their
// assembly into the coefficient matrix.
//
// Exports: Transport, LoadATrans, LoadATransForStep.
#pragma once

#include "model/model_state.h"

namespace ostra {

// Adds the transport coefficients of state variable ISV (1..NSV) into Asm
// (NEQNsm(ISV) x NEQNsm(ISV), 1-based local equation numbers SectnToEqn) and
// Bsm (known boundary terms), all in Single: net transport into a compartment
// = sum of Asm x C + Bsm. Writes one
// MBBoundary record per interface to a non-interior compartment when
// MassBalanceOn, counting MBBoundaryRowCount on. Ends the run through Error
// on inconsistent tables and on a violated flow balance.
void Transport(ModelState& s, SSparse& Asm, SVector& Bsm, Integer ISV);

// Clears A (NEQN x NEQN) and BBC (NEQN), recomputes NEQNsm and fills A and
// BBC with one diagonal block per state variable from Transport, widened to
// Double. A receives only the elements Transport gives; every other element
// reads 0, as in a cleared dense matrix. Ends the run through Error when a state variable has no interior
// compartment or, with MassBalanceOn, when the records written differ from
// MBBoundaryLength.
void LoadATrans(ModelState& s, DSparse& A, DVector& BBC);

// LoadATrans for the assembly of a time step. Where no table is re-read in
// the run (no time-variable table but the loads), no upwind weight is
// computed and "FlowandEMultipliers.csv" holds the bytes it was parsed from,
// the inputs of the last assembly stand, and so does what it gave: A, BBC and
// the mass-balance records of the transport part are taken from a copy kept
// by that assembly instead of being formed again (the same bits). Otherwise
// as LoadATrans.
void LoadATransForStep(ModelState& s, DSparse& A, DVector& BBC);

}  // namespace ostra
