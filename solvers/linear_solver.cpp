// linear_solver.cpp -- Gauss-Jordan elimination with a row-order vector, and
// the choice between it and the LU solver.
//
// Exports: LinearSolver, Solve.
//
// The rows of A are never moved: RowOrder(K) names the row that serves as
// the K-th pivot row. The right-hand side is carried as column N + 1. The
// elimination runs along rows, which are contiguous, one element at a time
// in the order of the plain algorithm.
#include "solvers/linear_solver.h"

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "model/elimination_record.h"
#include "solvers/arithmetic_watch.h"
#include "solvers/lu.h"
#include "textio/errors.h"

namespace ostra {
namespace {

// Position of the pivot among RowOrder(K..N): the largest magnitude in
// column K, the earliest position among equal ones.
int FindPivot(const std::vector<double*>& row, const std::vector<int>& RowOrder, int K, int N,
              double& MaxAbs) {
    int PivotRow = K;
    MaxAbs = std::fabs(row[RowOrder[K]][K]);
    for (int J = K; J <= N; ++J) {
        const double v = std::fabs(row[RowOrder[J]][K]);
        if (v > MaxAbs) {
            PivotRow = J;
            MaxAbs = v;
        }
    }
    return PivotRow;
}

// r(J) = r(J) - m p(J) for J = from..N.
inline void Eliminate(double* __restrict r, const double* __restrict p, double m, int from, int N) {
    for (int J = from; J <= N; ++J) r[J] = r[J] - m * p[J];
}

}  // namespace

void LinearSolver(DMatrix& A, DVector& B) { LinearSolver(A, B, nullptr); }

void LinearSolver(DMatrix& A, DVector& B, SolveReport* report) {
    if (report) *report = SolveReport{};
    const int N = A.Rows();
    if (A.Cols() != N)
        throw textio::DataError("LinearSolver: the matrix is " + std::to_string(A.Rows()) + " x " +
                                std::to_string(A.Cols()) + ", not square");
    if (B.Size() < N)
        throw textio::DataError("LinearSolver: the right-hand side has " + std::to_string(B.Size()) +
                                " entries for " + std::to_string(N) + " equations");
    if (N == 0) return;
    ArithmeticWatch watch;

    std::vector<double*> row(N + 1, nullptr);
    for (int I = 1; I <= N; ++I) row[I] = A.Row(I);
    double* b = B.Data();
    std::vector<int> RowOrder(N + 1);
    for (int I = 1; I <= N; ++I) RowOrder[I] = I;

    for (int K = 1; K <= N; ++K) {
        double MaxAbs = 0;
        const int PivotRow = FindPivot(row, RowOrder, K, N, MaxAbs);
        std::swap(RowOrder[K], RowOrder[PivotRow]);
        const int P = RowOrder[K];
        double* p = row[P];

        if (MaxAbs >= GAUSS_JORDAN_PIVOT_MIN) {
            const double pivot = p[K];  // A(P, K) itself stays as it is
            for (int J = K + 1; J <= N; ++J) p[J] = p[J] / pivot;
            b[P] = b[P] / pivot;
        } else {
            // Too small a pivot: component K is fixed at zero, equation P dropped.
            for (int J = K + 1; J <= N; ++J) p[J] = 0;
            b[P] = 0;
            if (report) {
                if (report->fixedCount == 0) {
                    report->fixedComponent = K;
                    report->largestCandidate = MaxAbs;
                }
                ++report->fixedCount;
            }
        }

        const double bP = b[P];
        for (int I = 1; I <= N; ++I) {
            if (I == K) continue;
            const int R = RowOrder[I];
            double* r = row[R];
            const double m = r[K];
            Eliminate(r, p, m, K + 1, N);
            b[R] = b[R] - m * bP;
        }
    }

    // Component K stands in row RowOrder(K).
    std::vector<double> X(N + 1);
    for (int K = 1; K <= N; ++K) X[K] = b[RowOrder[K]];
    for (int K = 1; K <= N; ++K) b[K] = X[K];
    CheckSolution(watch, "LinearSolver", B, N);
}

void Solve(ModelState& s, DMatrix& matrix, DVector& rhs) {
    if (s.opt.LinearMethod == LINEAR_METHOD_LU) {
        if (s.sys.INDX.Size() < matrix.Rows()) s.sys.INDX.Resize(matrix.Rows());
        LUDCMP(matrix, s.sys.INDX);
        LUBKSB(matrix, s.sys.INDX, rhs);
    } else {
        LinearSolver(matrix, rhs);
    }
}

}  // namespace ostra
