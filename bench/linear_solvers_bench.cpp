// linear_solvers_bench.cpp -- time of one dense solve by each linear solver.
//
// LinearSolver (Gauss-Jordan) and LUDCMP + LUBKSB on random, strictly
// diagonally dominant (well-conditioned) systems of 100, 500 and 1000
// equations. Each iteration restores the matrix and right-hand side from a
// saved copy (outside the timing), since both solvers destroy their input.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

#include "solvers/linear_solver.h"
#include "solvers/lu.h"

namespace {

using ostra::DMatrix;
using ostra::DVector;
using ostra::IVector;

struct System {
    DMatrix A;
    DVector B;
};

System RandomSystem(int n) {
    std::mt19937 rng(static_cast<unsigned>(n));
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    System sys{DMatrix(n, n, "A"), DVector(n, "B")};
    for (int i = 1; i <= n; ++i) {
        double off = 0;
        for (int j = 1; j <= n; ++j) {
            sys.A(i, j) = u(rng);
            off += std::fabs(sys.A(i, j));
        }
        sys.A(i, i) = off + 1;
        sys.B(i) = 10 * u(rng);
    }
    return sys;
}

void BM_LinearSolver(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const System original = RandomSystem(n);
    System work = original;
    for (auto _ : state) {
        state.PauseTiming();
        work = original;
        state.ResumeTiming();
        ostra::LinearSolver(work.A, work.B);
        benchmark::DoNotOptimize(work.B.Data());
    }
    state.SetComplexityN(n);
}

void BM_LUDCMP_LUBKSB(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const System original = RandomSystem(n);
    System work = original;
    IVector INDX(n, "INDX");
    for (auto _ : state) {
        state.PauseTiming();
        work = original;
        state.ResumeTiming();
        ostra::LUDCMP(work.A, INDX);
        ostra::LUBKSB(work.A, INDX, work.B);
        benchmark::DoNotOptimize(work.B.Data());
    }
    state.SetComplexityN(n);
}

BENCHMARK(BM_LinearSolver)->Arg(100)->Arg(500)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LUDCMP_LUBKSB)->Arg(100)->Arg(500)->Arg(1000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
