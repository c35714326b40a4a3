// model_check_test.cpp -- `ostra --check`: every example passes without a
// result file; bad models end as a run would (status and "Error.dng"); the
// companion programs of time-variable tables are started at time 0; a missing
// nonlinear-term program and the positivity criterion become warnings.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/compartment_model_files.h"
#include "app/ostra_process.h"

namespace ostra::testing {
namespace {

namespace fs = std::filesystem;

const char* const RESULT_FILES[] = {"AllTimeSeries.csv", "OneCompTimeSeries.csv", "ProfileSnapshot.csv",
                                    "MassBalance.csv"};

// "Error.dng" with the model directory written as "<dir>", so that the
// files of two directories compare.
std::string ErrorFile(const TempDir& dir) {
    std::string text = dir.Read("Error.dng");
    const std::string path = dir.Path().string();
    for (std::size_t at; (at = text.find(path)) != std::string::npos;) text.replace(at, path.size(), "<dir>");
    return text;
}

void ExpectNoResultFile(const TempDir& dir, const std::string& what) {
    for (const char* name : RESULT_FILES) EXPECT_FALSE(dir.Exists(name)) << name << " after " << what;
}

TEST(ModelCheck, EveryExamplePassesAndWritesNothingButDiagnostics) {
    const std::map<std::string, std::vector<std::string>> expected = {
        {"river-network",
         {"Scheme: implicit Euler", "Linear solver: Gauss-Jordan", "Time: step 0.25, 240 steps, simulated time 60",
          "Equations: 8 (state variable 1: 4, state variable 2: 4)",
          "Compartments: 8 (4 interior, 1 zero-concentration boundary, 2 fixed-concentration boundary, 1 flow "
          "exit)",
          "Interfaces: 7", "Companion programs: none"}},
        {"river-network-steady", {"Scheme: steady state, one linear solve", "Time: steady state", "Equations: 8"}},
        {"equation-solver", {"Mode: equation-solver mode (EQNS), linear, dynamic", "Scheme: Crank-Nicolson",
                             "Equations: 3", "Files read: Control.csv, AEqnSolver.csv, RVEqnSolver.csv"}},
        {"kinetics",
         {"implicit Euler, each step solved by Newton iteration (finite-difference Jacobian)",
          "\"varn.exe\" for the f(C) term: present, first started by the first step", "Guess.CSV"}},
        {"nonlinear-sorption",
         {"Equations: 98", "Interfaces: 99", "\"Telm.exe\" for the R(C) term: present",
          "\"Pask.exe\" for dR/dC of the R(C) term: present"}},
        {"quadratic-steady",
         {"steady state, solved by Newton iteration", "\"varn.exe\" for the f(C) term: present, first started by "
                                                      "the solve"}},
    };
    for (const auto& entry : fs::directory_iterator(fs::path(OSTRA_SOURCE_DIR) / "examples")) {
        // The example models; a script beside them builds one.
        if (!fs::is_regular_file(entry.path() / "Control.csv")) continue;
        EXPECT_TRUE(expected.count(entry.path().filename().string())) << "no case for " << entry.path();
    }

    for (const auto& [name, lines] : expected) {
        TempDir dir;
        CopyExampleWithCompanions(dir, name);
        const std::set<std::string> before = FileNames(dir.Path());
        const OstraRun run = RunOstraWith({"--check", dir.Path().string()});
        EXPECT_EQ(run.status, 0) << name << "\n" << run.out << run.err;
        const std::string summary = Flat(run.out);
        EXPECT_NE(summary.find("no fault found"), std::string::npos) << name << ": " << run.out;
        for (const std::string& line : lines) EXPECT_NE(summary.find(line), std::string::npos) << name << ": " << line;
        EXPECT_EQ(summary.find("Done!"), std::string::npos) << name;
        ExpectNoResultFile(dir, name);
        for (const std::string& file : FileNames(dir.Path()))
            EXPECT_TRUE(before.count(file) || file == "NewtonInfo.dng") << name << " left " << file;
    }
}

// inflow (1) -> cell (2) -> cell (3) -> exit (4): flow 1, dispersion between
// the cells, a decay in cell 2 and a load into cell 3; four implicit steps.
struct ChainModel {
    CompartmentModel m;
    ControlFile control;
    double middleFlow = 1, middleAlpha = 1, middleE = 0.5;

    ChainModel() {
        Compartment inflow, c2, c3, exit;
        inflow.kind = 2, exit.kind = 3;
        c2.x = 1, c3.x = 2, exit.x = 3;
        m.Add(inflow), m.Add(c2), m.Add(c3), m.Add(exit);
        m.boundary[0][0] = 2;
        m.volumeTerms.push_back({2, 1, 1, -0.1});
        m.loads.push_back({0, 100, {{3, 1, 0.5}}});
        control.DELT = "0.5";
        control.NumTimeSteps = "4";
    }
    void Write(const fs::path& dir) {
        m.Connect({1, 2, 1, 1, 0});
        Link middle{2, 3, 1, middleFlow, middleE};
        middle.alpha = middleAlpha;
        m.Connect(middle);
        m.Connect({3, 4, 1, 1, 0});
        m.Write(dir, control);
    }
};

struct FaultCase {
    const char* name;
    std::function<void(ChainModel&)> change;        // before the files are written
    std::function<void(const TempDir&)> afterwards;  // on the written files
};

TEST(ModelCheck, BadModelsEndAsARunWouldWithoutAResultFile) {
    const FaultCase cases[] = {
        {"a scheme number out of range", [](ChainModel& c) { c.control.DynType = 7; }, nullptr},
        {"a flow balance that does not close", [](ChainModel& c) { c.middleFlow = 2; }, nullptr},
        {"no loads file", nullptr, [](const TempDir& d) { fs::remove(d.Path() / "Loads.csv"); }},
        {"a volume term in no compartment", [](ChainModel& c) { c.m.volumeTerms.push_back({9, 1, 1, -0.1}); },
         nullptr},
        {"a load into a boundary compartment", [](ChainModel& c) { c.m.loads[0].records.push_back({1, 1, 2}); },
         nullptr},
        {"an initial value -999", [](ChainModel& c) { c.m.initial[0][1] = -999; }, nullptr},
        {"time-variable flows without \"Flows.exe\"", [](ChainModel& c) { c.control.TimeVarFlows = true; }, nullptr},
        {"MacCormack in a nonlinear run",
         [](ChainModel& c) {
             c.control.linear = false;
             c.control.DynType = 2;
             c.control.NonlinearRV = true;
         },
         nullptr},
    };
    for (const FaultCase& c : cases) {
        TempDir checked, run;
        for (const TempDir* dir : {&checked, &run}) {
            ChainModel model;
            if (c.change) c.change(model);
            model.Write(dir->Path());
            if (c.afterwards) c.afterwards(*dir);
        }
        const OstraRun check = RunOstraWith({"--check", checked.Path().string()});
        const OstraRun plain = RunOstraWith({run.Path().string()});
        EXPECT_NE(plain.status, 0) << c.name << ": the fault is not one";
        EXPECT_EQ(check.status, plain.status) << c.name << "\n" << check.out << check.err;
        ASSERT_EQ(checked.Exists("Error.dng"), run.Exists("Error.dng")) << c.name;
        if (run.Exists("Error.dng")) {
            EXPECT_EQ(ErrorFile(checked), ErrorFile(run)) << c.name;
        }
        EXPECT_EQ(check.out.find("no fault found"), std::string::npos) << c.name;
        ExpectNoResultFile(checked, c.name);
    }
}

TEST(ModelCheck, StartsTheCompanionsOfTimeVariableTablesAtTimeZero) {
    TempDir dir;
    ChainModel model;
    model.control.TimeVarFlows = true;
    model.Write(dir.Path());
    dir.WriteExecutable("Flows.exe", "#!/bin/sh\necho started >> started.txt\n");
    const OstraRun run = RunOstraWith({"--check", dir.Path().string()});
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(dir.Read("ShellFlows.csv"), " 0 \r\n");
    EXPECT_EQ(dir.Read("started.txt"), "started\n");
    EXPECT_NE(Flat(run.out).find("\"Flows.exe\" for time-variable flows: present, started at time 0"),
              std::string::npos)
        << run.out;
    ExpectNoResultFile(dir, "the check");
}

TEST(ModelCheck, AMissingNonlinearTermProgramIsAWarning) {
    TempDir dir;
    dir.CopyFrom(fs::path(OSTRA_SOURCE_DIR) / "examples" / "kinetics");  // without "varn.exe"
    const OstraRun run = RunOstraWith({"--check", dir.Path().string()});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_NE(Flat(run.out).find("\"varn.exe\" for the f(C) term: missing"), std::string::npos) << run.out;
    EXPECT_NE(run.err.find("Warning: companion program \"varn.exe\""), std::string::npos) << run.err;
    EXPECT_EQ(RunOstraWith({"--check", "--strict", dir.Path().string()}).status, 5);
}

TEST(ModelCheck, ThePositivityCriterionIsReportedNotAsked) {
    // Centrally weighted middle interface without dispersion: every outflow
    // violates the criterion.
    auto write = [](const TempDir& dir) {
        ChainModel model;
        model.middleAlpha = 0.5;
        model.middleE = 0;
        model.Write(dir.Path());
    };
    const std::string warning =
        "Warning: positivity/wiggle criterion violated at time 0, first between compartments 2 and 3 (state "
        "variable 1); every violation is listed in \"Wiggle.dng\"";
    struct Case {
        std::vector<std::string> options;
        std::string answer;
        int status;
        std::string then;  // end of the warning, "" when none
    };
    const Case cases[] = {
        {{"--check"}, "", 0, "; a run would ask whether to continue"},
        {{"--check", "--strict"}, "", 5, "; a run would ask whether to continue"},
        {{}, "C\n", 0, "; the run continued after the answer \"C\""},
        {{"--strict"}, "c\n", 5, "; the run continued after the answer \"C\""},
        {{}, "", 4, ""},
    };
    for (const Case& c : cases) {
        TempDir dir;
        write(dir);
        std::vector<std::string> args = c.options;
        args.push_back(dir.Path().string());
        const OstraRun run = RunOstraWith(args, c.answer);
        const std::string what = (c.options.empty() ? std::string("a run") : c.options[0]) + " answering \"" +
                                 c.answer + "\"";
        EXPECT_EQ(run.status, c.status) << what << "\n" << run.err;
        EXPECT_TRUE(dir.Exists("Wiggle.dng")) << what;
        const bool asked = run.err.find("Enter 'C'") != std::string::npos;
        EXPECT_EQ(asked, c.options.empty() || c.options[0] != "--check") << what;
        if (c.then.empty()) {
            EXPECT_EQ(run.err.find("Warning:"), std::string::npos) << what;
        } else {
            EXPECT_NE(run.err.find(warning + c.then), std::string::npos) << what << "\n" << run.err;
        }
    }
}

}  // namespace
}  // namespace ostra::testing
