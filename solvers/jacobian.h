// jacobian.h -- the Jacobian of the residual.
//
// Exports: Jacobian.
#pragma once

#include "model/model_state.h"

namespace ostra {

// XJAC(I, J) = dG(I)/dX(J) by central finite differences (relative step
// DELTFD) or, when AnalyticJacobian, from A, df/dC and dR/dC.
void Jacobian(ModelState& s, Double DELTFD, const DVector& X, const DVector& XPREV, DVector& G,
              DMatrix& XJAC, DSparse& A, DVector& BBC, DVector& B, Double cumtime);

}  // namespace ostra
