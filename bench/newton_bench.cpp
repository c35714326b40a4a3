// newton_bench.cpp -- one Newton time step of the 98-equation nonlinear-
// sorption example, with the analytic and with the finite-difference Jacobian.
//
// The example (examples/nonlinear-sorption, found from this file's path) is
// copied with the companion programs telm and pask (found beside this
// executable, in companions/) into a scratch directory and set up as a run
// sets it up; its first time step is solved once. Each benchmark iteration
// then solves the second step again from the same starting point. Counters:
// "starts" = companion programs started per step, "iterations" = Newton
// iterations per step.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>

#include "app/recording_display.h"
#include "app/run_options.h"
#include "app/run_setup.h"
#include "model/constants.h"
#include "model/error.h"
#include "model/model_state.h"
#include "solvers/newton.h"

namespace {

namespace fs = std::filesystem;
using namespace ostra;

fs::path ExecutableDir() {
    char buffer[4096];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return fs::current_path();
    return fs::path(std::string(buffer, static_cast<std::size_t>(n))).parent_path();
}

// A scratch copy of the example with its companions, removed at the end.
struct Scratch {
    fs::path dir;
    Scratch() {
        dir = fs::temp_directory_path() / ("ostra-newton-bench-" + std::to_string(getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        const fs::path example = fs::path(__FILE__).parent_path().parent_path() / "examples" / "nonlinear-sorption";
        for (const auto& e : fs::directory_iterator(example)) fs::copy_file(e.path(), dir / e.path().filename());
        const fs::path companions = ExecutableDir() / "companions";
        fs::copy_file(companions / "telm" / "telm", dir / "Telm.exe");
        fs::copy_file(companions / "pask" / "pask", dir / "Pask.exe");
    }
    ~Scratch() {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
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

}  // namespace

BENCHMARK_MAIN();
