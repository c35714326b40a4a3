// solve.h -- the direct linear solves of a run: the steady state and the
// implicit time steps.
//
// Exports: Solve (sparse system matrix), SYSTEM_MATRIX.
#pragma once

#include "model/model_state.h"

namespace ostra {

// How messages name the matrix of the steady state and the time steps.
inline constexpr const char* SYSTEM_MATRIX = "the system matrix";

// Solves matrix X = rhs (N = NEQN) with the run's method: the sparse LU
// solver (klu_solver.h) when the run chose "SPARSE-LU"; otherwise LUDCMP +
// LUBKSB when LinearMethod is "NumericalRecipes", else LinearSolver. The solution
// replaces rhs; the matrix is left as it was. While the matrix stays the
// same from one solve to the next (bit for bit), the last elimination is
// replayed on the new right-hand side, which gives the same bits as
// eliminating anew. A solve in which the pivot threshold fixed a solution
// component at 0 (LU: a zero pivot replaced by 1E-20) is checked against
// the equations: an answer that satisfies them (each residual within
// UNDETERMINED_RESIDUAL_MAX of its row's scale) stands, with a warning that
// the model does not determine that component; any other ends the run
// through Error, naming the equation, `time` (the time the solution belongs
// to; -999 for the steady state) and the largest pivot candidate. The sparse LU solver keeps its factors while the
// matrix stands in the same way and refuses a singular matrix; `system`
// names the matrix in its messages.
void Solve(ModelState& s, DSparse& matrix, DVector& rhs, Double time,
           const char* system = SYSTEM_MATRIX);

}  // namespace ostra
