// newton_bench.cpp -- Newton iteration on the nonlinear-sorption column
// with the analytic and with the finite-difference Jacobian.
//
// NewtonStep: one Newton time step of the 98-equation example
// (examples/nonlinear-sorption, found from this file's path, copied with the
// companion programs telm and pask found beside this executable, in
// companions/) set up as a run sets it up; its first time step is solved
// once, and each benchmark iteration solves the second step again from the
// same starting point. Counters: "starts" = companion programs started per
// step, "iterations" = Newton iterations per step.
//
// SorptionRun: whole runs, as `ostra` performs them, each in a scratch
// directory of its own, of the example (Gauss-Jordan) and of a generated
// column of 1,000 cells with the same physics (companion scripts Telm.exe
// and Pask.exe in sh and awk, since the compiled companions know 98
// equations only; the sparse LU solver), with the analytic Jacobian and
// with finite differences grouped and column by column (the case sets the
// way; OSTRA_FD_JACOBIAN is not read). Counters: steps, Newton iterations
// and Jacobians of the run; companion starts in all and per Newton
// iteration; for finite differences the groups, the starts per Jacobian, of
// the first one (column by column, finding the pattern) and per later one
// (from the starts per evaluation, the same for every evaluation of these
// models); wall and processor seconds per step (processor: this process and
// the companion programs it waited for).
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "app/recording_display.h"
#include "app/run_options.h"
#include "app/run_setup.h"
#include "bench/bench_models.h"
#include "model/constants.h"
#include "model/error.h"
#include "model/model_state.h"
#include "solvers/newton.h"

namespace {

namespace fs = std::filesystem;
using namespace ostra;

const fs::path EXAMPLE = fs::path(__FILE__).parent_path().parent_path() / "examples" / "nonlinear-sorption";

fs::path ExecutableDir() {
    char buffer[4096];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return fs::current_path();
    return fs::path(std::string(buffer, static_cast<std::size_t>(n))).parent_path();
}

// The example's files and its two companion programs, into `dir`.
void CopyExample(const fs::path& dir) {
    for (const auto& e : fs::directory_iterator(EXAMPLE)) fs::copy_file(e.path(), dir / e.path().filename());
    const fs::path companions = ExecutableDir() / "companions";
    fs::copy_file(companions / "telm" / "telm", dir / "Telm.exe");
    fs::copy_file(companions / "pask" / "pask", dir / "Pask.exe");
}

// A scratch copy of the example with its companions, removed at the end.
struct Scratch {
    bench::ModelDir model{"newton-step"};
    const fs::path& dir = model.Dir();
    Scratch() { CopyExample(dir); }
};

// The example set up and advanced by one step; XStart and cPrev are the
// starting point and old level of the second step.
struct SecondStep {
    Scratch scratch;
    RecordingDisplay display;
    ModelState s{scratch.dir, display};
    DVector XStart, cPrev;

    explicit SecondStep(bool analytic) {
        display.recordRepaints = false;
        ReadControl(s);
        s.opt.LinearMethod = LINEAR_METHOD_GAUSS_JORDAN;
        s.opt.XScale = 1;
        s.opt.AnalyticJacobian = analytic;
        SetupRun(s);
        PrepareDynamicRun(s);
        InitialConcentrations(s);
        Step(s.sys.XNew, 0);
        cPrev = s.sys.XNew;
        XStart = s.sys.XNew;
    }
    void Step(DVector& X, Double t) {
        EquationSystem& y = s.sys;
        const DVector XPREV = y.c;
        Newton(s, X, XPREV, y.G, y.XJAC, y.INDX, s.opt.SC, s.opt.DELTFD, y.A, y.BBC, y.B, t);
        if (&X == &y.XNew) y.c = y.XNew;
    }
};

void NewtonStep(benchmark::State& state, bool analytic) {
    try {
        SecondStep run(analytic);
        const long startsBefore = run.s.companions.starts;
        long steps = 0, iterations = 0;
        for (auto _ : state) {
            DVector X = run.XStart;
            run.display.events.clear();
            run.Step(X, static_cast<Double>(run.s.opt.DELT));
            ++steps;
            for (const std::string& e : run.display.events)
                if (e.rfind("text 2: ", 0) == 0) ++iterations;
        }
        state.counters["starts"] = static_cast<double>(run.s.companions.starts - startsBefore) / steps;
        state.counters["iterations"] = static_cast<double>(iterations) / steps;
    } catch (const RunEnded& e) {
        state.SkipWithError(("the run ended with status " + std::to_string(e.status)).c_str());
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
    }
}

BENCHMARK_CAPTURE(NewtonStep, analytic_jacobian, true)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK_CAPTURE(NewtonStep, finite_differences, false)->Unit(benchmark::kMillisecond)->Iterations(1);

// "Control.csv" of the example with the given values of some pairs, and
// optionally the linear solver pair.
std::string Control(const std::vector<std::pair<int, std::string>>& pairs, const char* solver) {
    std::ifstream in(EXAMPLE / "Control.csv");
    std::string text, line;
    for (int n = 1; std::getline(in, line); ++n) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        for (const auto& [pair, value] : pairs)
            if (n == 2 * pair) line = value;
        text += line + "\n";
    }
    if (solver != nullptr) text += std::string("Linear solver\n") + solver + "\n";
    return text;
}

void ExampleModel(const fs::path& dir, const std::string& analytic, int steps) {
    CopyExample(dir);
    ostra::testing::WriteModelFile(dir, "Control.csv",
                                   Control({{11, std::to_string(steps)}, {17, analytic}}, nullptr));
}

// The example's column with n cells: inflow boundary 1 at 10, cells 2..n+1,
// exit n+2; flow .5 and exchange .05 between neighbours; Freundlich R(C) =
// 1 + .675 C^-.5 and its derivative from scripts.
void ChainModel(const fs::path& dir, int n, const std::string& analytic, int steps) {
    const int NT = n + 2;
    std::ostringstream comp, inf, flo, eco, kd, bnd, ini, map;
    comp << "Number,NAS,Kind,X,Y,Z,Volume,Temperature,Water content,Solids\n";
    inf << "Compartment, then per interface: adjacent,area,distance,mixing length,weight\n";
    flo << "State variable,compartment, then per interface: adjacent,flow\n";
    eco << "State variable,compartment, then per interface: adjacent,exchange coefficient\n";
    kd << "State variable,compartment,partition coefficient,temperature coefficient\n";
    bnd << "State variable,compartment,boundary concentration\n";
    ini << "State variable,compartment,value\n";
    map << "State variable, compartments\n1";
    for (int k = 1; k <= NT; ++k) {
        const bool first = k == 1, last = k == NT;
        comp << k << "," << (first || last ? 1 : 2) << "," << (first ? 2 : last ? 3 : 0) << "," << k - 1
             << ",0,0,1,20,0.5,2500000\n";
        inf << k, flo << "1," << k, eco << "1," << k;
        if (!first) inf << "," << k - 1 << ",1,0.5,1,1", flo << "," << k - 1 << ",0.5", eco << "," << k - 1 << ",0.05";
        if (!last) inf << "," << k + 1 << ",1,0.5,1,1", flo << "," << k + 1 << ",-0.5", eco << "," << k + 1 << ",0.05";
        inf << "\n", flo << "\n", eco << "\n";
        kd << "1," << k << ",1.35E-07,1\n";
        bnd << "1," << k << "," << (first ? "10" : "-999") << "\n";
        ini << "1," << k << ",1\n";
        map << (first || last ? ",0" : ",1");
    }
    map << "\n";
    const std::string none = "header\n-999\n";
    const std::string control = Control(
        {{4, std::to_string(n)}, {5, "1," + std::to_string(NT) + ",0"}, {11, std::to_string(steps)}, {17, analytic}},
        "SPARSE-LU");
    for (const auto& [name, text] :
         {std::pair<const char*, std::string>{"Compartments.csv", comp.str()}, {"Interfaces.csv", inf.str()},
          {"Flows.csv", flo.str()}, {"ECoefficients.csv", eco.str()}, {"linearKdandTempCoef.csv", kd.str()},
          {"BOUNDARY.csv", bnd.str()}, {"INITIAL.CSV", ini.str()}, {"Guess.CSV", ini.str()},
          {"SVCompmap.csv", map.str()}, {"VolumeSrcSnks.csv", none}, {"AreaSrcSnks.csv", none},
          {"FlowandEMultipliers.csv", none}, {"Loads.csv", "-999\n"}, {"Control.csv", control}})
        ostra::testing::WriteModelFile(dir, name, text);
    auto script = [&](const std::string& name, const std::string& value) {
        std::ofstream out(dir / name);
        out << "#!/bin/sh\nawk 'NR > 1 { printf \"%.9g\\n\", " << value << " }' Shell" << name.substr(0, 4)
            << ".csv > " << name.substr(0, 4) << ".csv\n";
        out.close();
        fs::permissions(dir / name, fs::perms::owner_all);
    };
    script("Telm.exe", "1 + .675 / sqrt($1)");
    script("Pask.exe", "-.3375 / ($1 * sqrt($1))");
}

// Counts the Newton iterations: each sets counter 2 once.
class CountingDisplay : public bench::NullDisplay {
public:
    long iterations = 0;
    void SetCounterText(int counter, const std::string&) override {
        if (counter == COUNTER_NEWTON) ++iterations;
    }
};

double ProcessorSeconds() {
    double total = 0;
    for (int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
        rusage u{};
        getrusage(who, &u);
        total += static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
                 static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
    }
    return total;
}

// jacobian: "analytic", "grouped" or "columns".
void SorptionRun(benchmark::State& state, int cells, const std::string& jacobian, int steps) {
    for (auto _ : state) {
        bench::ModelDir scratch("sorption-" + std::to_string(cells) + "-" + jacobian);
        const std::string analytic = jacobian == "analytic" ? "Y" : "N";
        if (cells == 98)
            ExampleModel(scratch.Dir(), analytic, steps);
        else
            ChainModel(scratch.Dir(), cells, analytic, steps);
        bench::ModelDir::LetFilesAge();
        CountingDisplay display;
        ModelState s(scratch.Dir(), display);
        s.fdJacobian.mode = jacobian == "columns" ? FdJacobianMode::Columns : FdJacobianMode::Grouped;
        FormLoad(s);
        display.iterations = 0;  // the labels FormLoad sets
        const double cpu = ProcessorSeconds();
        const auto start = std::chrono::steady_clock::now();
        const int status = RunOstraClick(s);
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(wall);
        if (status != EXIT_DONE) {
            state.SkipWithError(("the run ended with status " + std::to_string(status)).c_str());
            return;
        }
        const FdJacobianRecord& r = s.fdJacobian;
        const long jacobians = jacobian == "analytic" ? display.iterations - steps : r.jacobians;
        state.counters["steps"] = steps;
        state.counters["iterations"] = static_cast<double>(display.iterations);
        state.counters["jacobians"] = static_cast<double>(jacobians);
        state.counters["starts"] = static_cast<double>(s.companions.starts);
        state.counters["starts_per_iter"] = static_cast<double>(s.companions.starts) / display.iterations;
        state.counters["wall_s_per_step"] = wall / steps;
        state.counters["cpu_s_per_step"] = (ProcessorSeconds() - cpu) / steps;
        state.counters["program_s_per_step"] = s.companions.seconds / steps;
        if (jacobian != "analytic") {
            // Every evaluation of these models starts Telm.exe twice (old and new level).
            const double perEvaluation = static_cast<double>(r.starts) / static_cast<double>(r.evaluations);
            const double first = 2.0 * cells * perEvaluation;  // column by column
            state.counters["groups"] = r.lastGroups;
            state.counters["formed_again"] = static_cast<double>(r.formedAgain);
            state.counters["jac_starts_per_jac"] = static_cast<double>(r.starts) / static_cast<double>(r.jacobians);
            state.counters["first_jac_starts"] = first;
            if (r.jacobians > 1)
                state.counters["later_jac_starts"] =
                    (static_cast<double>(r.starts) - first) / static_cast<double>(r.jacobians - 1);
        }
    }
}

// Column by column is what the grouping replaces: one step of it gives its cost per step.
#define SORPTION_RUN(name, cells, jacobian, steps)                                            \
    BENCHMARK_CAPTURE(SorptionRun, name, cells, jacobian, steps)->UseManualTime()->Iterations(1) \
        ->Unit(benchmark::kSecond)
SORPTION_RUN(example_98_analytic_30_steps, 98, "analytic", 30);
SORPTION_RUN(example_98_grouped_30_steps, 98, "grouped", 30);
SORPTION_RUN(example_98_columns_1_step, 98, "columns", 1);
SORPTION_RUN(chain_1000_analytic_30_steps, 1000, "analytic", 30);
SORPTION_RUN(chain_1000_grouped_30_steps, 1000, "grouped", 30);
SORPTION_RUN(chain_1000_columns_1_step, 1000, "columns", 1);

}  // namespace

BENCHMARK_MAIN();
