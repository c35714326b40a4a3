// linear_solvers_bench.cpp -- time of one solve by each linear solver.
//
// LinearSolver (Gauss-Jordan) and LUDCMP + LUBKSB on random, strictly
// diagonally dominant (well-conditioned) dense systems of 100, 500 and 1000
// equations. Each iteration restores the matrix and right-hand side from a
// saved copy (outside the timing), since both solvers destroy their input.
//
// The sparse LinearSolver, its replay on a new right-hand side, and the
// dense LinearSolver on the same matrix, for a chain of 1000 compartments
// (tridiagonal) and a 40 x 25 grid (5-point coupling).
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

#include "model/elimination_record.h"
#include "solvers/linear_solver.h"
#include "solvers/lu.h"
#include "solvers/sparse_solvers.h"

namespace {

using ostra::DMatrix;
using ostra::DSparse;
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

// A mass-balance-like matrix: each compartment exchanges with its
// neighbours along a chain (ny = 1) or on an nx x ny grid, with a
// dominant diagonal; the right-hand side is random.
struct SparseSystem {
    DSparse A;
    DVector B;
};

SparseSystem Grid(int nx, int ny) {
    const int n = nx * ny;
    std::mt19937 rng(static_cast<unsigned>(n));
    std::uniform_real_distribution<double> u(0.5, 1.5);
    SparseSystem sys{DSparse(n, "A"), DVector(n, "B")};
    auto couple = [&](int i, int j) {
        const double q = u(rng);
        sys.A.Add(i, j, -q);
        sys.A.Add(j, i, -q);
        sys.A.Add(i, i, q);
        sys.A.Add(j, j, q);
    };
    for (int y = 0; y < ny; ++y)
        for (int x = 0; x < nx; ++x) {
            const int i = y * nx + x + 1;
            sys.A.Add(i, i, 0.1);  // decay
            if (x + 1 < nx) couple(i, i + 1);
            if (y + 1 < ny) couple(i, i + nx);
        }
    for (int i = 1; i <= n; ++i) sys.B(i) = 10 * u(rng);
    return sys;
}

DMatrix DenseCopy(const DSparse& A) {
    DMatrix D(A.Rows(), A.Rows(), "A");
    for (int i = 1; i <= A.Rows(); ++i)
        for (const auto& e : A.Row(i)) D(i, e.col) = e.value;
    return D;
}

void BM_SparseLinearSolver(benchmark::State& state, int nx, int ny) {
    const SparseSystem sys = Grid(nx, ny);
    DVector B = sys.B;
    ostra::SolveReport report;
    for (auto _ : state) {
        state.PauseTiming();
        B = sys.B;
        state.ResumeTiming();
        ostra::LinearSolver(sys.A, B, report);
        benchmark::DoNotOptimize(B.Data());
    }
}

void BM_SparseLinearSolverRecording(benchmark::State& state, int nx, int ny) {
    const SparseSystem sys = Grid(nx, ny);
    DVector B = sys.B;
    ostra::SolveReport report;
    ostra::EliminationRecord record;
    for (auto _ : state) {
        state.PauseTiming();
        B = sys.B;
        state.ResumeTiming();
        ostra::LinearSolver(sys.A, B, report, &record);
        benchmark::DoNotOptimize(B.Data());
    }
    state.counters["multipliers"] = static_cast<double>(record.mult.size());
}

void BM_ReplayLinearSolver(benchmark::State& state, int nx, int ny) {
    const SparseSystem sys = Grid(nx, ny);
    DVector B = sys.B;
    ostra::SolveReport report;
    ostra::EliminationRecord record;
    ostra::LinearSolver(sys.A, B, report, &record);
    for (auto _ : state) {
        state.PauseTiming();
        B = sys.B;
        state.ResumeTiming();
        ostra::ReplayLinearSolver(record, B, report);
        benchmark::DoNotOptimize(B.Data());
    }
}

void BM_DenseLinearSolverOnSparse(benchmark::State& state, int nx, int ny) {
    const SparseSystem sys = Grid(nx, ny);
    const DMatrix original = DenseCopy(sys.A);
    DMatrix A = original;
    DVector B = sys.B;
    for (auto _ : state) {
        state.PauseTiming();
        A = original;
        B = sys.B;
        state.ResumeTiming();
        ostra::LinearSolver(A, B);
        benchmark::DoNotOptimize(B.Data());
    }
}

BENCHMARK_CAPTURE(BM_SparseLinearSolver, chain1000, 1000, 1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SparseLinearSolver, grid40x25, 40, 25)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SparseLinearSolverRecording, chain1000, 1000, 1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SparseLinearSolverRecording, grid40x25, 40, 25)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReplayLinearSolver, chain1000, 1000, 1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReplayLinearSolver, grid40x25, 40, 25)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DenseLinearSolverOnSparse, chain1000, 1000, 1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DenseLinearSolverOnSparse, grid40x25, 40, 25)->Unit(benchmark::kMillisecond);

BENCHMARK(BM_LinearSolver)->Arg(100)->Arg(500)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LUDCMP_LUBKSB)->Arg(100)->Arg(500)->Arg(1000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
