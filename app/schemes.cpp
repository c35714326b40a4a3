// schemes.cpp -- explicit Euler, MacCormack, implicit Euler, Crank-Nicolson
// and the Newton step of a time loop.
//
// Exports (schemes.h): Storage, ExplicitEulerStep, MacCormackStep,
// ImplicitEulerStep, CrankNicolsonStep, NewtonStep.
//
// The system advanced is S(i) dc(i)/dt = sum_j A(i, j) c(j) + B(i) [+ f(i)],
// S the storage of each equation. DELT is a Single and is widened to Double
// wherever it meets a Double; every sum runs in the order written so that
// results repeat to the last digit.
#include "app/schemes.h"

#include <memory>
#include <string>

#include "model/equation_names.h"
#include "model/error.h"
#include "model/parm_update.h"
#include "solvers/dumps.h"
#include "solvers/solve.h"
#include "solvers/newton.h"
#include "solvers/nonlinear_terms.h"
#include "sources/linear_sources.h"
#include "sources/loads.h"
#include "textio/number_format.h"
#include "textio/text_writer.h"
#include "transport/transport.h"
#include "transport/wiggle.h"

namespace ostra {
namespace {

std::string TimeText(Double t) { return textio::CounterText(textio::FormatDouble(t)); }

// A storage of zero cannot divide the update; the data must give every
// equation a non-zero storage.
[[noreturn]] void ZeroStorage(ModelState& s, int e, Double t, const char* scheme) {
    const std::string source = s.opt.EquationSolver
        ? "its value in RVEqnSolver.csv"
        : "volume (Compartments.csv column 7) times retardation factor";
    Error(s, "storage = 0 for " + EquationName(s, e) + " at time" + TimeText(t) + " in the " +
                 scheme + " update: " + source + " must not be 0");
}

void CheckedStorageNew(ModelState& s, const DVector& StorageNew, Double t, const char* scheme) {
    for (int i = 1; i <= StorageNew.Size(); ++i)
        if (StorageNew(i) == 0) ZeroStorage(s, i, t, scheme);
}

// Product row i of A with x, summed from 0 in column order over the
// elements A holds (an element A does not hold would add 0 x x(j)).
Double RowTimes(const DSparse& A, int i, const DVector& x) {
    const Double* v = x.Data();
    Double sum = 0;
    for (const auto& e : A.Row(i)) sum = sum + e.value * v[e.col];
    return sum;
}

void FillStorage(const ModelState& s, DVector& to) {
    for (int i = 1; i <= to.Size(); ++i) to(i) = Storage(s, i);
}

// Transport, then the linear sources and sinks: A (and BBC) for the
// parameters in force. The transport part is taken over from the last step
// while its inputs stand (LoadATransForStep).
void Assemble(ModelState& s) {
    LoadATransForStep(s, s.sys.A, s.sys.BBC);
    LoadALinearSrcSnk(s, s.sys.A);
}

void DumpIfDue(ModelState& s, Double t) {
    if (!s.sys.DumpNow) return;
    s.sys.CurrentTime = t;
    Aout(s, s.sys.A);
    RVout(s);
}

// M = S - h A, with h = DELT (implicit Euler) or DELT / 2 (Crank-Nicolson),
// over the elements of A and the whole diagonal.
void BuildSystemMatrix(const ModelState& s, DSparse& M, Double h) {
    const DSparse& A = s.sys.A;
    const int n = s.opt.NEQN;
    M.Clear();
    for (int i = 1; i <= n; ++i) {
        auto& m = M.MutableRow(i);
        bool diagonal = false;
        for (const auto& e : A.Row(i)) {
            if (!diagonal && e.col > i) {
                m.push_back({i, Storage(s, i) - h * 0.0});
                diagonal = true;
            }
            if (e.col == i) {
                m.push_back({i, Storage(s, i) - h * e.value});
                diagonal = true;
            } else {
                m.push_back({e.col, -(h * e.value)});
            }
        }
        if (!diagonal) m.push_back({i, Storage(s, i) - h * 0.0});
    }
}

void PrepareImplicit(ModelState& s, SchemeVectors& w) {
    if (w.implicitReady) return;
    const int n = s.opt.NEQN;
    w.M.Resize(n, "implicit system matrix M");
    w.r.Resize(n, "implicit right-hand side r");
    w.implicitReady = true;
}

// One line of "EulerStabilityInfo.dng"; the first of a run is also a
// warning, since the results of an unstable step are not to be trusted.
void ReportUnstable(ModelState& s, SchemeVectors& w, Double t, int i, Single limit) {
    if (!w.unstableReported) {
        w.unstableReported = true;
        AddWarning(s, "explicit Euler stability criterion violated " + TimeInText(t) + " for " + EquationName(s, i) +
                          ": the largest stable time step is " + textio::SingleInText(limit) + ", DELT is " +
                          textio::SingleInText(s.opt.DELT) +
                          ", so the results may be meaningless; every violation is listed in "
                          "\"EulerStabilityInfo.dng\"");
    }
    if (!s.files.EulerStability) return;
    s.files.EulerStability->Text("stability criterion violated at time ")
        .Double(t)
        .Text(" for equation ")
        .Integer(i)
        .Text(" max time step is ")
        .Single(limit)
        .EndLine();
}

}  // namespace

Double Storage(const ModelState& s, int i) {
    if (s.opt.EquationSolver) return s.eq.RVDiag(i);
    const Single product = s.eq.EqnVolume(i) * s.eq.EqnRetard(i);
    return product;
}

void ExplicitEulerStep(ModelState& s, SchemeVectors& w, Double t, Double Step) {
    RunOptions& o = s.opt;
    EquationSystem& y = s.sys;
    const int n = o.NEQN;
    const Double delt = o.DELT;
    if (!w.explicitReady) {
        w.AC.Resize(n);
        w.StorageOld.Resize(n);
        w.StorageNew.Resize(n);
        w.explicitReady = true;
    }
    if (o.TimeVarParms) ParmUpdate(s, t, y.A);
    FillStorage(s, w.StorageOld);
    const bool envs = !o.EquationSolver;
    if (envs) {
        Assemble(s);
        if (Step == 1)
            s.files.EulerStability =
                std::make_unique<textio::TextWriter>(s.Dir, "EulerStabilityInfo.dng");
        if (s.tables.VariableAlpha) Wiggle(s, t);
    }
    DumpIfDue(s, t);
    ForceFn(s, t, y.BBC, y.B);
    for (int i = 1; i <= n; ++i) w.AC(i) = RowTimes(y.A, i, y.c);
    if (!o.Linear) {
        y.CurrentTime = t;
        Varn(s, y.c, y.f);
    }
    if (o.TimeVarParms) {
        ParmUpdate(s, t + delt, y.A);
        FillStorage(s, w.StorageNew);
    } else {
        w.StorageNew = w.StorageOld;
    }
    // Linear runs with fixed tables have one operator for the whole run, so
    // it is tested once; otherwise at every step.
    const bool test = envs && (!o.Linear || Step == 1 || o.TimeVarParms);
    for (int i = 1; i <= n; ++i) {
        const Double g = o.Linear ? 0.0 : y.f(i);
        if (test) {
            const Double rate = y.A.Get(i, i) + g;
            const Single q = static_cast<Single>(rate * delt + w.StorageOld(i));
            if (q < 0) {
                if (rate == 0)
                    Error(s, "negative storage for " + EquationName(s, i) + " at time" +
                                 TimeText(t) + " in the explicit Euler stability test");
                ReportUnstable(s, w, t, i, static_cast<Single>(-w.StorageOld(i) / rate));
            }
        }
        if (w.StorageNew(i) == 0) ZeroStorage(s, i, t, "explicit Euler");
        y.c(i) = ((y.B(i) + w.AC(i) + g) * delt + w.StorageOld(i) * y.c(i)) / w.StorageNew(i);
    }
    if (Step == o.NumTimeSteps && s.files.EulerStability) {
        s.files.EulerStability->Close();
        s.files.EulerStability.reset();
    }
}

void MacCormackStep(ModelState& s, SchemeVectors& w, Double t) {
    RunOptions& o = s.opt;
    EquationSystem& y = s.sys;
    const int n = o.NEQN;
    const Double delt = o.DELT;
    if (o.EquationSolver || !o.Linear) Error(s, "MacCormack method not applicable");
    if (o.NonlinearRV)
        Error(s, "nonlinear not supported by MacCormack method: \"Control.csv\" chooses MacCormack (DynType 2, "
                 "line 18, pair 9) and a concentration-dependent storage factor R(C) (Y on line 32, pair 16); "
                 "choose DynType 1, 3 or 4, or N in pair 16");
    if (!w.macCormackReady) {
        w.StorageOld.Resize(n);
        w.StorageNew.Resize(n);
        w.R1.Resize(n);
        w.R2.Resize(n);
        w.CP.Resize(n);
        w.macCormackReady = true;
    }
    if (o.TimeVarParms) ParmUpdate(s, t, y.A);
    FillStorage(s, w.StorageOld);
    Assemble(s);
    if (s.tables.VariableAlpha) Wiggle(s, t);
    DumpIfDue(s, t);
    ForceFn(s, t, y.BBC, y.B);
    for (int i = 1; i <= n; ++i) w.R1(i) = RowTimes(y.A, i, y.c) + y.B(i);
    if (o.TimeVarParms) {
        ParmUpdate(s, t + delt, y.A);
        FillStorage(s, w.StorageNew);
    } else {
        w.StorageNew = w.StorageOld;
    }
    CheckedStorageNew(s, w.StorageNew, t, "MacCormack");
    // Predictor.
    for (int i = 1; i <= n; ++i)
        w.CP(i) = (w.StorageOld(i) * y.c(i) + delt * w.R1(i)) / w.StorageNew(i);
    if (o.TimeVarParms) ParmUpdate(s, t + delt, y.A);
    Assemble(s);
    ForceFn(s, t + delt, y.BBC, y.B);
    for (int i = 1; i <= n; ++i) w.R2(i) = RowTimes(y.A, i, w.CP) + y.B(i);
    // Corrector.
    for (int i = 1; i <= n; ++i)
        y.c(i) = ((w.R2(i) + w.R1(i)) * delt / 2 + w.StorageOld(i) * y.c(i)) / w.StorageNew(i);
}

void ImplicitEulerStep(ModelState& s, SchemeVectors& w, Double t) {
    RunOptions& o = s.opt;
    EquationSystem& y = s.sys;
    const int n = o.NEQN;
    const Double delt = o.DELT;
    PrepareImplicit(s, w);
    if (o.TimeVarParms) ParmUpdate(s, t + delt, y.A);
    if (!o.EquationSolver) {
        Assemble(s);
        if (s.tables.VariableAlpha) Wiggle(s, t);
    }
    DumpIfDue(s, t);
    BuildSystemMatrix(s, w.M, delt);  // storage at the new time level
    ForceFn(s, t + delt, y.BBC, y.B);
    // Back to the old-time tables; M keeps the new-time storage.
    if (o.TimeVarParms) ParmUpdate(s, t, y.A);
    for (int i = 1; i <= n; ++i) w.r(i) = Storage(s, i) * y.c(i) + delt * y.B(i);
    Solve(s, w.M, w.r, t + delt);
    for (int i = 1; i <= n; ++i) y.c(i) = w.r(i);
}

void CrankNicolsonStep(ModelState& s, SchemeVectors& w, Double t) {
    RunOptions& o = s.opt;
    EquationSystem& y = s.sys;
    const int n = o.NEQN;
    const Double delt = o.DELT;
    const Double half = static_cast<Single>(o.DELT / 2);
    const bool envs = !o.EquationSolver;
    PrepareImplicit(s, w);
    if (envs) {
        if (o.TimeVarParms) ParmUpdate(s, t + delt, y.A);
        Assemble(s);
        if (s.tables.VariableAlpha) Wiggle(s, t);
    }
    DumpIfDue(s, t);
    BuildSystemMatrix(s, w.M, half);
    ForceFn(s, t + delt, y.BBC, y.B);
    for (int i = 1; i <= n; ++i) w.r(i) = half * y.B(i);
    // The old-time operator and loads form the explicit half.
    if (envs && o.TimeVarParms) {
        ParmUpdate(s, t, y.A);
        Assemble(s);
    }
    ForceFn(s, t, y.BBC, y.B);
    for (int i = 1; i <= n; ++i)
        w.r(i) = Storage(s, i) * y.c(i) + w.r(i) + (RowTimes(y.A, i, y.c) + y.B(i)) * delt / 2;
    Solve(s, w.M, w.r, t + delt);
    for (int i = 1; i <= n; ++i) y.c(i) = w.r(i);
}

void NewtonStep(ModelState& s, Double t) {
    EquationSystem& y = s.sys;
    if (!s.opt.EquationSolver && s.tables.VariableAlpha) Wiggle(s, t);
    Newton(s, y.XNew, y.c, y.G, y.XJAC, y.INDX, s.opt.SC, s.opt.DELTFD, y.A, y.BBC, y.B, t);
    for (int i = 1; i <= s.opt.NEQN; ++i) y.c(i) = y.XNew(i);
}

}  // namespace ostra
