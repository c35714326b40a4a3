// result_files_test.cpp -- exact layouts of the time series and the profile
// snapshot, the Newton scaling and the refusal to write non-finite values.
#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <string>

#include "app/result_files.h"
#include "model/error.h"
#include "support/test_support.h"

namespace ostra {
namespace {

using testing::TempDir;
using testing::TestState;

// 2 state variables in 3 compartments; compartment 2 is a boundary.
// Equations: 1 = (SV 1, compartment 1), 2 = (SV 1, compartment 3),
// 3 = (SV 2, compartment 3).
struct ResultCase {
    TempDir dir;
    TestState t{dir.Path()};
    ModelState& s = t.s;
    DVector c{3, "c"};

    explicit ResultCase(bool equationSolver = false) {
        s.opt.EquationSolver = equationSolver;
        s.opt.NEQN = 3;
        s.opt.NSV = 2;
        s.opt.Linear = true;
        s.opt.XScale = 1;
        s.setup.NT = 3;
        c(1) = .5;
        c(2) = -999;
        c(3) = 1.0 / 3.0;
        if (equationSolver) return;
        s.setup.SVCompMap.Resize(2, 3);
        s.setup.SVCompMap(1, 1) = 1;
        s.setup.SVCompMap(1, 3) = 1;
        s.setup.SVCompMap(2, 3) = 1;
        s.eq.NEQNsm.Resize(2);
        s.eq.NEQNsm(1) = 2;
        s.eq.NEQNsm(2) = 1;
        s.eq.SectnToEqn.Resize(2, 3);
        s.eq.EqnToSectn.Resize(2, 3);
        s.eq.SectnToEqn.Fill(MISSING);
        s.eq.EqnToSectn.Fill(MISSING);
        s.eq.SectnToEqn(1, 1) = 1;
        s.eq.SectnToEqn(1, 3) = 2;
        s.eq.SectnToEqn(2, 3) = 1;
        s.eq.EqnToSectn(1, 1) = 1;
        s.eq.EqnToSectn(1, 2) = 3;
        s.eq.EqnToSectn(2, 1) = 3;
        s.tables.Compartment.Resize(3, 10);
        s.tables.Compartment(2, 3) = 2;
        s.tables.Compartment(1, 4) = .5f;
        s.tables.Compartment(1, 5) = -2;
        s.tables.Compartment(1, 6) = 1E-05f;
        s.tables.Compartment(3, 4) = 1234567.8f;
        s.tables.Compartment(3, 6) = 0.1f;
    }

    int Run(const std::function<void()>& step) {
        try {
            step();
        } catch (const RunEnded& e) {
            return e.status;
        }
        return -1;
    }
    std::string CloseAndRead(const char* name) {
        s.files.TimeSeries->Close();
        return dir.Read(name);
    }
    // The file without its header line.
    std::string Rows(const char* name) {
        const std::string text = CloseAndRead(name);
        return text.substr(text.find("\r\n") + 2);
    }
    std::string ErrorLine() const { return dir.Exists("Error.dng") ? dir.Read("Error.dng") : ""; }
};

TEST(AllTimeSeriesTest, HeaderAndRowsInEquationOrderWithTrailingCommas) {
    ResultCase r;
    OpenAllTimeSeries(r.s);
    r.s.sys.CurrentTime = static_cast<double>(0.1f);
    AllTimeSeries(r.s, r.c);
    r.s.sys.CurrentTime = 2;
    r.c(1) = 0;
    AllTimeSeries(r.s, r.c);
    EXPECT_EQ(r.CloseAndRead("AllTimeSeries.csv"),
              "Time,SV 1 in Compartment 1 ,SV 1 in Compartment 3 ,SV 2 in Compartment 3 ,\r\n"
              " .100000001490116 , .5 ,-999 , .333333333333333 ,\r\n"
              " 2 , 0 ,-999 , .333333333333333 ,\r\n");
}

TEST(AllTimeSeriesTest, EquationSolverHeaderNumbersTheEquations) {
    ResultCase r(true);
    OpenAllTimeSeries(r.s);
    r.s.sys.CurrentTime = 1E-05;
    AllTimeSeries(r.s, r.c);
    EXPECT_EQ(r.CloseAndRead("AllTimeSeries.csv"),
              "Time,Equation 1 ,Equation 2 ,Equation 3 ,\r\n"
              " 1E-05 , .5 ,-999 , .333333333333333 ,\r\n");
}

TEST(AllTimeSeriesTest, NewtonResultsAreDividedByXScaleOthersAreNot) {
    ResultCase newton(true);
    newton.s.opt.Linear = false;
    newton.s.opt.XScale = 2;
    OpenAllTimeSeries(newton.s);
    AllTimeSeries(newton.s, newton.c);
    EXPECT_EQ(newton.Rows("AllTimeSeries.csv"), " 0 , .25 ,-499.5 , .166666666666667 ,\r\n");

    ResultCase explicitTerm(true);
    explicitTerm.s.opt.Linear = false;
    explicitTerm.s.setup.ExplicitNonlinear = true;
    explicitTerm.s.opt.XScale = 2;
    OpenAllTimeSeries(explicitTerm.s);
    AllTimeSeries(explicitTerm.s, explicitTerm.c);
    EXPECT_EQ(explicitTerm.Rows("AllTimeSeries.csv"), " 0 , .5 ,-999 , .333333333333333 ,\r\n");
}

TEST(AllTimeSeriesTest, ANonFiniteValueEndsTheRunBeforeItsRowIsWritten) {
    ResultCase r;
    OpenAllTimeSeries(r.s);
    r.s.sys.CurrentTime = 1.5;
    r.c(2) = std::numeric_limits<double>::infinity();
    EXPECT_EQ(r.Run([&] { AllTimeSeries(r.s, r.c); }), EXIT_FATAL_DATA);
    const std::string line = r.ErrorLine();
    EXPECT_NE(line.find("equation 2 (state variable 1 in compartment 3)"), std::string::npos) << line;
    EXPECT_NE(line.find("time 1.5"), std::string::npos) << line;
    EXPECT_NE(line.find("AllTimeSeries.csv"), std::string::npos) << line;
    EXPECT_EQ(r.CloseAndRead("AllTimeSeries.csv"),
              "Time,SV 1 in Compartment 1 ,SV 1 in Compartment 3 ,SV 2 in Compartment 3 ,\r\n");

    ResultCase nan(true);
    OpenAllTimeSeries(nan.s);
    nan.c(3) = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(nan.Run([&] { AllTimeSeries(nan.s, nan.c); }), EXIT_FATAL_DATA);
    EXPECT_NE(nan.ErrorLine().find("equation 3 at time 0"), std::string::npos) << nan.ErrorLine();
}

TEST(OneCompTimeSeriesTest, OneColumnPerStateVariableOfTheCompartment) {
    ResultCase r;
    r.s.opt.NumSectnPrint = 3;
    OpenOneCompTimeSeries(r.s);
    r.s.sys.CurrentTime = 4;
    OneCompTimeSeries(r.s, 3, r.c);
    EXPECT_EQ(r.CloseAndRead("OneCompTimeSeries.csv"), "Time,SV  1 ,SV  2 ,\r\n 4 ,-999 , .333333333333333 ,\r\n");

    ResultCase first;
    first.s.opt.NumSectnPrint = 1;
    OpenOneCompTimeSeries(first.s);
    first.c(3) = std::numeric_limits<double>::infinity();  // not in this compartment's row
    OneCompTimeSeries(first.s, 1, first.c);
    EXPECT_EQ(first.CloseAndRead("OneCompTimeSeries.csv"), "Time,SV  1 ,\r\n 0 , .5 ,\r\n");
}

TEST(OneCompTimeSeriesTest, CompartmentsOutsideTheModelAndEquationSolverModeEndTheRun) {
    ResultCase eqns(true);
    EXPECT_EQ(eqns.Run([&] { OneCompTimeSeries(eqns.s, 1, eqns.c); }), EXIT_FATAL_DATA);
    EXPECT_EQ(eqns.ErrorLine(), "Error:  OneCompTimeSeries not coded for EquationSolver = true\r\n");

    for (Integer bad : {0, 4}) {
        ResultCase r;
        r.s.opt.NumSectnPrint = bad;
        EXPECT_EQ(r.Run([&] { OpenOneCompTimeSeries(r.s); }), EXIT_FATAL_DATA);
        EXPECT_NE(r.ErrorLine().find("NumSectnPrint = " + std::to_string(bad)), std::string::npos) << r.ErrorLine();
        EXPECT_FALSE(r.dir.Exists("OneCompTimeSeries.csv"));
    }
    // A compartment that holds no state variable gets rows of the time alone.
    ResultCase empty;
    empty.s.opt.NumSectnPrint = 2;
    empty.s.sys.CurrentTime = 1.5;
    EXPECT_EQ(empty.Run([&] {
        OpenOneCompTimeSeries(empty.s);
        OneCompTimeSeries(empty.s, 2, empty.c);
    }),
              -1);  // no error
    empty.s.files.TimeSeries->Close();
    EXPECT_EQ(empty.dir.Read("OneCompTimeSeries.csv"), "Time,\r\n 1.5 ,\r\n");
}

TEST(ProfileSnapshotTest, CompartmentRowsCarryCoordinatesAsSinglesAndValuesAsDoubles) {
    ResultCase r;
    r.s.sys.CurrentTime = -999;
    ProfileSnapshot(r.s, r.c);
    EXPECT_EQ(r.dir.Read("ProfileSnapshot.csv"),
              "TIME,VARIABLE,Compartment,X,Y,Z,CONC\r\n"
              "-999 , 1 , 1 , .5 ,-2 , 1E-05 , .5 \r\n"
              "-999 , 1 , 3 , 1234568 , 0 , .1 ,-999 \r\n"
              "-999 , 2 , 3 , 1234568 , 0 , .1 , .333333333333333 \r\n");

    // Each call replaces the file: it holds one snapshot.
    r.s.sys.CurrentTime = 3;
    r.c(1) = 2;
    ProfileSnapshot(r.s, r.c);
    const std::string again = r.dir.Read("ProfileSnapshot.csv");
    EXPECT_EQ(again.find("-999 , 1"), std::string::npos);
    EXPECT_NE(again.find(" 3 , 1 , 1 , .5 ,-2 , 1E-05 , 2 \r\n"), std::string::npos) << again;
}

TEST(ProfileSnapshotTest, EquationSolverRowsNumberTheEquations) {
    ResultCase r(true);
    r.s.sys.CurrentTime = .25;
    ProfileSnapshot(r.s, r.c);
    EXPECT_EQ(r.dir.Read("ProfileSnapshot.csv"),
              "TIME,VARIABLE,VALUE\r\n"
              " .25 , 1 , .5 \r\n"
              " .25 , 2 ,-999 \r\n"
              " .25 , 3 , .333333333333333 \r\n");
}

TEST(ProfileSnapshotTest, EquationCountsThatDisagreeWithNEQNEndTheRun) {
    ResultCase fewer;
    fewer.s.eq.NEQNsm(2) = 0;
    EXPECT_EQ(fewer.Run([&] { ProfileSnapshot(fewer.s, fewer.c); }), EXIT_FATAL_DATA);
    EXPECT_EQ(fewer.ErrorLine(), "Error:  IC <> NEQN in ProfileSnapShot\r\n");

    ResultCase more;  // one equation more than c holds: stopped, not read past the end
    more.s.eq.NEQNsm(2) = 2;
    EXPECT_EQ(more.Run([&] { ProfileSnapshot(more.s, more.c); }), EXIT_FATAL_DATA);
    EXPECT_EQ(more.ErrorLine(), "Error:  IC <> NEQN in ProfileSnapShot\r\n");
}

TEST(ProfileSnapshotTest, ANonFiniteValueWritesNoSnapshot) {
    ResultCase r;
    r.s.opt.Linear = false;
    r.s.sys.CurrentTime = -999;
    r.c(3) = -std::numeric_limits<double>::infinity();
    EXPECT_EQ(r.Run([&] { ProfileSnapshot(r.s, r.c); }), EXIT_FATAL_DATA);
    EXPECT_NE(r.ErrorLine().find("equation 3 (state variable 2 in compartment 3) at time -999"), std::string::npos)
        << r.ErrorLine();
    EXPECT_FALSE(r.dir.Exists("ProfileSnapshot.csv"));
}

}  // namespace
}  // namespace ostra
