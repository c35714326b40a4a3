// doubtful_results_test.cpp -- runs whose results would not be results: each
// ends with a message or a warning, never as a clean success, and no file of
// any of them holds a number that is not finite.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
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
