// residual.h -- the nonlinear residual of the steady state and of a time step.
//
// Exports: EvalG.
#pragma once

#include "model/model_state.h"

namespace ostra {

// G for the trial state X (new level) from XPREV (old level, dynamic runs)
// at old time cumtime; ISELECTG = 999 computes all rows, else only that row.
void EvalG(ModelState& s, const DVector& X, const DVector& XPREV, DVector& G, Integer ISELECTG,
           DSparse& A, DVector& BBC, DVector& B, Double cumtime);

}  // namespace ostra
