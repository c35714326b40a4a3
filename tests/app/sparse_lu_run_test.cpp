// sparse_lu_run_test.cpp -- whole runs with the sparse LU solver chosen by
// "Control.csv" pair 37: the choice itself, agreement with Gauss-Jordan on
// every example and on generated models, what a run keeps and refactors,
// that such a run holds no dense N x N array, a singular model, and the
// largest model the format allows.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "app/compartment_model_files.h"
#include "app/run_driver.h"
#include "app/run_options.h"
#include "app/run_summary.h"
#include "bench/bench_models.h"
#include "model/error.h"
#include "solvers/klu_solver.h"
#include "support/test_support.h"

namespace ostra::testing {
namespace {

namespace fs = std::filesystem;

void ChooseSparseLU(const fs::path& dir) {
    std::ofstream(dir / "Control.csv", std::ios::app | std::ios::binary) << "Linear solver\nSPARSE-LU\n";
}

TEST(LinearSolverChoice, Pair37TakesTwoWordsAndRefusesAnythingElse) {
    const std::string at = "Error:  file \"Control.csv\", line 74 (pair 37, linear solver): ";
    const std::string words = "; the value line holds \"GAUSS-JORDAN\" or \"SPARSE-LU\" (or nothing, for Gauss-Jordan)\r\n";
    struct Case {
        const char* after36;  // the lines after pair 36
        bool sparse;
        std::string error;  // "" when accepted
    };
    const Case cases[] = {
        {"", false, ""},
        {"\n\n\n", false, ""},
        {"Linear solver\n", false, ""},
        {"Linear solver\n \t\n1,2\n", false, ""},
        {"Linear solver\nGauss-Jordan\n", false, ""},
        {" linear SOLVER \n sparse-lu , ,\nnotes after the last pair\n1,2,3\n", true, ""},
        {"Linear solver\n\"SPARSE-LU\"\n", true, ""},
        // Without the label on line 73 what follows pair 36 is ignored.
        {"\n sparse-lu\n", false, ""},
        {"notes,that,are,no,pair\n1,2,3\n", false, ""},
        {"Linear solver\nSPARSE LU\n", false, at + "\"SPARSE LU\" is no linear solver" + words},
        {"Linear solver\nsparse-lu,2\n", false, at + "extra value \"2\" after \"sparse-lu\"" + words},
        {"Linear solver\n,SPARSE-LU\n", false, at + "an empty field stands before \"SPARSE-LU\"" + words},
    };
    for (const Case& c : cases) {
        TempDir dir;
        TestState t(dir.Path());
        dir.Write("Control.csv", Crlf(ControlFile().Text() + c.after36));
        // A build without KLU refuses the word.
        const std::string error = c.sparse && !SparseLUAvailable() ? "no sparse LU solver" : c.error;
        try {
            ReadControl(t.s);
            EXPECT_EQ(error, "") << c.after36;
            EXPECT_EQ(t.s.opt.SparseLU, c.sparse) << c.after36;
            EXPECT_EQ(LinearSolverName(t.s), c.sparse ? "sparse LU (KLU)" : "Gauss-Jordan");
        } catch (const RunEnded&) {
            const std::string text = dir.Exists("Error.dng") ? dir.Read("Error.dng") : "";
            EXPECT_TRUE(c.error.empty() ? text.find(error) != std::string::npos : text == error)
                << c.after36 << text;
        }
    }
}

ControlFile Control(int DynType, int steps, bool flowsVary = false) {
    ControlFile c;
    c.dynamic = DynType != 0;
    c.DynType = DynType;
    c.DELT = "0.5";
    c.NumTimeSteps = std::to_string(steps);
    c.TimeVarFlows = flowsVary;
    return c;
}

// A copy of examples/<name> with the companion programs its "companions.txt"
// names; such an example runs its first 8 steps only (each step starts its
// programs dozens of times).
void CopyExample(const fs::path& dir, const std::string& name) {
    const fs::path example = fs::path(OSTRA_SOURCE_DIR) / "examples" / name;
    for (const auto& e : fs::directory_iterator(example)) fs::copy_file(e.path(), dir / e.path().filename());
    std::ifstream list(example / "companions.txt");
    std::string folder, program, text, line;
    if (!(list >> folder)) return;
    do {
        list >> program;
        for (const auto& e : fs::directory_iterator(fs::path(OSTRA_BINARY_DIR) / "companions" / folder))
            fs::copy_file(e.path(), dir / program);
    } while (list >> folder);
    std::istringstream in(ReadFileText(dir / "Control.csv"));
    for (int n = 1; std::getline(in, line); ++n) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        text += (n == 22 ? "8" : line) + "\n";
    }
    WriteModelFile(dir, "Control.csv", text);
}

// Two state variables through an inflow, two interior compartments, a flow
// exit, a zero-concentration neighbour and an extrapolated boundary, with
// partitioning, temperature, volume and area sinks, state variable 2 formed
// from 1 and loads in two windows; no coefficient a binary fraction.
CompartmentModel Features() {
    CompartmentModel m(2);
    Compartment inflow, exit, side, extrapolated, c2, c3;
    inflow.kind = 2, exit.kind = 3, side.kind = 1, extrapolated.kind = 4;
    c2.volume = 4.28, c3.volume = 8.56, c2.x = 1.07, c3.x = 2.14, exit.x = 3.21;
    side.x = 2.14, side.y = 1.07, extrapolated.y = -1.3;
    for (Compartment* c : {&c2, &c3}) c->temperature = 17, c->water = 0.8, c->solids = 1;
    const int b = m.Add(inflow), k2 = m.Add(c2), k3 = m.Add(c3), e = m.Add(exit), s = m.Add(side),
              x = m.Add(extrapolated);
    for (auto [from, to] : {std::pair{b, k2}, {k2, k3}, {k3, e}}) m.Connect({from, to, 2.14, 2.14, 0.535});
    m.Connect({k3, s, 2.14, 0, 0.2675});
    m.Connect({k2, x, 1.3, 0, 0.75});
    m.boundary[0][b - 1] = 1.605, m.boundary[1][b - 1] = 0.8025;
    for (int sv = 0; sv < 2; ++sv)
        for (int k : {k2, k3}) m.kd[sv][k - 1] = 0.2, m.theta[sv][k - 1] = 1.05, m.initial[sv][k - 1] = 1.07 * k;
    m.volumeTerms = {{k2, 1, 1, -0.2675}, {k3, 1, 1, -0.13375}, {k3, 2, 2, -0.2675}, {k3, 2, 1, 0.1}};
    m.areaTerms = {{1, k3, s, -0.13375}, {2, k3, s, -0.066875}};
    m.loads = {{0, 1, {{k2, 1, 3.21}}}, {1, 100, {{k3, 1, 1.07}, {k3, 2, 2.14}}}};
    return m;
}

struct Model {
    std::string name;
    std::function<void(const fs::path&)> write;
};

std::vector<Model> Models() {
    std::vector<Model> models;
    for (std::string example : {"river-network", "river-network-steady", "equation-solver", "kinetics",
                                "nonlinear-sorption", "quadratic-steady"})
        models.push_back({example, [example](const fs::path& d) { CopyExample(d, example); }});
    for (int DynType : {0, 3, 4}) {  // 0: the steady state
        const std::string scheme = " (scheme " + std::to_string(DynType) + ")";
        models.push_back({"features" + scheme, [=](const fs::path& d) { Features().Write(d, Control(DynType, 15)); }});
        models.push_back({"grid 8 x 6" + scheme, [=](const fs::path& d) { bench::Grid(8, 6).Write(d, Control(DynType, 20)); }});
    }
    models.push_back({"one compartment", [](const fs::path& d) { bench::OneCompartment().Write(d, Control(4, 10)); }});
    models.push_back({"chain of 60", [](const fs::path& d) { bench::Chain(60).Write(d, Control(3, 20)); }});
    models.push_back({"chain of 40, flows new at every step", [](const fs::path& d) {
                          bench::Chain(40).Write(d, Control(3, 12, true));
                          bench::AlternatingFlowsCompanion(d, bench::Chain(40, 1), bench::Chain(40, 1.5), Control(3, 12, true));
                      }});
    return models;
}

struct Outcome {
    int status;
    std::string error;
    int NEQN, xjacRows;
    std::size_t jacobianNonZeros, factoredNonZeros;
    SparseLUCounts counts;
};

Outcome RunIn(const fs::path& dir) {
    TestState ts(dir);
    FormLoad(ts.s);
    const int status = RunOstraClick(ts.s);
    const ModelState& s = ts.s;
    return {status, fs::exists(dir / "Error.dng") ? ReadFileText(dir / "Error.dng") : "", s.opt.NEQN,
            s.sys.XJAC.Rows(), s.work.sparseLU.jacobian.NonZeros(), s.work.sparseLU.cols.size(),
            s.work.sparseLU.counts};
}

// Every number of the result files. A balance error is a small difference
// of the other values of its mass-balance row, so it is compared at the
// scale of the largest of them.
void ExpectSameResults(const fs::path& a, const fs::path& b, const std::string& model) {
    int files = 0;
    for (std::string name : {"AllTimeSeries.csv", "OneCompTimeSeries.csv", "ProfileSnapshot.csv", "MassBalance.csv"}) {
        ASSERT_EQ(fs::exists(a / name), fs::exists(b / name)) << model << " " << name;
        if (!fs::exists(a / name)) continue;
        ++files;
        const auto ra = ParseCsvRows(ReadFileText(a / name)), rb = ParseCsvRows(ReadFileText(b / name));
        ASSERT_EQ(ra.size(), rb.size()) << model << " " << name;
        for (std::size_t r = 0; r < ra.size(); ++r) {
            ASSERT_EQ(ra[r].size(), rb[r].size()) << model << " " << name << " row " << r;
            double rowScale = 0;
            for (double v : ra[r]) rowScale = std::fmax(rowScale, std::fabs(v));
            for (std::size_t k = 0; k < ra[r].size(); ++k)
                EXPECT_NEAR(ra[r][k], rb[r][k], 1E-10 * (name == "MassBalance.csv" ? rowScale : std::fabs(ra[r][k])) + 1E-12)
                    << model << " " << name << " row " << r + 1 << " value " << k + 1;
        }
    }
    EXPECT_GT(files, 0) << model;
}

TEST(SparseLURuns, AgreeWithGaussJordanAndHoldNoDenseMatrix) {
    if (!SparseLUAvailable()) GTEST_SKIP() << "built without KLU";
    for (const Model& m : Models()) {
        TempDir exact, sparse;
        m.write(exact.Path());
        m.write(sparse.Path());
        ChooseSparseLU(sparse.Path());
        const Outcome e = RunIn(exact.Path()), k = RunIn(sparse.Path());
        ASSERT_EQ(e.status, 0) << m.name << ": " << e.error;
        ASSERT_EQ(k.status, 0) << m.name << ": " << k.error;
        ExpectSameResults(exact.Path(), sparse.Path(), m.name);
        EXPECT_GT(k.counts.solves, 0) << m.name;
        // Only the Gauss-Jordan run of a Newton model holds the dense Jacobian.
        const bool newton = e.xjacRows != 0;
        EXPECT_EQ(e.xjacRows, newton ? e.NEQN : 0) << m.name;
        EXPECT_EQ(k.xjacRows, 0) << m.name;
        EXPECT_EQ(k.jacobianNonZeros > 0, newton) << m.name;
        EXPECT_LE(k.jacobianNonZeros, static_cast<std::size_t>(5 * k.NEQN)) << m.name;
        EXPECT_LE(k.factoredNonZeros, static_cast<std::size_t>(5 * k.NEQN)) << m.name;
    }
}

TEST(SparseLURuns, FactorsAreKeptWhileTheMatrixStandsAndRefactoredWhenItChanges) {
    if (!SparseLUAvailable()) GTEST_SKIP() << "built without KLU";
    for (bool vary : {false, true}) {
        TempDir dir;
        bench::Chain(30).Write(dir.Path(), Control(3, 12, vary));
        if (vary) bench::AlternatingFlowsCompanion(dir.Path(), bench::Chain(30, 1), bench::Chain(30, 1.5), Control(3, 12, vary));
        ChooseSparseLU(dir.Path());
        const Outcome k = RunIn(dir.Path());
        ASSERT_EQ(k.status, 0) << k.error;
        EXPECT_EQ(k.counts.analyses, 1) << vary;
        EXPECT_EQ(k.counts.factorizations, 1) << vary;
        EXPECT_EQ(k.counts.refactorizations, vary ? 11 : 0);
        EXPECT_EQ(k.counts.resolves, vary ? 0 : 11);
        EXPECT_EQ(k.counts.solves, 12);
    }
}

TEST(SparseLURuns, AnIsolatedCompartmentIsNamedInTheSingularMessage) {
    if (!SparseLUAvailable()) GTEST_SKIP() << "built without KLU";
    CompartmentModel m = bench::Chain(4);
    const int k = m.Add(Compartment{});  // no interface, no sink: its equation has no term
    TempDir dir;
    m.Write(dir.Path(), Control(0, 1));
    ChooseSparseLU(dir.Path());
    EXPECT_EQ(RunIn(dir.Path()).status, EXIT_FATAL_DATA);
    EXPECT_NE(dir.Read("Error.dng").find("found the system matrix singular at steady state: no pivot is left for the "
                                         "solution of equation 5 (state variable 1 in compartment " +
                                         std::to_string(k) + ")"),
              std::string::npos)
        << dir.Read("Error.dng");
}

// 32,767 compartments, the largest count the format allows, all interior: a
// uniform concentration stays uniform under flow and dispersion around the
// ring and decays as implicit Euler gives, 1 / (1 + k DELT) per step (to
// the Single precision of the coefficients: where the ring closes,
// compartments 1 and 32,767 sum theirs in another order).
TEST(SparseLURuns, TheLargestModelTheFormatAllowsRuns) {
    if (!SparseLUAvailable()) GTEST_SKIP() << "built without KLU";
    CompartmentModel m = bench::Ring(32767);
    m.loads.clear();
    for (double& c : m.initial[0]) c = 1;
    TempDir dir;
    m.Write(dir.Path(), Control(3, 2));
    ChooseSparseLU(dir.Path());
    const Outcome k = RunIn(dir.Path());
    ASSERT_EQ(k.status, 0) << k.error;
    EXPECT_EQ(k.NEQN, 32767);
    const auto rows = ParseCsvRows(ReadFileText(dir.Path() / "AllTimeSeries.csv"));
    ASSERT_EQ(rows.size(), 2u);  // one row per step
    const double decay = 1 + 0.01 * 0.5;
    for (std::size_t step = 0; step < rows.size(); ++step) {
        ASSERT_EQ(rows[step].size(), 32768u) << step;  // the time, then every compartment
        EXPECT_NEAR(rows[step][1], std::pow(decay, -static_cast<double>(step + 1)), 1E-8) << step;
        for (std::size_t c = 2; c < rows[step].size(); ++c)
            ASSERT_NEAR(rows[step][c], rows[step][1], 1E-8) << step << " " << c;
    }
}

}  // namespace
}  // namespace ostra::testing
