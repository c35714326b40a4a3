// jacobian.h -- the Jacobian of the residual.
//
// Exports: Jacobian.
#pragma once

#include "model/model_state.h"

namespace ostra {

// XJAC(I, J) = dG(I)/dX(J) by central finite differences (relative step
// DELTFD) or, when AnalyticJacobian, from A, df/dC and dR/dC. G is the
// residual at X (Newton evaluates it just before): not changed; finite
// differences check their grouped evaluations against it.
void Jacobian(ModelState& s, Double DELTFD, const DVector& X, const DVector& XPREV, DVector& G,
              DMatrix& XJAC, DSparse& A, DVector& BBC, DVector& B, Double cumtime);

// The same Jacobian held by its non-zeros (a sparse LU run), each element
// with the bits of the dense one. Finite differences keep the elements of
// each column that are not exactly 0; the analytic Jacobian holds the
// elements where A or df/dC holds one (and, in a time step, the diagonal).
void Jacobian(ModelState& s, Double DELTFD, const DVector& X, const DVector& XPREV, DVector& G,
              DSparse& XJAC, DSparse& A, DVector& BBC, DVector& B, Double cumtime);

}  // namespace ostra
