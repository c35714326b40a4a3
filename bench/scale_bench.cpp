// scale_bench.cpp -- whole runs at the sizes models have in practice.
//
// Every figure is the wall time of whole runs (RunOstraClick on a model
// directory, writing "AllTimeSeries.csv" and "MassBalance.csv"), divided by
// the number of steps:
//   BM_Chain/N            implicit Euler on chains of N compartments, tables fixed
//   BM_ChainWholeRun      the 1,000 chain, 10,000 steps: seconds for the run
//   BM_ChainFlowsRewritten the 1,000 chain whose flows a companion program
//                         rewrites at every step (the matrix changes, so no
//                         replay); the time spent in the program is left out
//   BM_Grid/variable      a 40 x 25 grid (flow along x, dispersion along x
//                         and y), fixed tables (0) and flows rewritten (1)
//   BM_OneCompartment     one compartment, 10,000 steps: microseconds per step
//   BM_ReplayAgainstLapack the 1,000 chain's system matrix: the replayed
//                         elimination against LAPACK's dgetrs with factors
//                         from one dgetrf, per right-hand side, same run
// Build with -DOSTRA_BENCH=ON in a Release build.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <chrono>
#include <string>
#include <vector>

#include "app/run_options.h"
#include "app/run_setup.h"
#include "app/schemes.h"
#include "bench/bench_models.h"
#include "solvers/sparse_solvers.h"
#include "sources/linear_sources.h"
#include "transport/transport.h"

extern "C" {
void dgetrf_(const int* m, const int* n, double* a, const int* lda, int* ipiv, int* info);
void dgetrs_(const char* trans, const int* n, const int* nrhs, const double* a, const int* lda,
             const int* ipiv, double* b, const int* ldb, int* info, std::size_t translen);
}

namespace {

using bench::ControlFile;
using bench::ModelDir;
using Clock = std::chrono::steady_clock;

ControlFile Control(int steps, bool flowsVary = false) {
    ControlFile control;
    control.DELT = "0.5";
    control.NumTimeSteps = std::to_string(steps);
    control.TimeVarFlows = flowsVary;
    return control;
}

// User and system time of this process (not of the programs it started).
double OwnCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

// Runs the model `iterations` times and reports time per step.
void TimeRuns(benchmark::State& state, const ModelDir& dir, int steps, bool leaveCompanionsOut,
              const char* counter, double unit) {
    double total = 0, cpu = 0;
    long eliminations = 0, replays = 0;
    for (auto _ : state) {
        const double cpu0 = OwnCpuSeconds();
        const bench::RunResult r = bench::RunModel(dir.Dir());
        cpu += OwnCpuSeconds() - cpu0;
        if (r.status != 0) state.SkipWithError("the run failed");
        total += r.seconds - (leaveCompanionsOut ? r.companionSeconds : 0);
        eliminations = r.eliminations, replays = r.replays;
        state.SetIterationTime(r.seconds);
    }
    state.counters[counter] = total / steps / static_cast<double>(state.iterations()) * unit;
    // The process's own processor time: companion programs are not in it.
    state.counters["cpu_ms_per_step"] = cpu / steps / static_cast<double>(state.iterations()) * 1e3;
    state.counters["eliminations"] = static_cast<double>(eliminations);
    state.counters["replays"] = static_cast<double>(replays);
}

void BM_Chain(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const int steps = n >= 3000 ? 100 : 500;
    ModelDir dir("chain" + std::to_string(n));
    bench::Chain(n).Write(dir.Dir(), Control(steps));
    ModelDir::LetFilesAge();
    TimeRuns(state, dir, steps, false, "ms_per_step", 1e3);
}

void BM_ChainWholeRun(benchmark::State& state) {
    ModelDir dir("chain-whole");
    bench::Chain(1000).Write(dir.Dir(), Control(10000));
    ModelDir::LetFilesAge();
    TimeRuns(state, dir, 1, false, "seconds_per_run", 1);
}

void BM_ChainFlowsRewritten(benchmark::State& state) {
    const int steps = 100;
    ModelDir dir("chain-flows");
    const ControlFile control = Control(steps, true);
    bench::Chain(1000).Write(dir.Dir(), control);
    bench::AlternatingFlowsCompanion(dir.Dir(), bench::Chain(1000, 1), bench::Chain(1000, 1.5), control);
    ModelDir::LetFilesAge();
    TimeRuns(state, dir, steps, true, "ms_per_step_without_program", 1e3);
}

void BM_Grid(benchmark::State& state) {
    const bool vary = state.range(0) != 0;
    const int steps = vary ? 100 : 500;
    ModelDir dir(vary ? "grid-flows" : "grid");
    const ControlFile control = Control(steps, vary);
    bench::Grid(40, 25).Write(dir.Dir(), control);
    if (vary) bench::AlternatingFlowsCompanion(dir.Dir(), bench::Grid(40, 25, 1), bench::Grid(40, 25, 1.5), control);
    ModelDir::LetFilesAge();
    TimeRuns(state, dir, steps, vary, vary ? "ms_per_step_without_program" : "ms_per_step", 1e3);
}

void BM_OneCompartment(benchmark::State& state) {
    const int steps = 10000;
    ModelDir dir("one");
    bench::OneCompartment().Write(dir.Dir(), Control(steps));
    ModelDir::LetFilesAge();
    TimeRuns(state, dir, steps, false, "us_per_step", 1e6);
}

// The system matrix S - DELT A of a chain at its first step, assembled by
// the run's own procedures.
ostra::DSparse ChainSystemMatrix(int n) {
    ModelDir dir("chain-matrix");
    const ControlFile control = Control(1);
    bench::Chain(n).Write(dir.Dir(), control);
    bench::NullDisplay display;
    ostra::ModelState s(dir.Dir(), display);
    ostra::ReadControl(s);
    ostra::SetupRun(s);
    ostra::PrepareDynamicRun(s);
    ostra::InitialConcentrations(s);
    ostra::LoadATrans(s, s.sys.A, s.sys.BBC);
    ostra::LoadALinearSrcSnk(s, s.sys.A);
    if (s.files.TimeSeries) s.files.TimeSeries->Close();
    const double h = s.opt.DELT;
    ostra::DSparse M(n, "M");
    for (int i = 1; i <= n; ++i) {
        M.At(i, i) = ostra::Storage(s, i) - h * s.sys.A.Get(i, i);
        for (const auto& e : s.sys.A.Row(i))
            if (e.col != i) M.At(i, e.col) = -(h * e.value);
    }
    return M;
}

void BM_ReplayAgainstLapack(benchmark::State& state) {
    const int n = 1000, solves = 200;
    const ostra::DSparse M = ChainSystemMatrix(n);
    ostra::EliminationRecord record;
    ostra::SolveReport report;
    ostra::DVector b(n, "b");
    for (int i = 1; i <= n; ++i) b(i) = i % 5;
    ostra::LinearSolver(M, b, report, &record);

    std::vector<double> lu(static_cast<std::size_t>(n) * n, 0.0);  // column major
    for (int i = 1; i <= n; ++i)
        for (const auto& e : M.Row(i)) lu[static_cast<std::size_t>(e.col - 1) * n + (i - 1)] = e.value;
    std::vector<int> ipiv(n);
    int info = 0;
    dgetrf_(&n, &n, lu.data(), &n, ipiv.data(), &info);

    double replay = 0, lapack = 0;
    for (auto _ : state) {
        for (int k = 0; k < solves; ++k) {
            ostra::DVector x(n, "x");
            std::vector<double> y(n);
            for (int i = 1; i <= n; ++i) x(i) = y[i - 1] = (i + k) % 7;
            const auto t0 = Clock::now();
            ostra::ReplayLinearSolver(record, x, report);
            const auto t1 = Clock::now();
            const int one = 1;
            dgetrs_("N", &n, &one, lu.data(), &n, ipiv.data(), y.data(), &n, &info, 1);
            const auto t2 = Clock::now();
            replay += std::chrono::duration<double, std::milli>(t1 - t0).count();
            lapack += std::chrono::duration<double, std::milli>(t2 - t1).count();
            benchmark::DoNotOptimize(x.Data());
            benchmark::DoNotOptimize(y.data());
        }
    }
    const double count = solves * static_cast<double>(state.iterations());
    state.counters["replay_ms"] = replay / count;
    state.counters["dgetrs_ms"] = lapack / count;
    state.counters["ratio"] = replay / lapack;
}

BENCHMARK(BM_Chain)->Arg(100)->Arg(300)->Arg(1000)->Arg(3000)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChainWholeRun)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_ChainFlowsRewritten)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Grid)->Arg(0)->Arg(1)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OneCompartment)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReplayAgainstLapack)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
