// jacobian.cpp -- the Jacobian of the residual.
//
// Exports: Jacobian.
//
// Finite differences (solvers/fd_jacobian.cpp): each component X(J) is moved
// once up and once down by the relative step DELTFD and the whole residual
// is evaluated at both points; column J of XJAC is their central difference
// for every row. This gives, entry for entry, the same numbers as
// differencing one row at a time (the residual of one row does not depend
// on which other rows are computed) at 2 NEQN residual evaluations instead
// of 2 NEQN^2, each of which starts the companion programs; columns that
// reach no common row of the residual share one pair of evaluations. A
// component that is exactly 0 is moved by the absolute step DELTFD instead,
// since a relative step would be 0.
//
// Analytic: df/dC from "dfdc.exe", dR/dC from "Pask.exe" and the coefficient
// matrix A, for the steady state and the schemes 1, 3 and 4; the storage
// derivative is that of the storage the residual uses.
//
// A sparse LU run holds the Jacobian by its non-zeros (DSparse), formed by
// the same expressions in the same order, so that each element it holds has
// the bits of the dense element: a finite-difference column keeps the rows
// whose difference is not exactly 0; the analytic rows merge the rows of A
// with those of df/dC, which is read keeping only its non-zero values.
#include "solvers/jacobian.h"

#include <string>

#include "model/error.h"
#include "model/model_state.h"
#include "solvers/fd_jacobian.h"
#include "solvers/nonlinear_terms.h"

namespace ostra {
namespace {

// Storage derivative of equation I: d(R(C) C V)/dC in compartment mode,
// the constant diagonal RVDiag in equation-solver mode.
Double StorageDerivative(const ModelState& s, const DVector& X, const DVector& RDeriv, int I) {
    if (s.opt.EquationSolver) return s.eq.RVDiag(I);
    return (X(I) * RDeriv(I) + s.eq.EqnRetard(I)) * s.eq.EqnVolume(I);
}

// Number of equations the compartment numbering yields: state variable ISV
// in compartment K when SVCompMap(ISV, K) = 1 and K is interior.
int CountEquations(const ModelState& s) {
    int n = 0;
    for (int ISV = 1; ISV <= s.opt.NSV; ++ISV)
        for (int K = 1; K <= s.setup.NT; ++K)
            if (s.setup.SVCompMap(ISV, K) == 1 && s.tables.Compartment(K, 3) == 0) ++n;
    return n;
}

void DynamicRows(ModelState& s, const DVector& X, const DVector& RDeriv, const DMatrix& DFDC,
                 const DSparse& A, DMatrix& XJAC) {
    const int NEQN = s.opt.NEQN;
    const Integer DynType = s.opt.DynType;
    const Single dt = (DynType == 4) ? s.opt.DELT / 2 : s.opt.DELT;
    for (int I = 1; I <= NEQN; ++I) {
        const Double S = StorageDerivative(s, X, RDeriv, I);
        for (int N = 1; N <= NEQN; ++N) {
            if (DynType == 1)
                XJAC(I, N) = (N == I) ? S : 0;
            else if (N == I)
                XJAC(I, I) = S - (DFDC(I, I) + A.Get(I, I)) * dt;
            else
                XJAC(I, N) = -(A.Get(I, N) + DFDC(I, N)) * dt;
        }
    }
}

// The checks of a time step's Jacobian before its rows are formed.
void CheckDynamicJacobian(ModelState& s) {
    const int NEQN = s.opt.NEQN;
    const Integer DynType = s.opt.DynType;
    if (DynType == 2) Error(s, "MacCormack not implemented for nonlinear");
    if (DynType < 1 || DynType > 4) Error(s, "DynType <> 1,2, 3, or 4 in Jacobian");
    if (!s.opt.EquationSolver) {
        const int count = CountEquations(s);
        if (count != NEQN)
            Error(s, "the compartments hold " + std::to_string(count) + " equations, NEQN is " +
                         std::to_string(NEQN) + ", in Jacobian");
    }
}

void Analytic(ModelState& s, const DVector& X, DMatrix& XJAC, const DSparse& A, Double cumtime) {
    const int NEQN = s.opt.NEQN;
    DMatrix DFDC(NEQN, NEQN, "DFDC");
    s.sys.CurrentTime = cumtime;
    Getdfdc(s, DFDC, X);
    if (!s.opt.Dynamic) {
        for (int I = 1; I <= NEQN; ++I)
            for (int J = 1; J <= NEQN; ++J) XJAC(I, J) = DFDC(I, J) + A.Get(I, J);
        return;
    }
    DVector RDeriv(NEQN, "RDeriv");
    GetPask(s, RDeriv, X);
    CheckDynamicJacobian(s);
    DynamicRows(s, X, RDeriv, DFDC, A, XJAC);
}

// Calls each(J, a, d) for the columns J of row I where A or DFDC holds an
// element, in column order, with the elements (0 where absent); `diagonal`
// adds column I when neither holds it.
template <class Each>
void MergeRows(const DSparse& A, const DSparse& DFDC, int I, bool diagonal, Each each) {
    const auto& a = A.Row(I);
    const auto& d = DFDC.Row(I);
    auto pa = a.begin(), pd = d.begin();
    bool diagonalSeen = !diagonal;
    while (pa != a.end() || pd != d.end()) {
        const int J = (pd == d.end() || (pa != a.end() && pa->col < pd->col)) ? pa->col : pd->col;
        if (!diagonalSeen && J > I) {
            each(I, 0.0, 0.0);
            diagonalSeen = true;
        }
        Double av = 0, dv = 0;
        if (pa != a.end() && pa->col == J) av = (pa++)->value;
        if (pd != d.end() && pd->col == J) dv = (pd++)->value;
        if (J == I) diagonalSeen = true;
        each(J, av, dv);
    }
    if (!diagonalSeen) each(I, 0.0, 0.0);
}

void DynamicRowsSparse(ModelState& s, const DVector& X, const DVector& RDeriv, const DSparse& DFDC,
                       const DSparse& A, DSparse& XJAC) {
    const int NEQN = s.opt.NEQN;
    const Integer DynType = s.opt.DynType;
    const Single dt = (DynType == 4) ? s.opt.DELT / 2 : s.opt.DELT;
    for (int I = 1; I <= NEQN; ++I) {
        const Double S = StorageDerivative(s, X, RDeriv, I);
        auto& row = XJAC.MutableRow(I);
        if (DynType == 1) {
            row.push_back({I, S});
            continue;
        }
        MergeRows(A, DFDC, I, true, [&](int N, Double a, Double d) {
            if (N == I)
                row.push_back({I, S - (d + a) * dt});
            else
                row.push_back({N, -(a + d) * dt});
        });
    }
}

// XJAC sized NEQN x NEQN with no element.
void EmptyRows(DSparse& XJAC, int NEQN) {
    if (XJAC.Rows() != NEQN) XJAC.Resize(NEQN, "Jacobian");
    XJAC.Clear();
}

void AnalyticSparse(ModelState& s, const DVector& X, DSparse& XJAC, const DSparse& A,
                    Double cumtime) {
    const int NEQN = s.opt.NEQN;
    DSparse& DFDC = s.work.sparseLU.dfdc;
    s.sys.CurrentTime = cumtime;
    Getdfdc(s, DFDC, X);
    EmptyRows(XJAC, NEQN);
    if (!s.opt.Dynamic) {
        for (int I = 1; I <= NEQN; ++I) {
            auto& row = XJAC.MutableRow(I);
            MergeRows(A, DFDC, I, false, [&](int J, Double a, Double d) { row.push_back({J, d + a}); });
        }
        return;
    }
    DVector RDeriv(NEQN, "RDeriv");
    GetPask(s, RDeriv, X);
    CheckDynamicJacobian(s);
    DynamicRowsSparse(s, X, RDeriv, DFDC, A, XJAC);
}

}  // namespace

void Jacobian(ModelState& s, Double DELTFD, const DVector& X, const DVector& XPREV, DVector& G,
              DMatrix& XJAC, DSparse& A, DVector& BBC, DVector& B, Double cumtime) {
    if (s.opt.AnalyticJacobian) {
        Analytic(s, X, XJAC, A, cumtime);
        return;
    }
    FdJacobian(s, DELTFD, X, XPREV, G, XJAC, A, BBC, B, cumtime);
}

void Jacobian(ModelState& s, Double DELTFD, const DVector& X, const DVector& XPREV, DVector& G,
              DSparse& XJAC, DSparse& A, DVector& BBC, DVector& B, Double cumtime) {
    if (s.opt.AnalyticJacobian) {
        AnalyticSparse(s, X, XJAC, A, cumtime);
        return;
    }
    EmptyRows(XJAC, s.opt.NEQN);
    FdJacobian(s, DELTFD, X, XPREV, G, XJAC, A, BBC, B, cumtime);
}

}  // namespace ostra
