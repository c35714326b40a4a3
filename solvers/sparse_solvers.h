// sparse_solvers.h -- the linear solvers on the non-zeros of a matrix.
//
// Exports: LinearSolver (sparse), ReplayLinearSolver, LUDCMP (sparse),
// LUBKSB (sparse).
//
// The same eliminations as the dense solvers (linear_solver.h, lu.h), with
// every operation in the same order on the same operands, except that an
// update r - m x p whose m or p is an exact zero is skipped. Such an update
// cannot change r, other than turn a -0 into +0 or back, so every solution
// component has the bits the dense solver gives (a zero may differ in sign,
// which no result file can show: the number format writes both as 0). When a
// matrix or right-hand side holds a value that is not finite, or the
// elimination raises a floating-point overflow or invalid operation, skipping
// 0 x inf would hide what the dense solver meets; these solves are done again
// by the dense solver from the original values, so they end exactly as it
// ends.
#pragma once

#include "model/arrays.h"
#include "model/elimination_record.h"
#include "model/sparse_matrix.h"

namespace ostra {

// Gauss-Jordan elimination of A X = B (N = A.Rows()), as the dense
// LinearSolver: B receives X; A is left as it was. `report` tells which
// components were fixed at 0 by the pivot threshold. When `record` is given
// it receives the elimination (and a copy of A), for ReplayLinearSolver.
// Faults throw textio::DataError with the dense solver's message.
void LinearSolver(const DSparse& A, DVector& B, SolveReport& report,
                  EliminationRecord* record = nullptr);

// Applies the recorded elimination to the right-hand side B: the same bits as
// LinearSolver(record.matrix, B) would give, at the cost of the right-hand
// side's operations only. `report` is the recorded one.
void ReplayLinearSolver(const EliminationRecord& record, DVector& B, SolveReport& report);

// Crout LU with row-scaled partial pivoting on the non-zeros of A, as the
// dense LUDCMP: A receives the factors (with their fill), INDX the row
// interchanges. "SINGULAR MATRIX in LUDCMP" for a zero row. `report`, when
// given, learns which zero pivots were replaced by 1E-20.
void LUDCMP(DSparse& A, IVector& INDX, SolveReport* report = nullptr);

// Forward and back substitution with the factors of the sparse LUDCMP.
void LUBKSB(const DSparse& A, const IVector& INDX, DVector& B);

}  // namespace ostra
