// fd_jacobian.h -- the finite-difference Jacobian, column by column or by
// groups of columns that touch no common row.
//
// Exports: FdJacobian (dense and sparse), FdJacobianModeOf, KnownPatternGroups.
#pragma once

#include "model/model_state.h"

namespace ostra {

// XJAC(I, J) = dG(I)/dX(J) by central differences of EvalG at X (relative
// step DELTFD, DELTFD itself where X(J) = 0). G must hold the residual at X,
// as Newton leaves it (read only): grouped evaluations are checked against
// it. Every element has the bits the column-by-column method gives wherever
// the pattern the run has seen is right; s.fdJacobian records the pattern
// and counts what was done.
void FdJacobian(ModelState& s, Double DELTFD, const DVector& X, const DVector& XPREV,
                const DVector& G, DMatrix& XJAC, DSparse& A, DVector& BBC, DVector& B,
                Double cumtime);

// The same into an empty sparse XJAC (NEQN rows): the elements that are not
// exactly 0, each row in column order.
void FdJacobian(ModelState& s, Double DELTFD, const DVector& X, const DVector& XPREV,
                const DVector& G, DSparse& XJAC, DSparse& A, DVector& BBC, DVector& B,
                Double cumtime);

// How the run forms its finite-difference Jacobians: s.fdJacobian.mode, or,
// the first time, the environment variable OSTRA_FD_JACOBIAN ("grouped",
// the default, or "columns"; unset or empty: grouped), kept in the state.
// Any other value ends the run through Error naming it.
FdJacobianMode FdJacobianModeOf(ModelState& s);

// The groups of columns that the pattern known before any residual is
// evaluated gives: the coefficient matrix A (where the scheme's rate at the
// new level enters the residual) and the diagonal.
int KnownPatternGroups(const ModelState& s, const DSparse& A);

}  // namespace ostra
