// solve_test.cpp -- the direct solves of a run: replay while the matrix
// stands, a fresh elimination when it changes, and no success for a
// component the pivot threshold fixed at 0.
#include <gtest/gtest.h>

#include <cstring>

#include "model/error.h"
#include "solvers/solve.h"
#include "solvers/sparse_solvers.h"
#include "support/test_support.h"

namespace ostra {
namespace {

using testing::TempDir;
using testing::TestState;

// A chain: diagonal d, neighbours -1.
DSparse Chain(int n, double d) {
    DSparse M(n, "M");
    for (int i = 1; i <= n; ++i) {
        if (i > 1) M.At(i, i - 1) = -1;
        M.At(i, i) = d;
        if (i < n) M.At(i, i + 1) = -1;
    }
    return M;
}

DVector Rhs(int n, double scale) {
    DVector b(n, "r");
    for (int i = 1; i <= n; ++i) b(i) = scale * (i % 7 - 3) / 3.0;
    return b;
}

bool SameBits(const DVector& a, const DVector& b) {
    for (int i = 1; i <= a.Size(); ++i)
        if (std::memcmp(&a(i), &b(i), sizeof(double)) != 0 && !(a(i) == 0 && b(i) == 0)) return false;
    return true;
}

TEST(Solve, ReplaysWhileTheMatrixStandsAndEliminatesWhenItChanges) {
    TempDir dir;
    TestState t(dir.Path());
    t.s.opt.LinearMethod = LINEAR_METHOD_GAUSS_JORDAN;
    const int n = 50;
    DSparse M = Chain(n, 2.5);
    for (int step = 1; step <= 4; ++step) {
        if (step == 3) M.At(7, 7) = 2.5000000000000004;  // one bit changes
        DVector x = Rhs(n, step), fresh = x;
        SolveReport report;
        LinearSolver(M, fresh, report);
        Solve(t.s, M, x, step);
        EXPECT_TRUE(SameBits(x, fresh)) << "step " << step;
    }
    EXPECT_EQ(t.s.work.eliminations, 2);  // steps 1 and 3
    EXPECT_EQ(t.s.work.replays, 2);
}

TEST(Solve, AComponentFixedAtZeroEndsTheRun) {
    TempDir dir;
    TestState t(dir.Path());
    t.s.opt.EquationSolver = true;
    t.s.opt.LinearMethod = LINEAR_METHOD_GAUSS_JORDAN;
    DSparse M(2, "M");
    M.At(1, 1) = 1;
    M.At(2, 2) = 2E-11;
    DVector x(2, "r");
    x(1) = 1, x(2) = 1E-11;
    for (int attempt = 0; attempt < 2; ++attempt) {  // the replay refuses it too
        try {
            Solve(t.s, M, x, 2.5);
            ADD_FAILURE() << "the solve succeeded";
        } catch (const RunEnded& e) {
            EXPECT_EQ(e.status, EXIT_FATAL_DATA);
        }
        EXPECT_EQ(dir.Read("Error.dng"),
                  "Error:  LinearSolver fixed the solution of equation 2 at 0 at time 2.5: every pivot "
                  "candidate of its column is below 1E-10 (the largest is 2E-11), so the system has no "
                  "usable pivot there; if the equation is not meant to be singular, give the model's "
                  "volumes, flows and rates in units that make these coefficients larger\r\n");
    }
    EXPECT_EQ(t.s.work.replays, 1);
}

}  // namespace
}  // namespace ostra
