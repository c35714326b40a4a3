// Tests of the parameter update: which tables are read when, which companion
// programs are started, and the equation maps, volumes and retardation factors.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "model/error.h"
#include "model/parm_update.h"
#include "support/test_support.h"

namespace {

using namespace ostra;
using ostra::testing::Crlf;
using ostra::testing::TempDir;
using ostra::testing::TestState;

// Three compartments in a row, the middle one a boundary (kind 2); two state
// variables, each computed in compartments 1 and 3 only.
std::string CompartmentsCsv(const std::string& row3 = "3,1,0,2,0,0,30,20,0.25,4") {
    return Crlf("Number,NAS,Kind,X,Y,Z,Volume,Temperature,WaterContent,Solids\n"
                "1,1,0,0,0,0,10,20,0.5,2\n"
                "2,2,2,1,0,0,20,20,1,0\n" +
                row3 + "\n");
}
std::string InterfacesCsv(const std::string& weight = "1") {
    return Crlf("Number,Adjacent,Area,Distance,MixLength,Weight\n"
                "1,2,1,1,1," + weight + "\n"
                "2,1,1,3,1,1,3,1,3,1,1\n"
                "3,2,1,1,1,1\n");
}
std::string FlowsCsv(const std::string& first = "0.5") {
    return Crlf("ISV,Compartment,Adjacent,Flow\n"
                "1,1,2," + first + "\n1,2,1,-0.5,3,0.5\n1,3,2,-0.5\n"
                "2,1,2,0.25\n2,2,1,-0.25,3,0.25\n2,3,2,-0.25\n");
}
std::string ECoefCsv(const std::string& first = "0.01") {
    return Crlf("ISV,Compartment,Adjacent,E\n"
                "1,1,2," + first + "\n1,2,1,0.01,3,0.02\n1,3,2,0.02\n"
                "2,1,2,0.03\n2,2,1,0.03,3,0.04\n2,3,2,0.04\n");
}
// The partition coefficient of row r is r, except where given.
std::string KdCsv(const std::string& first = "1") {
    return Crlf("ISV,Compartment,Kd,TempCoef\n"
                "1,1," + first + ",1.05\n1,2,2,1.05\n1,3,3,1.05\n"
                "2,1,4,1.05\n2,2,5,1.05\n2,3,6,1.05\n");
}
std::string BoundaryCsv(const std::string& conc = "7") {
    return Crlf("ISV,Compartment,Conc\n"
                "1,1,-999\n1,2," + conc + "\n1,3,-999\n"
                "2,1,-999\n2,2,8\n2,3,-999\n");
}

// A compartment-mode model sized as the run set-up sizes it.
struct Model {
    TempDir dir;
    TestState t{dir.Path()};
    ModelState& s = t.s;
    DSparse A;

    Model() {
        const int NSV = 2, NT = 3, NAS = 2;
        s.opt.NSV = NSV;
        s.opt.NTCount1 = NT;
        s.opt.NAS = NAS;
        s.opt.NEQN = 4;
        s.setup.NT = NT;
        s.setup.MaxNSVxNT = NSV * NT;
        s.setup.SVCompMap.Resize(NSV, NT);
        s.setup.SVCompMap.Fill(1);
        s.setup.SVCompMap(1, 2) = 0;
        s.setup.SVCompMap(2, 2) = 0;
        s.tables.Compartment.Resize(NT, 10);
        s.tables.Inface.Resize(NT, 5 * NAS + 1);
        s.tables.Flow.Resize(NSV * NT, 2 * NAS + 2);
        s.tables.ECoef.Resize(NSV * NT, 2 * NAS + 2);
        s.tables.KdTempCoef.Resize(NSV * NT, 4);
        s.tables.Boundary.Resize(NSV * NT, 3);
        s.tables.ALPHAweighted.Resize(NT, 2 * NAS + 1);
        s.eq.NEQNsm.Resize(NSV);
        s.eq.SectnToEqn.Resize(NSV, NT);
        s.eq.EqnToSectn.Resize(NSV, NT);
        SizeEquations();
        s.companions.record = true;

        dir.Write("Compartments.csv", CompartmentsCsv());
        dir.Write("Interfaces.csv", InterfacesCsv());
        dir.Write("Flows.csv", FlowsCsv());
        dir.Write("ECoefficients.csv", ECoefCsv());
        dir.Write("linearKdandTempCoef.csv", KdCsv());
        dir.Write("BOUNDARY.csv", BoundaryCsv());
        dir.Write("FlowandEMultipliers.csv", Crlf("ISV,Row,Col,I,J,EMult,QMult\n-999\n"));
    }

    void SizeEquations() {
        s.eq.EqnVolume.Resize(s.opt.NEQN);
        s.eq.EqnRetard.Resize(s.opt.NEQN);
        A.Resize(s.opt.NEQN);
    }

    // Every table on disk changed, so that a re-read would show.
    void ChangeAllTablesOnDisk() {
        dir.Write("Compartments.csv", CompartmentsCsv("3,1,0,2,0,0,99,20,0.25,4"));
        dir.Write("Interfaces.csv", InterfacesCsv("0.5"));
        dir.Write("Flows.csv", FlowsCsv("9"));
        dir.Write("ECoefficients.csv", ECoefCsv("9"));
        dir.Write("linearKdandTempCoef.csv", KdCsv("9"));
        dir.Write("BOUNDARY.csv", BoundaryCsv("9"));
    }

    // The tables as read from the unchanged files of the constructor.
    void ExpectOriginalTables(bool flowsToo = true) const {
        EXPECT_EQ(s.tables.Compartment(3, 7), 30.0f);
        EXPECT_EQ(s.tables.Inface(1, 6), 1.0f);
        if (flowsToo) {
            EXPECT_EQ(s.tables.Flow(1, 4), 0.5f);
        }
        EXPECT_EQ(s.tables.ECoef(1, 4), 0.01f);
        EXPECT_EQ(s.tables.KdTempCoef(1, 3), 1.0f);
        EXPECT_EQ(s.tables.Boundary(2, 3), 7.0f);
        EXPECT_FALSE(s.tables.VariableAlpha);
    }

    std::vector<std::string> RequestFiles() const {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(dir.Path())) {
            const std::string name = e.path().filename().string();
            if (name.rfind("Shell", 0) == 0) names.push_back(name);
        }
        return names;
    }

    std::string Fatal(Double Time) {
        try {
            ParmUpdate(s, Time, A);
        } catch (const RunEnded& ended) {
            EXPECT_EQ(ended.status, EXIT_FATAL_DATA);
            return dir.Read("Error.dng");
        }
        ADD_FAILURE() << "the run did not end";
        return {};
    }
};

std::string ErrorLine(const std::string& message) { return "Error:  " + message + "\r\n"; }

TEST(ParmUpdate, TimeZeroReadsEveryTableAndNumbersTheEquations) {
    Model m;
    ParmUpdate(m.s, 0.0, m.A);
    m.ExpectOriginalTables();
    EXPECT_EQ(m.s.tables.Inface(2, 7), 3.0f);  // second interface group of compartment 2
    EXPECT_EQ(m.s.tables.Flow(5, 6), 0.25f);
    EXPECT_EQ(m.s.companions.starts, 0);
    EXPECT_TRUE(m.RequestFiles().empty());

    // Equations (1,1) = 1, (1,3) = 2, (2,1) = 3, (2,3) = 4.
    const auto& eq = m.s.eq;
    EXPECT_EQ(eq.SectnToEqn(1, 1), 1);
    EXPECT_EQ(eq.SectnToEqn(1, 2), MISSING);
    EXPECT_EQ(eq.SectnToEqn(1, 3), 2);
    EXPECT_EQ(eq.SectnToEqn(2, 3), 2);
    EXPECT_EQ(eq.EqnToSectn(1, 1), 1);
    EXPECT_EQ(eq.EqnToSectn(1, 2), 3);
    EXPECT_EQ(eq.EqnToSectn(2, 2), 3);
    EXPECT_EQ(eq.EqnToSectn(1, 3), MISSING);
    EXPECT_EQ(eq.EqnToSectn(2, 3), MISSING);

    // Volumes of compartments 1, 3, 1, 3; retardation 1 + Kd(row) x solids / WC
    // with rows 1, 3, 4, 6 of the partitioning table.
    const float volume[] = {10, 30, 10, 30};
    const float retard[] = {1 + 1 * 2 / 0.5f, 1 + 3 * 4 / 0.25f, 1 + 4 * 2 / 0.5f, 1 + 6 * 4 / 0.25f};
    for (int n = 1; n <= 4; ++n) {
        EXPECT_EQ(eq.EqnVolume(n), volume[n - 1]) << "equation " << n;
        EXPECT_EQ(eq.EqnRetard(n), retard[n - 1]) << "equation " << n;
    }

    // A later time without time-variable tables reads nothing: the files may go.
    for (const char* name : {"Compartments.csv", "Interfaces.csv", "Flows.csv", "ECoefficients.csv",
                             "linearKdandTempCoef.csv", "BOUNDARY.csv"})
        std::filesystem::remove(m.dir.Path() / name);
    ParmUpdate(m.s, 7.0, m.A);
    m.ExpectOriginalTables();
    EXPECT_EQ(m.s.companions.starts, 0);
}

TEST(ParmUpdate, StateVariableInABoundaryCompartmentOrWrongCountEndsTheRun) {
    {
        Model m;
        m.s.setup.SVCompMap(1, 2) = 1;
        m.s.opt.NEQN = 5;
        m.SizeEquations();
        EXPECT_PRED2(ostra::testing::BeginsWith, m.Fatal(0.0),
                     "Error:  Compartment(*,3) data error in Compartments.csv: compartment 2 has kind 2 "
                     "(column 3 of its record, line 3), a boundary or dummy compartment, but \"SVCompmap.csv\"");
    }
    for (Integer neqn : {3, 5}) {
        Model m;
        m.s.opt.NEQN = neqn;
        m.SizeEquations();
        EXPECT_PRED2(ostra::testing::BeginsWith, m.Fatal(0.0), "Error:  EqnCount <> NEQN in ParmUpdate: ") << "NEQN " << neqn;
    }
}

TEST(ParmUpdate, RetardationFactorIsFormedInSingle) {
    Model m;
    m.dir.Write("Compartments.csv",
                Crlf("h\n1,1,0,0,0,0,10,20,0.7,0.3\n2,2,2,1,0,0,20,20,1,0\n3,1,0,2,0,0,30,20,0.25,4\n"));
    m.dir.Write("linearKdandTempCoef.csv", KdCsv("1.3"));
    ParmUpdate(m.s, 0.0, m.A);
    const float product = 1.3f * 0.3f;
    const float quotient = product / 0.7f;
    const float expected = 1.0f + quotient;
    // The same sum in Double and rounded once would give another float.
    ASSERT_NE(expected, static_cast<float>(1.0 + double(1.3f) * double(0.3f) / double(0.7f)));
    EXPECT_EQ(m.s.eq.EqnRetard(1), expected);
}

TEST(ParmUpdate, ZeroWaterContentOfAnInteriorCompartmentEndsTheRun) {
    Model m;
    // A boundary compartment may have none; an interior one with a state variable may not.
    m.dir.Write("Compartments.csv", CompartmentsCsv("3,1,0,2,0,0,30,20,0,4"));
    EXPECT_EQ(m.Fatal(0.0),
              ErrorLine("Compartment(3, 9) = 0 in Compartments.csv: the water content of compartment 3 "
                        "divides the retardation factor of state variable 1 in ParmUpdate"));
}

TEST(ParmUpdate, OnlyTheTimeVariableFlowTableIsRefreshed) {
    Model m;
    m.s.opt.TimeVarFlows = true;
    // Found under its name without ".exe", in lower case; writes the time as the first flow.
    m.dir.WriteExecutable("flows",
                          "#!/bin/sh\n"
                          "t=$(tr -d ' \\r' < ShellFlows.csv)\n"
                          "cp ShellFlows.csv seen.csv\n"
                          "printf 'h\\r\\n1,1,2,%s\\r\\n1,2,1,-0.5,3,0.5\\r\\n1,3,2,-0.5\\r\\n"
                          "2,1,2,0.25\\r\\n2,2,1,-0.25,3,0.25\\r\\n2,3,2,-0.25\\r\\n' \"$t\" > Flows.csv\n");
    m.dir.Write("Flows.csv", FlowsCsv("123"));  // replaced before the first read
    ParmUpdate(m.s, 0.0, m.A);
    EXPECT_EQ(m.s.tables.Flow(1, 4), 0.0f);
    EXPECT_EQ(m.dir.Read("seen.csv"), " 0 \r\n");

    m.ChangeAllTablesOnDisk();
    std::filesystem::remove(m.dir.Path() / "ShellFlows.csv");
    ParmUpdate(m.s, 5.0, m.A);
    EXPECT_EQ(m.RequestFiles(), std::vector<std::string>{"ShellFlows.csv"});
    EXPECT_EQ(m.dir.Read("seen.csv"), " 5 \r\n");
    EXPECT_EQ(m.s.tables.Flow(1, 4), 5.0f);
    EXPECT_EQ(m.s.companions.programs, (std::vector<std::string>{"Flows.exe", "Flows.exe"}));
    m.ExpectOriginalTables(false);  // nothing else was read again
}

TEST(ParmUpdate, MultiplierProgramRunsAtEveryCallAndTheFileIsLookedAtAgain) {
    Model m;
    m.s.opt.TimeVarMultipliers = true;
    m.dir.WriteExecutable("FlowandEMultipliers.exe",
                          "#!/bin/sh\ncat ShellFlowandEMultipliers.csv >> times.txt\n");
    m.s.inputs.multipliersChecked = true;
    ParmUpdate(m.s, 0.0, m.A);
    m.ExpectOriginalTables();
    EXPECT_FALSE(m.s.inputs.multipliersChecked);

    m.ChangeAllTablesOnDisk();
    m.s.inputs.multipliersChecked = true;
    ParmUpdate(m.s, 3.0, m.A);
    m.ExpectOriginalTables();
    EXPECT_FALSE(m.s.inputs.multipliersChecked);
    EXPECT_EQ(m.dir.Read("times.txt"), " 0 \r\n 3 \r\n");
    EXPECT_EQ(m.s.companions.starts, 2);
}

TEST(ParmUpdate, TimeVariableCompartmentsRenumberButKeepTheStorage) {
    Model m;
    m.s.opt.TimeVarCompartments = true;
    // Doubles every volume at time 1; makes compartment 3 a boundary at time 2.
    m.dir.WriteExecutable(
        "Compartment.exe",
        "#!/bin/sh\n"
        "t=$(tr -d ' \\r' < ShellCompartment.csv)\n"
        "kind=0; [ \"$t\" = 2 ] && kind=1\n"
        "v=1; [ \"$t\" != 0 ] && v=2\n"
        "printf 'h\\r\\n1,1,0,0,0,0,%s0,20,0.5,2\\r\\n2,2,2,1,0,0,20,20,1,0\\r\\n"
        "3,1,%s,2,0,0,%s0,20,0.25,4\\r\\n' $v $kind $((3 * v)) > Compartments.csv\n");
    ParmUpdate(m.s, 0.0, m.A);
    EXPECT_EQ(m.s.eq.EqnVolume(2), 30.0f);

    ParmUpdate(m.s, 1.0, m.A);
    EXPECT_EQ(m.s.tables.Compartment(3, 7), 60.0f);
    // The partitioning table is not time-variable, so the storage stays as at time 0.
    EXPECT_EQ(m.s.eq.EqnVolume(2), 30.0f);
    EXPECT_EQ(m.s.eq.SectnToEqn(2, 3), 2);

    EXPECT_PRED2(ostra::testing::BeginsWith, m.Fatal(2.0),
                 "Error:  Compartment(*,3) data error in Compartments.csv: compartment 3 has kind 1 ");
    EXPECT_EQ(m.s.companions.starts, 3);
}

TEST(ParmUpdate, UnevenWeightsRefreshTheUpwindFactors) {
    Model m;
    m.dir.Write("Interfaces.csv", InterfacesCsv("0.5"));
    ParmUpdate(m.s, 0.0, m.A);
    ASSERT_TRUE(m.s.tables.VariableAlpha);
    // Compartment 1 lies 1 from its interface with 2, compartment 2 lies 3 from it.
    EXPECT_EQ(m.s.tables.ALPHAweighted(1, 2), 2.0f);
    EXPECT_EQ(m.s.tables.ALPHAweighted(1, 3), 0.75f);
    EXPECT_EQ(m.s.tables.ALPHAweighted(3, 3), 0.75f);
}

// An equation-solver model of two equations.
struct SolverModel {
    TempDir dir;
    TestState t{dir.Path()};
    ModelState& s = t.s;
    DSparse A{2, "A"};

    SolverModel() {
        s.opt.EquationSolver = true;
        s.opt.NEQN = 2;
        s.eq.RVDiag.Resize(2);
        s.companions.record = true;
    }
};

TEST(ParmUpdateEquationSolver, MatrixRowByRowStorageOnlyInDynamicRuns) {
    SolverModel m;
    m.s.opt.Dynamic = true;
    m.dir.Write("AEqnSolver.csv", Crlf("1,2\n3,-4.5\n"));
    m.dir.Write("rveqnsolver.csv", Crlf("0.1\n2\n"));
    ParmUpdate(m.s, 0.0, m.A);
    EXPECT_EQ(m.A(1, 1), 1.0);
    EXPECT_EQ(m.A(1, 2), 2.0);
    EXPECT_EQ(m.A(2, 1), 3.0);
    EXPECT_EQ(m.A(2, 2), -4.5);
    EXPECT_EQ(m.s.eq.RVDiag(1), 0.1f);
    EXPECT_EQ(m.s.eq.RVDiag(2), 2.0f);

    // Line breaks carry no meaning; a later time without flags reads nothing.
    m.dir.Write("AEqnSolver.csv", Crlf("5, 6, 7, 8\n"));
    ParmUpdate(m.s, 0.5, m.A);
    EXPECT_EQ(m.A(2, 1), 3.0);
    ParmUpdate(m.s, 0.0, m.A);
    EXPECT_EQ(m.A(2, 1), 7.0);
    EXPECT_EQ(m.s.companions.starts, 0);
}

TEST(ParmUpdateEquationSolver, SteadyRunStartsTheStorageProgramButReadsNoStorage) {
    SolverModel m;
    m.s.opt.TimeVarRVEqnSolver = true;
    m.dir.Write("AEqnSolver.csv", Crlf("1,0\n0,1\n"));
    m.dir.WriteExecutable("RVEqnSolver.exe", "#!/bin/sh\ncp ShellRVEqnSolver.csv seen.csv\n");
    // No "RVEqnSolver.csv" exists: opening it would end the run.
    ParmUpdate(m.s, 0.0, m.A);
    EXPECT_EQ(m.s.companions.programs, std::vector<std::string>{"RVEqnSolver.exe"});
    EXPECT_EQ(m.dir.Read("seen.csv"), " 0 \r\n");
    EXPECT_EQ(m.s.eq.RVDiag(1), 0.0f);
}

TEST(ParmUpdateEquationSolver, TimeVariableMatrixIsRewrittenForEachTime) {
    SolverModel m;
    m.s.opt.TimeVarAEqnSolver = true;
    m.dir.WriteExecutable("AEqnSolver.exe",
                          "#!/bin/sh\n"
                          "t=$(tr -d ' \\r' < ShellAEqnSolver.csv)\n"
                          "printf '%s,0\\r\\n0,%s\\r\\n' \"$t\" \"$t\" > AEqnSolver.csv\n");
    ParmUpdate(m.s, 0.0, m.A);
    EXPECT_EQ(m.A(2, 2), 0.0);
    ParmUpdate(m.s, 2.5, m.A);
    EXPECT_EQ(m.A(1, 1), 2.5);
    EXPECT_EQ(m.A(2, 2), 2.5);
    EXPECT_EQ(m.s.companions.starts, 2);

    // A short answer ends the run with the reader's message.
    m.dir.WriteExecutable("AEqnSolver.exe", "#!/bin/sh\nprintf '1,2,3\\r\\n' > AEqnSolver.csv\n");
    EXPECT_THROW(ParmUpdate(m.s, 3.0, m.A), textio::DataError);
}

}  // namespace
