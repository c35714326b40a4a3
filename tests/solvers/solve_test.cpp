// solve_test.cpp -- the direct solves of a run: replay while the matrix
// stands, a fresh elimination when it changes, and a component the pivot
// threshold fixed at 0 (LU: a zero pivot replaced) accepted only when the
// answer satisfies the equations.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

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
    for (int attempt = 0; attempt < 2; ++attempt) {  // the replay refuses it too
        DVector x(2, "r");
        x(1) = 1, x(2) = 1E-11;
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

// Singular systems, consistent or not, through both direct methods: each is
// solved twice (a fresh factorization, then the replay of it).
TEST(Solve, AnUndeterminedComponentIsZeroWithAWarningAndAnInconsistentOneEndsTheRun) {
    struct Case {
        const char* name;
        const char* method;
        std::vector<std::vector<double>> A;
        std::vector<double> b, x;  // x empty: the run ends with `text`
        std::string text;
    };
    const std::string why = " because the model does not determine it: ";
    const std::string example = "(a compartment with nothing in or out at steady state is such a case)";
    const std::vector<Case> cases = {
        {"an equation with nothing in it", LINEAR_METHOD_GAUSS_JORDAN, {{1, 0}, {0, 0}}, {3, 0}, {3, 0},
         "LinearSolver set the solution of equation 2 to 0 at time 2.5" + why +
             "every pivot candidate of its column is below 1E-10 (the largest is 0), and the equations hold "
             "with 0 " + example},
        {"two equal equations", LINEAR_METHOD_GAUSS_JORDAN, {{1, 1}, {1, 1}}, {2, 2}, {2, 0},
         "LinearSolver set the solution of equation 2 to 0 at time 2.5" + why +
             "every pivot candidate of its column is below 1E-10 (the largest is 0), and the equations hold "
             "with 0 " + example},
        {"two contradicting equations", LINEAR_METHOD_GAUSS_JORDAN, {{1, 1}, {1, 1}}, {2, 3}, {},
         "Error:  LinearSolver fixed the solution of equation 2 at 0 at time 2.5: every pivot candidate of "
         "its column is below 1E-10 (the largest is 0), so the system has no usable pivot there; if the "
         "equation is not meant to be singular, give the model's volumes, flows and rates in units that make "
         "these coefficients larger\r\n"},
        {"LU, two equal equations", LINEAR_METHOD_LU, {{1, 1}, {1, 1}}, {2, 2}, {2, 0},
         "LUDCMP set the solution of equation 2 to 0 at time 2.5" + why +
             "its pivot is 0, and the equations hold with 0 " + example},
        {"LU, two contradicting equations", LINEAR_METHOD_LU, {{1, 1}, {1, 1}}, {2, 3}, {},
         "Error:  SINGULAR MATRIX in LUDCMP: the pivot of equation 2 is 0 at time 2.5 and was replaced by "
         "1E-20, which made its value -1E+20: the system has no usable pivot there\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        TestState t(dir.Path());
        t.s.opt.EquationSolver = true;
        t.s.opt.LinearMethod = c.method;
        const int n = static_cast<int>(c.b.size());
        DSparse M(n, "M");
        for (int i = 1; i <= n; ++i)
            for (int j = 1; j <= n; ++j)
                if (c.A[i - 1][j - 1] != 0) M.At(i, j) = c.A[i - 1][j - 1];
        for (int attempt = 1; attempt <= 2; ++attempt) {
            DVector x(n, "r");
            for (int i = 1; i <= n; ++i) x(i) = c.b[i - 1];
            if (c.x.empty()) {
                EXPECT_THROW(Solve(t.s, M, x, 2.5), RunEnded);
                EXPECT_EQ(dir.Read("Error.dng"), c.text);
                continue;
            }
            Solve(t.s, M, x, 2.5);
            for (int i = 1; i <= n; ++i) EXPECT_EQ(x(i), c.x[i - 1]) << i;
            ASSERT_EQ(t.s.control.warnings.size(), 1u);
            EXPECT_EQ(t.s.control.warnings[0],
                      c.text + (attempt == 2 ? " (this happened in 2 solves in all)" : ""));
        }
        EXPECT_EQ(t.s.work.replays, 1);
    }
}

}  // namespace
}  // namespace ostra
