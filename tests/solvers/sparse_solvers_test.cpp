// sparse_solvers_test.cpp -- the sparse Gauss-Jordan solver, its replay and
// the sparse LU against the dense solvers.
//
// The dense solvers, which linear_solvers_test.cpp holds to the plain loops
// bit for bit, are the reference: every solution component must have their
// bits or be a zero of either sign, every factor likewise, and a solve that
// fails must fail with their message. The matrices are random sparse and
// full patterns, chains and 5-point grids, with entries that make ties,
// below-threshold pivots, duplicated rows, overflows and underflows common,
// and some with an infinite or undefined entry.
#include <gtest/gtest.h>

#include <cfenv>
#include <chrono>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "model/elimination_record.h"
#include "solvers/linear_solver.h"
#include "solvers/lu.h"
#include "solvers/plain_solvers.h"
#include "solvers/sparse_solvers.h"
#include "textio/errors.h"

namespace ostra {
namespace {

enum class Shape { Random, Full, Chain, Grid };
enum class Values { Ties, Real, Tiny, Extreme };

struct Case {
    const char* name;
    Shape shape;
    Values values;
};

const Case kCases[] = {
    {"random ties", Shape::Random, Values::Ties},
    {"full ties", Shape::Full, Values::Ties},
    {"random real", Shape::Random, Values::Real},
    {"random tiny", Shape::Random, Values::Tiny},
    {"random extreme", Shape::Random, Values::Extreme},
    {"full extreme", Shape::Full, Values::Extreme},
    {"chain ties", Shape::Chain, Values::Ties},
    {"chain real", Shape::Chain, Values::Real},
    {"chain tiny", Shape::Chain, Values::Tiny},
    {"grid real", Shape::Grid, Values::Real},
    {"grid ties", Shape::Grid, Values::Ties},
    {"grid extreme", Shape::Grid, Values::Extreme},
};

std::vector<int> Sizes() {
    std::vector<int> sizes;
    for (int n = 1; n <= 60; ++n) sizes.push_back(n);
    sizes.push_back(97);
    sizes.push_back(150);
    return sizes;
}

double Value(Values kind, std::mt19937& rng) {
    static const double tiny[] = {0, 1, -1, 2, 5E-11, -3E-11, 1E-10, -1E-10, 9.999999999999999E-11};
    static const double extreme[] = {1, -2, 3, 1.5E-10, 1E300, -1E300, 1E-300, 1E-310, 0};
    std::uniform_int_distribution<int> ties(-2, 2), pick(0, 8);
    switch (kind) {
        case Values::Ties: return ties(rng);
        case Values::Real: return std::uniform_real_distribution<double>(-1, 1)(rng);
        case Values::Tiny: return tiny[pick(rng)];
        case Values::Extreme: return extreme[pick(rng)];
    }
    return 0;
}

// The pattern of `shape` with values of `kind`; zeros drawn are stored. Real
// values get a dominant diagonal.
DSparse Generate(const Case& c, int n, std::mt19937& rng) {
    DSparse A(n, "A");
    const int width = std::max(1, static_cast<int>(std::lround(std::sqrt(n))));
    std::bernoulli_distribution sparse(0.12), diagonal(0.8);
    for (int i = 1; i <= n; ++i) {
        for (int j = 1; j <= n; ++j) {
            bool stored = false;
            switch (c.shape) {
                case Shape::Random: stored = i == j ? diagonal(rng) : sparse(rng); break;
                case Shape::Full: stored = true; break;
                case Shape::Chain: stored = std::abs(i - j) <= 1; break;
                case Shape::Grid:
                    stored = i == j || std::abs(i - j) == width ||
                             (std::abs(i - j) == 1 && (std::min(i, j) % width) != 0);
                    break;
            }
            if (stored) A.At(i, j) = Value(c.values, rng);
        }
        if (c.values == Values::Real) {
            double off = 1;
            for (const auto& e : A.Row(i)) off += std::fabs(e.value);
            A.At(i, i) = off;
        }
    }
    return A;
}

DVector RandomVector(int n, std::mt19937& rng) {
    std::uniform_real_distribution<double> u(-10, 10);
    std::bernoulli_distribution zero(0.25);
    DVector B(n, "B");
    for (int i = 1; i <= n; ++i) B(i) = zero(rng) ? 0.0 : u(rng);
    return B;
}

// Trial 1 copies a row onto another (perhaps negated), so a row becomes zero
// during the elimination; trial 2 puts inf, -inf or NaN into A or B.
void Spoil(int trial, DSparse& A, DVector& B, std::mt19937& rng) {
    const int n = A.Rows();
    std::uniform_int_distribution<int> any(1, n), three(0, 2);
    if (trial == 1 && n >= 2) {
        const int from = any(rng), to = any(rng);
        const double sign = three(rng) == 0 ? -1 : 1;
        DSparse::RowEntries copy = A.Row(from);
        for (auto& e : copy) e.value = sign * e.value;
        A.MutableRow(to) = copy;
    } else if (trial == 2) {
        const double bad[] = {std::numeric_limits<double>::infinity(),
                              -std::numeric_limits<double>::infinity(), std::nan("")};
        const double v = bad[three(rng)];
        if (three(rng) == 0) {
            B(any(rng)) = v;
        } else {
            A.At(any(rng), any(rng)) = v;
        }
    }
}

DMatrix Dense(const DSparse& A) {
    DMatrix D(A.Rows(), A.Rows(), "A");
    for (int i = 1; i <= A.Rows(); ++i)
        for (const auto& e : A.Row(i)) D(i, e.col) = e.value;
    return D;
}

std::string Thrown(const std::function<void()>& f) {
    try {
        f();
    } catch (const textio::DataError& e) {
        return e.what();
    }
    return "";
}

bool SameOrBothZero(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0 || (a == 0 && b == 0); }

constexpr int kWatched = FE_OVERFLOW | FE_DIVBYZERO | FE_INVALID;

// What a solve ends with: its message, the floating-point flags it left
// raised, the solution and the report.
struct Outcome {
    std::string error;
    int flags = 0;
    DVector x;
    SolveReport report;
};

// Runs f from cleared flags; keeps the message it threw and the flags it left.
void Capture(Outcome& o, const std::function<void()>& f) {
    std::feclearexcept(kWatched);
    o.error = Thrown(f);
    o.flags = std::fetestexcept(kWatched);
}

Outcome DenseGaussJordan(const DSparse& A, const DVector& B) {
    DMatrix D = Dense(A);
    Outcome o{"", 0, B, {}};
    Capture(o, [&] { LinearSolver(D, o.x, &o.report); });
    return o;
}

void ExpectSame(const Outcome& got, const Outcome& want, const std::string& what) {
    ASSERT_EQ(got.error, want.error) << what;
    EXPECT_EQ(got.flags, want.flags) << what;
    EXPECT_EQ(got.report.fixedComponent, want.report.fixedComponent) << what;
    EXPECT_EQ(got.report.fixedCount, want.report.fixedCount) << what;
    EXPECT_TRUE(SameOrBothZero(got.report.largestCandidate, want.report.largestCandidate)) << what;
    if (!want.error.empty()) return;
    for (int i = 1; i <= want.x.Size(); ++i)
        ASSERT_TRUE(SameOrBothZero(got.x(i), want.x(i)))
            << what << ", component " << i << ": " << got.x(i) << " vs " << want.x(i);
}

// Right-hand sides for replays and substitutions: random, one non-zero
// entry, all zero, huge (overflows), with NaN, with inf.
DVector RightHandSide(int variant, int n, std::mt19937& rng) {
    DVector B = RandomVector(n, rng);
    std::uniform_int_distribution<int> any(1, n);
    switch (variant) {
        case 1:
            B.Fill(0);
            B(any(rng)) = 1.5;
            break;
        case 2: B.Fill(0); break;
        case 3:
            for (int i = 1; i <= n; ++i) B(i) *= 1E306;
            break;
        case 4: B(any(rng)) = std::nan(""); break;
        case 5: B(any(rng)) = -std::numeric_limits<double>::infinity(); break;
        default: break;
    }
    return B;
}
constexpr int kRightHandSides = 6;

std::string Describe(const Case& c, int n, int trial) {
    return std::string(c.name) + ", n = " + std::to_string(n) + ", trial " + std::to_string(trial);
}

TEST(SparseSolvers, GaussJordanGivesTheDenseBitsReportAndMessage) {
    std::mt19937 rng(8191);
    int failed = 0, fixedSome = 0, solved = 0;
    for (const Case& c : kCases) {
        for (int n : Sizes()) {
            for (int trial = 0; trial < 3; ++trial) {
                DSparse A = Generate(c, n, rng);
                DVector B = RandomVector(n, rng);
                Spoil(trial, A, B, rng);
                const DSparse original = A;
                const Outcome dense = DenseGaussJordan(A, B);
                Outcome sparse{"", 0, B, {}};
                Capture(sparse, [&] { LinearSolver(A, sparse.x, sparse.report); });
                ExpectSame(sparse, dense, Describe(c, n, trial));
                if (dense.error.empty()) {
                    // And the textbook loops themselves, on the dense matrix.
                    DMatrix D = Dense(original);
                    DVector X = B;
                    PlainLinearSolver(D, X);
                    for (int i = 1; i <= n; ++i)
                        ASSERT_TRUE(SameOrBothZero(sparse.x(i), X(i))) << Describe(c, n, trial) << ", " << i;
                }
                ASSERT_TRUE(A.SameAs(original)) << Describe(c, n, trial);
                if (!dense.error.empty())
                    ++failed;
                else if (dense.report.fixedCount > 0)
                    ++fixedSome;
                else
                    ++solved;
            }
        }
    }
    // Every kind of outcome occurs often enough to count.
    EXPECT_GT(failed, 300);
    EXPECT_GT(fixedSome, 400);
    EXPECT_GT(solved, 250);
}

TEST(SparseSolvers, ReplayGivesTheBitsOfAFreshElimination) {
    std::mt19937 rng(524287);
    int replayed = 0;
    for (const Case& c : kCases) {
        for (int n : {1, 2, 3, 5, 8, 13, 21, 34, 55, 97}) {
            for (int trial = 0; trial < 3; ++trial) {
                DSparse A = Generate(c, n, rng);
                DVector B = RandomVector(n, rng);
                Spoil(trial, A, B, rng);
                EliminationRecord record;
                SolveReport report;
                if (!Thrown([&] { LinearSolver(A, B, report, &record); }).empty()) {
                    EXPECT_FALSE(record.valid) << Describe(c, n, trial);
                    continue;
                }
                ASSERT_TRUE(record.valid && record.matrix.SameAs(A)) << Describe(c, n, trial);
                for (int v = 0; v < kRightHandSides; ++v) {
                    const DVector rhs = RightHandSide(v, n, rng);
                    Outcome replay{"", 0, rhs, {}};
                    Capture(replay, [&] { ReplayLinearSolver(record, replay.x, replay.report); });
                    ExpectSame(replay, DenseGaussJordan(A, rhs),
                               Describe(c, n, trial) + ", right-hand side " + std::to_string(v));
                    ++replayed;
                }
            }
        }
    }
    EXPECT_GT(replayed, 800);
}

TEST(SparseSolvers, LUGivesTheDenseFactorsAndSolutions) {
    std::mt19937 rng(131071);
    int factored = 0;
    for (const Case& c : kCases) {
        for (int n : Sizes()) {
            for (int trial = 0; trial < 3; ++trial) {
                DSparse A = Generate(c, n, rng);
                DVector unused(n);
                Spoil(trial, A, unused, rng);
                const std::string what = Describe(c, n, trial);
                DMatrix D = Dense(A);
                DMatrix P = D;  // for the textbook loops
                IVector denseIndx(n), sparseIndx(n), plainIndx(n);
                Outcome dense, sparse;
                Capture(dense, [&] { LUDCMP(D, denseIndx); });
                Capture(sparse, [&] { LUDCMP(A, sparseIndx); });
                ASSERT_EQ(sparse.error, dense.error) << what;
                EXPECT_EQ(sparse.flags, dense.flags) << what;
                if (!dense.error.empty()) continue;
                ++factored;
                const bool finite = dense.flags == 0;
                if (finite) PlainLUDCMP(P, plainIndx);
                for (int i = 1; i <= n; ++i) {
                    ASSERT_EQ(sparseIndx(i), denseIndx(i)) << what << ", INDX(" << i << ")";
                    if (finite) {
                        ASSERT_EQ(sparseIndx(i), plainIndx(i)) << what << ", INDX(" << i << ")";
                        for (int j = 1; j <= n; ++j)
                            ASSERT_TRUE(SameOrBothZero(A(i, j), P(i, j))) << what << ", plain factor";
                    }
                    for (int j = 1; j <= n; ++j)
                        ASSERT_TRUE(SameOrBothZero(A(i, j), D(i, j)))
                            << what << ", factor (" << i << ", " << j << "): " << A(i, j) << " vs "
                            << D(i, j);
                }
                // Any interchanges LUBKSB accepts, not only those of LUDCMP:
                // then entries before FirstNonZero may be non-zero.
                IVector scrambled(n);
                std::uniform_int_distribution<int> any(1, n);
                for (int i = 1; i <= n; ++i) scrambled(i) = static_cast<Integer>(any(rng));
                for (int v = 0; v <= kRightHandSides; ++v) {
                    const IVector& indx = v < kRightHandSides ? denseIndx : scrambled;
                    const DVector rhs = RightHandSide(v % kRightHandSides, n, rng);
                    Outcome denseX{"", 0, rhs, {}}, sparseX{"", 0, rhs, {}};
                    Capture(denseX, [&] { LUBKSB(D, indx, denseX.x); });
                    Capture(sparseX, [&] { LUBKSB(A, indx, sparseX.x); });
                    ExpectSame(sparseX, denseX, what + ", right-hand side " + std::to_string(v));
                }
            }
        }
    }
    EXPECT_GT(factored, 700);
}

TEST(SparseSolvers, ReportNamesTheFirstComponentFixedAtZero) {
    const double below = std::ldexp(1.0, -40);  // 9.1E-13, exact in every step below
    struct Row {
        int n;
        std::vector<double> a;
        int first;
        double largest;
        int count;
    } table[] = {
        {2, {1, 0, 0, 1}, 0, 0, 0},
        {1, {0}, 1, 0, 1},
        {3, {0, 0, 0, 0, 0, 0, 0, 0, 0}, 1, 0, 3},
        {3, {1, 0, 0, 0, 4E-11, 0, 0, 0, 0}, 2, 4E-11, 2},
        {3, {2, 0, 0, 0, 1, 0, 0, 0, -6E-11}, 3, 6E-11, 1},
        // The candidate of column 2 appears only through the elimination.
        {2, {1, 1, 1, 1 + below}, 2, below, 1},
        // Exactly at the threshold the pivot is used.
        {2, {1E-10, 0, 0, 1E-11}, 2, 1E-11, 1},
    };
    int row = 0;
    for (const Row& r : table) {
        const std::string what = "table row " + std::to_string(++row);
        DSparse A(r.n, "A");
        for (int i = 1; i <= r.n; ++i)
            for (int j = 1; j <= r.n; ++j)
                if (const double v = r.a[static_cast<std::size_t>((i - 1) * r.n + j - 1)]; v != 0)
                    A.At(i, j) = v;
        DVector B(r.n, "B");
        B.Fill(1);
        const Outcome dense = DenseGaussJordan(A, B);
        EXPECT_EQ(dense.report.fixedComponent, r.first) << what;
        EXPECT_EQ(dense.report.largestCandidate, r.largest) << what;
        EXPECT_EQ(dense.report.fixedCount, r.count) << what;
        Outcome sparse{"", 0, B, {}};
        Capture(sparse, [&] { LinearSolver(A, sparse.x, sparse.report); });
        ExpectSame(sparse, dense, what);
    }
}

// Seconds allowed for the chain below: about ten times what the sparse
// elimination needs, a fraction of what a dense one needs (some 13 s
// optimised; far more under the sanitizers, which slow both about 20-fold).
#if defined(__SANITIZE_ADDRESS__)
constexpr double kChainSeconds = 30;
#else
constexpr double kChainSeconds = 2;
#endif

// A long chain: far beyond what a dense elimination could do in the time
// allowed, and still exact enough to reproduce a known solution.
TEST(SparseSolvers, LongChainIsSolvedAtTheCostOfItsFill) {
    const int n = 4000;
    DSparse A(n, "A");
    DVector x(n, "x"), B(n, "B");
    for (int i = 1; i <= n; ++i) x(i) = std::sin(0.01 * i);
    for (int i = 1; i <= n; ++i) {
        if (i > 1) A.At(i, i - 1) = -1;
        A.At(i, i) = 2.5;
        if (i < n) A.At(i, i + 1) = -1.25;
        for (const auto& e : A.Row(i)) B(i) += e.value * x(e.col);
    }
    const auto start = std::chrono::steady_clock::now();
    SolveReport report;
    LinearSolver(A, B, report);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(seconds, kChainSeconds);
    for (int i = 1; i <= n; ++i) ASSERT_NEAR(B(i), x(i), 1E-12) << i;
}

}  // namespace
}  // namespace ostra
