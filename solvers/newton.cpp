// newton.cpp -- damped Newton iteration with line search and random restarts.
//
// Exports: Newton, RandomValue.
//
// The merit f = sum of G(I)^2 / 2, accumulated in Single, decides
// convergence (f <= SC) and whether a step is taken: the full Newton step is
// halved until the merit decreases (and, with NonNegative, until no component
// is negative). A cycle of MaxNewtonIteration iterations, or a line search
// that finds no decrease, is followed by a restart from the best of
// NumRandomSamples random points; after MaxRandomizing restarts the run ends.
// Progress goes to counters 2 to 5 and, when asked for, to "NewtonInfo.dng".
//
// The Newton step solves XJAC Step = G. A Gauss-Jordan run forms the dense
// Jacobian XJAC and eliminates it; a sparse LU run forms the Jacobian by its
// non-zeros (s.work.sparseLU.jacobian; XJAC stays empty) and hands it to
// the sparse LU solver, which ends the run on a singular Jacobian.
#include "solvers/newton.h"

#include <chrono>
#include <cmath>
#include <limits>
#include <string>

#include "model/error.h"
#include "solvers/fd_jacobian.h"
#include "solvers/jacobian.h"
#include "solvers/linear_solver.h"
#include "solvers/residual.h"
#include "solvers/solve.h"
#include "textio/number_format.h"
#include "textio/text_writer.h"

namespace ostra {
namespace {

// A generator seeded from the high-resolution clock and the system's
// entropy source, so two calls in the same second draw different samples.
std::mt19937 FreshGenerator() {
    std::random_device device;
    const auto ticks = static_cast<std::uint64_t>(
        std::chrono::high_resolution_clock::now().time_since_epoch().count());
    std::seed_seq seq{static_cast<std::uint32_t>(ticks), static_cast<std::uint32_t>(ticks >> 32),
                      device(), device()};
    return std::mt19937(seq);
}

// The trace file when the run asked for it and it is open, else null.
textio::TextWriter* Trace(ModelState& s) {
    return s.opt.NewtonInfo ? s.files.NewtonInfo.get() : nullptr;
}

void TraceLine(ModelState& s, const std::string& text) {
    if (textio::TextWriter* out = Trace(s)) out->Text(text).EndLine();
}

void TraceVector(ModelState& s, const DVector& X) {
    textio::TextWriter* out = Trace(s);
    if (!out) return;
    for (int I = 1; I <= s.opt.NEQN; ++I) out->Double(X(I));
    out->EndLine();
}

void ShowCounter(ModelState& s, int counter, const std::string& text) {
    s.display.SetCounterText(counter, text);
    s.display.Repaint();
}

// Half the sum of squares, the running sum rounded to Single after every
// addition. A sum beyond the Single range ends the run.
Single Merit(ModelState& s, const DVector& G, Double cumtime) {
    Single f = 0;
    bool inRange = true;
    for (int I = 1; I <= s.opt.NEQN && inRange; ++I) {
        const Double g = G(I);
        const Double sum = f + g * g / 2;
        // Checked before the rounding to Single, which is undefined beyond its range.
        inRange = sum <= std::numeric_limits<Single>::max();
        if (inRange) f = static_cast<Single>(sum);
    }
    if (!inRange) {
        int worst = 1;
        for (int I = 1; I <= s.opt.NEQN; ++I)
            if (!(std::fabs(G(I)) <= std::fabs(G(worst)))) worst = I;
        Error(s, "f value beyond the Single range in Newton at time" +
                     textio::CounterText(textio::FormatDouble(cumtime)) + ": residual of equation " +
                     std::to_string(worst) + " is" +
                     textio::CounterText(textio::FormatDouble(G(worst))));
    }
    return f;
}

Integer Next(Integer n, const char* what) { return CheckedInteger(static_cast<long>(n) + 1, what); }

// The arguments every residual evaluation passes on.
struct Problem {
    const DVector& XPREV;
    DSparse& A;
    DVector& BBC;
    DVector& B;
    Double cumtime;
};

Single EvalMerit(ModelState& s, const DVector& X, DVector& G, Problem& p) {
    EvalG(s, X, p.XPREV, G, ALL_ROWS, p.A, p.BBC, p.B, p.cumtime);
    return Merit(s, G, p.cumtime);
}

// One randomizing cycle: X becomes the best random sample, if any is below 1E+30.
void Randomize(ModelState& s, Integer RandCount, DVector& X, DVector& XTrial, DVector& G,
               Problem& p, std::mt19937& generator) {
    if (Trace(s)) {
        Trace(s)->Text("Sampling iteration ").Integer(RandCount).EndLine();
    }
    ShowCounter(s, COUNTER_RANDOMIZING,
                "Randomizing Iteration" + textio::CounterText(textio::FormatInteger(RandCount)));
    Single FBest = NEWTON_FBEST_START;
    for (int K = 1; K <= s.opt.NumRandomSamples; ++K) {
        if (K == 1) TraceLine(s, "Randomizing...");
        RandomValue(s, XTrial, generator);
        const Single FTrial = EvalMerit(s, XTrial, G, p);
        if (FTrial < FBest) {
            FBest = FTrial;
            for (int I = 1; I <= s.opt.NEQN; ++I) X(I) = XTrial(I);
        }
    }
}

void TraceJacobian(ModelState& s, const DMatrix& XJAC) {
    textio::TextWriter* out = Trace(s);
    if (!out) return;
    out->Text("Jacobian ....").EndLine();
    for (int I = 1; I <= s.opt.NEQN; ++I) {
        for (int J = 1; J <= s.opt.NEQN; ++J) out->Double(XJAC(I, J));
        out->EndLine();
    }
}

// The sparse Jacobian in the same layout, the elements it does not hold as 0.
void TraceJacobian(ModelState& s, const DSparse& XJAC) {
    textio::TextWriter* out = Trace(s);
    if (!out) return;
    out->Text("Jacobian ....").EndLine();
    for (int I = 1; I <= s.opt.NEQN; ++I) {
        const auto& row = XJAC.Row(I);
        auto next = row.begin();
        for (int J = 1; J <= s.opt.NEQN; ++J) {
            Double value = 0;
            if (next != row.end() && next->col == J) value = (next++)->value;
            out->Double(value);
        }
        out->EndLine();
    }
}

// The Newton step: Step = XJAC^-1 G, with the Jacobian at X.
void NewtonStepOf(ModelState& s, Double DELTFD, const DVector& X, DVector& G, DMatrix& XJAC,
                  DVector& Step, Problem& p) {
    const int NEQN = s.opt.NEQN;
    if (!s.opt.SparseLU) {
        Jacobian(s, DELTFD, X, p.XPREV, G, XJAC, p.A, p.BBC, p.B, p.cumtime);
        TraceJacobian(s, XJAC);
        for (int I = 1; I <= NEQN; ++I) Step(I) = G(I);
        Solve(s, XJAC, Step);
        return;
    }
    DSparse& J = s.work.sparseLU.jacobian;
    Jacobian(s, DELTFD, X, p.XPREV, G, J, p.A, p.BBC, p.B, p.cumtime);
    TraceJacobian(s, J);
    for (int I = 1; I <= NEQN; ++I) Step(I) = G(I);
    // The step belongs to the new time level (the steady state: -999).
    const Double time = s.opt.Dynamic ? p.cumtime + static_cast<Double>(s.opt.DELT) : MISSING_VALUE;
    Solve(s, J, Step, time, "the Jacobian of Newton iteration");
}

// Backtracking from the full step. Returns false when the step length fell
// below machine precision without a decrease; X is then unchanged.
bool LineSearch(ModelState& s, DVector& X, const DVector& Step, DVector& XTrial, DVector& G,
                Single f, Problem& p) {
    const int NEQN = s.opt.NEQN;
    const Single floor = static_cast<Single>(s.setup.MachEps);
    Single Lambda = 1;
    for (;;) {
        if (Trace(s)) Trace(s)->Text("Lambda =  ").Single(Lambda).EndLine();
        ShowCounter(s, COUNTER_LAMBDA,
                    "Lambda = " + textio::CounterText(textio::FormatSingle(Lambda)));
        bool rejected = false;
        for (int I = 1; I <= NEQN; ++I) {
            XTrial(I) = X(I) - Lambda * Step(I);
            if (XTrial(I) < 0 && s.opt.NonNegative) {
                rejected = true;
                break;
            }
        }
        if (!rejected) {
            const Single FTrial = EvalMerit(s, XTrial, G, p);
            if (Trace(s)) Trace(s)->Text("Trial f = ").Single(FTrial / s.opt.XScale).EndLine();
            rejected = FTrial >= f;
        }
        if (!rejected) {
            for (int I = 1; I <= NEQN; ++I) X(I) = XTrial(I);
            return true;
        }
        Lambda = Lambda / 2;
        if (floor > Lambda || Lambda == 0) return false;  // 0: no machine precision was set
    }
}

}  // namespace

void RandomValue(ModelState& s, DVector& X, std::mt19937& generator) {
    const Single low = s.opt.RandomLow;
    const Single high = s.opt.RandomHigh;
    for (int I = 1; I <= s.opt.NEQN; ++I) {
        // 24 random bits: every value k / 2^24 of [0, 1) is a Single exactly.
        const Single U = static_cast<Single>(generator() >> 8) * 0x1p-24f;
        X(I) = low + (high - low) * U;
        X(I) = s.opt.XScale * X(I);
    }
}

void Newton(ModelState& s, DVector& X, const DVector& XPREV, DVector& G, DMatrix& XJAC,
            IVector& INDX, Single SC, Double DELTFD, DSparse& A, DVector& BBC, DVector& B,
            Double cumtime) {
    (void)INDX;  // the pivot record of the run is used by Solve
    std::mt19937 generator = FreshGenerator();
    const int NEQN = s.opt.NEQN;
    DVector XTrial(NEQN, "XTrial");
    DVector Step(NEQN, "Step");
    Problem p{XPREV, A, BBC, B, cumtime};
    // An unknown way of forming finite differences ends the run before any iteration.
    if (!s.opt.AnalyticJacobian) FdJacobianModeOf(s);
    if (Trace(s)) Trace(s)->Text("time = ").Double(cumtime).EndLine();

    Integer RandCount = 0;
    Integer Iter = 0;
    for (;;) {
        CheckStop(s);
        Iter = Next(Iter, "Newton iteration counter");
        ShowCounter(s, COUNTER_NEWTON,
                    "Newton Iteration" + textio::CounterText(textio::FormatInteger(Iter)));
        if (s.opt.MaxNewtonIteration == MISSING)
            Error(s, "MaxNewtonIteration parameter = -999: file \"Control.csv\", line 46 (pair 23, "
                     "MaxNewtonIteration): a nonlinear run needs the largest number of Newton iterations "
                     "of one randomizing cycle, a whole number of 1 or more");
        if (Iter > s.opt.MaxNewtonIteration) {
            RandCount = Next(RandCount, "randomizing cycle counter");
            if (RandCount > s.opt.MaxRandomizing) {
                TraceLine(s, "Algorithm Terminated due to excessive iterations");
                s.display.MessageBox("Newton Algorithm Terminated Due to Excessive Iterations");
                EndRun(EXIT_NEWTON_GAVE_UP);
            }
            Randomize(s, RandCount, X, XTrial, G, p, generator);
            Iter = 1;
        }

        const Single f = EvalMerit(s, X, G, p);
        if (textio::TextWriter* out = Trace(s)) {
            out->Text("Newton Iteration").Integer(Iter).EndLine();
            out->Text("Current X values ...").EndLine();
            TraceVector(s, X);
            out->Text("current f = ").Single(f / s.opt.XScale).EndLine();
        }
        ShowCounter(s, COUNTER_F_VALUE,
                    "f value = " + textio::CounterText(textio::FormatSingle(f / s.opt.XScale)));
        if (f <= SC) return;

        NewtonStepOf(s, DELTFD, X, G, XJAC, Step, p);

        if (!LineSearch(s, X, Step, XTrial, G, f, p)) Iter = s.opt.MaxNewtonIteration;
        if (Trace(s)) {
            TraceLine(s, "Updated X values ...");
            TraceVector(s, X);
            TraceLine(s, "");
        }
    }
}

}  // namespace ostra
