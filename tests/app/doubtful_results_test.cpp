// doubtful_results_test.cpp -- runs whose results would not be results: each
// ends with a message or a warning, never as a clean success, and no file of
// any of them holds a number that is not finite.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>

#include "app/compartment_model_files.h"
#include "app/ostra_process.h"
#include "support/test_support.h"

namespace ostra::testing {
namespace {

namespace fs = std::filesystem;

// One compartment with a first-order loss, a load and an initial value.
CompartmentModel OneCompartment() {
    CompartmentModel m;
    Compartment c;
    c.volume = 10;
    m.Add(c);
    m.initial[0][0] = 2;
    m.volumeTerms.push_back({1, 1, 1, -0.5});
    m.loads.push_back({0, 1E9, {{1, 1, 1}}});
    return m;
}

bool HoldsNonFinite(const fs::path& dir) {
    for (const auto& entry : fs::directory_iterator(dir)) {
        const std::string text = ReadFileText(entry.path());
        for (const char* bad : {"INF", "NAN", "inf", "nan"})
            if (text.find(bad) != std::string::npos && entry.path().filename() != "Error.dng") return true;
    }
    return false;
}

struct Case {
    const char* name;
    std::function<void(CompartmentModel&, ControlFile&)> change;
    int status;          // exit status of `ostra` (without --strict)
    int strictStatus;    // with --strict
    const char* output;  // begins the first line of "Error.dng", or is in standard error
};

TEST(DoubtfulResults, EndWithAMessageOrAWarningAndNoFileHoldsInfOrNan) {
    const Case cases[] = {
        {"explicit Euler beyond its stable time step",
         [](CompartmentModel&, ControlFile& c) { c.DynType = 1, c.DELT = "10", c.NumTimeSteps = "3"; }, 0, 5,
         "Warning: explicit Euler stability criterion violated at time 0 for equation 1 (state variable 1 "
         "in compartment 1): the largest stable time step is 2, DELT is 10"},
        {"a negative temperature coefficient at 25.5 degrees",
         [](CompartmentModel& m, ControlFile&) { m.comps[0].temperature = 25.5, m.theta[0][0] = -1.05; }, 1, 1,
         "Error:  file \"VolumeSrcSnks.csv\", line 2: the temperature correction theta^(T - 20) of the volume "
         "term of state variable 1 in compartment 1 is -NAN"},
        {"a partition coefficient that makes the retardation factor 0",
         [](CompartmentModel& m, ControlFile&) { m.kd[0][0] = -0.5, m.comps[0].solids = 2; }, 1, 1,
         "Error:  the retardation factor EqnRetard of equation 1 (state variable 1 in compartment 1) is 0 at "
         "time 1"},
        {"a profile step that is no step of the run",
         [](CompartmentModel&, ControlFile& c) { c.DynPrint = 1, c.ProfileStep = "2.5"; }, 0, 5,
         "Warning: ProfileStep = 2.5 (\"Control.csv\", line 28, pair 14) is no time step of the run (1 to 2), so "
         "\"ProfileSnapshot.csv\" is not written"},
        {"a followed compartment without state variables",
         [](CompartmentModel& m, ControlFile& c) {
             Compartment boundary;
             boundary.kind = 1;
             m.Add(boundary);
             c.DynPrint = 2, c.NumSectnPrint = 2;
         },
         0, 5,
         "Warning: NumSectnPrint = 2 (\"Control.csv\", line 30, pair 15): compartment 2 holds no state variable "
         "(\"SVCompmap.csv\" has no 1 for it), so \"OneCompTimeSeries.csv\" holds only the times"},
        {"a steady state with a compartment that nothing enters or leaves",
         [](CompartmentModel& m, ControlFile& c) {
             c.dynamic = false;
             Compartment isolated;
             isolated.volume = 5;
             m.Add(isolated);
         },
         0, 5,
         "Warning: LinearSolver set the solution of equation 2 (state variable 1 in compartment 2) to 0 at "
         "steady state because the model does not determine it"},
        {"a steady state whose coefficients fall below the pivot threshold",
         [](CompartmentModel& m, ControlFile& c) {
             c.dynamic = false;
             m.volumeTerms[0].k = -1E-13;
         },
         1, 1,
         "Error:  LinearSolver fixed the solution of equation 1 (state variable 1 in compartment 1) at 0 at "
         "steady state"},
    };
    for (const Case& k : cases) {
        for (bool strict : {false, true}) {
            TempDir dir;
            CompartmentModel m = OneCompartment();
            ControlFile control;
            control.NumTimeSteps = "2";
            k.change(m, control);
            m.Write(dir.Path(), control);
            std::vector<std::string> args = {"--quiet", dir.Path().string()};
            if (strict) args.insert(args.begin(), "--strict");
            const OstraRun run = RunOstraWith(args);
            EXPECT_EQ(run.status, strict ? k.strictStatus : k.status) << k.name << "\n" << run.err;
            const std::string text = dir.Exists("Error.dng") ? dir.Read("Error.dng") : run.err;
            EXPECT_NE(text.find(k.output), std::string::npos) << k.name << "\n" << text;
            if (run.status == 1) {
                EXPECT_NE(run.err.find(k.output), std::string::npos) << run.err;
            }
            EXPECT_FALSE(HoldsNonFinite(dir.Path())) << k.name;
        }
    }
}

TEST(DoubtfulResults, ARunWithoutStepsClosesItsMassBalance) {
    TempDir dir;
    ControlFile control;
    control.NumTimeSteps = "0";
    OneCompartment().Write(dir.Path(), control);
    ASSERT_EQ(RunOstraWith({"--quiet", dir.Path().string()}).status, 0);
    EXPECT_NE(dir.Read("MassBalance.csv").find(" 1 , 20 , 0 , 0 , 0 , 0 , 20 , 0 \r\n"), std::string::npos)
        << dir.Read("MassBalance.csv");
    // Each state variable's row from its own equations: final = initial.
    TempDir river;
    CopyExampleWithCompanions(river, "river-network");
    std::string text = river.Read("Control.csv");
    const std::size_t steps = text.find('\n', text.find("Number of time steps")) + 1;
    text.replace(steps, text.find('\n', steps) - steps, "0");
    std::ofstream(river.Path() / "Control.csv", std::ios::binary) << text;
    const OstraRun run = RunOstraWith({river.Path().string()});
    ASSERT_EQ(run.status, 0) << river.Read("Error.dng");
    // State variable 2 has no mass to measure its error against (the
    // summary's lines joined where they were broken).
    std::string summary;
    for (std::size_t i = 0; i < run.out.size(); ++i) {
        if (run.out[i] != '\n') {
            summary += run.out[i];
            continue;
        }
        while (i + 1 < run.out.size() && run.out[i + 1] == ' ') ++i;
        summary += ' ';
    }
    EXPECT_NE(summary.find("balance error 0 (no initial or input mass to compare it with)"), std::string::npos)
        << run.out;
    const std::vector<std::vector<double>> rows = ParseCsvRows(river.Read("MassBalance.csv"));
    ASSERT_GE(rows.size(), 2u);
    EXPECT_GT(rows[0][1], 0);  // state variable 2 starts from nothing
    for (std::size_t sv = 0; sv < 2; ++sv) {
        SCOPED_TRACE(sv + 1);
        ASSERT_EQ(rows[sv].size(), 8u);
        EXPECT_EQ(rows[sv][6], rows[sv][1]);  // final mass = initial mass
        EXPECT_EQ(rows[sv][7], 0);            // balance error
    }
    EXPECT_NE(river.Read("MassBalance.csv").find("input mass =  0  %"), std::string::npos)
        << river.Read("MassBalance.csv");
}

// A MixLengthOption other than 1 takes the mixing lengths of
// "Interfaces.csv", exactly as 2 does, and says so.
TEST(DoubtfulResults, AMixLengthOptionOtherThanOneOrTwoActsAsTwoWithAWarning) {
    CompartmentModel m = OneCompartment();
    Compartment second;
    second.x = 10;  // the centroid distance (option 1) is not the mixing length
    second.volume = 4;
    m.Add(second);
    Link exchange;
    exchange.a = 1, exchange.b = 2, exchange.E = 2, exchange.mixLength = 3;
    m.Connect(exchange);
    auto run = [&](int option, bool strict, std::map<std::string, std::string>* files) {
        TempDir dir;
        ControlFile control;
        control.MixLengthOption = option;
        control.NumTimeSteps = "4";
        m.Write(dir.Path(), control);
        std::vector<std::string> args = {"--quiet", dir.Path().string()};
        if (strict) args.insert(args.begin(), "--strict");
        const OstraRun r = RunOstraWith(args);
        if (files)
            for (const char* name : {"AllTimeSeries.csv", "MassBalance.csv"}) (*files)[name] = dir.Read(name);
        return r;
    };
    std::map<std::string, std::string> two, other;
    ASSERT_EQ(run(2, true, &two).status, 0);
    for (int option : {0, 3, -1}) {
        SCOPED_TRACE(option);
        const OstraRun r = run(option, false, &other);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(other, two);
        EXPECT_NE(r.err.find("Warning: MixLengthOption is " + std::to_string(option) +
                             " (\"Control.csv\", line 14, pair 7), neither 1 nor 2: the mixing lengths are "
                             "taken from \"Interfaces.csv\", as with 2"),
                  std::string::npos)
            << r.err;
        EXPECT_EQ(run(option, true, nullptr).status, 5);
    }
}

// Where "Error.dng" cannot be written, the message still reaches standard
// error in full, with a note (a directory in its place stops even root).
TEST(DoubtfulResults, AnUnwritableErrorFileLeavesTheMessageOnStandardError) {
    TempDir dir;
    ControlFile control;
    control.DynType = 7;
    OneCompartment().Write(dir.Path(), control);
    fs::create_directory(dir.Path() / "Error.dng");
    const OstraRun run = RunOstraWith({dir.Path().string()});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("Error:  DynType not equal to 1,2,3, or 4"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("\"Error.dng\" could not be written"), std::string::npos) << run.err;
}

}  // namespace
}  // namespace ostra::testing
