// lu.h -- LU decomposition with implicit partial pivoting and back-substitution.
//
// Exports: LUDCMP, LUBKSB.
#pragma once

#include "model/arrays.h"
#include "model/elimination_record.h"

namespace ostra {

// Factors A (N x N, N = A.Rows()) in place by Crout's method with row-scaled
// partial pivoting; INDX(J) receives the row interchanged with row J. A zero
// row throws textio::DataError("SINGULAR MATRIX in LUDCMP"); a zero pivot is
// replaced by 1E-20. A floating-point overflow or invalid operation throws
// textio::DataError naming the equation; so does an INDX shorter than N.
// `report`, when given, learns which pivots were replaced.
void LUDCMP(DMatrix& A, IVector& INDX, SolveReport* report = nullptr);

// Solves the system factored by LUDCMP for the right-hand side B, which
// receives the solution (B(1..N), N = A.Rows()). An overflow, a division by
// zero or a non-finite solution throws textio::DataError naming the equation.
void LUBKSB(const DMatrix& A, const IVector& INDX, DVector& B);

}  // namespace ostra
