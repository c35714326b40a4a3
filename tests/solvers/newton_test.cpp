// newton_test.cpp -- Newton iteration: convergence test, trace, line search,
// non-negativity, randomized restarts and the give-up.
#include <gtest/gtest.h>

#include <algorithm>

#include "solvers/newton.h"
#include "solvers/nonlinear_fixture.h"
#include "textio/number_format.h"

namespace ostra {
namespace {

using namespace testing;

// A steady equation-solver model solved from its guesses, with the trace on.
struct NewtonModel : NonlinearModel {
    NewtonModel(const std::vector<std::vector<double>>& A, const std::vector<double>& B,
                const std::vector<double>& guess, Control control) {
        WriteEqns(dir, A, B, B, guess);
        Load(control.Set(4, std::to_string(B.size())).Set(19, "Y"));
    }
    int Run() {
        return Ended([&] {
            Newton(s, s.sys.c, s.sys.c, s.sys.G, s.sys.XJAC, s.sys.INDX, s.opt.SC, s.opt.DELTFD,
                   s.sys.A, s.sys.BBC, s.sys.B, 0);
        });
    }
    std::string Trace() {
        s.files.NewtonInfo->Close();
        return dir.Read("NewtonInfo.dng");
    }
    bool Shown(const std::string& event) const {
        const auto& e = t.display.events;
        return std::find(e.begin(), e.end(), event) != e.end();
    }
};

// f(X) = X, the state itself.
void IdentityVarn(const TempDir& dir) {
    dir.WriteExecutable("varn.exe", "#!/bin/sh\nawk '{ printf \"%.17g\\n\", $1 }' Shellvarn.csv > varn.csv\n");
}

TEST(NewtonTest, ConvergedStartCostsOneResidualAndShowsIterationOne) {
    Control c;
    c.Set(17, "Y").Set(24, "Y");  // a Jacobian would start dfdc.exe
    NewtonModel m({{2, 0}, {0, 4}}, {3, 5}, {1, 1}, c);  // A X + X^2 = B at X = (1, 1)
    SquareVarn(m.dir, false);
    EXPECT_EQ(m.Run(), -1);
    EXPECT_EQ(m.s.companions.starts, 1);
    EXPECT_TRUE(m.Shown("text 2: Newton Iteration 1"));
    EXPECT_EQ(m.t.display.counters[3], "f value =  0");
}

TEST(NewtonTest, LinearProblemTakesOneFullStepAndTracesEveryLine) {
    Control c;
    c.Set(17, "Y");
    NewtonModel m({{2, 0}, {0, 4}}, {2, 4}, {3, 3}, c);
    EXPECT_EQ(m.Run(), -1);
    EXPECT_EQ(m.s.sys.c(1), 1);
    EXPECT_EQ(m.s.sys.c(2), 1);
    // G = (4, 8) at (3, 3): f = 16/2 + 64/2; the exact Jacobian lands on (1, 1).
    EXPECT_EQ(m.Trace(), Crlf("time =  0 \nNewton Iteration 1 \nCurrent X values ...\n 3  3 \n"
                              "current f =  40 \nJacobian ....\n 2  0 \n 0  4 \nLambda =   1 \n"
                              "Trial f =  0 \nUpdated X values ...\n 1  1 \n\nNewton Iteration 2 \n"
                              "Current X values ...\n 1  1 \ncurrent f =  0 \n"));
    EXPECT_EQ(m.t.display.counters[5], "Lambda =  1");
}

TEST(NewtonTest, TrialWithEqualMeritIsRejectedAndTheStepHalved) {
    // G = X with a derivative claimed to be .5: the full step lands on -X,
    // whose merit equals the current one; the half step reaches 0.
    Control c;
    c.Set(17, "Y").Set(20, "N").Set(24, "Y");
    NewtonModel m({{0}}, {0}, {1}, c);
    IdentityVarn(m.dir);
    ConstantDfdc(m.dir, ".5", 1);
    EXPECT_EQ(m.Run(), -1);
    EXPECT_EQ(m.s.sys.c(1), 0);
    EXPECT_NE(m.Trace().find(Crlf("Lambda =   1 \nTrial f =  .5 \nLambda =   .5 \nTrial f =  0 \n")),
              std::string::npos);
}

TEST(NewtonTest, NonNegativeKeepsTheStateAtZeroOrAboveUntilNewtonGivesUp) {
    // G = X + 1: the root -1 lies below zero.
    Control c;
    c.Set(17, "Y").Set(23, "20,0,3");
    NewtonModel free({{1}}, {-1}, {1}, Control(c).Set(20, "N"));
    EXPECT_EQ(free.Run(), -1);
    EXPECT_EQ(free.s.sys.c(1), -1);

    NewtonModel kept({{1}}, {-1}, {1}, c);
    EXPECT_EQ(kept.Run(), EXIT_NEWTON_GAVE_UP);
    EXPECT_EQ(kept.s.sys.c(1), 0);
    EXPECT_EQ(kept.t.display.messages.back(), "Newton Algorithm Terminated Due to Excessive Iterations");
    const std::string trace = kept.Trace();
    EXPECT_NE(trace.find(Crlf("Lambda =   1 \nLambda =   .5 \nTrial f =  .5 \n")), std::string::npos);
    EXPECT_EQ(trace.substr(trace.size() - 50), Crlf("Algorithm Terminated due to excessive iterations\n"));
}

TEST(NewtonTest, FailedLineSearchTriesEveryStepLengthDownToMachinePrecision) {
    // G = X + 1 kept non-negative: from X = 0 every trial of the second
    // iteration is negative, so the step is halved from 1 down to 2^-53 (54
    // lengths, none evaluated) before the cycle ends.
    Control c;
    c.Set(17, "Y").Set(23, "20,0,3");
    NewtonModel m({{1}}, {-1}, {1}, c);
    ASSERT_EQ(m.Run(), EXIT_NEWTON_GAVE_UP);
    const std::string trace = m.Trace();
    const std::size_t second = trace.find("Newton Iteration 2 ");
    ASSERT_NE(second, std::string::npos);
    const std::string tail = trace.substr(second);
    int lengths = 0;
    std::string last;
    for (std::size_t p = tail.find("Lambda =  "); p != std::string::npos; p = tail.find("Lambda =  ", p + 1)) {
        ++lengths;
        last = tail.substr(p + 10, tail.find('\r', p) - p - 10);
    }
    EXPECT_EQ(lengths, 54);
    EXPECT_EQ(last, textio::FormatSingle(0x1p-53f));
    EXPECT_EQ(tail.find("Trial f"), std::string::npos);
}

TEST(NewtonTest, WithoutIterationsOnlyRandomSamplesAreTested) {
    // G = X - 2 and every random value is 2: the first cycle converges.
    Control c;
    c.Set(17, "Y").Set(21, "2,2").Set(23, "0,1,3");
    NewtonModel m({{1}}, {2}, {5}, c);
    EXPECT_EQ(m.Run(), -1);
    EXPECT_EQ(m.s.sys.c(1), 2);
    EXPECT_EQ(m.t.display.counters[4], "Randomizing Iteration 1");
    EXPECT_EQ(m.Trace(), Crlf("time =  0 \nSampling iteration  1 \nRandomizing...\nNewton Iteration 1 \n"
                              "Current X values ...\n 2 \ncurrent f =  0 \n"));

    // No samples: the cycle restarts from the current state; the next cycle
    // exceeds MaxRandomizing although that state was solved by then.
    NewtonModel none({{1}}, {2}, {5}, Control(c).Set(23, "0,1,0"));
    EXPECT_EQ(none.Run(), EXIT_NEWTON_GAVE_UP);
    EXPECT_EQ(none.s.sys.c(1), 2);
    EXPECT_NE(none.Trace().find(Crlf("Sampling iteration  1 \nNewton Iteration 1 \nCurrent X values ...\n 5 \n")),
              std::string::npos);
}

TEST(NewtonTest, PlaceholderIterationLimitIsFatal) {
    NewtonModel m({{1}}, {2}, {5}, Control().Set(23, "-999,1,1"));
    EXPECT_EQ(m.Run(), EXIT_FATAL_DATA);
    EXPECT_EQ(m.ErrorText().rfind("Error:  MaxNewtonIteration parameter = -999: file \"Control.csv\", line 46 "
                                  "(pair 23, MaxNewtonIteration)", 0), 0u) << m.ErrorText();
}

TEST(NewtonTest, RandomValuesSpanEitherOrderOfTheRangeAndDifferBetweenCalls) {
    NewtonModel m({{0}}, {0}, {0}, Control().Set(21, "1,3").Set(22, "1E+30").Set(23, "0,1,1"));
    m.s.opt.XScale = 2;
    DVector X(1);
    std::mt19937 generator(7);
    double low = 1e9, high = -1e9;
    for (int k = 0; k < 2000; ++k) {
        RandomValue(m.s, X, generator);
        low = std::min(low, X(1)), high = std::max(high, X(1));
    }
    EXPECT_GT(low, 2.0);  // RandomLow 3 + (1 - 3) U for U < 1, times 2
    EXPECT_LT(low, 2.05);
    EXPECT_LE(high, 6.0);
    EXPECT_GT(high, 5.95);

    // Every call reseeds: two solves in quick succession sample different points.
    m.s.opt.XScale = 1;
    ASSERT_EQ(m.Run(), -1);
    const double first = m.s.sys.c(1);
    ASSERT_EQ(m.Run(), -1);
    EXPECT_NE(m.s.sys.c(1), first);
}

}  // namespace
}  // namespace ostra

namespace ostra {
namespace {

TEST(NewtonTest, MeritBeyondTheSingleRangeEndsTheRunNamingTheLargestResidual) {
    // G = A X - B with X = 1E+20: G(2)^2 / 2 = 2E+40 lies beyond the Single range.
    testing::Control c;
    NewtonModel m({{1, 0}, {0, 2}}, {0, 0}, {1, 1E+20}, c);
    EXPECT_EQ(m.Run(), EXIT_FATAL_DATA);
    EXPECT_EQ(m.dir.Read("Error.dng"),
              "Error:  f value beyond the Single range in Newton at time 0: residual of equation 2 "
              "is 2E+20\r\n");
}

}  // namespace
}  // namespace ostra
