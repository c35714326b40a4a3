// ostra_cli_test.cpp -- the real `ostra` on scratch model directories: exit
// statuses, "Error.dng", the clean-up of old diagnostics and whole runs; the
// options, the help and the summary after "Done!".
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "app/ostra_process.h"
#include "support/test_support.h"

namespace ostra {
namespace {

using testing::Crlf;
using testing::RunOstraExe;
using testing::RunOstraWith;
using testing::TempDir;

// The 36 value lines of "Control.csv" for one state variable in two
// compartments: linear, dynamic, implicit Euler, "AllTimeSeries.csv".
std::vector<std::string> ControlValues() {
    return {"ENVS", "Y", "N", "0", "1,2,0", "1", "1", "1", "3", ".5", "4", "0", "3", "0",
            "1,1", "N", "N", ".0001", "N", "Y", "1,0", "1E-10", "50,3,3", "N", "N",
            "N", "N", "N", "N", "N", "N", "N", "N", "N", "N", "N"};
}

void WriteControl(const TempDir& dir, std::vector<std::string> values,
                  const std::vector<std::pair<int, std::string>>& changes = {}) {
    for (const auto& [pair, value] : changes) values[static_cast<std::size_t>(pair - 1)] = value;
    std::string text;
    for (std::size_t i = 0; i < values.size(); ++i)
        text += "option " + std::to_string(i + 1) + "\n" + values[i] + "\n";
    dir.Write("Control.csv", Crlf(text));
}

// Compartment 1 is interior (volume 10), compartment 2 a boundary held at
// concentration 5; exchange coefficient 2 across an interface of area 1.
void WriteModel(const TempDir& dir) {
    dir.Write("SVCompmap.csv", Crlf("SV,1,2\n1,1,0\n"));
    dir.Write("Compartments.csv", Crlf("h\n1,1,0,0,0,0,10,20,1,0\n2,1,2,1,0,0,10,20,1,0\n"));
    dir.Write("Interfaces.csv", Crlf("h\n1,2,1,.5,1,1\n2,1,1,.5,1,1\n"));
    dir.Write("Flows.csv", Crlf("h\n1,1,2,0\n1,2,1,0\n"));
    dir.Write("ECoefficients.csv", Crlf("h\n1,1,2,2\n1,2,1,2\n"));
    dir.Write("linearKdandTempCoef.csv", Crlf("h\n1,1,0,1\n1,2,0,1\n"));
    dir.Write("BOUNDARY.csv", Crlf("h\n1,1,0\n1,2,5\n"));
    dir.Write("FlowandEMultipliers.csv", Crlf("h\n-999\n"));
    dir.Write("VolumeSrcSnks.csv", Crlf("h\n-999\n"));
    dir.Write("AreaSrcSnks.csv", Crlf("h\n-999\n"));
    dir.Write("Loads.csv", Crlf("-999\n"));
    dir.Write("INITIAL.CSV", Crlf("h\n1,1,0\n1,2,5\n"));
}

TEST(OstraCliTest, AControlErrorEndsWithStatusOneAndOnlyTheNewErrorFile) {
    TempDir dir;
    WriteControl(dir, ControlValues(), {{9, "5"}});
    dir.Write("Wiggle.dng", "from an older run\r\n");
    dir.Write("OLD.DNG", "from an older run\r\n");
    dir.Write("Error.dng", "Error:  an older error\r\n");
    const auto run = RunOstraExe(dir.Path());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(dir.Read("Error.dng"), "Error:  DynType not equal to 1,2,3, or 4: file \"Control.csv\", line 18 "
                                     "(pair 9, DynType): found 5; a time-stepping run (pair 3 = N) takes 1 (explicit "
                                     "Euler), 2 (MacCormack), 3 (implicit Euler) or 4 (Crank-Nicolson)\r\n");
    EXPECT_FALSE(dir.Exists("Wiggle.dng"));
    EXPECT_FALSE(dir.Exists("OLD.DNG"));
    EXPECT_FALSE(dir.Exists("dummy.dng"));
    EXPECT_NE(run.out.find("Fatal Error Detected -- see Error.dng file"), std::string::npos) << run.out;
    EXPECT_NE(run.err.find("DynType not equal to 1,2,3, or 4"), std::string::npos) << run.err;
}

TEST(OstraCliTest, ValueLinesOutOfStepAndMissingFilesAreFatalDataErrors) {
    TempDir extra;
    WriteControl(extra, ControlValues(), {{7, "1,2"}});
    EXPECT_EQ(RunOstraExe(extra.Path()).status, 1);
    const std::string line = extra.Read("Error.dng");
    EXPECT_EQ(line.rfind("Error:  file \"Control.csv\", line 14", 0), 0u) << line;

    // No "Control.csv" at all: not a model directory, refused before
    // anything is deleted or written there.
    TempDir none;
    none.Write("Old.dng", "kept\r\n");
    const auto refused = RunOstraExe(none.Path());
    EXPECT_EQ(refused.status, 64);
    EXPECT_NE(refused.err.find("holds no \"Control.csv\""), std::string::npos) << refused.err;
    EXPECT_FALSE(none.Exists("Error.dng"));
    EXPECT_TRUE(none.Exists("Old.dng"));
}

TEST(OstraCliTest, MacCormackConflictsStopWithStatusTwoAndTheirMessage) {
    TempDir eqns;
    WriteControl(eqns, ControlValues(), {{1, "EQNS"}, {4, "2"}, {9, "2"}});
    const auto run = RunOstraExe(eqns.Path());
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.out.find("MacCormack Method Not Applicable to Equation Solver Mode"), std::string::npos)
        << run.out;
    EXPECT_FALSE(eqns.Exists("Error.dng"));

    TempDir newton;
    WriteModel(newton);
    WriteControl(newton, ControlValues(), {{2, "N"}, {9, "2"}, {16, "Y"}});
    const auto nrun = RunOstraExe(newton.Path());
    EXPECT_EQ(nrun.status, 2);
    EXPECT_NE(nrun.out.find("MacCormack method inappropriate for nonlinear systems"), std::string::npos)
        << nrun.out;
    EXPECT_FALSE(newton.Exists("Error.dng"));
}

TEST(OstraCliTest, AModelPathThatIsNotADirectoryIsAUsageError) {
    TempDir dir;
    dir.Write("not-a-dir", "x");
    EXPECT_EQ(RunOstraExe(dir.Path() / "not-a-dir").status, 64);
    EXPECT_EQ(RunOstraExe(dir.Path() / "missing").status, 64);
}

TEST(OstraCliTest, SteadyStateRunWritesTheSnapshotStampedMinus999) {
    TempDir dir;
    WriteModel(dir);
    WriteControl(dir, ControlValues(), {{3, "y"}});
    const auto run = RunOstraExe(dir.Path());
    ASSERT_EQ(run.status, 0) << run.err << (dir.Exists("Error.dng") ? dir.Read("Error.dng") : "");
    EXPECT_NE(run.out.find("Done!"), std::string::npos);
    // With no sinks or loads the interior compartment takes the boundary value.
    EXPECT_EQ(dir.Read("ProfileSnapshot.csv"), "TIME,VARIABLE,Compartment,X,Y,Z,CONC\r\n-999 , 1 , 1 , 0 , 0 , 0 , 5 \r\n");
    EXPECT_FALSE(dir.Exists("AllTimeSeries.csv"));
}

TEST(OstraCliTest, DynamicRunWritesOneRowPerStepAtTheEndOfTheStep) {
    TempDir dir;
    WriteModel(dir);
    WriteControl(dir, ControlValues());
    const auto run = RunOstraExe(dir.Path());
    ASSERT_EQ(run.status, 0) << run.err << (dir.Exists("Error.dng") ? dir.Read("Error.dng") : "");
    const std::string series = dir.Read("AllTimeSeries.csv");
    EXPECT_EQ(series.rfind("Time,SV 1 in Compartment 1 ,\r\n", 0), 0u) << series;
    for (const char* stamp : {"\r\n .5 ,", "\r\n 1 ,", "\r\n 1.5 ,", "\r\n 2 ,"})
        EXPECT_NE(series.find(stamp), std::string::npos) << stamp << " in " << series;
    EXPECT_EQ(series.find("\r\n 0 ,"), std::string::npos) << "the initial state is not written";
    EXPECT_TRUE(dir.Exists("MassBalance.csv"));
    EXPECT_FALSE(dir.Exists("dummy.dng"));
}

TEST(OstraCliTest, EquationSolverDynamicRunAlwaysWritesTheFullTimeSeries) {
    TempDir dir;
    WriteControl(dir, ControlValues(), {{1, "EQNS"}, {4, "2"}, {11, "2"}, {13, "1"}});
    dir.Write("AEqnSolver.csv", Crlf("-1,0\n0,-2\n"));
    dir.Write("BEqnSolver.csv", Crlf("0\n0\n"));
    dir.Write("RVEqnSolver.csv", Crlf("1\n1\n"));
    dir.Write("InitialEqnSolver.csv", Crlf("1\n1\n"));
    const auto run = RunOstraExe(dir.Path());
    ASSERT_EQ(run.status, 0) << run.err << (dir.Exists("Error.dng") ? dir.Read("Error.dng") : "");
    const std::string series = dir.Read("AllTimeSeries.csv");
    EXPECT_EQ(series.rfind("Time,Equation 1 ,Equation 2 ,\r\n .5 ,", 0), 0u) << series;
    EXPECT_FALSE(dir.Exists("ProfileSnapshot.csv"));
    EXPECT_FALSE(dir.Exists("MassBalance.csv"));
}

TEST(OstraCliTest, HelpVersionAndRefusedCommandLines) {
    struct Case {
        std::vector<std::string> args;
        int status;
        std::vector<std::string> out, err;  // texts that must appear
    };
    const std::vector<std::string> help = {
        "usage: ostra [--check] [--strict] [--quiet] [model-directory]",
        "  --check ", "  --strict ", "  -q, --quiet ", "  -h, --help ", "  --version ",
        "  0   the run finished", "  1   fatal data error", "  2   the set-up stopped", "  3   Newton",
        "  4   the positivity/wiggle criterion", "  5   --strict", "  64  bad command line", "docs/running.md"};
    const Case cases[] = {
        {{"--help"}, 0, help, {}},
        {{"-h"}, 0, help, {}},
        {{"--version"}, 0, {"ostra "}, {}},
        {{"--bogus"}, 64, {}, {"unknown option --bogus", "usage: ostra"}},
        {{"one", "two"}, 64, {}, {"only one model directory", "usage: ostra"}},
    };
    for (const Case& c : cases) {
        const auto run = RunOstraWith(c.args);
        const std::string what = c.args[0];
        EXPECT_EQ(run.status, c.status) << what;
        for (const std::string& text : c.out) EXPECT_NE(run.out.find(text), std::string::npos) << what << ": " << text;
        for (const std::string& text : c.err) EXPECT_NE(run.err.find(text), std::string::npos) << what << ": " << text;
    }
    // Every line of the help fits a terminal of 80 columns.
    std::istringstream lines(RunOstraWith({"--help"}).out);
    for (std::string line; std::getline(lines, line);) EXPECT_LT(line.size(), 80u) << line;
}

TEST(OstraCliTest, TheSummaryFollowsDoneUnlessQuiet) {
    TempDir dir;
    WriteModel(dir);
    WriteControl(dir, ControlValues());
    const auto run = RunOstraWith({dir.Path().string()});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::size_t done = run.out.find("Done!\n");
    ASSERT_NE(done, std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("Summary:\n", done), done + 6) << run.out;
    EXPECT_NE(run.out.find("Result files: AllTimeSeries.csv, MassBalance.csv"), std::string::npos) << run.out;

    const auto quiet = RunOstraWith({"-q", dir.Path().string()});
    EXPECT_EQ(quiet.status, 0);
    EXPECT_EQ(quiet.out, "Done!\n");
}

}  // namespace
}  // namespace ostra
