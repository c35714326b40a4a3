// linear_solvers_test.cpp -- LUDCMP/LUBKSB, LinearSolver and the choice in Solve.
//
// The solvers reorganise their loops for speed; plain transcriptions of the
// textbook loops below serve as the reference they must match bit for bit,
// on random matrices whose small integer entries make ties, zero pivots and
// below-threshold pivots common.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <random>
#include <string>

#include "solvers/linear_solver.h"
#include "solvers/lu.h"
#include "solvers/plain_solvers.h"
#include "support/test_support.h"
#include "textio/errors.h"

namespace ostra {
namespace {

// ---- helpers ----

DMatrix Matrix(int n, std::initializer_list<double> rowwise) {
    DMatrix A(n, n, "A");
    auto it = rowwise.begin();
    for (int i = 1; i <= n; ++i)
        for (int j = 1; j <= n; ++j) A(i, j) = *it++;
    return A;
}

DVector Vector(std::initializer_list<double> values) {
    DVector v(static_cast<int>(values.size()), "B");
    int i = 1;
    for (double x : values) v(i++) = x;
    return v;
}

// Entries drawn from a few small integers, so that equal magnitudes, zero
// sums and zero rows occur often.
DMatrix TieProneMatrix(int n, std::mt19937& rng) {
    std::uniform_int_distribution<int> pick(-2, 2);
    DMatrix A(n, n, "A");
    for (int i = 1; i <= n; ++i)
        for (int j = 1; j <= n; ++j) A(i, j) = pick(rng);
    return A;
}

// A random, strictly diagonally dominant (so well-conditioned) matrix.
DMatrix WellConditioned(int n, std::mt19937& rng) {
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    DMatrix A(n, n, "A");
    for (int i = 1; i <= n; ++i) {
        double off = 0;
        for (int j = 1; j <= n; ++j) {
            A(i, j) = u(rng);
            off += std::fabs(A(i, j));
        }
        A(i, i) = (A(i, i) < 0 ? -1 : 1) * (off + 1);
    }
    return A;
}

DVector RandomVector(int n, std::mt19937& rng) {
    std::uniform_real_distribution<double> u(-10.0, 10.0);
    DVector v(n, "B");
    for (int i = 1; i <= n; ++i) v(i) = u(rng);
    return v;
}

DVector Times(const DMatrix& A, const DVector& x) {
    DVector b(A.Rows(), "b");
    for (int i = 1; i <= A.Rows(); ++i)
        for (int j = 1; j <= A.Cols(); ++j) b(i) += A(i, j) * x(j);
    return b;
}

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

void ExpectSameBits(const DMatrix& a, const DMatrix& b, const std::string& what) {
    for (int i = 1; i <= a.Rows(); ++i)
        for (int j = 1; j <= a.Cols(); ++j)
            ASSERT_TRUE(SameBits(a(i, j), b(i, j)))
                << what << " (" << i << ", " << j << "): " << a(i, j) << " vs " << b(i, j);
}

void ExpectSameBits(const DVector& a, const DVector& b, const std::string& what) {
    ASSERT_EQ(a.Size(), b.Size());
    for (int i = 1; i <= a.Size(); ++i)
        ASSERT_TRUE(SameBits(a(i), b(i))) << what << " (" << i << "): " << a(i) << " vs " << b(i);
}

std::string ThrownMessage(const std::function<void()>& f) {
    try {
        f();
    } catch (const textio::DataError& e) {
        return e.what();
    }
    return "";
}

// ---- LUDCMP and LUBKSB ----

TEST(LinearSolversLU, MatchesThePlainLoopsBitForBit) {
    std::mt19937 rng(20240611);
    int factored = 0;
    for (int n : {1, 2, 3, 4, 5, 6, 7, 8, 9, 13, 31, 64}) {
        for (int trial = 0; trial < 30; ++trial) {
            const DMatrix original = trial % 3 == 0 ? WellConditioned(n, rng) : TieProneMatrix(n, rng);
            DMatrix fast = original, plain = original;
            IVector fastIndx(n), plainIndx(n);
            const std::string plainError = ThrownMessage([&] { PlainLUDCMP(plain, plainIndx); });
            const std::string fastError = ThrownMessage([&] { LUDCMP(fast, fastIndx); });
            ASSERT_EQ(fastError, plainError) << "n = " << n << ", trial " << trial;
            if (!plainError.empty()) continue;
            ++factored;
            ExpectSameBits(fast, plain, "factors");
            for (int j = 1; j <= n; ++j) ASSERT_EQ(fastIndx(j), plainIndx(j)) << "INDX(" << j << ")";

            DVector fastB = RandomVector(n, rng);
            DVector plainB = fastB;
            // Solutions through a 1E-20 pivot may overflow; both must then agree on that too.
            const std::string fastSolve = ThrownMessage([&] { LUBKSB(fast, fastIndx, fastB); });
            PlainLUBKSB(plain, plainIndx, plainB);
            if (fastSolve.empty()) ExpectSameBits(fastB, plainB, "solution");
        }
    }
    EXPECT_GT(factored, 200);  // the comparison must not pass by every matrix being singular
}

TEST(LinearSolversLU, OneByOne) {
    DMatrix A = Matrix(1, {-4});
    IVector INDX(1);
    LUDCMP(A, INDX);
    EXPECT_EQ(A(1, 1), -4.0);
    EXPECT_EQ(INDX(1), 1);
    DVector B = Vector({10});
    LUBKSB(A, INDX, B);
    EXPECT_EQ(B(1), 10.0 / -4.0);
}

TEST(LinearSolversLU, ZeroRowStopsEvenWhenTheFirstRowIsFine) {
    DMatrix A = Matrix(3, {1, 2, 3, 0, 0, 0, 4, 5, 7});
    IVector INDX(3);
    EXPECT_EQ(ThrownMessage([&] { LUDCMP(A, INDX); }), "SINGULAR MATRIX in LUDCMP");
    // The check comes before any elimination: the matrix is untouched.
    EXPECT_EQ(A(1, 1), 1.0);
    EXPECT_EQ(A(3, 3), 7.0);
}

TEST(LinearSolversLU, EqualRowsGetTheTinyPivotAndTheLastTiedRow) {
    DMatrix A = Matrix(2, {1, 2, 1, 2});
    IVector INDX(2);
    LUDCMP(A, INDX);
    // Both rows scale to the same magnitude in column 1: the later one is the pivot.
    EXPECT_EQ(INDX(1), 2);
    EXPECT_EQ(INDX(2), 2);
    EXPECT_EQ(A(2, 2), LU_TINY_PIVOT);
    DVector B = Vector({1, 2});
    LUBKSB(A, INDX, B);
    // Permuted right-hand side (2, 1); y = (2, 1 - 2); x2 = y2 / 1E-20.
    EXPECT_EQ(B(2), -1.0 / LU_TINY_PIVOT);
    EXPECT_EQ(B(1), 2.0 - 2.0 * B(2));
}

TEST(LinearSolversLU, EqualScaledMagnitudesPickTheLaterRowInEitherOrder) {
    // Row scales 1 and 1/2 make the scaled candidates in column 1 equal (1 and 1).
    for (bool swapped : {false, true}) {
        DMatrix A = swapped ? Matrix(2, {2, 1, 1, 0}) : Matrix(2, {1, 0, 2, 1});
        const DMatrix original = A;
        IVector INDX(2);
        LUDCMP(A, INDX);
        EXPECT_EQ(INDX(1), 2) << "swapped " << swapped;
        const DVector x = Vector({3, -5});
        DVector B = Times(original, x);
        LUBKSB(A, INDX, B);
        EXPECT_DOUBLE_EQ(B(1), 3);
        EXPECT_DOUBLE_EQ(B(2), -5);
    }
}

TEST(LinearSolversLU, LeadingZerosOfThePermutedRightHandSideAreSkippedExactly) {
    std::mt19937 rng(7);
    int withLeadingZeros = 0;
    for (int trial = 0; trial < 40; ++trial) {
        const int n = 6;
        const DMatrix original = WellConditioned(n, rng);
        DMatrix A = original;
        IVector INDX(n);
        LUDCMP(A, INDX);
        // Mostly zeros, so the permuted vector often starts with several.
        DVector B(n, "B");
        std::uniform_int_distribution<int> pick(1, n);
        B(pick(rng)) = 1.5;
        if (trial % 2) B(pick(rng)) = -2.25;
        DVector permuted = B;
        for (int i = 1; i <= n; ++i) std::swap(permuted(i), permuted(INDX(i)));
        if (permuted(1) == 0) ++withLeadingZeros;

        DVector plain = B;
        PlainLUBKSB(A, INDX, plain);
        DVector fast = B;
        LUBKSB(A, INDX, fast);
        ExpectSameBits(fast, plain, "solution");
        const DVector back = Times(original, fast);
        for (int i = 1; i <= n; ++i) EXPECT_NEAR(back(i), B(i), 1e-12);
    }
    EXPECT_GT(withLeadingZeros, 10);
}

TEST(LinearSolversLU, FactorsOfARowPermutedMatrixReproduceIt) {
    std::mt19937 rng(99);
    const int n = 9;
    DMatrix original = TieProneMatrix(n, rng);
    for (int i = 1; i <= n; ++i) original(i, i) += 7;  // regular, but pivoting still happens
    original(1, 1) = 0;
    DMatrix A = original;
    IVector INDX(n);
    LUDCMP(A, INDX);
    DMatrix permuted = original;
    for (int j = 1; j <= n; ++j)
        for (int k = 1; k <= n; ++k) std::swap(permuted(j, k), permuted(INDX(j), k));
    for (int i = 1; i <= n; ++i)
        for (int j = 1; j <= n; ++j) {
            double sum = 0;
            for (int k = 1; k <= std::min(i, j); ++k) sum += (k == i ? 1.0 : A(i, k)) * A(k, j);
            EXPECT_NEAR(sum, permuted(i, j), 1e-12) << i << ", " << j;
        }
    EXPECT_NE(INDX(1), 1);  // the zero in the corner forced an interchange
}

// ---- LinearSolver ----

TEST(LinearSolversGaussJordan, MatchesThePlainLoopsBitForBit) {
    std::mt19937 rng(31337);
    for (int n : {1, 2, 3, 5, 8, 17, 40}) {
        for (int trial = 0; trial < 30; ++trial) {
            const DMatrix original = trial % 3 == 0 ? WellConditioned(n, rng) : TieProneMatrix(n, rng);
            const DVector rhs = RandomVector(n, rng);
            DMatrix fastA = original, plainA = original;
            DVector fastB = rhs, plainB = rhs;
            PlainLinearSolver(plainA, plainB);
            LinearSolver(fastA, fastB);
            ExpectSameBits(fastB, plainB, "solution");
            ExpectSameBits(fastA, plainA, "reduced matrix");
        }
    }
}

TEST(LinearSolversGaussJordan, IdentityReturnsTheRightHandSide) {
    DMatrix A = Matrix(3, {1, 0, 0, 0, 1, 0, 0, 0, 1});
    DVector B = Vector({0.1, -7.25, 1e300});
    LinearSolver(A, B);
    EXPECT_EQ(B(1), 0.1);
    EXPECT_EQ(B(2), -7.25);
    EXPECT_EQ(B(3), 1e300);
}

TEST(LinearSolversGaussJordan, ZeroLeadingPivotIsInterchanged) {
    // Columns (0, 3) and (2, 1): without the interchange component 1 would be dropped.
    DMatrix A = Matrix(2, {0, 2, 3, 1});
    DVector B = Vector({4, 5});
    LinearSolver(A, B);
    EXPECT_DOUBLE_EQ(B(1), 1);
    EXPECT_DOUBLE_EQ(B(2), 2);
}

TEST(LinearSolversGaussJordan, ZeroRowAndColumnGiveZeroForThatComponent) {
    std::mt19937 rng(5);
    const int n = 5;
    for (int k = 1; k <= n; ++k) {
        const DMatrix reduced = WellConditioned(n - 1, rng);
        const DVector x = RandomVector(n - 1, rng);
        const DVector reducedB = Times(reduced, x);
        DMatrix A(n, n, "A");
        DVector B(n, "B");
        for (int i = 1, ri = 1; i <= n; ++i) {
            if (i == k) continue;
            for (int j = 1, rj = 1; j <= n; ++j) {
                if (j == k) continue;
                A(i, j) = reduced(ri, rj++);
            }
            B(i) = reducedB(ri++);
        }
        LinearSolver(A, B);
        for (int i = 1, ri = 1; i <= n; ++i) {
            if (i == k) {
                EXPECT_EQ(B(i), 0.0) << "k = " << k;
            } else {
                EXPECT_NEAR(B(i), x(ri++), 1e-12) << "k = " << k << ", i = " << i;
            }
        }
    }
}

TEST(LinearSolversGaussJordan, TinyMatrixGivesAllZeros) {
    std::mt19937 rng(11);
    DMatrix A = WellConditioned(6, rng);
    for (int i = 1; i <= 6; ++i)
        for (int j = 1; j <= 6; ++j) A(i, j) *= 1E-12;
    DVector B = RandomVector(6, rng);
    LinearSolver(A, B);
    for (int i = 1; i <= 6; ++i) EXPECT_EQ(B(i), 0.0) << i;
}

TEST(LinearSolversGaussJordan, EqualMagnitudesPickTheEarlierRow) {
    // Column 1 ties between the rows. Taking row 1 as pivot leaves 1E-11 for
    // the second pivot (dropped, x2 = 0, x1 = B(1)); taking row 2 would give
    // x1 = B(2).
    DMatrix A = Matrix(2, {1, 1, -1, -1 - 1E-11});
    DVector B = Vector({3, 5});
    LinearSolver(A, B);
    EXPECT_EQ(B(1), 3.0);
    EXPECT_EQ(B(2), 0.0);

    // The same with the rows given the other way round.
    A = Matrix(2, {-1, -1 - 1E-11, 1, 1});
    B = Vector({5, 3});
    LinearSolver(A, B);
    EXPECT_EQ(B(1), -5.0);
    EXPECT_EQ(B(2), 0.0);
}

TEST(LinearSolversGaussJordan, ThresholdIsAbsoluteAndInclusive) {
    // A pivot of exactly 1E-10 is used; one just below it is not.
    DMatrix A = Matrix(1, {1E-10});
    DVector B = Vector({2E-10});
    LinearSolver(A, B);
    EXPECT_EQ(B(1), 2E-10 / 1E-10);
    A = Matrix(1, {std::nextafter(1E-10, 0.0)});
    B = Vector({2E-10});
    LinearSolver(A, B);
    EXPECT_EQ(B(1), 0.0);
}

// ---- both solvers ----

TEST(LinearSolversAgreement, WellConditionedSystems) {
    std::mt19937 rng(2718);
    for (int n : {5, 50, 200}) {
        const DMatrix original = WellConditioned(n, rng);
        const DVector x = RandomVector(n, rng);
        const DVector rhs = Times(original, x);

        DMatrix luA = original;
        IVector INDX(n);
        DVector lu = rhs;
        LUDCMP(luA, INDX);
        LUBKSB(luA, INDX, lu);

        DMatrix gjA = original;
        DVector gj = rhs;
        LinearSolver(gjA, gj);

        double scale = 0;
        for (int i = 1; i <= n; ++i) scale = std::max(scale, std::fabs(x(i)));
        for (int i = 1; i <= n; ++i) {
            EXPECT_NEAR(lu(i), gj(i), 1e-12 * scale) << "n = " << n << ", i = " << i;
            EXPECT_NEAR(gj(i), x(i), 1e-10 * scale) << "n = " << n << ", i = " << i;
        }
    }
}

TEST(LinearSolversArithmetic, OverflowEndsTheSolveNamingTheEquation) {
    // The pivot 1.5E-10 passes the threshold and 1E300 / 1.5E-10 overflows.
    DMatrix A = Matrix(2, {1.5E-10, 1E300, 0, 1});
    DVector B = Vector({1, 1});
    const std::string gj = ThrownMessage([&] { LinearSolver(A, B); });
    EXPECT_EQ(gj.rfind("floating-point overflow", 0), 0u) << gj;
    EXPECT_NE(gj.find("in LinearSolver while solving 2 equations"), std::string::npos) << gj;

    // Equal rows: the 1E-20 pivot turns a large difference into an overflow
    // in the back substitution.
    A = Matrix(2, {1, 2, 1, 2});
    IVector INDX(2);
    LUDCMP(A, INDX);
    B = Vector({1E300, -1E300});
    const std::string lu = ThrownMessage([&] { LUBKSB(A, INDX, B); });
    EXPECT_NE(lu.find("floating-point overflow in LUBKSB"), std::string::npos) << lu;
    // x2 = 2E300 / 1E-20 overflows, and x1 = -1E300 - 2 x2 follows it.
    EXPECT_NE(lu.find("the solution of equation 1 is minus infinite"), std::string::npos) << lu;

    // A row of subnormal magnitude: its scale 1 / Big overflows.
    A = Matrix(2, {1E-310, 0, 0, 1});
    const std::string scale = ThrownMessage([&] { LUDCMP(A, INDX); });
    EXPECT_EQ(scale.rfind("floating-point overflow", 0), 0u) << scale;
    EXPECT_NE(scale.find("in LUDCMP"), std::string::npos) << scale;
}

TEST(LinearSolversArithmetic, UndefinedInputIsNotPassedOn) {
    DMatrix A = Matrix(2, {1, 0, 0, 1});
    DVector B = Vector({1, std::nan("")});
    // 0 * NaN reaches the first component too, which is the first one named.
    const std::string msg = ThrownMessage([&] { LinearSolver(A, B); });
    EXPECT_EQ(msg, "LinearSolver while solving 2 equations: the solution of equation 1 is not a number");

    // A healthy solve afterwards is not blamed for the earlier fault.
    A = Matrix(2, {2, 0, 0, 4});
    B = Vector({1, 1});
    EXPECT_EQ(ThrownMessage([&] { LinearSolver(A, B); }), "");
    EXPECT_EQ(B(2), 0.25);
}

// ---- Solve ----

TEST(LinearSolversSolve, LinearMethodChoosesTheSolver) {
    testing::TempDir dir;
    testing::TestState t(dir.Path());
    ModelState& s = t.s;
    // A zero row and column: the LU path stops, the Gauss-Jordan path gives 0.
    const DMatrix singular = Matrix(3, {2, 0, 1, 0, 0, 0, 1, 0, 3});
    const DVector rhs = Vector({3, 9, 4});

    s.opt.LinearMethod = LINEAR_METHOD_GAUSS_JORDAN;
    DMatrix A = singular;
    DVector B = rhs;
    Solve(s, A, B);
    EXPECT_EQ(B(2), 0.0);
    EXPECT_DOUBLE_EQ(B(1), 1);
    EXPECT_DOUBLE_EQ(B(3), 1);

    // Letter case matters: only the exact name selects LU.
    s.opt.LinearMethod = "numericalrecipes";
    A = singular;
    B = rhs;
    Solve(s, A, B);
    EXPECT_EQ(B(2), 0.0);

    s.opt.LinearMethod = LINEAR_METHOD_LU;
    A = singular;
    B = rhs;
    EXPECT_EQ(ThrownMessage([&] { Solve(s, A, B); }), "SINGULAR MATRIX in LUDCMP");

    // A regular system through LU leaves its pivots in the run's INDX.
    A = Matrix(2, {1, 1, 4, 1});
    B = Vector({3, 6});
    Solve(s, A, B);
    ASSERT_GE(s.sys.INDX.Size(), 2);
    EXPECT_EQ(s.sys.INDX(1), 2);
    EXPECT_DOUBLE_EQ(B(1), 1);
    EXPECT_DOUBLE_EQ(B(2), 2);
}

}  // namespace
}  // namespace ostra
