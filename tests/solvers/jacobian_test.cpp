// jacobian_test.cpp -- the finite-difference and the analytic Jacobian.
#include <gtest/gtest.h>

#include <cmath>

#include "solvers/jacobian.h"
#include "solvers/nonlinear_fixture.h"
#include "solvers/residual.h"

namespace ostra {
namespace {

using namespace testing;

const std::vector<std::vector<double>> kA = {{-2, 1, 0}, {1, -3, 1}, {0, 1, -2}};

// The definition differentiated one row at a time, each row from a
// residual evaluation that computes only that row.
void RowByRow(ModelState& s, Double DELTFD, const DVector& X, const DVector& XPREV, DMatrix& XJAC,
              Double cumtime) {
    const int n = s.opt.NEQN;
    DVector XP = X, GP(n);
    for (int I = 1; I <= n; ++I) {
        for (int J = 1; J <= n; ++J) {
            XP(J) = X(J) * DELTFD + X(J);
            EvalG(s, XP, XPREV, GP, static_cast<Integer>(I), s.sys.A, s.sys.BBC, s.sys.B, cumtime);
            const Double G1 = GP(I);
            XP(J) = X(J) - X(J) * DELTFD;
            EvalG(s, XP, XPREV, GP, static_cast<Integer>(I), s.sys.A, s.sys.BBC, s.sys.B, cumtime);
            XJAC(I, J) = (G1 - GP(I)) / (DELTFD * 2 * X(J));
            XP(J) = X(J);
        }
    }
}

void Jac(ModelState& s, const DVector& X, const DVector& XPREV, DMatrix& XJAC, Double cumtime) {
    Jacobian(s, s.opt.DELTFD, X, XPREV, s.sys.G, XJAC, s.sys.A, s.sys.BBC, s.sys.B, cumtime);
}

// A column with f = C^2 and R(C) from companions, scheme `scheme`.
void LoadNonlinearColumn(NonlinearModel& m, const std::string& scheme, const std::string& analytic,
                         const std::string& DELTFD = "1E-05") {
    WriteColumn(m.dir, 3, 10);
    SquareVarn(m.dir, true);
    RationalTelm(m.dir);
    m.Load(ColumnControl(3).Set(3, "N").Set(9, scheme).Set(10, ".5").Set(16, "Y").Set(17, analytic)
               .Set(18, DELTFD).Set(24, "Y").Set(25, "Y"));
}

TEST(JacobianTest, ColumnByColumnEqualsRowByRowBitForBit) {
    for (const char* scheme : {"3", "4"}) {
        NonlinearModel m;
        LoadNonlinearColumn(m, scheme, "N");
        ModelState& s = m.s;
        const DVector XPREV = s.sys.c;
        DVector X = XPREV;
        X(2) = 2.75;
        DMatrix byColumn(3, 3), byRow(3, 3);
        const long before = s.companions.starts;
        Jac(s, X, XPREV, byColumn, 0);
        // 2 NEQN residuals, each asking telm at both levels and varn at the
        // new level (Crank-Nicolson: at both levels).
        EXPECT_EQ(s.companions.starts - before, 2 * 3 * (scheme[0] == '4' ? 4 : 3)) << scheme;
        RowByRow(s, s.opt.DELTFD, X, XPREV, byRow, 0);
        for (int i = 1; i <= 3; ++i)
            for (int j = 1; j <= 3; ++j) EXPECT_EQ(byColumn(i, j), byRow(i, j)) << scheme << " " << i << "," << j;
    }
}

TEST(JacobianTest, AnalyticAgreesWithFiniteDifferencesForEveryScheme) {
    for (const char* scheme : {"1", "3", "4"}) {
        NonlinearModel a, fd;
        LoadNonlinearColumn(a, scheme, "Y");
        // R(C) comes back as a Single: a wider step keeps its rounding out of the quotient.
        LoadNonlinearColumn(fd, scheme, "N", "1E-03");
        DVector X = a.s.sys.c;
        X(1) = 1.75, X(3) = 0.5;
        DMatrix Ja(3, 3), Jf(3, 3);
        for (NonlinearModel* m : {&a, &fd}) {
            // Newton differentiates right after a residual at the same state.
            EvalG(m->s, X, m->s.sys.c, m->s.sys.G, ALL_ROWS, m->s.sys.A, m->s.sys.BBC, m->s.sys.B, 0);
            Jac(m->s, X, m->s.sys.c, m == &a ? Ja : Jf, 0);
        }
        for (int i = 1; i <= 3; ++i)
            for (int j = 1; j <= 3; ++j)
                EXPECT_NEAR(Ja(i, j), Jf(i, j), 5e-4 * (1 + std::fabs(Jf(i, j)))) << scheme << " " << i << "," << j;
    }
}

TEST(JacobianTest, LinearProblemsGiveTheirMatrixAlsoAtAZeroComponent) {
    NonlinearModel m;
    WriteEqns(m.dir, kA, {1, 2, 3}, {2, 3, 4}, {0, 2, -1});
    m.Load(Control());
    ModelState& s = m.s;
    DMatrix J(3, 3);
    Jac(s, s.sys.c, s.sys.c, J, 0);
    for (int i = 1; i <= 3; ++i)
        for (int j = 1; j <= 3; ++j) EXPECT_NEAR(J(i, j), s.sys.A(i, j), 1e-8) << i << "," << j;

    s.opt.AnalyticJacobian = true;
    Jac(s, s.sys.c, s.sys.c, J, 0);
    for (int i = 1; i <= 3; ++i)
        for (int j = 1; j <= 3; ++j) EXPECT_EQ(J(i, j), s.sys.A(i, j)) << i << "," << j;
}

TEST(JacobianTest, AnalyticStorageTermsWithConstantStorage) {
    NonlinearModel col;  // compartment mode: volume x retardation
    WriteColumn(col.dir, 3, 10);
    col.Load(ColumnControl(3).Set(3, "N").Set(9, "3").Set(10, ".5").Set(17, "Y"));
    NonlinearModel eqns;  // equation-solver mode: RVDiag for every row
    WriteEqns(eqns.dir, kA, {1, 2, 3}, {2, 3, 4}, {1, 2, 3});
    eqns.Load(Control().Set(3, "N").Set(9, "3").Set(10, ".5").Set(17, "Y"));
    for (NonlinearModel* m : {&col, &eqns}) {
        ModelState& s = m->s;
        DMatrix J(3, 3);
        EvalG(s, s.sys.c, s.sys.c, s.sys.G, ALL_ROWS, s.sys.A, s.sys.BBC, s.sys.B, 0);
        for (Integer scheme : {1, 3}) {
            s.opt.DynType = scheme;
            J.Fill(-5);
            Jac(s, s.sys.c, s.sys.c, J, 0);
            for (int i = 1; i <= 3; ++i) {
                const double S = s.opt.EquationSolver ? double{s.eq.RVDiag(i)}
                                                      : double{s.eq.EqnVolume(i)} * s.eq.EqnRetard(i);
                for (int j = 1; j <= 3; ++j) {
                    const double expected = (i == j ? S : 0) - (scheme == 3 ? .5 * s.sys.A(i, j) : 0);
                    EXPECT_DOUBLE_EQ(J(i, j), expected) << scheme << " " << i << "," << j;
                }
            }
        }
        s.opt.DynType = 2;
        EXPECT_EQ(Ended([&] { Jac(s, s.sys.c, s.sys.c, J, 0); }), EXIT_FATAL_DATA);
        EXPECT_EQ(m->ErrorText(), Crlf("Error:  MacCormack not implemented for nonlinear\n"));
    }
}

}  // namespace
}  // namespace ostra
