// solve.cpp -- the direct linear solves of a run, and the replay of an
// elimination while the matrix stands.
//
// Exports: Solve.
//
// A linear implicit run with fixed tables has one system matrix for the
// whole run; its elimination does the same operations on every right-hand
// side. The matrix of each solve is compared, element by element and bit
// for bit, with the one the last elimination was made from: identity is
// established, never assumed. When they agree the recorded operations are
// replayed on the right-hand side only. A component that the absolute pivot
// threshold fixed at 0 (or, in LU, a zero pivot replaced by 1E-20) is judged
// by the answer: if the answer satisfies every equation it solved, the model
// does not determine that component, 0 is a solution, and the run goes on
// with a warning; if not, it is no solution and the run ends naming the
// equation. A run that chose the sparse LU
// solver is handed to it whole (klu_solver.cpp); it never meets the
// Gauss-Jordan or LU paths, and they never meet KLU.
#include "solvers/solve.h"

#include <cmath>
#include <string>

#include "model/equation_names.h"
#include "model/error.h"
#include "solvers/klu_solver.h"
#include "solvers/sparse_solvers.h"
#include "textio/number_format.h"

namespace ostra {
namespace {

// to(1..n) = from(1..n), sizing `to` once for the run.
void CopyInto(DVector& to, const DVector& from, int n) {
    if (to.Size() < n) to.Resize(n, "the right-hand side kept for the residual");
    for (int i = 1; i <= n; ++i) to(i) = from(i);
}

// The largest residual of the equations matrix x = b, each relative to the
// scale of its row (|A(i, j) x(j)| summed with |b(i)|), and its row. A row
// whose scale is 0 holds exactly when its residual is 0.
struct Residual {
    double relative = 0;
    int row = 0;
};

Residual LargestResidual(const DSparse& matrix, const DVector& b, const DVector& x) {
    Residual worst;
    for (int i = 1; i <= matrix.Rows(); ++i) {
        double r = -b(i), scale = std::fabs(b(i));
        for (const auto& e : matrix.Row(i)) {
            const double term = e.value * x(e.col);
            r += term;
            scale += std::fabs(term);
        }
        const double relative = scale > 0 ? std::fabs(r) / scale : (r == 0 ? 0 : HUGE_VAL);
        if (relative > worst.relative || worst.row == 0) worst = {relative, i};
    }
    return worst;
}


// A solve whose threshold fixed a component at 0 (or whose LU factors carry
// a replaced zero pivot) and whose answer still satisfies every equation:
// the model does not determine that component, and 0 is a solution. The
// run goes on, with one warning that counts how often this happened.
void WarnUndetermined(ModelState& s, const std::string& text) {
    SolverWork& w = s.work;
    ++w.undeterminedSolves;
    if (w.undeterminedWarning < 0) {
        w.undeterminedWarning = static_cast<long>(s.control.warnings.size());
        w.undeterminedText = text;
        AddWarning(s, text);
        return;
    }
    s.control.warnings[static_cast<std::size_t>(w.undeterminedWarning)] =
        w.undeterminedText + " (this happened in " + std::to_string(w.undeterminedSolves) + " solves in all)";
}

std::string More(int count) {
    return count > 1 ? " (and " + std::to_string(count - 1) + " more)" : "";
}

// A component fixed at 0 by the absolute pivot threshold: the answer must
// satisfy the equations it solved, or it is no solution.
void JudgeFixedComponent(ModelState& s, const DSparse& matrix, const DVector& b, const DVector& x,
                         const SolveReport& report, Double time) {
    if (report.fixedComponent == 0) return;
    const std::string equation = EquationName(s, report.fixedComponent) + More(report.fixedCount);
    if (LargestResidual(matrix, b, x).relative > UNDETERMINED_RESIDUAL_MAX)
        Error(s, "LinearSolver fixed the solution of " + equation + " at 0 " + TimeInText(time) +
                     ": every pivot candidate of its column is below " +
                     textio::NumberInText(GAUSS_JORDAN_PIVOT_MIN) + " (the largest is " +
                     textio::NumberInText(report.largestCandidate) +
                     "), so the system has no usable pivot there; if the equation is not meant to be "
                     "singular, give the model's volumes, flows and rates in units that make these "
                     "coefficients larger");
    WarnUndetermined(s, "LinearSolver set the solution of " + equation + " to 0 " + TimeInText(time) +
                            " because the model does not determine it: every pivot candidate of its column "
                            "is below " + textio::NumberInText(GAUSS_JORDAN_PIVOT_MIN) +
                            " (the largest is " + textio::NumberInText(report.largestCandidate) +
                            "), and the equations hold with 0 (a compartment with nothing in or out at "
                            "steady state is such a case)");
}

// LUDCMP replaced a zero pivot by 1E-20. Back-substitution then divides by
// it, so the component is 0 exactly when the system gave it nothing to
// divide -- the model does not determine it and 0 solves it -- and
// otherwise a value made by that division, which no residual exposes (it
// is large enough to satisfy every row to rounding). So the answer stands
// only when each such component is 0 and the equations hold.
void JudgeReplacedPivot(ModelState& s, const DSparse& matrix, const DVector& b, const DVector& x,
                        const SolveReport& report, Double time) {
    if (report.replacedPivots.empty()) return;
    const int count = static_cast<int>(report.replacedPivots.size());
    const std::string equation = EquationName(s, report.replacedPivots.front()) + More(count);
    for (const int J : report.replacedPivots)
        if (x(J) != 0)
            Error(s, "SINGULAR MATRIX in LUDCMP: the pivot of " + EquationName(s, J) + " is 0 " +
                         TimeInText(time) + " and was replaced by " + textio::NumberInText(LU_TINY_PIVOT) +
                         ", which made its value " + textio::NumberInText(x(J)) +
                         ": the system has no usable pivot there");
    if (LargestResidual(matrix, b, x).relative > UNDETERMINED_RESIDUAL_MAX)
        Error(s, "SINGULAR MATRIX in LUDCMP: the pivot of " + equation + " is 0 " + TimeInText(time) +
                     " and was replaced by " + textio::NumberInText(LU_TINY_PIVOT) +
                     ", and the answer does not satisfy the equations: the system has no solution there");
    WarnUndetermined(s, "LUDCMP set the solution of " + equation + " to 0 " + TimeInText(time) +
                            " because the model does not determine it: its pivot is 0, and the equations "
                            "hold with 0 (a compartment with nothing in or out at steady state is such a "
                            "case)");
}

void SolveLU(ModelState& s, const DSparse& matrix, DVector& rhs, Double time) {
    SolverWork& w = s.work;
    if (!(w.luValid && w.luMatrix.SameAs(matrix))) {
        w.luValid = false;
        w.luMatrix = matrix;
        w.luFactors = matrix;
        if (w.luINDX.Size() < matrix.Rows()) w.luINDX.Resize(matrix.Rows(), "INDX");
        LUDCMP(w.luFactors, w.luINDX, &w.luReport);
        w.luValid = true;
        ++w.eliminations;
    } else {
        ++w.replays;
    }
    if (!w.luReport.replacedPivots.empty()) CopyInto(w.rhsBefore, rhs, matrix.Rows());
    LUBKSB(w.luFactors, w.luINDX, rhs);
    JudgeReplacedPivot(s, matrix, w.rhsBefore, rhs, w.luReport, time);
}

}  // namespace

void Solve(ModelState& s, DSparse& matrix, DVector& rhs, Double time, const char* system) {
    if (s.opt.SparseLU) {
        SparseLUSolve(s, matrix, rhs, time, system);
        return;
    }
    if (s.opt.LinearMethod == LINEAR_METHOD_LU) {
        SolveLU(s, matrix, rhs, time);
        return;
    }
    SolverWork& w = s.work;
    SolveReport report;
    CopyInto(w.rhsBefore, rhs, matrix.Rows());
    if (w.elimination.valid && w.elimination.matrix.SameAs(matrix)) {
        ReplayLinearSolver(w.elimination, rhs, report);
        ++w.replays;
    } else {
        w.elimination.valid = false;
        LinearSolver(matrix, rhs, report, &w.elimination);
        ++w.eliminations;
    }
    JudgeFixedComponent(s, matrix, w.rhsBefore, rhs, report, time);
}

}  // namespace ostra
