// solve.h -- the direct linear solves of a run: the steady state and the
// implicit time steps.
//
// Exports: Solve (sparse system matrix).
#pragma once

#include "model/model_state.h"

namespace ostra {

// Solves matrix X = rhs (N = NEQN) with the run's method: LUDCMP + LUBKSB
// when LinearMethod is "NumericalRecipes", else LinearSolver. The solution
// replaces rhs; the matrix is left as it was. While the matrix stays the
// same from one solve to the next (bit for bit), the last elimination is
// replayed on the new right-hand side, which gives the same bits as
// eliminating anew. A solve in which the pivot threshold fixed a solution
// component at 0 ends the run through Error, naming the equation, `time`
// (the time the solution belongs to; -999 for the steady state) and the
// largest pivot candidate.
void Solve(ModelState& s, DSparse& matrix, DVector& rhs, Double time);

}  // namespace ostra
