// dumps_test.cpp -- the bytes of "A.dng", "B.dng" and "RV.dng".
#include <gtest/gtest.h>

#include <string>

#include "model/error.h"
#include "solvers/dumps.h"
#include "support/test_support.h"

namespace ostra {
namespace {

using testing::Crlf;
using testing::TempDir;
using testing::TestState;

TEST(MatrixDumps, ADngRowsAreCommaSeparated) {
    TempDir dir;
    TestState t(dir.Path());
    t.s.opt.NEQN = 2;
    t.s.sys.CurrentTime = 0;
    DSparse A(2, "A");
    A.At(1, 1) = 1, A.At(1, 2) = -2, A.At(2, 1) = 3, A.At(2, 2) = 4;
    Aout(t.s, A);
    EXPECT_EQ(dir.Read("A.dng"), Crlf("At Time  0  ...\n 1 ,-2 \n 3 , 4 \n"));
}

TEST(MatrixDumps, ADngOfOneEquationAndAStampedTime) {
    TempDir dir;
    TestState t(dir.Path());
    t.s.opt.NEQN = 1;
    t.s.sys.CurrentTime = 12.5;
    DSparse A(1, "A");
    A.At(1, 1) = -0.25;
    Aout(t.s, A);
    EXPECT_EQ(dir.Read("A.dng"), Crlf("At Time  12.5  ...\n-.25 \n"));
}

TEST(MatrixDumps, BDngHeaderHasItsOwnSpelling) {
    TempDir dir;
    TestState t(dir.Path());
    t.s.opt.NEQN = 3;
    t.s.sys.CurrentTime = -999;  // a steady-state dump
    DVector B(3, "B");
    B(1) = 0.5, B(2) = -1E-05, B(3) = 2;
    Bout(t.s, B);
    EXPECT_EQ(dir.Read("B.dng"), Crlf("At time-999 ...\n .5 \n-1E-05 \n 2 \n"));
}

TEST(MatrixDumps, RVDngListsRVDiagInEquationSolverMode) {
    TempDir dir;
    TestState t(dir.Path());
    ModelState& s = t.s;
    s.opt.NEQN = 2;
    s.opt.EquationSolver = true;
    s.sys.CurrentTime = 3;
    s.eq.RVDiag.Resize(2);
    s.eq.RVDiag(1) = 0.1f, s.eq.RVDiag(2) = 250;
    // Compartment-mode storage is present but must not be used.
    s.eq.EqnVolume.Resize(2);
    s.eq.EqnRetard.Resize(2);
    s.eq.EqnVolume.Fill(7);
    s.eq.EqnRetard.Fill(7);
    RVout(s);
    EXPECT_EQ(dir.Read("RV.dng"),
              Crlf("At Time  3  the diagonal elements of RV matrix are ...\n .1 \n 250 \n"));
}

TEST(MatrixDumps, RVDngListsVolumeTimesRetardationInCompartmentMode) {
    TempDir dir;
    TestState t(dir.Path());
    ModelState& s = t.s;
    s.opt.NEQN = 2;
    s.opt.EquationSolver = false;
    s.sys.CurrentTime = 0.5;
    s.eq.EqnVolume.Resize(2);
    s.eq.EqnRetard.Resize(2);
    s.eq.EqnVolume(1) = 2.5f, s.eq.EqnRetard(1) = 4;
    s.eq.EqnVolume(2) = 1000, s.eq.EqnRetard(2) = 1.5f;
    s.eq.RVDiag.Resize(2);
    s.eq.RVDiag.Fill(99);
    RVout(s);
    EXPECT_EQ(dir.Read("RV.dng"),
              Crlf("At Time  .5  the diagonal elements of RV matrix are ...\n 10 \n 1500 \n"));

    // A new retardation (as from a companion's R(C)) shows in the next dump.
    s.eq.EqnRetard(1) = 0.5f;
    RVout(s);
    EXPECT_EQ(dir.Read("RV.dng"),
              Crlf("At Time  .5  the diagonal elements of RV matrix are ...\n 1.25 \n 1500 \n"));
}

TEST(MatrixDumps, ASecondDumpReplacesTheFirst) {
    TempDir dir;
    dir.Write("a.DNG", "left over from somewhere else\r\n");
    TestState t(dir.Path());
    t.s.opt.NEQN = 1;
    DSparse A(1, "A");
    DVector B(1, "B");
    for (double time : {1.0, 2.0}) {
        t.s.sys.CurrentTime = time;
        A.At(1, 1) = time * 10;
        B(1) = -time;
        Aout(t.s, A);
        Bout(t.s, B);
    }
    EXPECT_EQ(dir.Read("A.dng"), Crlf("At Time  2  ...\n 20 \n"));
    EXPECT_EQ(dir.Read("B.dng"), Crlf("At time 2 ...\n-2 \n"));
    EXPECT_FALSE(dir.Exists("a.DNG"));
}

TEST(MatrixDumps, StorageBeyondTheSingleRangeEndsTheRun) {
    TempDir dir;
    TestState t(dir.Path());
    ModelState& s = t.s;
    s.opt.NEQN = 3;
    s.opt.NSV = 2;
    s.eq.NEQNsm.Resize(2);
    s.eq.NEQNsm(1) = 1, s.eq.NEQNsm(2) = 2;
    s.eq.EqnToSectn.Resize(2, 4);
    s.eq.EqnToSectn(1, 1) = 2;
    s.eq.EqnToSectn(2, 1) = 1, s.eq.EqnToSectn(2, 2) = 4;
    s.eq.EqnVolume.Resize(3);
    s.eq.EqnRetard.Resize(3);
    s.eq.EqnVolume.Fill(1E20f);
    s.eq.EqnRetard.Fill(1);
    s.eq.EqnRetard(3) = 1E20f;
    try {
        RVout(s);
        FAIL() << "no error";
    } catch (const RunEnded& ended) {
        EXPECT_EQ(ended.status, EXIT_FATAL_DATA);
    }
    const std::string error = dir.Read("Error.dng");
    EXPECT_EQ(error.rfind("Error:  RVout: ", 0), 0u) << error;
    EXPECT_NE(error.find("equation 3 (state variable 2 in compartment 4)"), std::string::npos) << error;
    EXPECT_NE(error.find("EqnVolume = 1E+20 and EqnRetard = 1E+20"), std::string::npos) << error;
    ASSERT_EQ(t.display.messages.size(), 1u);
    EXPECT_EQ(t.display.messages[0], FATAL_ERROR_BOX);
}

}  // namespace
}  // namespace ostra
