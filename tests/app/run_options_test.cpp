// run_options_test.cpp -- reading "Control.csv": values, words, flags and
// the value-line checks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/run_options.h"
#include "model/error.h"
#include "support/test_support.h"
#include "textio/errors.h"

namespace ostra {
namespace {

using testing::BeginsWith;
using testing::Crlf;
using testing::TempDir;
using testing::TestState;

// The 36 value lines of a linear dynamic compartment run; every number
// differs from its neighbours so that a shifted value shows.
std::vector<std::string> DefaultValues() {
    return {"ENVS", "Y", "N", "4", "2,3,1", "5", "2", "1.5", "3", ".25", "40", "7", "3", "12",
            "4,6", "N", "N", ".001", "N", "Y", "2.5,-1.5", "1E-08", "50,8,9", "N", "N",
            "N", "N", "N", "N", "N", "N", "N", "N", "N", "N", "N"};
}

// Label line "pair N" and the value line, CR LF.
std::string ControlText(const std::vector<std::string>& values) {
    std::string text;
    for (std::size_t i = 0; i < values.size(); ++i)
        text += "pair " + std::to_string(i + 1) + " label\n" + values[i] + "\n";
    return Crlf(text);
}

struct ControlRun {
    TempDir dir;
    TestState t{dir.Path()};
    int status = -1;  // -1: ReadControl returned

    explicit ControlRun(const std::vector<std::string>& values) : ControlRun(ControlText(values)) {}
    explicit ControlRun(const std::string& text) {
        dir.Write("Control.csv", text);
        try {
            ReadControl(t.s);
        } catch (const RunEnded& e) {
            status = e.status;
        }
    }
    std::string ErrorLine() const { return dir.Exists("Error.dng") ? dir.Read("Error.dng") : ""; }
    const RunOptions& opt() const { return t.s.opt; }
};

std::vector<std::string> With(std::vector<std::string> v, int pair, const std::string& value) {
    v[static_cast<std::size_t>(pair - 1)] = value;
    return v;
}

TEST(ReadControlTest, EveryValueLandsInItsOption) {
    ControlRun r(DefaultValues());
    ASSERT_EQ(r.status, -1) << r.ErrorLine();
    const RunOptions& o = r.opt();
    EXPECT_FALSE(o.EquationSolver);
    EXPECT_TRUE(o.Linear);
    EXPECT_TRUE(o.Dynamic);
    EXPECT_EQ(o.NEQN, 4);
    EXPECT_EQ(o.NSV, 2);
    EXPECT_EQ(o.NTCount1, 3);
    EXPECT_EQ(o.NTCount2, 1);
    EXPECT_EQ(o.NAS, 5);
    EXPECT_EQ(o.MixLengthOption, 2);
    EXPECT_EQ(o.FlowBalanceTol, 1.5f);
    EXPECT_EQ(o.DynType, 3);
    EXPECT_EQ(o.DELT, .25f);
    EXPECT_EQ(o.NumTimeSteps, 40.0);
    EXPECT_EQ(o.DumpStep, 7);
    EXPECT_EQ(o.DynPrint, 3);
    EXPECT_EQ(o.ProfileStep, 12.0);
    EXPECT_EQ(o.NumSectnPrint, 4);
    EXPECT_EQ(o.PrintEvery, 6);
    EXPECT_FALSE(o.NonlinearRV);
    EXPECT_FALSE(o.AnalyticJacobian);
    EXPECT_EQ(o.DELTFD, .001);
    EXPECT_FALSE(o.NewtonInfo);
    EXPECT_TRUE(o.NonNegative);
    EXPECT_EQ(o.RandomHigh, 2.5f);
    EXPECT_EQ(o.RandomLow, -1.5f);
    EXPECT_EQ(o.SC, 1E-08f);
    EXPECT_EQ(o.MaxNewtonIteration, 50);
    EXPECT_EQ(o.MaxRandomizing, 8);
    EXPECT_EQ(o.NumRandomSamples, 9);
    EXPECT_FALSE(o.VarnTerm);
    EXPECT_FALSE(o.TelmTerm);
    EXPECT_FALSE(o.TimeVarParms);
}

TEST(ReadControlTest, SinglesAndDoublesKeepTheirOwnPrecision) {
    // .1 as a Single differs from .1 as a Double: DELT is Single, DELTFD Double.
    ControlRun r(With(With(DefaultValues(), 10, ".1"), 18, ".1"));
    ASSERT_EQ(r.status, -1) << r.ErrorLine();
    EXPECT_EQ(r.opt().DELT, 0.1f);
    EXPECT_EQ(r.opt().DELTFD, 0.1);
}

TEST(ReadControlTest, ModeWordsAreUpperCasedBeforeTheyAreCompared) {
    EXPECT_FALSE(ControlRun(With(DefaultValues(), 1, "envs")).opt().EquationSolver);
    ControlRun eqns(With(DefaultValues(), 1, " \"eqns\" "));
    EXPECT_EQ(eqns.status, -1);
    EXPECT_TRUE(eqns.opt().EquationSolver);
    EXPECT_FALSE(ControlRun(With(DefaultValues(), 2, "n")).opt().Linear);
    EXPECT_FALSE(ControlRun(With(DefaultValues(), 3, "y")).opt().Dynamic);
    EXPECT_FALSE(ControlRun(With(DefaultValues(), 3, "Y")).opt().Dynamic);
}

TEST(ReadControlTest, WordsOutsideTheirChoicesEndTheRunWithTheirMessage) {
    struct Case {
        int pair;
        const char* value;
        const char* message;
    };
    const Case cases[] = {
        {1, "ENV",
         "EquationSolver neither true nor false: file \"Control.csv\", line 2 (pair 1, mode word): found "
         "\"ENV\"; accepted are \"ENVS\" (compartments) and \"EQNS\" (equations from files), in any letter case"},
        {1, "", "EquationSolver neither true nor false: file \"Control.csv\", line 2 (pair 1, mode word): found an "
                "empty value; accepted are"},
        {2, "yes", "Linear neither true nor false: file \"Control.csv\", line 4 (pair 2, Linear): found \"yes\"; "
                   "accepted are \"Y\" (linear) and \"N\" (nonlinear)"},
        {3, "0", "Dynamic neither true nor false: file \"Control.csv\", line 6 (pair 3, steady state): found \"0\"; "
                 "accepted are \"Y\" (steady state) and \"N\" (time stepping)"},
    };
    for (const Case& c : cases) {
        ControlRun r(With(DefaultValues(), c.pair, c.value));
        EXPECT_EQ(r.status, EXIT_FATAL_DATA) << c.value;
        EXPECT_EQ(r.ErrorLine().rfind(std::string("Error:  ") + c.message, 0), 0u) << r.ErrorLine();
        EXPECT_EQ(r.t.display.messages, std::vector<std::string>{FATAL_ERROR_BOX});
    }
}

TEST(ReadControlTest, SchemeAndPrintChoiceAreCheckedOnlyForDynamicRuns) {
    for (const char* bad : {"0", "5"}) {
        ControlRun r(With(DefaultValues(), 9, bad));
        EXPECT_EQ(r.status, EXIT_FATAL_DATA);
        EXPECT_EQ(r.ErrorLine(), "Error:  DynType not equal to 1,2,3, or 4: file \"Control.csv\", line 18 (pair 9, "
                                 "DynType): found " + std::string(bad) + "; a time-stepping run (pair 3 = N) takes 1 "
                                 "(explicit Euler), 2 (MacCormack), 3 (implicit Euler) or 4 (Crank-Nicolson)\r\n");
    }
    ControlRun print(With(DefaultValues(), 13, "9"));
    EXPECT_EQ(print.ErrorLine(), "Error:  DynPrint neither 1, 2, or 3: file \"Control.csv\", line 26 (pair 13, "
                                 "DynPrint): found 9; a time-stepping run (pair 3 = N) takes 1 (profile snapshot), "
                                 "2 (one compartment) or 3 (all equations)\r\n");

    auto steady = With(With(DefaultValues(), 3, "Y"), 9, "7");
    ControlRun r(With(steady, 13, "9"));
    EXPECT_EQ(r.status, -1) << r.ErrorLine();
    EXPECT_EQ(r.opt().DynType, 7);
    EXPECT_EQ(r.opt().DynPrint, 9);
}

TEST(ReadControlTest, NothingAfterTheFailingPairIsRead) {
    // Pair 10 is unreadable, but the run stops at pair 9 with its own message.
    ControlRun r(With(With(DefaultValues(), 9, "6"), 10, "fast"));
    EXPECT_EQ(r.ErrorLine().rfind("Error:  DynType not equal to 1,2,3, or 4: file \"Control.csv\", line 18", 0), 0u)
        << r.ErrorLine();
}

TEST(ReadControlTest, NonNegativeIsFalseOnlyForN) {
    EXPECT_FALSE(ControlRun(With(DefaultValues(), 20, "n")).opt().NonNegative);
    for (const char* v : {"Y", "0", "", "no"}) {
        ControlRun r(With(DefaultValues(), 20, v));
        EXPECT_EQ(r.status, -1) << v << ": " << r.ErrorLine();
        EXPECT_TRUE(r.opt().NonNegative) << v;
    }
}

TEST(ReadControlTest, YesOtherFlagsAreTrueOnlyForY) {
    auto all = DefaultValues();
    for (int pair : {16, 17, 19, 24, 25}) all = With(all, pair, "y");
    ControlRun r(all);
    ASSERT_EQ(r.status, -1) << r.ErrorLine();
    EXPECT_TRUE(r.opt().NonlinearRV);
    EXPECT_TRUE(r.opt().AnalyticJacobian);
    EXPECT_TRUE(r.opt().NewtonInfo);
    EXPECT_TRUE(r.opt().VarnTerm);
    EXPECT_TRUE(r.opt().TelmTerm);
    EXPECT_TRUE(r.opt().UseDfdc);
    EXPECT_TRUE(r.opt().UsePask);

    for (const char* v : {"YES", "1", "", "T"}) {
        ControlRun other(With(DefaultValues(), 16, v));
        EXPECT_EQ(other.status, -1) << v;
        EXPECT_FALSE(other.opt().NonlinearRV) << v;
    }
}

TEST(ReadControlTest, DerivativeCompanionsNeedTheAnalyticJacobian) {
    auto values = With(With(DefaultValues(), 24, "Y"), 25, "Y");
    ControlRun fd(values);  // finite differences
    EXPECT_TRUE(fd.opt().VarnTerm);
    EXPECT_TRUE(fd.opt().TelmTerm);
    EXPECT_FALSE(fd.opt().UseDfdc);
    EXPECT_FALSE(fd.opt().UsePask);

    ControlRun varnOnly(With(With(DefaultValues(), 17, "Y"), 24, "Y"));
    EXPECT_TRUE(varnOnly.opt().UseDfdc);
    EXPECT_FALSE(varnOnly.opt().UsePask);
}

TEST(ReadControlTest, TimeVariableTablesCallForTheParameterUpdateExceptLoadsAndRightHandSide) {
    struct Case {
        int pair;
        bool RunOptions::*flag;
        bool update;
    };
    const Case cases[] = {
        {26, &RunOptions::TimeVarCompartments, true}, {27, &RunOptions::TimeVarInterfaces, true},
        {28, &RunOptions::TimeVarFlows, true},        {29, &RunOptions::TimeVarECoef, true},
        {30, &RunOptions::TimeVarMultipliers, true},  {31, &RunOptions::TimeVarKd, true},
        {32, &RunOptions::TimeVarBoundary, true},     {33, &RunOptions::TimeVarLoads, false},
        {34, &RunOptions::TimeVarAEqnSolver, true},   {35, &RunOptions::TimeVarBEqnSolver, false},
        {36, &RunOptions::TimeVarRVEqnSolver, true},
    };
    for (const Case& c : cases) {
        ControlRun r(With(DefaultValues(), c.pair, "y"));
        ASSERT_EQ(r.status, -1) << c.pair;
        EXPECT_TRUE(r.opt().*c.flag) << "pair " << c.pair;
        EXPECT_EQ(r.opt().TimeVarParms, c.update) << "pair " << c.pair;
        int set = 0;
        for (const Case& other : cases) set += (r.opt().*other.flag) ? 1 : 0;
        EXPECT_EQ(set, 1) << "pair " << c.pair << " set another flag too";
    }
}

TEST(ReadControlTest, AnExtraValueOnAValueLineNamesTheLineAndTheValue) {
    ControlRun number(With(DefaultValues(), 4, "4,5"));
    EXPECT_EQ(number.status, EXIT_FATAL_DATA);
    const std::string line = number.ErrorLine();
    EXPECT_NE(line.find("\"Control.csv\", line 8"), std::string::npos) << line;
    EXPECT_NE(line.find("NEQN"), std::string::npos) << line;
    EXPECT_NE(line.find("\"5\""), std::string::npos) << line;

    ControlRun word(With(DefaultValues(), 26, "N, ,Y"));
    const std::string wline = word.ErrorLine();
    EXPECT_NE(wline.find("line 52"), std::string::npos) << wline;
    EXPECT_NE(wline.find("\"Y\""), std::string::npos) << wline;

    ControlRun triple(With(DefaultValues(), 23, "50,8,9,,10"));
    EXPECT_NE(triple.ErrorLine().find("\"10\""), std::string::npos) << triple.ErrorLine();
}

TEST(ReadControlTest, EmptyFieldsAndBlanksAfterTheValuesAreAllowed) {
    auto values = With(With(DefaultValues(), 4, "4,"), 5, "2,3,1, , ");
    values = With(values, 19, "Y,");
    ControlRun r(values);
    ASSERT_EQ(r.status, -1) << r.ErrorLine();
    EXPECT_EQ(r.opt().NEQN, 4);
    EXPECT_EQ(r.opt().NTCount2, 1);
    EXPECT_EQ(r.opt().NAS, 5);  // the next pair is still in step
    EXPECT_TRUE(r.opt().NewtonInfo);
}

TEST(ReadControlTest, AValueLineWithTooFewValuesNamesItsLine) {
    ControlRun shortLine(With(DefaultValues(), 5, "2,3"));
    EXPECT_EQ(shortLine.status, EXIT_FATAL_DATA);
    EXPECT_NE(shortLine.ErrorLine().find("line 10"), std::string::npos) << shortLine.ErrorLine();
    EXPECT_NE(shortLine.ErrorLine().find("NTCount2"), std::string::npos) << shortLine.ErrorLine();

    // A numeric label on the next line must not be taken for the missing value.
    auto values = With(DefaultValues(), 15, "4");
    std::string text = ControlText(values);
    const std::string label16 = "pair 16 label";
    text.replace(text.find(label16), label16.size(), "16");
    ControlRun numericLabel(text);
    EXPECT_EQ(numericLabel.status, EXIT_FATAL_DATA);
    EXPECT_NE(numericLabel.ErrorLine().find("line 30"), std::string::npos) << numericLabel.ErrorLine();

    ControlRun empty(With(DefaultValues(), 6, ""));
    EXPECT_NE(empty.ErrorLine().find("line 12"), std::string::npos) << empty.ErrorLine();
}

TEST(ReadControlTest, UnreadableOrShortFilesAreDataErrorsNamingTheFile) {
    TempDir dir;
    TestState t(dir.Path());
    EXPECT_THROW(ReadControl(t.s), textio::DataError);  // no file at all

    auto values = DefaultValues();
    values.resize(30);
    dir.Write("Control.csv", ControlText(values));
    try {
        ReadControl(t.s);
        ADD_FAILURE() << "a file of 30 pairs was accepted";
    } catch (const textio::DataError& e) {
        EXPECT_NE(std::string(e.what()).find("Control.csv"), std::string::npos) << e.what();
    }

    dir.Write("Control.csv", ControlText(With(DefaultValues(), 10, "fast")));
    try {
        ReadControl(t.s);
        ADD_FAILURE() << "DELT \"fast\" was accepted";
    } catch (const textio::DataError& e) {
        EXPECT_NE(std::string(e.what()).find("line 20"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("DELT"), std::string::npos) << e.what();
    }
}

// What follows pair 36 is ignored unless line 73 is the label of the
// solver choice; LF line ends are accepted throughout.
TEST(ReadControlTest, LinesAfterPair36AreIgnoredUnlessLine73IsTheSolverLabel) {
    struct Case {
        const char* after;  // the text after pair 36
        int from, to;       // the lines noted as ignored (0: none)
        std::size_t warnings;
        const char* error;  // the start of "Error.dng", or "" when the file is read
    };
    const Case cases[] = {
        {"", 0, 0, 0, ""},
        {"\n \t\n,,\n", 0, 0, 0, ""},
        {"Notes\nrun of 2024 by X\n", 73, 74, 0, ""},
        {"\n\nremarks,on,line,75\n", 75, 75, 0, ""},
        {" linear SOLVER ,,\ngauss-jordan\nnotes,that,are,ignored\n1,2,3\n", 0, 0, 0, ""},
        {"\"Linear solver\"\n\n", 0, 0, 0, ""},
        {"Solver\nGAUSS-JORDAN\n", 73, 74, 1, ""},
        {"Linear solver\nQR\n", 0, 0, 0,
         "Error:  file \"Control.csv\", line 74 (pair 37, linear solver): \"QR\" is no linear solver"},
    };
    const auto values = DefaultValues();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.after);
        std::string text;
        for (std::size_t i = 0; i < values.size(); ++i) text += "label\n" + values[i] + "\n";
        ControlRun r(text + c.after);
        if (*c.error) {
            EXPECT_EQ(r.status, EXIT_FATAL_DATA);
            EXPECT_TRUE(BeginsWith(r.ErrorLine(), c.error)) << r.ErrorLine();
            continue;
        }
        ASSERT_EQ(r.status, -1) << r.ErrorLine();
        EXPECT_EQ(r.opt().NumRandomSamples, 9);
        EXPECT_FALSE(r.opt().SparseLU);
        EXPECT_EQ(r.opt().IgnoredControlFrom, c.from);
        EXPECT_EQ(r.opt().IgnoredControlTo, c.to);
        ASSERT_EQ(r.t.s.control.warnings.size(), c.warnings);
        if (c.warnings) {
            EXPECT_EQ(r.t.s.control.warnings[0],
                      "\"Control.csv\", line 74: \"GAUSS-JORDAN\" is ignored, and the run uses Gauss-Jordan, "
                      "because line 73 is not the label \"Linear solver\" that makes lines 73 and 74 the choice "
                      "of linear solver");
        }
    }
}

}  // namespace
}  // namespace ostra
