// klu_bench.cpp -- whole runs with the sparse LU solver ("Control.csv" pair
// 37, SPARSE-LU) at the sizes it is meant for, and against Gauss-Jordan.
//
// Every run is a whole run (RunOstraClick on a model directory written as a
// user writes it) of implicit Euler, DELT 0.5, in a process of its own
// (fork), so that its peak resident memory (ru_maxrss) is its own (it
// counts from the pages the child inherits, so the benchmark gives the heap
// of its model writing back to the system before each fork). The
// large models are as large as a compartment model can be (the table
// readers count compartments in a 16-bit Integer: at most 32,767,
// boundaries included):
//   BM_Large/chain|grid/fixed      a closed chain (a ring, no boundary) of
//                                  32,767 compartments (32,767 equations),
//                                  or a grid of 181 x 181 interior
//                                  compartments (32,761 equations) between a
//                                  fixed inflow at one corner and a flow exit
//                                  at the other, the flow winding through
//                                  the rows; 1,000 steps, tables fixed:
//                                  seconds for the run, ms per step (the run
//                                  less a run of one step, per further
//                                  step), of which the sparse LU solves
//                                  (solver_ms_per_step), peak memory
//   BM_Large/chain|grid/changing   the same, 100 steps with flows new at every
//                                  step (a companion program alternates two
//                                  flow tables); the program's time is left out
//   BM_AgainstGaussJordan/...      the 1,000 chain and the 40 x 25 grid, tables
//                                  fixed (500 steps) and flows changing (100):
//                                  ms per step of each solver, run alternately
//                                  in the same benchmark, and their ratio
// The large models write "OneCompTimeSeries.csv" (the last compartment at
// every step) and "MassBalance.csv"; the comparisons "AllTimeSeries.csv".
// Build with -DOSTRA_BENCH=ON in a Release build.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "bench/bench_models.h"

namespace {

namespace fs = std::filesystem;
using bench::CompartmentModel;
using bench::ControlFile;
using bench::ModelDir;

struct Outcome {
    int status = -1;
    double seconds = 0, companionSeconds = 0;
    long analyses = 0, factorizations = 0, refactorizations = 0, resolves = 0;
    double solverSeconds = 0;
    long maxRssKiB = 0;
    double cpuSeconds = 0;  // the child's processor time, user and system
};

// One whole run in a child process.
Outcome RunInChild(const fs::path& dir) {
    malloc_trim(0);
    int fd[2];
    if (pipe(fd) != 0) return {};
    const pid_t pid = fork();
    if (pid == 0) {
        close(fd[0]);
        bench::NullDisplay display;
        ostra::ModelState s(dir, display);
        ostra::FormLoad(s);
        const auto start = std::chrono::steady_clock::now();
        Outcome o;
        o.status = ostra::RunOstraClick(s);
        o.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        o.companionSeconds = s.companions.seconds;
        const ostra::SparseLUCounts& k = s.work.sparseLU.counts;
        o.analyses = k.analyses, o.factorizations = k.factorizations;
        o.refactorizations = k.refactorizations, o.resolves = k.resolves;
        o.solverSeconds = k.seconds;
        const ssize_t written = write(fd[1], &o, sizeof o);
        _exit(written == sizeof o ? 0 : 1);
    }
    close(fd[1]);
    Outcome o;
    const ssize_t got = read(fd[0], &o, sizeof o);
    close(fd[0]);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    if (got != sizeof o) o.status = -1;
    o.maxRssKiB = usage.ru_maxrss;
    o.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                   static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
    return o;
}

ControlFile Control(int steps, bool flowsChange, int DynPrint) {
    ControlFile c;
    c.DELT = "0.5";
    c.NumTimeSteps = std::to_string(steps);
    c.TimeVarFlows = flowsChange;
    c.DynPrint = DynPrint;
    return c;
}

// Appends pair 37, the sparse LU solver, to the model's "Control.csv".
void ChooseSparseLU(const fs::path& dir) {
    std::ofstream(dir / "Control.csv", std::ios::app) << "Linear solver\r\nSPARSE-LU\r\n";
}

// Writes the ring of `size` compartments or the winding grid of `size` x
// `size`; `sparse` appends pair 37.
void WriteLargeModel(const fs::path& dir, bool grid, int size, ControlFile control, bool sparse) {
    auto model = [&](double factor) {
        return grid ? bench::WindingGrid(size, size, factor) : bench::Ring(size, factor);
    };
    const ostra::testing::CompartmentModel m = model(1);
    // The compartment printed at every step: the last of the ring, the one
    // before the grid's exit.
    control.NumSectnPrint = grid ? m.NT() - 1 : m.NT();
    m.Write(dir, control);
    if (control.TimeVarFlows) bench::AlternatingFlowsCompanion(dir, m, model(1.5), control);
    if (sparse) ChooseSparseLU(dir);
}

// Writes the 1,000 chain (an inflow, the chain, an exit); `sparse` appends pair 37.
void WriteChain(const fs::path& dir, int size, ControlFile control, bool sparse) {
    control.NumSectnPrint = size + 1;
    bench::Chain(size).Write(dir, control);
    if (control.TimeVarFlows) bench::AlternatingFlowsCompanion(dir, bench::Chain(size, 1), bench::Chain(size, 1.5), control);
    if (sparse) ChooseSparseLU(dir);
}

// Ends the benchmark with the run's message when it did not finish.
bool Failed(benchmark::State& state, const Outcome& o, const fs::path& dir) {
    if (o.status == 0) return false;
    std::string line;
    std::ifstream in(dir / "Error.dng");
    std::getline(in, line);
    state.SkipWithError(("the run ended with status " + std::to_string(o.status) + ": " + line).c_str());
    return true;
}

void Report(benchmark::State& state, const Outcome& o) {
    state.counters["analyses"] = static_cast<double>(o.analyses);
    state.counters["factorizations"] = static_cast<double>(o.factorizations);
    state.counters["refactorizations"] = static_cast<double>(o.refactorizations);
    state.counters["resolves"] = static_cast<double>(o.resolves);
    state.counters["peak_MiB"] = static_cast<double>(o.maxRssKiB) / 1024;
}

void BM_Large(benchmark::State& state) {
    const bool grid = state.range(0) != 0, changing = state.range(1) != 0;
    const int size = grid ? 181 : 32767;
    const int steps = changing ? 100 : 1000;
    ModelDir dir(std::string(grid ? "klu-grid" : "klu-chain") + (changing ? "-changing" : "-fixed"));
    ModelDir one(std::string(grid ? "klu-grid" : "klu-chain") + "-one");
    WriteLargeModel(dir.Dir(), grid, size, Control(steps, changing, 2), true);
    WriteLargeModel(one.Dir(), grid, size, Control(1, changing, 2), true);
    ModelDir::LetFilesAge();
    for (auto _ : state) {
        const Outcome first = RunInChild(one.Dir());
        if (Failed(state, first, one.Dir())) break;
        const Outcome run = RunInChild(dir.Dir());
        if (Failed(state, run, dir.Dir())) break;
        // The steps after the first, without the companion program.
        const double later = run.seconds - run.companionSeconds - (first.seconds - first.companionSeconds);
        state.SetIterationTime(run.seconds);
        state.counters["run_s"] = run.seconds;
        state.counters["run_cpu_s"] = run.cpuSeconds;
        state.counters["program_s"] = run.companionSeconds;
        state.counters["one_step_run_s"] = first.seconds;
        state.counters["ms_per_step"] = later / (steps - 1) * 1e3;
        state.counters["solver_ms_per_step"] = run.solverSeconds / steps * 1e3;
        Report(state, run);
    }
}

void BM_AgainstGaussJordan(benchmark::State& state) {
    const bool grid = state.range(0) != 0, changing = state.range(1) != 0;
    const int size = grid ? 40 : 1000;
    const int steps = changing ? 100 : 500;
    const std::string name = std::string(grid ? "grid" : "chain") + (changing ? "-changing" : "-fixed");
    ModelDir exact("gj-" + name), sparse("klu-" + name);
    ControlFile control = Control(steps, changing, 3);
    if (grid) {
        // 40 x 25 as in the other benchmarks.
        bench::Grid(40, 25).Write(exact.Dir(), control);
        bench::Grid(40, 25).Write(sparse.Dir(), control);
        if (changing)
            for (const ModelDir* d : {&exact, &sparse})
                bench::AlternatingFlowsCompanion(d->Dir(), bench::Grid(40, 25, 1), bench::Grid(40, 25, 1.5), control);
        ChooseSparseLU(sparse.Dir());
    } else {
        WriteChain(exact.Dir(), size, control, false);
        WriteChain(sparse.Dir(), size, control, true);
    }
    ModelDir::LetFilesAge();
    double gj = 0, klu = 0;
    for (auto _ : state) {
        const Outcome e = RunInChild(exact.Dir());
        if (Failed(state, e, exact.Dir())) break;
        const Outcome k = RunInChild(sparse.Dir());
        if (Failed(state, k, sparse.Dir())) break;
        gj += (e.seconds - e.companionSeconds) / steps * 1e3;
        klu += (k.seconds - k.companionSeconds) / steps * 1e3;
        state.SetIterationTime(e.seconds + k.seconds);
        Report(state, k);
        state.counters["gj_peak_MiB"] = static_cast<double>(e.maxRssKiB) / 1024;
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["gj_ms_per_step"] = gj / n;
    state.counters["klu_ms_per_step"] = klu / n;
    state.counters["klu_over_gj"] = klu / gj;
}

BENCHMARK(BM_Large)->ArgNames({"grid", "changing"})->Args({0, 0})->Args({1, 0})->Args({0, 1})->Args({1, 1})
    ->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_AgainstGaussJordan)->ArgNames({"grid", "changing"})->Args({0, 0})->Args({1, 0})->Args({0, 1})
    ->Args({1, 1})->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
