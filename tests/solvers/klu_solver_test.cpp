// klu_solver_test.cpp -- the sparse LU solves: answers against Gauss-Jordan,
// what is kept from solve to solve, the refusals of singular matrices, and
// the sparse Jacobian against the dense one.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "model/error.h"
#include "solvers/jacobian.h"
#include "solvers/klu_solver.h"
#include "solvers/nonlinear_fixture.h"
#include "solvers/residual.h"
#include "solvers/solve.h"
#include "solvers/sparse_solvers.h"

namespace ostra {
namespace {

using namespace testing;

DSparse FromRows(const std::vector<std::vector<double>>& rows) {
    DSparse M(static_cast<int>(rows.size()), "M");
    for (int i = 1; i <= M.Rows(); ++i)
        for (int j = 1; j <= M.Rows(); ++j)
            if (rows[i - 1][j - 1] != 0) M.At(i, j) = rows[i - 1][j - 1];
    return M;
}

// A 9 x 7 grid operator: upwind flow along x, exchange along both axes.
DSparse Grid() {
    const int nx = 9, ny = 7;
    DSparse M(nx * ny, "M");
    for (int k = 1; k <= nx * ny; ++k) {
        M.At(k, k) = 4 + k % 3;
        if (k > ny) M.At(k, k - ny) = -1.5;
        if (k <= (nx - 1) * ny) M.At(k, k + ny) = -0.5;
        if ((k - 1) % ny != 0) M.At(k, k - 1) = -0.25;
        if (k % ny != 0) M.At(k, k + 1) = -0.25;
    }
    return M;
}

DVector Rhs(int n, double scale) {
    DVector b(n, "r");
    for (int i = 1; i <= n; ++i) b(i) = scale * (i % 7 - 3) / 3.0;
    return b;
}

struct Solver {
    TempDir dir;
    TestState t{dir.Path()};
    Solver() { t.s.opt.EquationSolver = true, t.s.opt.SparseLU = true; }
    const SparseLUCounts& counts() const { return t.s.work.sparseLU.counts; }
    // The answer of Solve, checked against Gauss-Jordan.
    DVector Solved(DSparse& M, double scale) {
        DVector x = Rhs(M.Rows(), scale), fresh = x;
        SolveReport report;
        LinearSolver(M, fresh, report);
        EXPECT_EQ(report.fixedCount, 0);
        Solve(t.s, M, x, 1);
        for (int i = 1; i <= x.Size(); ++i)
            EXPECT_NEAR(x(i), fresh(i), 1e-12 * std::fabs(fresh(i)) + 1e-14) << "component " << i;
        return x;
    }
};

TEST(SparseLU, AgreesWithGaussJordanAndRefactorsOrAnalysesOnlyWhenTheMatrixChanges) {
    if (!SparseLUAvailable()) GTEST_SKIP() << "built without KLU";
    const DSparse cases[] = {
        Grid(),
        FromRows({{0, 2, 1, 0}, {3, 0, 0, 1}, {0, 1, 0, 4}, {1, 0, 5, 0}}),  // pivots off the diagonal
        FromRows({{1E9, -2E9, 0}, {-1E-9, 3E-9, -1E-9}, {0, -4, 5}}),        // rows 1E-9 to 1E+9
    };
    for (const DSparse& original : cases) {
        Solver solver;
        DSparse M = original;
        const int n = M.Rows();
        solver.Solved(M, 1);
        const DVector kept = solver.Solved(M, 2);  // the matrix stands
        M.At(1, 1) = M.Get(1, 1) + 0.5;
        solver.Solved(M, 3);  // new values on the same pattern
        M.At(n, 1) = 0.125;
        solver.Solved(M, 4);  // a new pattern
        const SparseLUCounts& k = solver.counts();
        EXPECT_EQ(k.analyses, 2);
        EXPECT_EQ(k.factorizations, 2);
        EXPECT_EQ(k.refactorizations, 1);
        EXPECT_EQ(k.resolves, 1);
        EXPECT_EQ(k.solves, 4);
        // Kept factors give the bits of factors made anew.
        Solver again;
        DSparse M0 = original;
        DVector x = Rhs(n, 2);
        Solve(again.t.s, M0, x, 1);
        EXPECT_EQ(std::memcmp(x.Data() + 1, kept.Data() + 1, sizeof(double) * n), 0);
    }
    // Values that leave the kept pivot order without a usable pivot.
    Solver solver;
    DSparse M = FromRows({{4, 1, 0}, {1, 4, 1}, {0, 1, 4}});
    solver.Solved(M, 1);
    M.At(1, 1) = 1E-30;
    solver.Solved(M, 2);
    EXPECT_EQ(solver.counts().refactorizations, 1);
    EXPECT_EQ(solver.counts().factorizations, 2);
}

TEST(SparseLU, SingularMatricesAndValuesThatAreNoNumbersEndTheRunNamingTheEquation) {
    if (!SparseLUAvailable()) GTEST_SKIP() << "built without KLU";
    const double r1[] = {0.1, 0.2, 0.3}, r2[] = {0.7, 0.11, 0.13};
    struct Case {
        DSparse M;
        double rhs2;
        std::string message;
    };
    const Case cases[] = {
        {FromRows({{1, 0, 0}, {0, 0, 0}, {0, 0, 2}}), 1,
         "Error:  the sparse LU solver found the system matrix singular at time 2.5: no pivot is "
         "left for the solution of equation 2, which the equations do not determine; an equation "
         "with no term in the matrix (no interface, sink or outflow, and in a time step no storage "
         "either) or a group of equations with no way out has no solution\r\n"},
        // Row 3 the rounded sum of rows 1 and 2.
        {FromRows({{r1[0], r1[1], r1[2]}, {r2[0], r2[1], r2[2]}, {r1[0] + r2[0], r1[1] + r2[1], r1[2] + r2[2]}}), 1,
         "numerically singular at time 2.5: the pivot of the solution of equation 3 is "},
        {FromRows({{1, 0}, {0, INFINITY}}), 1,
         "could not solve the system matrix at time 2.5: an element in the row of equation 2 is "},
        {FromRows({{1, 0}, {0, 1}}), NAN,
         "could not solve the system matrix at time 2.5: the right-hand side of equation 2 is "},
        // Well conditioned, but the answer 1E+400 is out of range.
        {FromRows({{1, 0}, {0, 1E-200}}), 1E+200,
         "could not solve the system matrix at time 2.5: the solution of equation 2 is "},
    };
    for (const Case& c : cases) {
        Solver solver;
        DSparse M = c.M;
        DVector x(M.Rows(), "r");
        x.Fill(1);
        x(2) = c.rhs2;
        try {
            Solve(solver.t.s, M, x, 2.5);
            ADD_FAILURE() << c.message << ": the solve succeeded";
        } catch (const RunEnded& e) {
            EXPECT_EQ(e.status, EXIT_FATAL_DATA);
        }
        const std::string text = solver.dir.Read("Error.dng");
        EXPECT_TRUE(c.message.rfind("Error:", 0) == 0 ? text == c.message : text.find(c.message) != std::string::npos)
            << text;
    }
}

// The pivot ratios of the factors from the matrix itself: every row divided
// by its largest element, rows and columns in the factors' order of
// elimination, Gaussian elimination without further exchanges.
std::vector<double> DenseRatios(const DSparse& M, const std::vector<SparsePivot>& order) {
    const int n = M.Rows();
    std::vector<std::vector<double>> S(n, std::vector<double>(n));
    for (int i = 0; i < n; ++i) {
        double scale = 0;
        for (int j = 0; j < n; ++j) scale = std::fmax(scale, std::fabs(M.Get(i + 1, j + 1)));
        for (int j = 0; j < n; ++j) S[i][j] = M.Get(i + 1, j + 1) / scale;
    }
    std::vector<double> columnMax(n, 0);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) columnMax[j] = std::fmax(columnMax[j], std::fabs(S[i][j]));
    std::vector<std::vector<double>> U(n, std::vector<double>(n));
    for (int a = 0; a < n; ++a)
        for (int b = 0; b < n; ++b) U[a][b] = S[order[a].row - 1][order[b].column - 1];
    std::vector<double> ratios;
    for (int k = 0; k < n; ++k) {
        for (int a = k + 1; a < n; ++a) {
            const double f = U[a][k] / U[k][k];
            for (int b = k; b < n; ++b) U[a][b] -= f * U[k][b];
        }
        ratios.push_back(std::fabs(U[k][k]) / columnMax[order[k].column - 1]);
    }
    return ratios;
}

TEST(SparseLU, PivotRatiosAreThoseOfTheRowScaledMatrixInTheFactorsOwnRowOrder) {
    if (!SparseLUAvailable()) GTEST_SKIP() << "built without KLU";
    const DSparse cases[] = {
        FromRows({{1, 1E+20}, {1, 1}}),
        FromRows({{1E-6, 3, 0, 2}, {4, 1E-3, 5, 0}, {0, 7E+8, 1E-2, 1}, {2, 0, 6E-4, 3E+5}}),
        FromRows({{0, 2, 1, 0}, {3, 0, 0, 1}, {0, 1, 0, 4}, {1, 0, 5, 0}}),
        FromRows({{2E+9, 1, 3, 0, 0}, {1, 1E-9, 0, 4, 0}, {0, 5, 7E+3, 0, 1}, {6, 0, 1, 2E-5, 8}, {0, 9E+12, 0, 1, 3}}),
    };
    int exchanged = 0;
    for (const DSparse& original : cases) {
        Solver solver;
        DSparse M = original;
        double smallest = INFINITY;
        // Factored afresh, then refactored on new values of the same pattern.
        for (const double rowOneScale : {1.0, 1E+3}) {
            for (int j = 1; j <= M.Rows(); ++j)
                if (M.Get(1, j) != 0) M.At(1, j) = original.Get(1, j) * rowOneScale;
            DVector x = Rhs(M.Rows(), 1);
            Solve(solver.t.s, M, x, 1);
            const std::vector<SparsePivot> pivots = SparseLUPivots(solver.t.s);
            ASSERT_EQ(static_cast<int>(pivots.size()), M.Rows());
            const std::vector<double> dense = DenseRatios(M, pivots);
            for (std::size_t k = 0; k < pivots.size(); ++k) {
                EXPECT_NEAR(pivots[k].ratio, dense[k], 1e-12 * dense[k]) << "pivot " << k + 1 << " of " << M.Rows();
                smallest = std::fmin(smallest, pivots[k].ratio);
                if (pivots[k].row != pivots[k].column) ++exchanged;
            }
        }
        EXPECT_EQ(solver.counts().refactorizations, 1);
        EXPECT_EQ(solver.counts().smallestPivotRatio, smallest);
        EXPECT_GE(solver.counts().largestBackwardError, 0);
        EXPECT_LE(solver.counts().largestBackwardError, 1E-15);
    }
    EXPECT_GT(exchanged, 0) << "no case makes KLU take a pivot off the diagonal";
}

TEST(SparseLU, ASingularMatrixIsRefusedWhereverItsRowsStandAndAScaledOneSolved) {
    if (!SparseLUAvailable()) GTEST_SKIP() << "built without KLU";
    // Row 4 = row 2 / 10 + row 3 / 10000, every value exact in Single.
    Solver singular;
    DSparse M = FromRows({{0, 5000, 0, 0}, {-10, -60, 40, -20}, {-80000, 50000, 0, 60000}, {-9, -1, 4, 4}});
    DVector x(4, "r");
    x.Fill(1);
    EXPECT_THROW(Solve(singular.t.s, M, x, -999), RunEnded);
    EXPECT_NE(singular.dir.Read("Error.dng").find("found the system matrix numerically singular at steady state: "
                                                  "the pivot of the solution of equation "),
              std::string::npos)
        << singular.dir.Read("Error.dng");
    // Two equations that repeat each other but for 1E-8, in the unknown of
    // large coefficients, beside a third whose unknown has the largest
    // element of the other's column: every pivot passes (the smallest ratio
    // is 6.7E-12), but rows and columns scaled the condition is about 1E+19.
    Solver nearRepeat;
    DSparse N = FromRows({{-0.2, 3E+10, 0}, {-0.2, 3E+10 * (1 - 1E-8), 0}, {5E+10, 0, 5E-4}});
    DVector y(3, "r");
    y.Fill(1);
    EXPECT_THROW(Solve(nearRepeat.t.s, N, y, 40), RunEnded);
    EXPECT_NE(nearRepeat.dir.Read("Error.dng").find("numerically singular at time 40: its condition number, every "
                                                    "row and column scaled to a largest element of 1, is at least "),
              std::string::npos)
        << nearRepeat.dir.Read("Error.dng");
    // A step of implicit Euler, condition 6.6E+15 once scaled: the first
    // bound (6.1E+14) misses it, the sharper one does not.
    Solver edge;
    DSparse E = FromRows({{1E-14 / 2 + 0.5, -1E-12, 0},
                          {-21.5, 4.303E-11, -0.004},
                          {19.5, -3.903E-11, 1E-30 / 2 + 0.004}});
    DVector z(3, "r");
    z.Fill(1);
    EXPECT_THROW(Solve(edge.t.s, E, z, 2), RunEnded);
    EXPECT_NE(edge.dir.Read("Error.dng").find("its condition number"), std::string::npos) << edge.dir.Read("Error.dng");
    // Well conditioned once its rows are scaled: solved as Gauss-Jordan solves it.
    Solver scaled;
    DSparse S = FromRows({{1, 1E+20}, {1, 1}});
    scaled.Solved(S, 1);
}

TEST(SparseLU, AMatrixWithoutElementsOrOfZerosIsSingularInItsFirstEquation) {
    if (!SparseLUAvailable()) GTEST_SKIP() << "built without KLU";
    const struct {
        Double time;
        const char *system, *when;
    } contexts[] = {{-999, "the system matrix", "at steady state"},
                    {3, "the system matrix", "at time 3"},
                    {3, "the Jacobian of Newton iteration", "at time 3"}};
    for (const bool zeros : {false, true})
        for (const auto& c : contexts) {
            Solver solver;
            DSparse M(3, "M");
            if (zeros)
                for (int i = 1; i <= 3; ++i) M.At(i, i) = 0;
            DVector x(3, "r");
            x.Fill(1);
            EXPECT_THROW(SparseLUSolve(solver.t.s, M, x, c.time, c.system), RunEnded);
            const std::string expected = std::string("found ") + c.system + " singular " + c.when +
                                         ": no pivot is left for the solution of equation 1,";
            EXPECT_NE(solver.dir.Read("Error.dng").find(expected), std::string::npos)
                << solver.dir.Read("Error.dng");
        }
}

TEST(SparseLU, TheSparseJacobianHoldsTheDenseElementsBitForBit) {
    const struct {
        const char* name;
        const char *scheme, *analytic;
    } cases[] = {
        {"steady, df/dC from dfdc", "0", "Y"},
        {"implicit Euler, finite differences", "3", "N"},
        {"Crank-Nicolson, dfdc and Pask", "4", "Y"},
        {"explicit Euler, dfdc and Pask", "1", "Y"},
    };
    for (const auto& c : cases) {
        const bool dynamic = c.scheme[0] != '0';
        NonlinearModel m;
        WriteColumn(m.dir, 4, 10);
        SquareVarn(m.dir, dynamic);
        RationalTelm(m.dir);
        m.Load(ColumnControl(4).Set(3, dynamic ? "N" : "Y").Set(9, dynamic ? c.scheme : "3").Set(10, ".5")
                   .Set(16, dynamic ? "Y" : "N").Set(17, c.analytic).Set(24, "Y").Set(25, dynamic ? "Y" : "N"));
        ModelState& s = m.s;
        const int n = s.opt.NEQN;
        DVector X = s.sys.c;
        X(2) = 2.75;
        EvalG(s, X, s.sys.c, s.sys.G, ALL_ROWS, s.sys.A, s.sys.BBC, s.sys.B, 0);
        DMatrix dense(n, n);
        DSparse sparse;
        Jacobian(s, s.opt.DELTFD, X, s.sys.c, s.sys.G, dense, s.sys.A, s.sys.BBC, s.sys.B, 0);
        Jacobian(s, s.opt.DELTFD, X, s.sys.c, s.sys.G, sparse, s.sys.A, s.sys.BBC, s.sys.B, 0);
        ASSERT_EQ(sparse.Rows(), n) << c.name;
        for (int i = 1; i <= n; ++i)
            for (int j = 1; j <= n; ++j) {
                const double d = dense(i, j), v = sparse.Get(i, j);
                EXPECT_TRUE(std::memcmp(&d, &v, sizeof d) == 0 || (d == 0 && v == 0))
                    << c.name << " (" << i << ", " << j << "): " << d << " and " << v;
            }
        EXPECT_LE(sparse.NonZeros(), static_cast<std::size_t>(3 * n)) << c.name;
    }
}

}  // namespace
}  // namespace ostra
