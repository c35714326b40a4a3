// residual.cpp -- the nonlinear residual of the steady state and of a time step.
//
// Exports: EvalG.
//
// Steady state: G = A X + f(X) - B. A time step from XPREV at cumtime to X at
// cumtime + DELT: G = storage(X) - storage(XPREV) - DELT x (net rate), the
// rate taken at the old level (DynType 1), the new level (3) or the average
// of both (4). The procedures that bring parameters, matrix and loads to a
// time are called in a fixed order, so that every companion program is
// asked with the time it belongs to; f and R come from companion programs.
//
// The Crank-Nicolson old-level rate is formed with the coefficient matrix
// and boundary contributions of the old time level in every evaluation of
// a step: they are assembled once when a step starts (the first step, before
// which nothing has been assembled, included) and kept in s.residual.
#include "solvers/residual.h"

#include <string>

#include "model/error.h"
#include "model/parm_update.h"
#include "solvers/dumps.h"
#include "solvers/nonlinear_terms.h"
#include "sources/linear_sources.h"
#include "sources/loads.h"
#include "transport/transport.h"

namespace ostra {
namespace {

// The rows an evaluation computes: all, or the one row ISELECTG.
struct Rows {
    int first, last;
};

Rows SelectedRows(ModelState& s, Integer ISELECTG) {
    const Integer NEQN = s.opt.NEQN;
    if (ISELECTG == ALL_ROWS) return {1, NEQN};
    if (ISELECTG < 1 || ISELECTG > NEQN)
        Error(s, "row " + std::to_string(ISELECTG) + " selected in EvalG lies outside 1.." +
                     std::to_string(NEQN));
    return {ISELECTG, ISELECTG};
}

// Storage diagonal of equation I as it stands: volume x retardation in
// compartment mode (the product in Single), RVDiag in equation-solver mode.
Single StorageFactor(const ModelState& s, int I) {
    if (s.opt.EquationSolver) return s.eq.RVDiag(I);
    return s.eq.EqnVolume(I) * s.eq.EqnRetard(I);
}

void Storage(const ModelState& s, const DVector& Y, Rows r, DVector& RV) {
    for (int I = r.first; I <= r.last; ++I) RV(I) = StorageFactor(s, I) * Y(I);
}

// Rate(I) = F(I) + sum over J of A(I, J) Y(J) + B(I), summed from J = 1.
void Rate(const DSparse& A, const DVector& Y, const DVector& F, const DVector& B, Rows r,
          DVector& Sum) {
    const Double* y = Y.Data();
    for (int I = r.first; I <= r.last; ++I) {
        Double sum = 0;
        for (const auto& a : A.Row(I)) sum = sum + y[a.col] * a.value;
        Sum(I) = F(I) + sum + B(I);
    }
}

// The coefficient matrix is rebuilt in compartment mode at the start of the
// run and whenever parameters vary in time; the dumps show it with the old time.
void RebuildAAndDump(ModelState& s, DSparse& A, DVector& BBC, Double cumtime) {
    if (!s.opt.EquationSolver && (cumtime == 0 || s.opt.TimeVarParms)) {
        LoadATrans(s, A, BBC);
        LoadALinearSrcSnk(s, A);
    }
    if (s.sys.DumpNow) {
        s.sys.CurrentTime = cumtime;
        Aout(s, A);
        RVout(s);
    }
}

bool SameState(const DVector& a, const DVector& b, int n) {
    if (a.Size() != n) return false;
    for (int I = 1; I <= n; ++I)
        if (a(I) != b(I)) return false;
    return true;
}

// Makes s.residual hold the old-level operator of the step from XPREV at
// cumtime: on the first evaluation of a step the matrix (and, in compartment
// mode, the boundary contributions) are assembled for the parameters now in
// force, which are those of the old level.
void KeepOldLevel(ModelState& s, const DVector& XPREV, DSparse& A, DVector& BBC, Double cumtime) {
    ResidualWork& w = s.residual;
    const int NEQN = s.opt.NEQN;
    if (w.oldLevelValid && w.oldLevelTime == cumtime && SameState(w.oldLevelState, XPREV, NEQN))
        return;
    if (!s.opt.EquationSolver) {
        LoadATrans(s, A, BBC);
        LoadALinearSrcSnk(s, A);
        w.BBCOld = BBC;
    }
    w.AOld = A;
    w.oldLevelState.Resize(NEQN);
    for (int I = 1; I <= NEQN; ++I) w.oldLevelState(I) = XPREV(I);
    w.oldLevelTime = cumtime;
    w.oldLevelValid = true;
}

struct Work {
    explicit Work(int n) : F(n, "F"), RVold(n, "RVold"), RVnew(n, "RVnew"), SumOld(n, "SumOld"),
                           SumNew(n, "SumNew") {}
    DVector F, RVold, RVnew, SumOld, SumNew;
};

void SteadyResidual(ModelState& s, const DVector& X, DVector& G, Rows r, const DSparse& A,
                    const DVector& B, Work& w) {
    Varn(s, X, w.F);
    const Double* x = X.Data();
    for (int I = r.first; I <= r.last; ++I) {
        Double sum = 0;
        for (const auto& a : A.Row(I)) sum = sum + a.value * x[a.col];
        G(I) = w.F(I) + sum - B(I);
    }
}

// Steps shared by the schemes at the start: parameters and storage of the old level.
void OldLevelStorage(ModelState& s, const DVector& XPREV, DSparse& A, Double cumtime, Rows r,
                     Work& w) {
    if (cumtime == 0 || s.opt.TimeVarParms) ParmUpdate(s, cumtime, A);
    if (s.opt.NonlinearRV) {
        s.sys.CurrentTime = cumtime;
        Telm(s, XPREV);
    }
    Storage(s, XPREV, r, w.RVold);
}

// Parameters and storage of the new level cumtime + DELT.
void NewLevelStorage(ModelState& s, const DVector& X, DSparse& A, Double tnew, Rows r, Work& w) {
    if (s.opt.TimeVarParms) ParmUpdate(s, tnew, A);
    if (s.opt.NonlinearRV) {
        s.sys.CurrentTime = tnew;
        Telm(s, X);
    }
    Storage(s, X, r, w.RVnew);
}

// Explicit Euler: every rate at the old level.
void ExplicitResidual(ModelState& s, const DVector& X, const DVector& XPREV, DVector& G, Rows r,
                      DSparse& A, DVector& BBC, DVector& B, Double cumtime, Work& w) {
    const Double tnew = cumtime + static_cast<Double>(s.opt.DELT);
    OldLevelStorage(s, XPREV, A, cumtime, r, w);
    RebuildAAndDump(s, A, BBC, cumtime);
    ForceFn(s, cumtime, BBC, B);
    s.sys.CurrentTime = cumtime;
    Varn(s, XPREV, w.F);
    const Double* xp = XPREV.Data();
    for (int I = r.first; I <= r.last; ++I) {
        Double sum = 0;
        for (const auto& a : A.Row(I)) sum = sum + a.value * xp[a.col];
        w.SumOld(I) = w.F(I) + sum + B(I);
    }
    NewLevelStorage(s, X, A, tnew, r, w);
    for (int I = r.first; I <= r.last; ++I)
        G(I) = w.RVnew(I) - w.RVold(I) - s.opt.DELT * w.SumOld(I);
}

// The new-level part shared by implicit Euler and Crank-Nicolson: storage,
// matrix, loads and f at cumtime + DELT, and SumNew.
void NewLevelRate(ModelState& s, const DVector& X, Rows r, DSparse& A, DVector& BBC, DVector& B,
                  Double cumtime, Work& w) {
    const Double tnew = cumtime + static_cast<Double>(s.opt.DELT);
    NewLevelStorage(s, X, A, tnew, r, w);
    RebuildAAndDump(s, A, BBC, cumtime);
    ForceFn(s, tnew, BBC, B);
    s.sys.CurrentTime = tnew;
    Varn(s, X, w.F);
    Rate(A, X, w.F, B, r, w.SumNew);
}

// Implicit Euler: every rate at the new level.
void ImplicitResidual(ModelState& s, const DVector& X, const DVector& XPREV, DVector& G, Rows r,
                      DSparse& A, DVector& BBC, DVector& B, Double cumtime, Work& w) {
    OldLevelStorage(s, XPREV, A, cumtime, r, w);
    NewLevelRate(s, X, r, A, BBC, B, cumtime, w);
    for (int I = r.first; I <= r.last; ++I)
        G(I) = w.RVnew(I) - w.RVold(I) - s.opt.DELT * w.SumNew(I);
}

// Crank-Nicolson: the average of the old-level and the new-level rate.
void CrankNicolsonResidual(ModelState& s, const DVector& X, const DVector& XPREV, DVector& G,
                           Rows r, DSparse& A, DVector& BBC, DVector& B, Double cumtime, Work& w) {
    if (cumtime == 0 || s.opt.TimeVarParms) ParmUpdate(s, cumtime, A);
    KeepOldLevel(s, XPREV, A, BBC, cumtime);
    if (s.opt.NonlinearRV) {
        s.sys.CurrentTime = cumtime;
        Telm(s, XPREV);
    }
    Storage(s, XPREV, r, w.RVold);
    if (s.opt.EquationSolver) {
        ForceFn(s, cumtime, BBC, B);
    } else {
        DVector BBCOld = s.residual.BBCOld;
        ForceFn(s, cumtime, BBCOld, B);
    }
    s.sys.CurrentTime = cumtime;
    Varn(s, XPREV, w.F);
    Rate(s.residual.AOld, XPREV, w.F, B, r, w.SumOld);

    NewLevelRate(s, X, r, A, BBC, B, cumtime, w);
    const Double half = static_cast<Double>(s.opt.DELT / 2);
    for (int I = r.first; I <= r.last; ++I)
        G(I) = (w.RVnew(I) - w.RVold(I)) - (w.SumOld(I) + w.SumNew(I)) * half;
}

}  // namespace

void EvalG(ModelState& s, const DVector& X, const DVector& XPREV, DVector& G, Integer ISELECTG,
           DSparse& A, DVector& BBC, DVector& B, Double cumtime) {
    const Rows r = SelectedRows(s, ISELECTG);
    Work w(s.opt.NEQN);
    if (!s.opt.Dynamic) {
        SteadyResidual(s, X, G, r, A, B, w);
        return;
    }
    switch (s.opt.DynType) {
        case 1: ExplicitResidual(s, X, XPREV, G, r, A, BBC, B, cumtime, w); return;
        case 2: Error(s, "MacCormack not implemented for nonlinear");
        case 3: ImplicitResidual(s, X, XPREV, G, r, A, BBC, B, cumtime, w); return;
        case 4: CrankNicolsonResidual(s, X, XPREV, G, r, A, BBC, B, cumtime, w); return;
        default: Error(s, "DynType <> 1,2,3, or 4 in EvalG");
    }
}

}  // namespace ostra
