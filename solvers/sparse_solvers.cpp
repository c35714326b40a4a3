// sparse_solvers.cpp -- Gauss-Jordan elimination, its replay, and Crout LU
// with substitution, on the non-zeros of a matrix.
//
// Exports: LinearSolver (sparse), ReplayLinearSolver, LUDCMP (sparse),
// LUBKSB (sparse).
//
// Every operation of the dense solvers (linear_solver.cpp, lu.cpp) happens
// here on the same operands in the same order, except the updates
// r = r - m * p (and the dot-product terms Sum - a * b) with m or p an exact
// zero, which are left out; absent elements and the zeros of the input are
// not stored (zeros the elimination produces may stay). Each element still
// takes its remaining updates in the dense order; only independent rows of
// one pivot column are visited in another order.
//
// Why the solution has the dense bits (up to the sign of a zero), for finite
// values:
//  - A left-out update is r - (+-0): it gives r when r is not zero, and a
//    zero when r is a zero; only the sign of that zero may differ.
//  - The sign of a zero operand changes the result of x - y, x * y or x / y
//    (y not zero) only when that result is itself a zero: x - (+-0) = x and
//    (+-0) - y = -y for non-zero x, y; products and quotients of a zero are
//    zeros. So two computations whose values differ at most in the signs of
//    zeros stay so through any sequence of these operations. Divisors are
//    never zero: Gauss-Jordan pivots are at least 1E-10 in magnitude, LU
//    pivots that are zero become 1E-20.
//  - fabs and the comparisons (>, >=, ==, !=) do not see the sign of a zero,
//    so every pivot choice, the 1E-10 threshold, the zero-pivot rule and
//    FirstNonZero take the dense decisions, and the control flow is the
//    dense one.
//
// Non-finite values break the first point (0 * inf is NaN, not a zero), so:
//  - a matrix or right-hand side holding a non-finite value on entry is
//    solved by the dense solver from a dense copy;
//  - otherwise the sparse solve runs under an ArithmeticWatch. With finite
//    input, the first non-finite value of either computation comes from an
//    operation on finite operands that raises an overflow, a division by zero
//    or an invalid operation. Up to that operation both computations hold the
//    same values (up to zero signs, which do not decide whether an operation
//    raises), and it is one they both perform: a left-out update has a zero
//    factor and a finite other factor, so its product is a zero and raises
//    nothing. Operations the dense code does unconditionally and that can
//    raise (1 / Big, 1 / pivot, b(P) / pivot, Sum / diagonal) are done
//    unconditionally here too. Hence the sparse solve raises a flag exactly
//    when the dense one does; without a flag every value stayed finite and
//    the argument above holds throughout. With a flag the solve is done again
//    by the dense solver from the saved input, with the flags as they were
//    before the sparse attempt, so the outcome -- solution bits or the
//    DataError message -- is the dense one. Underflow and inexact results are
//    not faults and do not matter to the argument: both computations round
//    the same operations the same way.
//
// Gauss-Jordan keeps each row as a sorted list of its entries in the columns
// not yet eliminated (an entry of column K dies with column K), a list per
// column of the rows that may hold an entry there (a fill appends to it), and
// the inverse of RowOrder to tell used pivot rows from candidates. A row is
// updated in place where its columns agree with the pivot row's and merged
// where the pivot row brings fill. The cost follows the fill: about N^2/2
// updates for a chain. LU keeps sorted row lists in physical rows (an
// interchange swaps two positions), the lower factor by columns, and one
// dense scratch column; its bookkeeping visits all earlier columns for each
// column (N^2/2 in all).
#include "solvers/sparse_solvers.h"

#include <algorithm>
#include <cfenv>
#include <cmath>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "solvers/arithmetic_watch.h"
#include "solvers/linear_solver.h"
#include "solvers/lu.h"
#include "textio/errors.h"

namespace ostra {
namespace {

using Entry = DSparse::Entry;
using Row = DSparse::RowEntries;

constexpr int WATCHED = FE_OVERFLOW | FE_DIVBYZERO | FE_INVALID;

// The watched floating-point flags as they stood before a sparse attempt, so
// that a dense redo starts from the same state.
class SavedFlags {
public:
    SavedFlags() { std::fegetexceptflag(&saved_, WATCHED); }
    void Restore() const { std::fesetexceptflag(&saved_, WATCHED); }

private:
    std::fexcept_t saved_{};
};

void RequireEntries(int size, int N, const char* what, const char* who) {
    if (size < N)
        throw textio::DataError(std::string(who) + ": " + what + " has " + std::to_string(size) +
                                " entries for " + std::to_string(N) + " equations");
}

bool AllFinite(const DSparse& A) {
    for (int I = 1; I <= A.Rows(); ++I)
        for (const Entry& e : A.Row(I))
            if (!std::isfinite(e.value)) return false;
    return true;
}

bool AllFinite(const DVector& B, int N) {
    const double* b = B.Data();
    for (int I = 1; I <= N; ++I)
        if (!std::isfinite(b[I])) return false;
    return true;
}

DMatrix Dense(const DSparse& A) {
    const int N = A.Rows();
    DMatrix D(N, N, A.Name());
    for (int I = 1; I <= N; ++I) {
        double* d = D.Row(I);
        for (const Entry& e : A.Row(I)) d[e.col] = e.value;
    }
    return D;
}

// A receives the elements of D that are not zero.
void StoreDense(const DMatrix& D, DSparse& A) {
    for (int I = 1; I <= A.Rows(); ++I) {
        Row& r = A.MutableRow(I);
        r.clear();
        const double* d = D.Row(I);
        for (int J = 1; J <= A.Cols(); ++J)
            if (d[J] != 0) r.push_back({J, d[J]});
    }
}

void CopyInto(DVector& B, const std::vector<double>& saved) {
    std::copy(saved.begin(), saved.end(), B.Data());
}

// ---- Gauss-Jordan ----

// A record that holds only the matrix: its replay is a dense solve.
// (A may be record.matrix itself.)
void RecordMatrixOnly(EliminationRecord& record, const DSparse& A, const SolveReport& report) {
    DSparse matrix = A;
    record = EliminationRecord{};
    record.valid = true;
    record.n = matrix.Rows();
    record.matrix = std::move(matrix);
    record.report = report;
}

// True when the record holds the operations of all its columns.
bool HoldsOperations(const EliminationRecord& r) {
    const std::size_t n1 = static_cast<std::size_t>(r.n) + 1;
    return r.pivotRow.size() == n1 && r.pivot.size() == n1 && r.fixed.size() == n1 &&
           r.rowOrder.size() == n1 && r.multStart.size() == n1 + 1 && r.multRow.size() == r.mult.size() &&
           r.multStart[n1] == r.mult.size();
}

// Rows of the Gauss-Jordan elimination: the entries of row R from
// head[R] on, sorted by column, are those of the columns not yet eliminated;
// the entries before head[R] are dead and are dropped now and then.
struct LiveRows {
    std::vector<Row> row;
    std::vector<std::size_t> head;

    // The element of row R in column K, when no column below K is live.
    double At(int R, int K) const {
        const Row& r = row[R];
        const std::size_t h = head[R];
        return (h < r.size() && r[h].col == K) ? r[h].value : 0.0;
    }
    // Drops the first live entry of row R.
    void Advance(int R) {
        Row& r = row[R];
        std::size_t& h = head[R];
        if (++h >= 16 && 2 * h >= r.size()) {
            r.erase(r.begin(), r.begin() + static_cast<std::ptrdiff_t>(h));
            h = 0;
        }
    }
};

// The sparse elimination of A X = B; false when it raised a floating-point
// fault (B then holds no result and the record is not valid).
bool SparseGaussJordan(const DSparse& A, DVector& B, SolveReport& report, EliminationRecord* record) {
    const int N = A.Rows();
    ArithmeticWatch watch;

    LiveRows rows{std::vector<Row>(N + 1), std::vector<std::size_t>(N + 1, 0)};
    std::vector<std::vector<int>> colRows(N + 1);  // rows that may hold an entry in the column
    for (int I = 1; I <= N; ++I) {
        for (const Entry& e : A.Row(I)) {
            if (e.value == 0) continue;
            rows.row[I].push_back(e);
            colRows[e.col].push_back(I);
        }
    }
    std::vector<int> RowOrder(N + 1), position(N + 1);  // position[RowOrder[K]] = K
    for (int I = 1; I <= N; ++I) RowOrder[I] = position[I] = I;

    // The record is filled as the elimination goes (its storage is reused
    // from an earlier solve); it becomes valid only at the end.
    if (record) {
        record->valid = false;
        record->pivotRow.assign(N + 1, 0);
        record->pivot.assign(N + 1, 0.0);
        record->fixed.assign(N + 1, 0);
        record->multStart.assign(N + 2, 0);
        record->multRow.clear();
        record->mult.clear();
    }

    double* b = B.Data();
    std::vector<int> pcol;  // live non-zero entries of the pivot row
    std::vector<double> pval;
    Row tail;
    for (int K = 1; K <= N; ++K) {
        const std::vector<int>& candidates = colRows[K];
        // The earliest position among RowOrder(K..N) with the largest magnitude.
        int PivotPos = K;
        double MaxAbs = std::fabs(rows.At(RowOrder[K], K));
        for (int R : candidates) {
            const int pos = position[R];
            if (pos <= K) continue;
            const double v = std::fabs(rows.At(R, K));
            if (v > MaxAbs || (v == MaxAbs && pos < PivotPos)) {
                PivotPos = pos;
                MaxAbs = v;
            }
        }
        std::swap(RowOrder[K], RowOrder[PivotPos]);
        position[RowOrder[K]] = K;
        position[RowOrder[PivotPos]] = PivotPos;
        const int P = RowOrder[K];
        const double pivot = rows.At(P, K);
        const bool isFixed = !(MaxAbs >= GAUSS_JORDAN_PIVOT_MIN);

        pcol.clear();
        pval.clear();
        if (!isFixed) {
            Row& p = rows.row[P];  // p[head] is (K, pivot)
            for (std::size_t i = rows.head[P] + 1; i < p.size(); ++i) {
                p[i].value = p[i].value / pivot;
                if (p[i].value != 0) {
                    pcol.push_back(p[i].col);
                    pval.push_back(p[i].value);
                }
            }
            rows.Advance(P);
            b[P] = b[P] / pivot;
        } else {
            // Component K is fixed at zero, equation P dropped.
            rows.row[P].clear();
            rows.head[P] = 0;
            b[P] = 0;
            if (report.fixedCount == 0) {
                report.fixedComponent = K;
                report.largestCandidate = MaxAbs;
            }
            ++report.fixedCount;
        }
        if (record) {
            record->pivotRow[K] = P;
            record->pivot[K] = pivot;
            record->fixed[K] = isFixed ? 1 : 0;
            record->multStart[K] = record->mult.size();
        }

        const double bP = b[P];
        const std::size_t np = pcol.size();
        for (int R : candidates) {
            if (R == P) continue;
            Row& r = rows.row[R];
            if (rows.head[R] >= r.size() || r[rows.head[R]].col != K) continue;  // none in column K
            const double m = r[rows.head[R]].value;
            rows.Advance(R);
            if (m == 0) continue;
            if (np != 0) {
                // r(J) = r(J) - m p(J) over the non-zeros of p: in place while
                // the columns agree, then merged; new entries are fill.
                std::size_t i = rows.head[R], j = 0;
                for (; i < r.size() && j < np && r[i].col == pcol[j]; ++i, ++j)
                    r[i].value = r[i].value - m * pval[j];
                if (j < np && i == r.size()) {
                    for (; j < np; ++j) {
                        const double v = 0.0 - m * pval[j];
                        if (v == 0) continue;
                        r.push_back({pcol[j], v});
                        colRows[pcol[j]].push_back(R);
                    }
                } else if (j < np) {
                    const std::size_t split = i;
                    tail.clear();
                    for (; j < np; ++j) {
                        const int c = pcol[j];
                        while (i < r.size() && r[i].col < c) tail.push_back(r[i++]);
                        if (i < r.size() && r[i].col == c) {
                            tail.push_back({c, r[i++].value - m * pval[j]});
                        } else {
                            const double v = 0.0 - m * pval[j];
                            if (v == 0) continue;
                            tail.push_back({c, v});
                            colRows[c].push_back(R);
                        }
                    }
                    tail.insert(tail.end(), r.begin() + static_cast<std::ptrdiff_t>(i), r.end());
                    r.resize(split);
                    r.insert(r.end(), tail.begin(), tail.end());
                }
            }
            if (!isFixed) {
                if (bP != 0) b[R] = b[R] - m * bP;
                if (record) {
                    record->multRow.push_back(R);
                    record->mult.push_back(m);
                }
            }
        }
        std::vector<int>().swap(colRows[K]);
    }
    if (record) record->multStart[N + 1] = record->mult.size();

    // Component K stands in row RowOrder(K).
    std::vector<double> X(N + 1);
    for (int K = 1; K <= N; ++K) X[K] = b[RowOrder[K]];
    for (int K = 1; K <= N; ++K) b[K] = X[K];
    if (!watch.Raised().empty()) return false;
    CheckSolution(watch, "LinearSolver", B, N);

    if (record) {
        record->valid = true;
        record->n = N;
        record->matrix = A;
        record->rowOrder = std::move(RowOrder);
        record->report = report;
    }
    return true;
}

// The right-hand side operations of the record; false on a floating-point fault.
bool ReplayOperations(const EliminationRecord& rec, DVector& B) {
    const int N = rec.n;
    ArithmeticWatch watch;
    double* b = B.Data();
    for (int K = 1; K <= N; ++K) {
        const int P = rec.pivotRow[K];
        if (rec.fixed[K]) {
            b[P] = 0;
            continue;
        }
        b[P] = b[P] / rec.pivot[K];
        const double bP = b[P];
        if (bP == 0) continue;
        for (std::size_t i = rec.multStart[K]; i < rec.multStart[K + 1]; ++i) {
            const int R = rec.multRow[i];
            b[R] = b[R] - rec.mult[i] * bP;
        }
    }
    std::vector<double> X(N + 1);
    for (int K = 1; K <= N; ++K) X[K] = b[rec.rowOrder[K]];
    for (int K = 1; K <= N; ++K) b[K] = X[K];
    if (!watch.Raised().empty()) return false;
    CheckSolution(watch, "LinearSolver", B, N);
    return true;
}

// ---- LU ----

// (physical row, value) pairs of one column.
using ColumnEntries = std::vector<std::pair<int, double>>;

// Crout's method on the non-zeros of A; `factors` receives the rows of the
// factors in their final order. False when a floating-point fault was raised.
bool SparseCrout(const DSparse& A, IVector& INDX, std::vector<Row>& factors, SolveReport* report) {
    const int N = A.Rows();
    ArithmeticWatch watch;

    // Row scaling; the first all-zero row ends the run.
    std::vector<double> scale(N + 1);  // by physical row: the scale travels with its row
    for (int I = 1; I <= N; ++I) {
        double Big = 0;
        for (const Entry& e : A.Row(I)) {
            const double temp = std::fabs(e.value);
            if (temp > Big) Big = temp;
        }
        if (Big == 0) throw textio::DataError("SINGULAR MATRIX in LUDCMP");
        scale[I] = 1 / Big;
    }

    // Physical rows never move; row position I holds physical row perm[I].
    std::vector<Row> rows(N + 1);
    std::vector<ColumnEntries> original(N + 1), lower(N + 1);
    for (int I = 1; I <= N; ++I) {
        for (const Entry& e : A.Row(I)) {
            if (e.value == 0) continue;
            rows[I].push_back(e);
            original[e.col].push_back({I, e.value});
        }
    }
    std::vector<int> perm(N + 1), pos(N + 1);
    for (int I = 1; I <= N; ++I) perm[I] = pos[I] = I;

    std::vector<double> col(N + 1, 0.0);  // column J by position; zero outside `touched`
    std::vector<unsigned char> mark(N + 1, 0);
    std::vector<int> touched;
    auto touch = [&](int I) {
        if (!mark[I]) {
            mark[I] = 1;
            touched.push_back(I);
        }
    };

    for (int J = 1; J <= N; ++J) {
        for (const auto& [phys, v] : original[J]) {
            const int I = pos[phys];
            touch(I);
            col[I] = v;
        }
        // col(I) -= A(I, K) col(K) for K = 1, 2, ... below min(I, J): column
        // by column, so that each element takes its terms in the order of K,
        // and col(K) is final when column K of the lower factor is applied.
        for (int K = 1; K < J; ++K) {
            const double c = col[K];
            if (c == 0) continue;
            for (const auto& [phys, l] : lower[K]) {
                const int I = pos[phys];
                touch(I);
                col[I] = col[I] - l * c;
            }
        }

        // Pivot search: the last position with the largest scaled magnitude;
        // untouched positions are 0, so position N when all are 0.
        double Big = 0;
        int PivotRow = N;
        for (int I : touched) {
            if (I < J) continue;
            const double Scaled = scale[perm[I]] * std::fabs(col[I]);
            if (Scaled > Big || (Scaled == Big && I > PivotRow)) {
                PivotRow = I;
                Big = Scaled;
            }
        }
        touch(J);
        touch(PivotRow);
        if (PivotRow != J) {
            std::swap(perm[J], perm[PivotRow]);
            pos[perm[J]] = J;
            pos[perm[PivotRow]] = PivotRow;
            std::swap(col[J], col[PivotRow]);
        }
        INDX(J) = static_cast<Integer>(PivotRow);

        if (col[J] == 0) {
            col[J] = LU_TINY_PIVOT;
            if (report) report->replacedPivots.push_back(J);
        }
        if (J != N) {
            const double Recip = 1 / col[J];
            for (int I : touched)
                if (I > J) col[I] = col[I] * Recip;
        }
        for (int I : touched) {
            const double v = col[I];
            Row& r = rows[perm[I]];
            auto it =
                std::lower_bound(r.begin(), r.end(), J, [](const Entry& e, int c) { return e.col < c; });
            if (it != r.end() && it->col == J) {
                it->value = v;
            } else if (v != 0) {
                r.insert(it, Entry{J, v});
            }
            if (I > J && v != 0) lower[J].push_back({perm[I], v});
            col[I] = 0;
            mark[I] = 0;
        }
        touched.clear();
    }
    if (!watch.Raised().empty()) return false;

    factors.assign(N + 1, Row{});
    for (int I = 1; I <= N; ++I) factors[I].swap(rows[perm[I]]);
    return true;
}

// The dense LUDCMP on a copy of A; A receives its factors.
void DenseLUDCMP(DSparse& A, IVector& INDX, SolveReport* report) {
    DMatrix D = Dense(A);
    LUDCMP(D, INDX, report);
    StoreDense(D, A);
}

// Forward and back substitution on the stored factors; false on a fault.
bool SparseSubstitution(const DSparse& A, const IVector& INDX, DVector& B) {
    const int N = A.Rows();
    ArithmeticWatch watch;
    double* b = B.Data();
    auto from = [](const Row& r, int col) {
        return std::lower_bound(r.begin(), r.end(), col, [](const Entry& e, int c) { return e.col < c; });
    };

    // The products start at the first non-zero entry of the permuted right-hand side.
    int FirstNonZero = 0;
    for (int I = 1; I <= N; ++I) {
        const int Swapped = INDX(I);
        if (Swapped < 1 || Swapped > N)
            throw textio::DataError("LUBKSB: INDX(" + std::to_string(I) + ") = " + std::to_string(Swapped) +
                                    " is not a row of the " + std::to_string(N) + " equations");
        double Sum = b[Swapped];
        b[Swapped] = b[I];
        if (FirstNonZero != 0) {
            const auto& r = A.Row(I);
            for (auto it = from(r, FirstNonZero); it != r.end() && it->col < I; ++it)
                if (it->value != 0 && b[it->col] != 0) Sum = Sum - it->value * b[it->col];
        } else if (Sum != 0) {
            FirstNonZero = I;
        }
        b[I] = Sum;
    }
    for (int I = N; I >= 1; --I) {
        const auto& r = A.Row(I);
        auto it = from(r, I);
        double diagonal = 0;
        if (it != r.end() && it->col == I) diagonal = (it++)->value;
        double Sum = b[I];
        for (; it != r.end(); ++it)
            if (it->value != 0 && b[it->col] != 0) Sum = Sum - it->value * b[it->col];
        b[I] = Sum / diagonal;
    }
    if (!watch.Raised().empty()) return false;
    CheckSolution(watch, "LUBKSB", B, N);
    return true;
}

}  // namespace

void LinearSolver(const DSparse& A, DVector& B, SolveReport& report, EliminationRecord* record) {
    report = SolveReport{};
    if (record) record->valid = false;
    const int N = A.Rows();
    RequireEntries(B.Size(), N, "the right-hand side", "LinearSolver");
    if (N == 0) {
        if (record) RecordMatrixOnly(*record, A, report);
        return;
    }
    if (AllFinite(A) && AllFinite(B, N)) {
        const std::vector<double> saved(B.Data(), B.Data() + N + 1);
        const SavedFlags flags;
        if (SparseGaussJordan(A, B, report, record)) return;
        flags.Restore();
        CopyInto(B, saved);
        report = SolveReport{};
    }
    DMatrix D = Dense(A);
    LinearSolver(D, B, &report);
    if (record) RecordMatrixOnly(*record, A, report);
}

void ReplayLinearSolver(const EliminationRecord& record, DVector& B, SolveReport& report) {
    if (!record.valid) throw textio::DataError("ReplayLinearSolver: no elimination is recorded");
    const int N = record.n;
    if (record.matrix.Rows() != N)
        throw textio::DataError("ReplayLinearSolver: the record holds a matrix of " +
                                std::to_string(record.matrix.Rows()) + " equations for " + std::to_string(N));
    RequireEntries(B.Size(), N, "the right-hand side", "LinearSolver");
    report = record.report;
    if (N == 0) return;
    if (HoldsOperations(record) && AllFinite(B, N)) {
        const std::vector<double> saved(B.Data(), B.Data() + N + 1);
        const SavedFlags flags;
        if (ReplayOperations(record, B)) return;
        flags.Restore();
        CopyInto(B, saved);
    }
    DMatrix D = Dense(record.matrix);
    LinearSolver(D, B, &report);
}

void LUDCMP(DSparse& A, IVector& INDX, SolveReport* report) {
    if (report) *report = SolveReport{};
    const int N = A.Rows();
    RequireEntries(INDX.Size(), N, "INDX", "LUDCMP");
    if (N == 0) return;
    if (AllFinite(A)) {
        const SavedFlags flags;
        std::vector<Row> factors;
        if (SparseCrout(A, INDX, factors, report)) {
            for (int I = 1; I <= N; ++I) A.MutableRow(I).swap(factors[I]);
            return;
        }
        flags.Restore();
        if (report) *report = SolveReport{};
    }
    DenseLUDCMP(A, INDX, report);
}

void LUBKSB(const DSparse& A, const IVector& INDX, DVector& B) {
    const int N = A.Rows();
    RequireEntries(INDX.Size(), N, "INDX", "LUBKSB");
    RequireEntries(B.Size(), N, "the right-hand side", "LUBKSB");
    if (AllFinite(A) && AllFinite(B, N)) {
        const std::vector<double> saved(B.Data(), B.Data() + N + 1);
        const SavedFlags flags;
        if (SparseSubstitution(A, INDX, B)) return;
        flags.Restore();
        CopyInto(B, saved);
    }
    const DMatrix D = Dense(A);
    LUBKSB(D, INDX, B);
}

}  // namespace ostra
