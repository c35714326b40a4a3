// newton.h -- damped Newton iteration with line search and random restarts.
//
// Exports: Newton, RandomValue.
#pragma once

#include <random>

#include "model/model_state.h"

namespace ostra {

// Solves G(X) = 0; returns only when converged (f <= SC). Exhausted restarts
// show the give-up message and end the run with EXIT_NEWTON_GAVE_UP.
void Newton(ModelState& s, DVector& X, const DVector& XPREV, DVector& G, DMatrix& XJAC,
            IVector& INDX, Single SC, Double DELTFD, DSparse& A, DVector& BBC, DVector& B,
            Double cumtime);

// X(I) = XScale (RandomLow + (RandomHigh - RandomLow) U), U uniform in [0, 1).
void RandomValue(ModelState& s, DVector& X, std::mt19937& generator);

}  // namespace ostra
