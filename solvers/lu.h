// lu.h -- LU decomposition with implicit partial pivoting and back-substitution.
//
// Exports: LUDCMP, LUBKSB.
#pragma once

#include "model/arrays.h"

namespace ostra {

// Factors A (N x N, N = A.Rows()) in place by Crout's method with row-scaled
// partial pivoting; INDX(J) receives the row interchanged with row J. A zero
// row throws textio::DataError("SINGULAR MATRIX in LUDCMP"); a zero pivot is
// replaced by 1E-20.
void LUDCMP(DMatrix& A, IVector& INDX);

// Solves the system factored by LUDCMP for the right-hand side B, which
// receives the solution.
void LUBKSB(const DMatrix& A, const IVector& INDX, DVector& B);

}  // namespace ostra
