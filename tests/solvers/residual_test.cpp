// residual_test.cpp -- EvalG for the steady state and the schemes 1, 3, 4:
// the balances it forms, the rows it writes, when it rebuilds A, its dumps,
// its errors, and the old level of Crank-Nicolson.
#include <gtest/gtest.h>

#include "solvers/nonlinear_fixture.h"
#include "solvers/residual.h"
#include "textio/number_format.h"

namespace ostra {
namespace {

using namespace testing;

const std::vector<std::vector<double>> kA = {{-2, 1, 0}, {1, -3, 1}, {0, 1, -2}};
const std::vector<double> kRV = {2, 3, 4};

DVector Vector(const std::vector<double>& v) {
    DVector x(static_cast<int>(v.size()));
    for (int i = 1; i <= x.Size(); ++i) x(i) = v[static_cast<std::size_t>(i - 1)];
    return x;
}

double RowTimes(const std::vector<double>& row, const DVector& x) {
    double sum = 0;
    for (int j = 1; j <= x.Size(); ++j) sum += row[static_cast<std::size_t>(j - 1)] * x(j);
    return sum;
}

TEST(EvalGTest, SteadyResidualIsAXPlusFMinusBAndWritesOnlyTheSelectedRow) {
    // B = A X for X = (1, 2, 3): the linear residual vanishes exactly there.
    NonlinearModel m;
    WriteEqns(m.dir, kA, {0, -2, -4}, kRV, {1, 2, 3});
    m.Load(Control());
    ModelState& s = m.s;
    DVector G(3);
    EvalG(s, s.sys.c, s.sys.c, G, ALL_ROWS, s.sys.A, s.sys.BBC, s.sys.B, 0);
    for (int i = 1; i <= 3; ++i) EXPECT_EQ(G(i), 0.0) << i;

    NonlinearModel n;
    WriteEqns(n.dir, kA, {0, -2, -4}, kRV, {1, 2, 3});
    SquareVarn(n.dir, false);
    n.Load(Control().Set(24, "Y"));
    DVector H(3);
    H.Fill(-7);
    EvalG(n.s, n.s.sys.c, n.s.sys.c, H, 3, n.s.sys.A, n.s.sys.BBC, n.s.sys.B, 0);
    EXPECT_EQ(H(1), -7);
    EXPECT_EQ(H(2), -7);
    EXPECT_EQ(H(3), 9);  // f(3) = 3^2
}

TEST(EvalGTest, DynamicSchemesBalanceStorageAgainstTheirRates) {
    const DVector X = Vector({1.5, -0.5, 2});
    const DVector XPREV = Vector({1, 2, 3});
    const std::vector<double> B = {1, 2, 3};
    for (int scheme : {1, 3, 4}) {
        NonlinearModel m;
        WriteEqns(m.dir, kA, B, kRV, {1, 2, 3});
        SquareVarn(m.dir, true);
        m.Load(Control().Set(3, "N").Set(9, std::to_string(scheme)).Set(10, ".25").Set(24, "Y"));
        ModelState& s = m.s;
        DVector G(3);
        EvalG(s, X, XPREV, G, ALL_ROWS, s.sys.A, s.sys.BBC, s.sys.B, 5);
        for (int i = 1; i <= 3; ++i) {
            const auto& row = kA[static_cast<std::size_t>(i - 1)];
            const double b = B[static_cast<std::size_t>(i - 1)];
            const double oldRate = RowTimes(row, XPREV) + XPREV(i) * XPREV(i) + b;
            const double newRate = RowTimes(row, X) + X(i) * X(i) + b;
            const double storage = kRV[static_cast<std::size_t>(i - 1)] * (X(i) - XPREV(i));
            const double rate = scheme == 1 ? oldRate : scheme == 3 ? newRate : (oldRate + newRate) / 2;
            EXPECT_NEAR(G(i), storage - .25 * rate, 1e-12) << "DynType " << scheme << " row " << i;
        }
        // f was last taken at the new level, except in the explicit scheme.
        EXPECT_EQ(s.sys.CurrentTime, scheme == 1 ? 5 : 5 + .25) << scheme;
    }
}

TEST(EvalGTest, ExplicitSchemeAtRestIsMinusDeltTimesTheOldRate) {
    NonlinearModel m;
    WriteColumn(m.dir, 3, 10);
    m.Load(ColumnControl(3).Set(3, "N").Set(9, "1").Set(10, ".5"));
    ModelState& s = m.s;
    DVector G(3);
    const DVector X = s.sys.c;
    EvalG(s, X, X, G, ALL_ROWS, s.sys.A, s.sys.BBC, s.sys.B, 0);
    for (int i = 1; i <= 3; ++i) {
        double rate = s.sys.B(i);
        for (int j = 1; j <= 3; ++j) rate += s.sys.A(i, j) * X(j);
        EXPECT_NEAR(G(i), -.5 * rate, 1e-12) << i;
    }
    EXPECT_NE(s.sys.B(1), 0.0);  // the inflow boundary reached B through BBC
}

TEST(EvalGTest, CoefficientMatrixIsRebuiltOnlyAtTheStartWhenNothingVaries) {
    NonlinearModel m;
    WriteColumn(m.dir, 3, 10);
    m.Load(ColumnControl(3).Set(3, "N").Set(9, "3"));
    ModelState& s = m.s;
    DVector G(3);
    for (int i = 1; i <= 3; ++i)
        for (int j = 1; j <= 3; ++j) s.sys.A.At(i, j) = 99;
    EvalG(s, s.sys.c, s.sys.c, G, ALL_ROWS, s.sys.A, s.sys.BBC, s.sys.B, 4);
    EXPECT_EQ(s.sys.A(1, 3), 99);
    EvalG(s, s.sys.c, s.sys.c, G, ALL_ROWS, s.sys.A, s.sys.BBC, s.sys.B, 0);
    EXPECT_EQ(s.sys.A(1, 3), 0);  // compartments 2 and 4 are not neighbours
    EXPECT_LT(s.sys.A(1, 1), 0);
}

TEST(EvalGTest, DumpsAreLabelledWithTheOldTimeAndReplacedOnEveryCall) {
    NonlinearModel m;
    WriteEqns(m.dir, kA, {1, 2, 3}, kRV, {1, 2, 3});
    m.Load(Control().Set(3, "N").Set(9, "3"));
    ModelState& s = m.s;
    s.sys.DumpNow = true;
    DVector G(3);
    for (double t : {2.5, 3.5}) {
        EvalG(s, s.sys.c, s.sys.c, G, ALL_ROWS, s.sys.A, s.sys.BBC, s.sys.B, t);
        const std::string a = m.dir.Read("A.dng");
        EXPECT_EQ(a.substr(0, a.find('\r')), "At Time " + textio::FormatDouble(t) + " ...");
        EXPECT_EQ(a.find("At Time", 1), std::string::npos);
        EXPECT_TRUE(m.dir.Exists("RV.dng"));
    }
}

TEST(EvalGTest, SchemesOutsideOneThreeAndFourEndTheRun) {
    for (auto [scheme, message] : {std::pair{"2", "MacCormack not implemented for nonlinear"},
                                   {"5", "DynType <> 1,2,3, or 4 in EvalG"}}) {
        NonlinearModel m;
        WriteEqns(m.dir, kA, {1, 2, 3}, kRV, {1, 2, 3});
        // Set-up refuses a nonlinear MacCormack run, so the scheme is changed after it.
        m.Load(Control().Set(3, "N").Set(9, "3"));
        m.s.opt.DynType = static_cast<Integer>(std::stoi(scheme));
        DVector G(3);
        EXPECT_EQ(Ended([&] { EvalG(m.s, m.s.sys.c, m.s.sys.c, G, ALL_ROWS, m.s.sys.A, m.s.sys.BBC, m.s.sys.B, 0); }),
                  EXIT_FATAL_DATA);
        EXPECT_EQ(m.ErrorText(), Crlf(std::string("Error:  ") + message + "\n"));
    }
}

// Crank-Nicolson with a time-variable inflow: the old-level rate must use the
// matrix and boundary contributions of the old time in every evaluation of a
// step, the first step included (nothing assembled on entry).
TEST(EvalGTest, CrankNicolsonUsesTheOldLevelOperatorInEveryEvaluation) {
    NonlinearModel m;
    WriteColumn(m.dir, 3, 10);
    RampBoundary(m.dir, 3);
    m.Load(ColumnControl(3).Set(3, "N").Set(9, "4").Set(10, ".5").Set(32, "Y"));
    ModelState& s = m.s;
    const DVector XPREV = s.sys.c;
    const DVector X = Vector({2, 3, 4});
    for (double t : {0.0, 0.5}) {
        // The expected residual from operators assembled here at each level.
        DSparse A(3);
        DVector BBC(3), B(3);
        double rate[2][4] = {};
        for (int level = 0; level < 2; ++level) {
            const DVector& Y = level ? X : XPREV;
            ParmUpdate(s, t + level * .5, A);
            LoadATrans(s, A, BBC);
            LoadALinearSrcSnk(s, A);
            ForceFn(s, t + level * .5, BBC, B);
            for (int i = 1; i <= 3; ++i) {
                rate[level][i] = B(i);
                for (int j = 1; j <= 3; ++j) rate[level][i] += A(i, j) * Y(j);
            }
        }
        s.sys.A.Clear();
        s.sys.BBC.Fill(0);
        DVector G1(3), G2(3), G3(3);
        EvalG(s, X, XPREV, G1, ALL_ROWS, s.sys.A, s.sys.BBC, s.sys.B, t);
        EvalG(s, XPREV, XPREV, G2, ALL_ROWS, s.sys.A, s.sys.BBC, s.sys.B, t);
        EvalG(s, X, XPREV, G3, ALL_ROWS, s.sys.A, s.sys.BBC, s.sys.B, t);
        for (int i = 1; i <= 3; ++i) {
            const double RV = s.eq.EqnVolume(i) * s.eq.EqnRetard(i);
            EXPECT_NEAR(G1(i), RV * (X(i) - XPREV(i)) - (rate[0][i] + rate[1][i]) * .25, 1e-12)
                << "t " << t << " row " << i;
            EXPECT_EQ(G1(i), G3(i)) << "t " << t << " row " << i;
        }
    }
}

}  // namespace
}  // namespace ostra
