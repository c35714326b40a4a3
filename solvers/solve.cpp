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
// replayed on the right-hand side only. A run that chose the sparse LU
// solver is handed to it whole (klu_solver.cpp); it never meets the
// Gauss-Jordan or LU paths, and they never meet KLU.
#include "solvers/solve.h"

#include <string>

#include "model/equation_names.h"
#include "model/error.h"
#include "solvers/klu_solver.h"
#include "solvers/sparse_solvers.h"
#include "textio/number_format.h"

namespace ostra {
namespace {

// A component fixed at 0 by the absolute pivot threshold is not a solution.
void RefuseFixedComponent(ModelState& s, const SolveReport& report, Double time) {
    if (report.fixedComponent == 0) return;
    std::string more;
    if (report.fixedCount > 1)
        more = " (and " + std::to_string(report.fixedCount - 1) + " more)";
    Error(s, "LinearSolver fixed the solution of " + EquationName(s, report.fixedComponent) +
                 more + " at 0 " + TimeInText(time) + ": every pivot candidate of its column is below " +
                 textio::NumberInText(GAUSS_JORDAN_PIVOT_MIN) + " (the largest is " +
                 textio::NumberInText(report.largestCandidate) +
                 "), so the system has no usable pivot there; if the equation is not meant to be "
                 "singular, give the model's volumes, flows and rates in units that make these "
                 "coefficients larger");
}

void SolveLU(ModelState& s, const DSparse& matrix, DVector& rhs) {
    SolverWork& w = s.work;
    if (!(w.luValid && w.luMatrix.SameAs(matrix))) {
        w.luValid = false;
        w.luMatrix = matrix;
        w.luFactors = matrix;
        if (w.luINDX.Size() < matrix.Rows()) w.luINDX.Resize(matrix.Rows(), "INDX");
        LUDCMP(w.luFactors, w.luINDX);
        w.luValid = true;
        ++w.eliminations;
    } else {
        ++w.replays;
    }
    LUBKSB(w.luFactors, w.luINDX, rhs);
}

}  // namespace

void Solve(ModelState& s, DSparse& matrix, DVector& rhs, Double time, const char* system) {
    if (s.opt.SparseLU) {
        SparseLUSolve(s, matrix, rhs, time, system);
        return;
    }
    if (s.opt.LinearMethod == LINEAR_METHOD_LU) {
        SolveLU(s, matrix, rhs);
        return;
    }
    SolverWork& w = s.work;
    SolveReport report;
    if (w.elimination.valid && w.elimination.matrix.SameAs(matrix)) {
        ReplayLinearSolver(w.elimination, rhs, report);
        ++w.replays;
    } else {
        w.elimination.valid = false;
        LinearSolver(matrix, rhs, report, &w.elimination);
        ++w.eliminations;
    }
    RefuseFixedComponent(s, report, time);
}

}  // namespace ostra
