// Time loop and schemes, run on real model directories through the run
// button: each scheme against the recurrence it must follow, result rows,
// print interval, dumps, the explicit-Euler stability report and the runs
// that must stop.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "app/compartment_model_files.h"
#include "app/run_driver.h"
#include "support/test_support.h"

namespace ostra::testing {
namespace {

int RunModel(TestState& ts) {
    FormLoad(ts.s);
    return RunOstraClick(ts.s);
}

int RunModel(const TempDir& dir) {
    TestState ts(dir.Path());
    return RunModel(ts);
}

// One well-mixed compartment: S dc/dt = a c + b with a = k V (first-order
// decay), b = W (water content 1) and S = V (1 + Kd solids).
struct Decay {
    double V = 8, k = -2, W = 5, c0 = 3, Kd = 0.5, solids = 2;
    double S() const { return V * (1 + Kd * solids); }
    double a() const { return k * V; }

    CompartmentModel Model() const {
        CompartmentModel m;
        Compartment c;
        c.volume = V;
        c.solids = solids;
        m.Add(c);
        m.kd[0][0] = Kd;
        m.initial[0][0] = c0;
        m.volumeTerms.push_back({1, 1, 1, k});
        m.loads.push_back({0, 1E9, {{1, 1, W}}});
        return m;
    }
};

// The closed-form step of each scheme for the one-compartment system, in
// the order of operations the scheme prescribes.
double SchemeStep(int DynType, const Decay& d, double c, double delt) {
    const double S = d.S(), a = d.a(), b = d.W;
    switch (DynType) {
        case 1:
            return ((b + a * c) * delt + S * c) / S;
        case 2: {
            const double R1 = a * c + b;
            const double CP = (S * c + delt * R1) / S;
            const double R2 = a * CP + b;
            return ((R2 + R1) * delt / 2 + S * c) / S;
        }
        case 3:
            return (S * c + delt * b) / (S - delt * a);
        default: {
            const double h = static_cast<float>(static_cast<float>(delt) / 2);
            const double r = S * c + h * b + (a * c + b) * delt / 2;
            return r / (S - h * a);
        }
    }
}

class SchemeRecurrence : public ::testing::TestWithParam<int> {};

TEST_P(SchemeRecurrence, EveryRowFollowsTheSchemeAndTheSingleTimeStep) {
    const int DynType = GetParam();
    TempDir dir;
    Decay d;
    ControlFile control;
    control.DynType = DynType;
    control.DELT = "0.1";
    control.NumTimeSteps = "20";
    d.Model().Write(dir.Path(), control);
    ASSERT_EQ(RunModel(dir), 0) << (dir.Exists("Error.dng") ? dir.Read("Error.dng") : "");

    const std::string series = dir.Read("AllTimeSeries.csv");
    // The Single time step is widened before it is added.
    EXPECT_EQ(series.substr(series.find("\r\n") + 2, 19), " .100000001490116 ,");
    const auto rows = ParseCsvRows(series);
    ASSERT_EQ(rows.size(), 20u);
    const double delt = 0.1f;
    double t = 0, c = d.c0;
    for (const auto& row : rows) {
        t = t + delt;
        c = SchemeStep(DynType, d, c, delt);
        ASSERT_EQ(row.size(), 2u);
        EXPECT_NEAR(row[0], t, 1E-14 * t);
        EXPECT_NEAR(row[1], c, 1E-12 * std::fabs(c)) << "scheme " << DynType << " at time " << t;
    }
    // The schemes are not interchangeable: the last value is far from the
    // other schemes' values.
    for (int other = 1; other <= 4; ++other) {
        if (other == DynType) continue;
        double co = d.c0;
        for (int n = 0; n < 20; ++n) co = SchemeStep(other, d, co, delt);
        EXPECT_GT(std::fabs(co - c), 1E-6 * std::fabs(c)) << "schemes " << DynType << ", " << other;
    }
}

INSTANTIATE_TEST_SUITE_P(AllSchemes, SchemeRecurrence, ::testing::Values(1, 2, 3, 4));

TEST(TimeLoopResults, ImplicitEulerRowsAreByteExact) {
    // S = 8, a = -8, b = 16, DELT = 1, c0 = 16: c = (8 c + 16) / 16 gives 9, 5.5, 3.75.
    TempDir dir;
    Decay d;
    d.V = 8, d.k = -1, d.W = 16, d.c0 = 16, d.Kd = 0;
    ControlFile control;
    control.NumTimeSteps = "3";
    d.Model().Write(dir.Path(), control);
    ASSERT_EQ(RunModel(dir), 0);
    EXPECT_EQ(dir.Read("AllTimeSeries.csv"),
              Crlf("Time,SV 1 in Compartment 1 ,\n 1 , 9 ,\n 2 , 5.5 ,\n 3 , 3.75 ,\n"));
}

TEST(TimeLoopResults, NoStepsLeaveOnlyTheHeaderAndNoCounter) {
    TempDir dir;
    ControlFile control;
    control.NumTimeSteps = "0";
    Decay().Model().Write(dir.Path(), control);
    TestState ts(dir.Path());
    RunModel(ts);
    EXPECT_EQ(dir.Read("AllTimeSeries.csv"), Crlf("Time,SV 1 in Compartment 1 ,\n"));
    for (const auto& e : ts.display.events) EXPECT_NE(e, "text 1: Time Step 1");
    EXPECT_EQ(ts.display.counters[1], "Time Step Counter");
}

TEST(TimeLoopResults, CounterShowsEachStepAndIsRepainted) {
    TempDir dir;
    ControlFile control;
    control.NumTimeSteps = "3";
    Decay().Model().Write(dir.Path(), control);
    TestState ts(dir.Path());
    ASSERT_EQ(RunModel(ts), 0);
    std::vector<std::size_t> at;
    for (int step = 1; step <= 3; ++step) {
        const std::string text = "text 1: Time Step " + std::to_string(step);
        std::size_t i = 0;
        while (i < ts.display.events.size() && ts.display.events[i] != text) ++i;
        ASSERT_LT(i + 1, ts.display.events.size()) << text;
        EXPECT_EQ(ts.display.events[i + 1], "repaint");
        at.push_back(i);
    }
    EXPECT_LT(at[0], at[1]);
    EXPECT_LT(at[1], at[2]);
    EXPECT_EQ(ts.display.counters[1], "Time Step 3");
}

TEST(TimeLoopResults, PrintEveryThreeWritesStepsOneFourSeven) {
    Decay d;
    ControlFile control;
    control.NumTimeSteps = "8";
    TempDir every;
    d.Model().Write(every.Path(), control);
    ASSERT_EQ(RunModel(every), 0);
    const auto all = ParseCsvRows(every.Read("AllTimeSeries.csv"));

    TempDir some;
    control.DynPrint = 2;
    control.PrintEvery = 3;
    d.Model().Write(some.Path(), control);
    ASSERT_EQ(RunModel(some), 0);
    EXPECT_FALSE(some.Exists("AllTimeSeries.csv"));
    const auto rows = ParseCsvRows(some.Read("OneCompTimeSeries.csv"));
    ASSERT_EQ(rows.size(), 3u);
    const int steps[] = {1, 4, 7};
    for (int n = 0; n < 3; ++n) {
        EXPECT_EQ(rows[n][0], steps[n]);
        EXPECT_EQ(rows[n][1], all[steps[n] - 1][1]);
    }
}

TEST(TimeLoopResults, ProfileStepSelectsOneSnapshotOrNone) {
    Decay d;
    ControlFile control;
    control.NumTimeSteps = "4";
    control.DynPrint = 1;
    control.ProfileStep = "2";
    TempDir dir;
    d.Model().Write(dir.Path(), control);
    ASSERT_EQ(RunModel(dir), 0);
    const auto rows = ParseCsvRows(dir.Read("ProfileSnapshot.csv"));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], 2);  // the end of step 2
    const double c1 = SchemeStep(3, d, d.c0, 1);
    EXPECT_NEAR(rows[0].back(), SchemeStep(3, d, c1, 1), 1E-12);

    TempDir none;
    control.ProfileStep = "2.5";
    d.Model().Write(none.Path(), control);
    ASSERT_EQ(RunModel(none), 0);
    EXPECT_FALSE(none.Exists("ProfileSnapshot.csv"));
}

TEST(TimeLoopDumps, WrittenOnlyDuringTheDumpStepStampedWithItsStart) {
    ControlFile control;
    control.NumTimeSteps = "3";
    control.DELT = "0.5";
    TempDir none;
    Decay().Model().Write(none.Path(), control);
    ASSERT_EQ(RunModel(none), 0);
    EXPECT_FALSE(none.Exists("A.dng"));
    EXPECT_FALSE(none.Exists("B.dng"));
    EXPECT_FALSE(none.Exists("RV.dng"));

    for (int DynType : {1, 2, 3, 4}) {
        TempDir dir;
        control.DumpStep = 2;
        control.DynType = DynType;
        Decay().Model().Write(dir.Path(), control);
        ASSERT_EQ(RunModel(dir), 0);
        const std::string A = dir.Read("A.dng");
        EXPECT_EQ(A.substr(0, A.find("\r\n")), "At Time  .5  ...") << "scheme " << DynType;
        EXPECT_TRUE(dir.Exists("RV.dng"));
        EXPECT_TRUE(dir.Exists("B.dng"));
    }
}

// S = 8, a = -8: DELT = 2 gives q = -8 and a largest stable step of 1.
struct Unstable : Decay {
    Unstable() { V = 8, k = -1, W = 0, c0 = 1, Kd = 0; }
};
const char* const STABILITY_LINE =
    "stability criterion violated at time  %s  for equation  1  max time step is  1 \r\n";

std::string StabilityLine(const char* time) {
    char buf[200];
    std::snprintf(buf, sizeof buf, STABILITY_LINE, time);
    return buf;
}

TEST(ExplicitEulerStability, ReportedAtTheFirstStepOnlyWithFixedTables) {
    TempDir dir;
    ControlFile control;
    control.DynType = 1;
    control.DELT = "2";
    control.NumTimeSteps = "3";
    Unstable().Model().Write(dir.Path(), control);
    ASSERT_EQ(RunModel(dir), 0);
    EXPECT_EQ(dir.Read("EulerStabilityInfo.dng"), StabilityLine("0"));
    // The run goes on with the unstable step: c = ((0 - 8 c) 2 + 8 c) / 8 = -c.
    const auto rows = ParseCsvRows(dir.Read("AllTimeSeries.csv"));
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0][1], -1);
    EXPECT_EQ(rows[1][1], 1);
    EXPECT_EQ(rows[2][1], -1);
}

TEST(ExplicitEulerStability, ReportedAtEveryStepWithTimeVariableTables) {
    TempDir dir;
    ControlFile control;
    control.DynType = 1;
    control.DELT = "2";
    control.NumTimeSteps = "3";
    control.TimeVarKd = true;
    Unstable().Model().Write(dir.Path(), control);
    // The partitioning table stays as it is at every update.
    dir.WriteExecutable("LinearKdandTempCoef.exe", "#!/bin/sh\nexit 0\n");
    ASSERT_EQ(RunModel(dir), 0) << (dir.Exists("Error.dng") ? dir.Read("Error.dng") : "");
    EXPECT_EQ(dir.Read("EulerStabilityInfo.dng"),
              StabilityLine("0") + StabilityLine("2") + StabilityLine("4"));
}

TEST(ExplicitEulerStability, ReportedAtEveryStepWhenFofCIsTakenExplicitly) {
    TempDir dir;
    ControlFile control;
    control.DynType = 1;
    control.DELT = "2";
    control.NumTimeSteps = "3";
    control.linear = false;  // no f(C) program, so f = 0 and the steps stay the same
    Unstable().Model().Write(dir.Path(), control);
    ASSERT_EQ(RunModel(dir), 0) << (dir.Exists("Error.dng") ? dir.Read("Error.dng") : "");
    EXPECT_EQ(dir.Read("EulerStabilityInfo.dng"),
              StabilityLine("0") + StabilityLine("2") + StabilityLine("4"));
    const auto rows = ParseCsvRows(dir.Read("AllTimeSeries.csv"));
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[2][1], -1);
}

TEST(ExplicitEulerStability, StableRunLeavesAnEmptyReport) {
    TempDir dir;
    ControlFile control;
    control.DynType = 1;
    control.DELT = "0.5";
    control.NumTimeSteps = "2";
    Unstable().Model().Write(dir.Path(), control);
    ASSERT_EQ(RunModel(dir), 0);
    EXPECT_EQ(dir.Read("EulerStabilityInfo.dng"), "");
}

// Equation-solver mode: one equation with A = -8, RV = 8, B = 0, c0 = 1.
void WriteEquationModel(const TempDir& dir, const ControlFile& control, const std::string& rv) {
    WriteModelFile(dir.Path(), "Control.csv", control.Text());
    WriteModelFile(dir.Path(), "AEqnSolver.csv", "-8\n");
    WriteModelFile(dir.Path(), "BEqnSolver.csv", "0\n");
    WriteModelFile(dir.Path(), "RVEqnSolver.csv", rv + "\n");
    WriteModelFile(dir.Path(), "InitialEqnSolver.csv", "1\n");
}

TEST(ExplicitEulerStability, EquationSolverModeNeverWritesTheReport) {
    TempDir dir;
    ControlFile control;
    control.mode = "EQNS";
    control.NEQN = 1;
    control.DynType = 1;
    control.DELT = "2";
    control.NumTimeSteps = "2";
    WriteEquationModel(dir, control, "8");
    ASSERT_EQ(RunModel(dir), 0) << (dir.Exists("Error.dng") ? dir.Read("Error.dng") : "");
    EXPECT_FALSE(dir.Exists("EulerStabilityInfo.dng"));
    const auto rows = ParseCsvRows(dir.Read("AllTimeSeries.csv"));
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][1], -1);  // the same unstable step, from RVEqnSolver.csv
    EXPECT_EQ(rows[1][1], 1);
}

std::string ErrorLine(const TempDir& dir) {
    return dir.Exists("Error.dng") ? dir.Read("Error.dng") : "(no Error.dng)";
}

TEST(TimeLoopStops, MacCormackRefusesNonlinearRuns) {
    ControlFile control;
    control.DynType = 2;
    control.linear = false;  // f(C) taken explicitly, so the set-up lets it pass
    TempDir nonlinear;
    Decay().Model().Write(nonlinear.Path(), control);
    EXPECT_EQ(RunModel(nonlinear), 1);
    EXPECT_EQ(ErrorLine(nonlinear), "Error:  MacCormack method not applicable\r\n");
    EXPECT_FALSE(nonlinear.Exists("EulerStabilityInfo.dng"));

    control.linear = true;
    control.NonlinearRV = true;
    TempDir storage;
    Decay().Model().Write(storage.Path(), control);
    EXPECT_EQ(RunModel(storage), 1);
    EXPECT_EQ(ErrorLine(storage).rfind("Error:  nonlinear not supported by MacCormack method: \"Control.csv\"", 0), 0u)
        << ErrorLine(storage);
}

TEST(TimeLoopStops, ZeroStorageInAnExplicitUpdateNamesTheEquation) {
    for (int DynType : {1, 2}) {
        TempDir dir;
        ControlFile control;
        control.DynType = DynType;
        control.NumTimeSteps = "2";
        Decay d;
        d.V = 0;
        d.Model().Write(dir.Path(), control);
        EXPECT_EQ(RunModel(dir), 1);
        const std::string e = ErrorLine(dir);
        EXPECT_NE(e.find("equation 1 (state variable 1 in compartment 1)"), std::string::npos) << e;
        EXPECT_NE(e.find("at time 0 "), std::string::npos) << e;
        // The header and no row: nothing else is added to the file.
        const std::string series = dir.Read("AllTimeSeries.csv");
        EXPECT_EQ(series.substr(series.find('\n') + 1), "");
    }
    TempDir eqns;
    ControlFile control;
    control.mode = "EQNS";
    control.NEQN = 1;
    control.DynType = 1;
    WriteEquationModel(eqns, control, "0");
    EXPECT_EQ(RunModel(eqns), 1);
    const std::string e = ErrorLine(eqns);
    EXPECT_NE(e.find("equation 1 at time 0 "), std::string::npos) << e;
    EXPECT_NE(e.find("RVEqnSolver.csv"), std::string::npos) << e;
}

TEST(SteadyStatePath, DumpsAtTimeZeroAndSnapshotAtMinus999) {
    TempDir dir;
    ControlFile control;
    control.dynamic = false;
    Decay d;
    d.Model().Write(dir.Path(), control);
    ASSERT_EQ(RunModel(dir), 0) << ErrorLine(dir);
    const std::string A = dir.Read("A.dng");
    EXPECT_EQ(A.substr(0, A.find("\r\n")), "At Time  0  ...");
    EXPECT_TRUE(dir.Exists("B.dng"));
    EXPECT_FALSE(dir.Exists("AllTimeSeries.csv"));
    const auto rows = ParseCsvRows(dir.Read("ProfileSnapshot.csv"));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], -999);
    // 0 = a c + b.
    EXPECT_NEAR(rows[0].back(), -d.W / d.a(), 1E-12);
}

// Newton runs: the nonlinear path with no companion program (f = 0), so the
// solution is that of the linear system. Decay a = -16 and load b = 8 hold
// the compartment at c = 0.5; the guess is 3.
struct AtRest : Decay {
    AtRest() { V = 8, k = -2, W = 8, c0 = 0.5, Kd = 0; }
};

int NewtonRun(const TempDir& dir, TestState& ts, bool dynamic) {
    ControlFile control;
    control.linear = false;
    control.dynamic = dynamic;
    control.NumTimeSteps = "3";
    control.SC = "1E-12";
    AtRest().Model().Write(dir.Path(), control);
    WriteModelFile(dir.Path(), "Guess.CSV", "State variable, compartment, guess\n1,1,3\n");
    return RunModel(ts);
}

TEST(NewtonPath, EachStepStartsFromThePreviousSolution) {
    TempDir dir;
    TestState ts(dir.Path());
    ASSERT_EQ(NewtonRun(dir, ts, true), 0) << ErrorLine(dir);
    for (const auto& row : ParseCsvRows(dir.Read("AllTimeSeries.csv")))
        EXPECT_NEAR(row[1], 0.5, 1E-6);
    // Highest Newton iteration shown within each time step: the first step
    // works from the guess, the later ones start at the solution already.
    std::vector<int> most;
    for (const auto& e : ts.display.events) {
        if (e.rfind("text 1: Time Step ", 0) == 0 && std::isdigit(e[18])) most.push_back(0);
        const std::string tag = "text 2: Newton Iteration ";
        if (e.rfind(tag, 0) == 0 && !most.empty() && std::isdigit(e[tag.size()]))
            most.back() = std::max(most.back(), std::stoi(e.substr(tag.size())));
    }
    ASSERT_EQ(most.size(), 3u);
    EXPECT_GE(most[0], 2);
    EXPECT_EQ(most[1], 1);
    EXPECT_EQ(most[2], 1);
}

TEST(NewtonPath, SteadyRunWritesTheConvergedSnapshot) {
    TempDir dir;
    TestState ts(dir.Path());
    ASSERT_EQ(NewtonRun(dir, ts, false), 0) << ErrorLine(dir);
    const auto rows = ParseCsvRows(dir.Read("ProfileSnapshot.csv"));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], -999);
    EXPECT_NEAR(rows[0].back(), 0.5, 1E-6);
    EXPECT_TRUE(dir.Exists("A.dng"));
}

}  // namespace
}  // namespace ostra::testing
