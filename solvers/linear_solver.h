// linear_solver.h -- Gauss-Jordan elimination and the choice of solver.
//
// Exports: LinearSolver, Solve.
#pragma once

#include "model/model_state.h"

namespace ostra {

struct SolveReport;  // model/elimination_record.h

// Solves A X = B (N = A.Rows()) by Gauss-Jordan elimination with partial
// pivoting through a row-order vector; B receives X, A is destroyed. A pivot
// column whose candidates are all below 1E-10 sets that component to 0. An
// overflow, an invalid operation or a non-finite solution throws
// textio::DataError naming the equation.
void LinearSolver(DMatrix& A, DVector& B);

// The same; `report` (when not null) tells which components the pivot
// threshold fixed at 0: the first, the largest candidate magnitude of its
// column, and how many.
void LinearSolver(DMatrix& A, DVector& B, SolveReport* report);

// LUDCMP + LUBKSB when LinearMethod is "NumericalRecipes", else LinearSolver.
// The solution replaces rhs; the matrix is overwritten. The LU path records
// its pivots in s.sys.INDX (enlarged when shorter than the matrix).
void Solve(ModelState& s, DMatrix& matrix, DVector& rhs);

}  // namespace ostra
