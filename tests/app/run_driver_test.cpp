// Tests of the run button: the order of what a run shows, the clean-up of
// old diagnostics, the ends of a run and two runs in one process.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/compartment_model_files.h"
#include "app/run_driver.h"
#include "model/constants.h"
#include "support/test_support.h"

namespace ostra {
namespace {

using testing::ControlFile;
using testing::Crlf;
using testing::TempDir;
using testing::TestState;
using testing::WriteModelFile;

// A steady linear equation-solver model: 2x + y = 3, x + 3y = 5.
void WriteSmallEquations(const TempDir& dir) {
    ControlFile control;
    control.mode = "EQNS";
    control.dynamic = false;
    control.NEQN = 2;
    WriteModelFile(dir.Path(), "Control.csv", control.Text());
    WriteModelFile(dir.Path(), "AEqnSolver.csv", "2,1\n1,3\n");
    WriteModelFile(dir.Path(), "BEqnSolver.csv", "3\n5\n");
}

TEST(RunDriver, FormLoadHidesTheCountersAndShowsTheButton) {
    TempDir dir;
    TestState t(dir.Path());
    t.display.recordRepaints = true;
    FormLoad(t.s);
    EXPECT_EQ(t.display.counters[1], "Time Step Counter");
    EXPECT_EQ(t.display.counters[5], "Lambda ");
    const std::vector<std::string>& e = t.display.events;
    ASSERT_GE(e.size(), 3u);
    EXPECT_EQ(e[e.size() - 2], "button shown");
    EXPECT_EQ(e.back(), "repaint");
    for (int k = 1; k <= 5; ++k)
        EXPECT_NE(std::find(e.begin(), e.end(), "counter " + std::to_string(k) + " hidden"), e.end());
}

TEST(RunDriver, ARunShowsCountersFirstAndDoneLastAndLeavesNoOldDiagnostics) {
    TempDir dir;
    WriteSmallEquations(dir);
    dir.Write("old.DNG", "from an earlier run");
    dir.Write("Error.dng", "Error:  from an earlier run\r\n");
    TestState t(dir.Path());
    FormLoad(t.s);
    t.display.events.clear();

    EXPECT_EQ(RunOstraClick(t.s), EXIT_DONE);

    const std::vector<std::string>& e = t.display.events;
    const std::vector<std::string> start = {"counter 1 shown", "counter 2 shown", "counter 3 shown",
                                            "counter 4 shown", "counter 5 shown", "button hidden",
                                            "repaint"};
    ASSERT_GE(e.size(), start.size() + 1);
    EXPECT_EQ(std::vector<std::string>(e.begin(), e.begin() + 7), start);
    EXPECT_EQ(e.back(), "message: Done!");
    EXPECT_EQ(t.display.messages, std::vector<std::string>{"Done!"});
    EXPECT_FALSE(dir.Exists("old.DNG"));
    EXPECT_FALSE(dir.Exists("Error.dng"));
    EXPECT_FALSE(dir.Exists("dummy.dng"));
    EXPECT_EQ(dir.Read("ProfileSnapshot.csv"),
              Crlf("TIME,VARIABLE,VALUE\n-999 , 1 , .8 \n-999 , 2 , 1.4 \n"));
}

TEST(RunDriver, DataErrorsFromReadersEndTheRunThroughErrorDng) {
    TempDir dir;
    WriteSmallEquations(dir);
    WriteModelFile(dir.Path(), "AEqnSolver.csv", "2,1\n1,x\n");
    TestState t(dir.Path());
    EXPECT_EQ(RunOstraClick(t.s), EXIT_FATAL_DATA);
    EXPECT_EQ(dir.Read("Error.dng"),
              "Error:  file \"AEqnSolver.csv\", line 2, field 2 (A(2, 2)): expected a number, "
              "found \"x\"\r\n");
    EXPECT_EQ(t.display.events.back(), "message: Fatal Error Detected -- see Error.dng file");
    EXPECT_FALSE(dir.Exists("ProfileSnapshot.csv"));
}

TEST(RunDriver, TwoRunsInOneProcessKeepTheirOwnState) {
    TempDir first, second;
    WriteSmallEquations(first);
    WriteSmallEquations(second);
    WriteModelFile(second.Path(), "BEqnSolver.csv", "6\n10\n");
    TestState a(first.Path()), b(second.Path());
    EXPECT_EQ(RunOstraClick(a.s), EXIT_DONE);
    EXPECT_EQ(RunOstraClick(b.s), EXIT_DONE);
    EXPECT_EQ(first.Read("ProfileSnapshot.csv"),
              Crlf("TIME,VARIABLE,VALUE\n-999 , 1 , .8 \n-999 , 2 , 1.4 \n"));
    EXPECT_EQ(second.Read("ProfileSnapshot.csv"),
              Crlf("TIME,VARIABLE,VALUE\n-999 , 1 , 1.6 \n-999 , 2 , 2.8 \n"));
}

}  // namespace
}  // namespace ostra
