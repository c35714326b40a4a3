// run_setup_test.cpp -- equation count, array sizes, scheme/mode conflicts,
// starting guesses, initial values and the preparation of a dynamic run.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>

#include "app/run_setup.h"
#include "model/error.h"
#include "support/test_support.h"
#include "textio/errors.h"

namespace ostra {
namespace {

using testing::Crlf;
using testing::TempDir;
using testing::TestState;

// A model directory and a state with the options of a linear dynamic
// compartment run of 2 state variables in 3 compartments.
struct SetupCase {
    TempDir dir;
    TestState t{dir.Path()};
    RunOptions& o = t.s.opt;

    SetupCase() {
        o.NSV = 2;
        o.NTCount1 = 2;
        o.NTCount2 = 1;
        o.NAS = 2;
        o.NEQN = 99;  // replaced by the map in compartment mode
        o.Dynamic = true;
        o.DynType = 3;
        o.DynPrint = 3;
        o.XScale = 1;
    }
    void Map(const std::string& rows) { dir.Write("SVCompmap.csv", Crlf("SV, compartments 1 to 3\n" + rows)); }

    // Runs `step`; returns the exit status of an early end, -1 when it returned.
    int Run(const std::function<void(ModelState&)>& step) {
        try {
            step(t.s);
        } catch (const RunEnded& e) {
            return e.status;
        }
        return -1;
    }
    int Setup() { return Run(SetupRun); }
    std::string ErrorLine() const { return dir.Exists("Error.dng") ? dir.Read("Error.dng") : ""; }
};

TEST(SetupRunTest, TheMapFixesNEQNAndEveryArrayIsSizedFromIt) {
    SetupCase c;
    c.Map("1,1,0,1\n2,0,1,1\n");
    ASSERT_EQ(c.Setup(), -1) << c.ErrorLine();
    const ModelState& s = c.t.s;
    EXPECT_EQ(s.opt.NEQN, 4);
    EXPECT_EQ(s.setup.NT, 3);
    EXPECT_EQ(s.setup.MaxNSVxNT, 6);
    EXPECT_EQ(s.setup.SVCompMap(1, 2), 0);
    EXPECT_EQ(s.setup.SVCompMap(2, 3), 1);
    for (int n : {s.sys.c.Size(), s.sys.B.Size(), s.sys.INDX.Size(), s.sys.BBC.Size(),
                  s.eq.EqnVolume.Size(), s.eq.EqnRetard.Size()})
        EXPECT_EQ(n, 4);
    EXPECT_EQ(s.sys.A.Rows(), 4);
    EXPECT_EQ(s.sys.A.Cols(), 4);
    EXPECT_EQ(s.tables.Compartment.Rows(), 3);
    EXPECT_EQ(s.tables.Compartment.Cols(), 10);
    EXPECT_EQ(s.tables.Inface.Cols(), 11);
    EXPECT_EQ(s.tables.Flow.Rows(), 6);
    EXPECT_EQ(s.tables.Flow.Cols(), 6);
    EXPECT_EQ(s.tables.ECoef.Cols(), 6);
    EXPECT_EQ(s.tables.KdTempCoef.Cols(), 4);
    EXPECT_EQ(s.tables.Boundary.Rows(), 6);
    EXPECT_EQ(s.tables.Boundary.Cols(), 3);
    EXPECT_EQ(s.tables.ALPHAweighted.Rows(), 3);
    EXPECT_EQ(s.tables.ALPHAweighted.Cols(), 5);
    EXPECT_EQ(s.eq.NEQNsm.Size(), 2);
    EXPECT_EQ(s.eq.SectnToEqn.Cols(), 3);
    EXPECT_TRUE(s.setup.UseMultipliers);
    EXPECT_FALSE(s.tables.VariableAlpha);
    // A linear run needs no nonlinear term and no Newton arrays.
    EXPECT_EQ(s.sys.f.Size(), 0);
    EXPECT_EQ(s.sys.G.Size(), 0);
    EXPECT_EQ(s.sys.XJAC.Rows(), 0);
}

TEST(SetupRunTest, MapRecordsMaySpanLinesAndAnEmptyMapGivesNoEquations) {
    SetupCase spread;
    spread.Map("1,1\n0\n1\n2,0,1\n1\n");
    ASSERT_EQ(spread.Setup(), -1) << spread.ErrorLine();
    EXPECT_EQ(spread.t.s.opt.NEQN, 4);

    SetupCase empty;
    empty.Map("1,0,0,0\n2,0,0,0\n");
    ASSERT_EQ(empty.Setup(), -1) << empty.ErrorLine();
    EXPECT_EQ(empty.t.s.opt.NEQN, 0);
    EXPECT_EQ(empty.t.s.sys.c.Size(), 0);
}

TEST(SetupRunTest, BadMapEntriesAndRecordNumbersEndTheRun) {
    for (const char* rows : {"1,1,2,1\n2,0,1,1\n", "1,1,0,1\n3,0,1,1\n", "2,1,0,1\n1,0,1,1\n",
                             "1,1,0,-1\n2,0,1,1\n"}) {
        SetupCase c;
        c.Map(rows);
        EXPECT_EQ(c.Setup(), EXIT_FATAL_DATA) << rows;
        EXPECT_PRED2(testing::BeginsWith, c.ErrorLine(),
                     "Error:  data error in SVCompMap.csv: file \"SVCompmap.csv\", line ") << rows;
    }
}

TEST(SetupRunTest, EquationSolverModeKeepsNEQNAndReadsNoMap) {
    SetupCase c;
    c.o.EquationSolver = true;
    c.o.NEQN = 3;
    ASSERT_EQ(c.Setup(), -1) << c.ErrorLine();
    const ModelState& s = c.t.s;
    EXPECT_EQ(s.opt.NEQN, 3);
    EXPECT_EQ(s.sys.A.Rows(), 3);
    EXPECT_EQ(s.eq.RVDiag.Size(), 3);
    EXPECT_EQ(s.setup.AEqnSolverFile, "AEqnSolver.csv");
    EXPECT_EQ(s.setup.BEqnSolverFile, "BEqnSolver.csv");
    EXPECT_EQ(s.setup.RVEqnSolverFile, "RVEqnSolver.csv");
    EXPECT_EQ(s.setup.InitialFile, "InitialEqnSolver.csv");
    EXPECT_EQ(s.tables.Compartment.Rows(), 0);

    SetupCase steady;
    steady.o.EquationSolver = true;
    steady.o.Dynamic = false;
    steady.o.NEQN = 3;
    ASSERT_EQ(steady.Setup(), -1);
    EXPECT_EQ(steady.t.s.eq.RVDiag.Size(), 0);
}

TEST(SetupRunTest, MacCormackConflictsStopWithTheirMessageBoxAndNoErrorFile) {
    // Linear compartment run: MacCormack is allowed.
    SetupCase linear;
    linear.Map("1,1,0,1\n2,0,1,1\n");
    linear.o.DynType = 2;
    EXPECT_EQ(linear.Setup(), -1);
    EXPECT_TRUE(linear.t.display.messages.empty());

    // Equation-solver mode, linear and dynamic.
    SetupCase eqns;
    eqns.o.EquationSolver = true;
    eqns.o.NEQN = 2;
    eqns.o.DynType = 2;
    EXPECT_EQ(eqns.Setup(), EXIT_SETUP_STOPPED);
    EXPECT_EQ(eqns.t.display.messages,
              std::vector<std::string>{"MacCormack Method Not Applicable to Equation Solver Mode"});
    EXPECT_FALSE(eqns.dir.Exists("Error.dng"));

    // A Newton run (storage depends on concentration) in compartment mode.
    SetupCase newton;
    newton.Map("1,1,0,1\n2,0,1,1\n");
    newton.o.Linear = false;
    newton.o.NonlinearRV = true;
    newton.o.DynType = 2;
    EXPECT_EQ(newton.Setup(), EXIT_SETUP_STOPPED);
    EXPECT_EQ(newton.t.display.messages,
              std::vector<std::string>{"MacCormack method inappropriate for nonlinear systems"});
    EXPECT_FALSE(newton.dir.Exists("Error.dng"));
}

TEST(SetupRunTest, MacCormackInSteadyStateOrWithExplicitTermsPassesTheSetup) {
    SetupCase steady;  // nonlinear steady state: Newton, but no time stepping
    steady.Map("1,1,0,1\n2,0,1,1\n");
    steady.o.Linear = false;
    steady.o.Dynamic = false;
    steady.o.DynType = 2;
    steady.dir.Write("Guess.CSV", Crlf("SV,K,guess\n1,1,1\n1,2,1\n1,3,1\n2,1,1\n2,2,1\n2,3,1\n"));
    EXPECT_EQ(steady.Setup(), -1) << steady.ErrorLine();
    EXPECT_TRUE(steady.t.display.messages.empty());

    SetupCase eqnsSteady;
    eqnsSteady.o.EquationSolver = true;
    eqnsSteady.o.Dynamic = false;
    eqnsSteady.o.NEQN = 1;
    eqnsSteady.o.DynType = 2;
    EXPECT_EQ(eqnsSteady.Setup(), -1);

    SetupCase explicitTerm;  // f(C) taken from the old concentrations: no Newton
    explicitTerm.Map("1,1,0,1\n2,0,1,1\n");
    explicitTerm.o.Linear = false;
    explicitTerm.o.DynType = 2;
    EXPECT_EQ(explicitTerm.Setup(), -1);
    EXPECT_TRUE(explicitTerm.t.s.setup.ExplicitNonlinear);
    EXPECT_EQ(explicitTerm.t.s.sys.f.Size(), 4);
    EXPECT_EQ(explicitTerm.t.s.sys.G.Size(), 0);
}

TEST(SetupRunTest, ExplicitNonlinearOnlyForDynamicExplicitSchemesWithConstantStorage) {
    struct Case {
        bool dynamic;
        Integer dynType;
        bool nonlinearRV;
        bool expected;
    };
    const Case cases[] = {{true, 1, false, true},  {true, 2, false, true},  {true, 3, false, false},
                          {true, 4, false, false}, {true, 1, true, false},  {false, 1, false, false}};
    for (const Case& k : cases) {
        SetupCase c;
        c.Map("1,1,0,1\n2,0,1,1\n");
        c.o.Dynamic = k.dynamic;
        c.o.DynType = k.dynType;
        c.o.NonlinearRV = k.nonlinearRV;
        ASSERT_EQ(c.Setup(), -1);
        EXPECT_EQ(c.t.s.setup.ExplicitNonlinear, k.expected)
            << k.dynamic << " " << k.dynType << " " << k.nonlinearRV;
    }
}

// A Newton run in compartment mode with the map 1,1,0 / 0,1,1.
struct NewtonCase : SetupCase {
    explicit NewtonCase(bool dynamic) {
        Map("1,1,1,0\n2,0,1,1\n");
        o.Linear = false;
        o.Dynamic = dynamic;
        o.DynType = 3;
    }
};

TEST(SetupRunTest, NewtonRunsGetTheMachineEpsilonAndTheirArrays) {
    NewtonCase c(true);
    c.dir.Write("Guess.CSV", Crlf("h\n1,1,1\n1,2,2\n1,3,3\n2,1,4\n2,2,5\n2,3,6\n"));
    ASSERT_EQ(c.Setup(), -1) << c.ErrorLine();
    EXPECT_EQ(c.t.s.setup.MachEps, std::ldexp(1.0, -53));
    EXPECT_EQ(c.t.s.sys.G.Size(), 4);
    EXPECT_EQ(c.t.s.sys.XJAC.Cols(), 4);
    EXPECT_EQ(c.t.s.sys.XNew.Size(), 4);
    EXPECT_FALSE(c.dir.Exists("NewtonInfo.dng"));  // NewtonInfo not asked for
}

TEST(SetupRunTest, GuessesOfComputedPairsGoToTheirEquationsInFileOrder) {
    // Records of pairs outside the map are skipped, even with -999 in them.
    const std::string guesses = "h\n1,1,.5\n1,2,1.5\n1,3,-999\n2,1,-999\n2,2,2.5\n2,3,3.5\n";
    NewtonCase dynamic(true);
    dynamic.o.XScale = 2;
    dynamic.dir.Write("Guess.CSV", Crlf(guesses));
    ASSERT_EQ(dynamic.Setup(), -1) << dynamic.ErrorLine();
    const DVector& x = dynamic.t.s.sys.XNew;
    EXPECT_EQ(x(1), 1.0);
    EXPECT_EQ(x(2), 3.0);
    EXPECT_EQ(x(3), 5.0);
    EXPECT_EQ(x(4), 7.0);
    EXPECT_EQ(dynamic.t.s.sys.c(1), 0.0);  // the dynamic start comes from the initial values

    NewtonCase steady(false);
    steady.dir.Write("Guess.CSV", Crlf("h\n1,1,.1\n1,2,1.5\n1,3,-999\n2,1,-999\n2,2,2.5\n2,3,3.5\n"));
    ASSERT_EQ(steady.Setup(), -1) << steady.ErrorLine();
    EXPECT_EQ(steady.t.s.sys.c(1), static_cast<double>(0.1f));  // read as a Single
    EXPECT_EQ(steady.t.s.sys.c(4), 3.5);
}

TEST(SetupRunTest, BadGuessFilesEndTheRun) {
    struct Case {
        const char* file;
        const char* inMessage;
    };
    const Case cases[] = {
        {"h\n1,1,-999\n1,2,1\n1,3,1\n2,1,1\n2,2,1\n2,3,1\n", "Error:  data error in Guess.csv: "},
        // Records of unused pairs in place of (1,2) and (2,3): two used guesses too few.
        {"h\n1,1,1\n1,3,1\n1,3,1\n2,1,1\n2,2,1\n2,1,1\n", "Error:  data error in Guess.csv: "},
        // (1,2) three times: the fifth used guess, on line 6, is one too many.
        {"h\n1,1,1\n1,2,1\n1,2,1\n1,2,1\n2,2,1\n2,3,1\n", "line 6"},
        {"h\n1,1,1\n1,2,1\n3,3,1\n2,1,1\n2,2,1\n2,3,1\n", "state variable 3, compartment 3"},
    };
    for (const Case& k : cases) {
        NewtonCase c(false);
        c.dir.Write("Guess.CSV", Crlf(k.file));
        EXPECT_EQ(c.Setup(), EXIT_FATAL_DATA) << k.file;
        EXPECT_NE(c.ErrorLine().find(k.inMessage), std::string::npos) << c.ErrorLine();
    }
    NewtonCase shortFile(false);
    shortFile.dir.Write("Guess.CSV", Crlf("h\n1,1,1\n1,2,1\n"));
    EXPECT_THROW(shortFile.Setup(), textio::DataError);
}

TEST(SetupRunTest, EquationSolverGuessesAreScaledAndNewtonInfoIsOpened) {
    SetupCase c;
    c.o.EquationSolver = true;
    c.o.Linear = false;
    c.o.Dynamic = false;
    c.o.NewtonInfo = true;
    c.o.NEQN = 3;
    c.o.XScale = 4;
    c.dir.Write("GuessEqnSolver.csv", Crlf(".25\n-1,2\n"));
    ASSERT_EQ(c.Setup(), -1) << c.ErrorLine();
    EXPECT_EQ(c.t.s.sys.c(1), 1.0);
    EXPECT_EQ(c.t.s.sys.c(2), -4.0);
    EXPECT_EQ(c.t.s.sys.c(3), 8.0);
    EXPECT_TRUE(c.t.s.files.NewtonInfo != nullptr);
    EXPECT_TRUE(c.dir.Exists("NewtonInfo.dng"));

    SetupCase linear;  // NewtonInfo is for Newton runs only
    linear.o.EquationSolver = true;
    linear.o.NewtonInfo = true;
    linear.o.NEQN = 2;
    ASSERT_EQ(linear.Setup(), -1);
    EXPECT_FALSE(linear.dir.Exists("NewtonInfo.dng"));
}

TEST(SetupRunTest, CountsOutsideTheIntegerRangeOrNegativeEndTheRun) {
    SetupCase big;
    big.o.NSV = 200;
    big.o.NTCount1 = 100;
    big.o.NTCount2 = 100;  // NT x NSV = 40000
    EXPECT_THROW(big.Setup(), textio::DataError);

    SetupCase wide;
    wide.Map("1,1,0,1\n2,0,1,1\n");
    wide.o.NAS = 7000;  // 5 x NAS + 1 columns
    EXPECT_THROW(wide.Setup(), textio::DataError);

    SetupCase negative;
    negative.o.NSV = -1;
    EXPECT_EQ(negative.Setup(), EXIT_FATAL_DATA);
    EXPECT_NE(negative.ErrorLine().find("NSV = -1"), std::string::npos) << negative.ErrorLine();

    SetupCase noComps;
    noComps.o.NTCount1 = -4;
    EXPECT_EQ(noComps.Setup(), EXIT_FATAL_DATA);
    EXPECT_NE(noComps.ErrorLine().find("NT = NTCount1 + NTCount2 = -3"), std::string::npos) << noComps.ErrorLine();

    SetupCase eqns;
    eqns.o.EquationSolver = true;
    eqns.o.NEQN = -2;
    EXPECT_EQ(eqns.Setup(), EXIT_FATAL_DATA);
    EXPECT_NE(eqns.ErrorLine().find("NEQN = -2"), std::string::npos) << eqns.ErrorLine();
}

// A compartment model of one state variable: compartment 1 interior,
// compartment 2 a fixed-concentration boundary, one interface between them.
void WriteTwoCompartmentModel(const TempDir& dir) {
    dir.Write("SVCompmap.csv", Crlf("SV,1,2\n1,1,0\n"));
    dir.Write("Compartments.csv", Crlf("h\n1,1,0,0,0,0,10,20,1,0\n2,1,2,1,0,0,10,20,1,0\n"));
    dir.Write("Interfaces.csv", Crlf("h\n1,2,1,.5,1,1\n2,1,1,.5,1,1\n"));
    dir.Write("Flows.csv", Crlf("h\n1,1,2,0\n1,2,1,0\n"));
    dir.Write("ECoefficients.csv", Crlf("h\n1,1,2,1\n1,2,1,1\n"));
    dir.Write("linearKdandTempCoef.csv", Crlf("h\n1,1,0,1\n1,2,0,1\n"));
    dir.Write("BOUNDARY.csv", Crlf("h\n1,1,0\n1,2,5\n"));
    dir.Write("FlowandEMultipliers.csv", Crlf("h\n-999\n"));
}

struct CompartmentRun : SetupCase {
    CompartmentRun() {
        o.NSV = 1;
        o.NTCount1 = 2;
        o.NTCount2 = 0;
        o.NAS = 1;
        WriteTwoCompartmentModel(dir);
    }
};

TEST(PrepareDynamicRunTest, CompartmentRunReadsInitialValuesAndStartsTheTimeSeries) {
    CompartmentRun c;
    c.dir.Write("INITIAL.CSV", Crlf("h\n1,1,3.5\n1,2,-999\n"));
    ASSERT_EQ(c.Setup(), -1) << c.ErrorLine();
    ASSERT_EQ(c.Run(PrepareDynamicRun), -1) << c.ErrorLine();
    EXPECT_EQ(c.t.s.setup.Initial(1, 3), 3.5);
    EXPECT_EQ(c.t.s.setup.Initial(2, 3), -999.0);
    EXPECT_EQ(c.t.s.tables.Compartment(2, 3), 2.0f);  // tables read at time 0
    EXPECT_TRUE(c.t.s.mb.MassBalanceOn);
    ASSERT_TRUE(c.t.s.files.TimeSeries != nullptr);
    c.t.s.files.TimeSeries->Close();
    EXPECT_EQ(c.dir.Read("AllTimeSeries.csv"), "Time,SV 1 in Compartment 1 ,\r\n");

    ASSERT_EQ(c.Run(InitialConcentrations), -1) << c.ErrorLine();
    EXPECT_EQ(c.t.s.sys.c(1), 3.5);
}

TEST(PrepareDynamicRunTest, MassBalanceIsOffWithANonlinearTermAndTheResultFileFollowsDynPrint) {
    CompartmentRun varn;
    varn.o.Linear = false;
    varn.o.VarnTerm = true;
    varn.o.DynType = 1;  // explicit: no Newton guesses needed
    varn.o.DynPrint = 1;
    varn.dir.Write("INITIAL.CSV", Crlf("h\n1,1,1\n1,2,1\n"));
    ASSERT_EQ(varn.Setup(), -1) << varn.ErrorLine();
    ASSERT_EQ(varn.Run(PrepareDynamicRun), -1) << varn.ErrorLine();
    EXPECT_FALSE(varn.t.s.mb.MassBalanceOn);
    EXPECT_TRUE(varn.t.s.files.TimeSeries == nullptr);
    EXPECT_FALSE(varn.dir.Exists("AllTimeSeries.csv"));

    CompartmentRun one;
    one.o.DynPrint = 2;
    one.o.NumSectnPrint = 1;
    one.dir.Write("INITIAL.CSV", Crlf("h\n1,1,1\n1,2,1\n"));
    ASSERT_EQ(one.Setup(), -1);
    ASSERT_EQ(one.Run(PrepareDynamicRun), -1) << one.ErrorLine();
    one.t.s.files.TimeSeries->Close();
    EXPECT_EQ(one.dir.Read("OneCompTimeSeries.csv"), "Time,SV  1 ,\r\n");
}

TEST(InitialConcentrationsTest, CompartmentValuesFillTheEquationsOfInteriorCompartments) {
    // Set by hand: 2 state variables, 3 compartments, compartment 2 a boundary.
    SetupCase c;
    ModelState& s = c.t.s;
    s.opt.NEQN = 3;
    s.setup.NT = 3;
    s.setup.SVCompMap.Resize(2, 3);
    for (int K : {1, 3}) s.setup.SVCompMap(1, K) = 1;
    s.setup.SVCompMap(2, 3) = 1;
    s.tables.Compartment.Resize(3, 10);
    s.tables.Compartment(2, 3) = 2;
    s.setup.Initial.Resize(6, 3);
    for (int row = 1; row <= 6; ++row) s.setup.Initial(row, 3) = 10.0 * row;
    s.sys.c.Resize(3);
    ASSERT_EQ(c.Run(InitialConcentrations), -1) << c.ErrorLine();
    EXPECT_EQ(s.sys.c(1), 10.0);  // (1, 1): row 1
    EXPECT_EQ(s.sys.c(2), 30.0);  // (1, 3): row 3
    EXPECT_EQ(s.sys.c(3), 60.0);  // (2, 3): row 6

    s.setup.Initial(3, 3) = -999;
    EXPECT_EQ(c.Run(InitialConcentrations), EXIT_FATAL_DATA);
    EXPECT_EQ(c.ErrorLine(), "Error:  -999 data error initializing c vector: \"INITIAL.CSV\" row 3 (state "
                             "variable 1, compartment 3) gives no initial concentration, but the state "
                             "variable is computed there\r\n");

    s.setup.Initial(3, 3) = 1;
    s.setup.SVCompMap(2, 2) = 1;  // a state variable in the boundary compartment is not counted
    s.opt.NEQN = 4;
    s.sys.c.Resize(4);
    EXPECT_EQ(c.Run(InitialConcentrations), EXIT_FATAL_DATA);
    EXPECT_PRED2(testing::BeginsWith, c.ErrorLine(), "Error:  Count not equal to NEQN in initializing c vector: ");
}

TEST(InitialConcentrationsTest, EquationSolverValuesAreReadAsSinglesAndAllTimeSeriesIsForced) {
    SetupCase c;
    c.o.EquationSolver = true;
    c.o.NEQN = 2;
    c.o.DynPrint = 1;
    c.dir.Write("InitialEqnSolver.csv", Crlf(".1\n2\n"));
    c.dir.Write("AEqnSolver.csv", Crlf("-1,0\n0,-1\n"));
    c.dir.Write("RVEqnSolver.csv", Crlf("1\n1\n"));
    ASSERT_EQ(c.Setup(), -1) << c.ErrorLine();
    ASSERT_EQ(c.Run(PrepareDynamicRun), -1) << c.ErrorLine();
    EXPECT_EQ(c.t.s.opt.DynPrint, 3);
    EXPECT_FALSE(c.t.s.mb.MassBalanceOn);
    EXPECT_EQ(c.t.s.sys.A(2, 2), -1.0);  // ParmUpdate at time 0
    c.t.s.sys.CurrentTime = 7;
    ASSERT_EQ(c.Run(InitialConcentrations), -1);
    EXPECT_EQ(c.t.s.sys.c(1), static_cast<double>(0.1f));
    EXPECT_EQ(c.t.s.sys.c(2), 2.0);
    EXPECT_EQ(c.t.s.sys.CurrentTime, 0.0);
    c.t.s.files.TimeSeries->Close();
    EXPECT_EQ(c.dir.Read("AllTimeSeries.csv"), "Time,Equation 1 ,Equation 2 ,\r\n");
}

}  // namespace
}  // namespace ostra
