// transport.h -- advective and dispersive transport coefficients and their
// assembly into the coefficient matrix.
//
// Exports: Transport, LoadATrans.
#pragma once

#include "model/model_state.h"

namespace ostra {

// Adds the transport coefficients of state variable ISV into Asm
// (NEQNsm(ISV) x NEQNsm(ISV), local equation numbers) and Bsm (boundary
// terms), all in Single; writes MBBoundary records when MassBalanceOn.
// Ends the run through Error on inconsistent tables.
void Transport(ModelState& s, SMatrix& Asm, SVector& Bsm, Integer ISV);

// Clears A and BBC (NEQN) and fills them block by block from Transport.
void LoadATrans(ModelState& s, DMatrix& A, DVector& BBC);

}  // namespace ostra
