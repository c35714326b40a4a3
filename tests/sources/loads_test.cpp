// Tests of the load vector: time blocks of "Loads.csv", sign and scaling
// rules, the equation-solver file, time-variable loads and the dump.
#include <gtest/gtest.h>

#include "sources/loads.h"
#include "sources/mass_balance.h"
#include "sources/small_model.h"

namespace ostra::testing {
namespace {

// Two blocks, [0, 10) with a load of 5 and [10, 20) with a load of 7, both
// into state variable 1 of compartment 1.
const char* const TWO_BLOCKS =
    "first block\n0,10\ncompartment, loads\n1,1,5,-999\n-999\n"
    "second block\n10,20\ncompartment, loads\n1,1,7,-999\n-999\n"
    "-999\n";

TEST(LoadsWindows, UpperEndExcludedAndTimeComparedAsSingle) {
    SmallModel m({0, 0}, 1);
    m.Write("Loads.csv", TWO_BLOCKS);
    DVector& B = m.s.sys.B;
    ForceFn(m.s, 9.5, m.s.sys.BBC, B);
    EXPECT_EQ(B(1), 5);
    ForceFn(m.s, 10, m.s.sys.BBC, B);
    EXPECT_EQ(B(1), 7);
    EXPECT_EQ(B(2), 0);
    // Just below 10 in Double, but 10 once rounded to Single.
    ForceFn(m.s, 10 - 1e-9, m.s.sys.BBC, B);
    EXPECT_EQ(B(1), 7);
    // Outside every window a dynamic run gets the boundary terms alone.
    m.s.sys.BBC(1) = 0.25;
    ForceFn(m.s, 20, m.s.sys.BBC, B);
    EXPECT_EQ(B(1), 0.25);
}

TEST(LoadsWindows, SteadyRunLooksAtFirstBlockOnlyAndReversesSign) {
    SmallModel m({0, 0}, 1);
    m.s.opt.Dynamic = false;
    m.Write("Loads.csv", TWO_BLOCKS);
    m.s.sys.BBC(1) = 2;
    ForceFn(m.s, 10, m.s.sys.BBC, m.s.sys.B);
    EXPECT_EQ(m.s.sys.B(1), -2);  // the second block would apply, but is not read

    m.s.sys.BBC(1) = 2;
    m.Write("Loads.csv", "block\n0,10\nlabel\n1,1,3,-999\n-999\n-999\n");
    ForceFn(m.s, 0, m.s.sys.BBC, m.s.sys.B);
    EXPECT_EQ(m.s.sys.B(1), -5);

    // The boundary terms of a steady run are scaled in place by XScale.
    m.s.opt.XScale = 2;
    m.s.sys.BBC(1) = 2;
    ForceFn(m.s, 0, m.s.sys.BBC, m.s.sys.B);
    EXPECT_EQ(m.s.sys.BBC(1), 4);
    EXPECT_EQ(m.s.sys.B(1), -7);
}

TEST(LoadsRecords, LoadIsDividedByWaterContentAndKeptForMassBalance) {
    SmallModel m({0, 0, 0}, 1);
    m.s.mb.MassBalanceOn = true;
    MassBalanceSetup(m.s);
    m.s.mb.MBLoads(3) = 9;  // a load of an earlier call that no longer applies
    m.s.tables.Compartment(2, 9) = 0.5f;
    m.Write("Loads.csv", "block\n0,10\nlabel\n2,1,5,-999\n-999\n-999\n");
    ForceFn(m.s, 1, m.s.sys.BBC, m.s.sys.B);
    EXPECT_EQ(m.s.sys.B(2), 10);
    EXPECT_EQ(m.s.mb.MBLoads(2), 5);
    EXPECT_EQ(m.s.mb.MBLoads(3), 0);
    EXPECT_EQ(m.s.sys.B(1), 0);
}

TEST(LoadsRecords, SecondStateVariableOffsetPairsPerLineAndLaterRecordWins) {
    SmallModel m({0, 0, 0}, 2);
    m.Remove(2, 2);  // state variable 1: 3 equations; state variable 2: 2
    m.Write("Loads.csv",
            "block\n0,10\nlabel\n"
            "1,2,4,1,1,-999\n"
            "3,2,6,-999\n"
            "3,2,8,-999\n"
            "-999\n-999\n");
    ForceFn(m.s, 0, m.s.sys.BBC, m.s.sys.B);
    const DVector& B = m.s.sys.B;
    EXPECT_EQ(B(1), 1);
    EXPECT_EQ(B(2), 0);
    EXPECT_EQ(B(3), 0);
    EXPECT_EQ(B(4), 4);
    EXPECT_EQ(B(5), 8);
}

TEST(LoadsRecords, NewtonRunsScaleLoadsButNotDynamicBoundaryTerms) {
    SmallModel m({0}, 1);
    m.s.opt.Linear = false;
    m.s.opt.XScale = 2;
    m.s.sys.BBC(1) = 1;
    m.Write("Loads.csv", "block\n0,10\nlabel\n1,1,5,-999\n-999\n-999\n");
    ForceFn(m.s, 0, m.s.sys.BBC, m.s.sys.B);
    EXPECT_EQ(m.s.sys.B(1), 11);
    EXPECT_EQ(m.s.sys.BBC(1), 1);

    // An explicit treatment of the nonlinear term works unscaled.
    m.s.setup.ExplicitNonlinear = true;
    ForceFn(m.s, 0, m.s.sys.BBC, m.s.sys.B);
    EXPECT_EQ(m.s.sys.B(1), 6);
}

TEST(LoadsRecords, RecordsWithoutEquationAndShortFilesEndTheRun) {
    SmallModel m({0, 1}, 2);
    m.Remove(2, 1);
    m.Write("Loads.csv", "block\n0,10\nlabel\n1,1,5,2,3,-999\n-999\n-999\n");
    EXPECT_EQ(ErrorMessage(m, [&] { ForceFn(m.s, 0, m.s.sys.BBC, m.s.sys.B); }),
              "file \"Loads.csv\", line 4: state variable 2 has no equation in compartment 1 "
              "(SectnToEqn = -999) in ForceFn");

    m.Write("Loads.csv", "block\n0,10\nlabel\n2,1,5,-999\n-999\n-999\n");
    EXPECT_EQ(ErrorMessage(m, [&] { ForceFn(m.s, 0, m.s.sys.BBC, m.s.sys.B); }),
              "file \"Loads.csv\", line 4: state variable 1 has no equation in compartment 2 "
              "(SectnToEqn = -999) in ForceFn");

    m.Write("Loads.csv", "block\n0,10\nlabel\n4,1,5,-999\n-999\n-999\n");
    EXPECT_EQ(ErrorMessage(m, [&] { ForceFn(m.s, 0, m.s.sys.BBC, m.s.sys.B); }),
              "file \"Loads.csv\", line 4: compartment 4 is not a compartment number from 1 to 2 "
              "in ForceFn");

    // A block that is skipped must still be closed by its -999 line.
    m.Write("Loads.csv", "block\n0,10\nlabel\n1,1,5,-999\n");
    try {
        ForceFn(m.s, 50, m.s.sys.BBC, m.s.sys.B);
        FAIL() << "a block without its closing -999 was accepted";
    } catch (const textio::DataError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "file \"Loads.csv\", line 4 (the line -999 closing the time block): expected a "
                  "line, found the end of the file");
    }
    // A dynamic run that finds no window reads on to the file's own -999.
    m.Write("Loads.csv", "block\n0,10\nlabel\n1,1,5,-999\n-999\n");
    try {
        ForceFn(m.s, 50, m.s.sys.BBC, m.s.sys.B);
        FAIL() << "a file without its closing -999 was accepted";
    } catch (const textio::DataError& e) {
        EXPECT_NE(std::string(e.what()).find("-999 ending the file"), std::string::npos) << e.what();
    }
}

// Loads.csv is kept as parsed between calls: a rewrite at once with the same
// size is still seen, and a record checked before an unreadable field of the
// same block fails first, call after call.
TEST(LoadsRecords, KeptAsParsedYetEveryRewriteAndEveryCheckCounts) {
    SmallModel m({0, 0}, 1);
    for (const char* load : {"5", "6", "7"}) {
        m.Write("Loads.csv", std::string("block\n0,10\nlabel\n1,1,") + load + ",-999\n-999\n-999\n");
        ForceFn(m.s, 1, m.s.sys.BBC, m.s.sys.B);
        EXPECT_EQ(m.s.sys.B(1), std::stod(load));
    }
    m.Write("Loads.csv", "block\n0,10\nlabel\n3,1,5,-999\n1,1,x,-999\n-999\n-999\n");
    for (int call = 0; call < 2; ++call)
        EXPECT_EQ(ErrorMessage(m, [&] { ForceFn(m.s, 1, m.s.sys.BBC, m.s.sys.B); }),
                  "file \"Loads.csv\", line 4: compartment 3 is not a compartment number from 1 to 2 "
                  "in ForceFn");
    // The same unreadable field behind a valid record: the reading error.
    m.Write("Loads.csv", "block\n0,10\nlabel\n2,1,5,-999\n1,1,x,-999\n-999\n-999\n");
    try {
        ForceFn(m.s, 1, m.s.sys.BBC, m.s.sys.B);
        FAIL() << "an unreadable load was accepted";
    } catch (const textio::DataError& e) {
        EXPECT_NE(std::string(e.what()).find("line 5, field 3 (load W): expected a number, found \"x\""),
                  std::string::npos)
            << e.what();
    }
}

TEST(LoadsEquationSolver, VectorIsTheFileWhateverTheRunType) {
    SmallModel m({0, 0, 0}, 1);
    m.s.opt.EquationSolver = true;
    m.s.opt.Dynamic = false;
    m.s.setup.BEqnSolverFile = "BEqnSolver.csv";
    m.s.sys.BBC(1) = 100;
    m.Write("BEqnSolver.csv", "1.5\n-2, 3.25\n");
    ForceFn(m.s, 0, m.s.sys.BBC, m.s.sys.B);
    EXPECT_EQ(m.s.sys.B(1), 1.5);
    EXPECT_EQ(m.s.sys.B(2), -2);
    EXPECT_EQ(m.s.sys.B(3), 3.25);
    EXPECT_EQ(m.s.sys.BBC(1), 100);

    m.s.opt.Linear = false;
    m.s.opt.XScale = 2;
    ForceFn(m.s, 0, m.s.sys.BBC, m.s.sys.B);
    EXPECT_EQ(m.s.sys.B(3), 6.5);
}

TEST(LoadsTimeVariable, CompanionRewritesLoadsBeforeEachRead) {
    SmallModel m({0}, 1);
    m.s.opt.TimeVarLoads = true;
    // The companion puts the requested time in as the load.
    m.dir.WriteExecutable("Loads.exe",
                          "#!/bin/sh\n"
                          "t=$(head -n 1 ShellLoads.csv | tr -d ' \\r')\n"
                          "printf 'block\\r\\n0,100\\r\\nlabel\\r\\n1,1,%s,-999\\r\\n-999\\r\\n-999\\r\\n' "
                          "\"$t\" > Loads.csv\n");
    ForceFn(m.s, 2.5, m.s.sys.BBC, m.s.sys.B);
    EXPECT_EQ(m.s.sys.B(1), 2.5);
    ForceFn(m.s, 7, m.s.sys.BBC, m.s.sys.B);
    EXPECT_EQ(m.s.sys.B(1), 7);
}

TEST(LoadsDump, DumpStepOfDynamicRunWritesLoadVector) {
    SmallModel m({0}, 1);
    m.Write("Loads.csv", "block\n0,10\nlabel\n1,1,5,-999\n-999\n-999\n");
    ForceFn(m.s, 3, m.s.sys.BBC, m.s.sys.B);
    EXPECT_FALSE(m.dir.Exists("B.dng"));
    m.s.sys.DumpNow = true;
    ForceFn(m.s, 3, m.s.sys.BBC, m.s.sys.B);
    EXPECT_EQ(m.s.sys.CurrentTime, 3);
    EXPECT_TRUE(m.dir.Exists("B.dng"));
}

}  // namespace
}  // namespace ostra::testing
