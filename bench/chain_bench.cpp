// chain_bench.cpp -- time per implicit-Euler step of a chain of compartments.
//
// A fixed-concentration inflow, a chain of N interior compartments (flow,
// dispersion and first-order decay in each, a load into the first) and a
// flow exit, written as a model directory in the temporary directory, for
// N = 200 and 1,000 equations. Two measurements over 50 steps:
//   BM_ImplicitEulerLoop  the whole time loop (assembly, solve, result row,
//                         mass-balance bookkeeping); ms_per_step;
//   BM_ImplicitEulerParts the step taken apart: assembly (LoadATrans +
//                         LoadALinearSrcSnk + ForceFn) and solve (forming
//                         S - DELT A and the right-hand side, Solve), each
//                         in ms_per_step.
// Build with -DOSTRA_BENCH=ON in a Release build.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

#include "app/recording_display.h"
#include "app/run_options.h"
#include "app/run_setup.h"
#include "app/time_integration.h"
#include "model/model_state.h"
#include "solvers/linear_solver.h"
#include "sources/linear_sources.h"
#include "sources/loads.h"
#include "tests/app/compartment_model_files.h"
#include "transport/transport.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
constexpr int kSteps = 50;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// The chain model in a directory of its own, removed with the object.
class ChainModel {
public:
    explicit ChainModel(int n) {
        dir_ = fs::temp_directory_path() /
               ("ostra-chain-bench-" + std::to_string(getpid()) + "-" + std::to_string(n));
        fs::create_directories(dir_);
        using namespace ostra::testing;
        CompartmentModel m;
        Compartment inflow, exit;
        inflow.kind = 2, exit.kind = 3;
        int previous = m.Add(inflow);
        m.boundary[0][previous - 1] = 1;
        for (int k = 1; k <= n; ++k) {
            Compartment c;
            c.x = k;
            c.volume = 100;
            const int next = m.Add(c);
            m.Connect({previous, next, 10, 50, 2});
            m.volumeTerms.push_back({next, 1, 1, -0.01});
            previous = next;
        }
        exit.x = n + 1;
        m.Connect({previous, m.Add(exit), 10, 50, 0});
        m.loads.push_back({0, 1E9, {{2, 1, 100}}});
        ControlFile control;
        control.DELT = "0.5";
        control.NumTimeSteps = std::to_string(kSteps);
        m.Write(dir_, control);
    }
    ~ChainModel() {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    const fs::path& Dir() const { return dir_; }

private:
    fs::path dir_;
};

// A run state set up as the run driver leaves it before the time loop.
struct PreparedRun {
    explicit PreparedRun(const fs::path& dir) : s(dir, display) {
        display.recordRepaints = false;
        s.opt.TimeVarParms = false;
        ostra::ReadControl(s);
        s.opt.LinearMethod = ostra::LINEAR_METHOD_GAUSS_JORDAN;
        s.opt.XScale = 1;
        ostra::SetupRun(s);
        ostra::PrepareDynamicRun(s);
    }
    ~PreparedRun() {
        if (s.files.TimeSeries) s.files.TimeSeries->Close();
    }
    ostra::RecordingDisplay display;
    ostra::ModelState s;
};

void BM_ImplicitEulerLoop(benchmark::State& state) {
    ChainModel model(static_cast<int>(state.range(0)));
    double total = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto run = std::make_unique<PreparedRun>(model.Dir());
        state.ResumeTiming();
        const auto start = Clock::now();
        ostra::TimeLoop(run->s);
        total += Ms(Clock::now() - start);
        state.PauseTiming();
        run.reset();
        state.ResumeTiming();
    }
    state.counters["ms_per_step"] = total / kSteps / static_cast<double>(state.iterations());
}

void BM_ImplicitEulerParts(benchmark::State& state) {
    ChainModel model(static_cast<int>(state.range(0)));
    double assembly = 0, solve = 0;
    for (auto _ : state) {
        PreparedRun run(model.Dir());
        ostra::ModelState& s = run.s;
        ostra::EquationSystem& y = s.sys;
        const int n = s.opt.NEQN;
        ostra::InitialConcentrations(s);
        ostra::DMatrix M(n, n, "M");
        ostra::DVector r(n, "r");
        const double delt = s.opt.DELT;
        double t = 0;
        for (int step = 1; step <= kSteps; ++step) {
            const auto t0 = Clock::now();
            ostra::LoadATrans(s, y.A, y.BBC);
            ostra::LoadALinearSrcSnk(s, y.A);
            ostra::ForceFn(s, t + delt, y.BBC, y.B);
            const auto t1 = Clock::now();
            for (int i = 1; i <= n; ++i) {
                const double* a = y.A.Row(i);
                double* m = M.Row(i);
                for (int j = 1; j <= n; ++j) m[j] = -(delt * a[j]);
                const double S = s.eq.EqnVolume(i) * s.eq.EqnRetard(i);
                m[i] = S - delt * a[i];
                r(i) = S * y.c(i) + delt * y.B(i);
            }
            ostra::Solve(s, M, r);
            for (int i = 1; i <= n; ++i) y.c(i) = r(i);
            const auto t2 = Clock::now();
            assembly += Ms(t1 - t0);
            solve += Ms(t2 - t1);
            t = t + delt;
        }
        benchmark::DoNotOptimize(y.c.Data());
    }
    const double steps = kSteps * static_cast<double>(state.iterations());
    state.counters["assembly_ms_per_step"] = assembly / steps;
    state.counters["solve_ms_per_step"] = solve / steps;
}

BENCHMARK(BM_ImplicitEulerLoop)->Arg(200)->Arg(1000)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_ImplicitEulerParts)->Arg(200)->Arg(1000)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
