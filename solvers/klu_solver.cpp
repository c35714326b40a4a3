// klu_solver.cpp -- sparse LU solves by SuiteSparse's KLU, the analysis kept
// per sparsity pattern and the factors kept while the matrix stands.
//
// Exports: SparseLUAvailable, SparseLUPivots, SparseLUSolve.
//
// The run holds its matrices by rows; KLU takes them by columns. The pattern
// of the matrix factored last is kept in both forms, with the position of
// every row entry in the column form, so that new values on the same
// pattern are handed over in one pass. Every solve compares its matrix with
// the kept one, element by element and bit for bit, in that same pass.
//
// KLU runs with its defaults: a block triangular form, AMD ordering of the
// blocks, rows scaled by their largest entry, threshold partial pivoting
// (a diagonal pivot is kept while it is at least 0.001 of the largest in
// its column) and a stop at the first zero pivot.
//
// A solve is refused (the run ends through Error) when
//  1. a factorization with fresh pivoting meets a zero pivot: the matrix is
//     singular. KLU names the column without a pivot (Common.singular_col),
//     that is the unknown -- the concentration of that equation -- that the
//     equations leave undetermined;
//  2. a pivot is below 2^-42 (1024 machine epsilons, about 2.3E-13) times
//     the largest element of its column in the row-scaled matrix that KLU
//     factors (each row divided by the scale factor KLU gave it, which KLU
//     keeps in the row order of its pivots): the elimination has cancelled that column down to the size of
//     its rounding errors (a matrix singular but for rounding leaves a few
//     epsilons there, and thousands of updates can leave hundreds), so the
//     factors do not determine the unknown of that column, which is named.
//     The ratio does not change when a row or a column is scaled (units of
//     volume, flow or concentration), unlike the ratio of the smallest to
//     the largest pivot or a condition estimate of the unscaled matrix;
//  3. the condition number of the matrix, rows and then columns scaled to
//     a largest element of 1, is at least 1 / (machine epsilon), about
//     4.5E+15, by an estimate from below: no digit of the answer is
//     determined. Pivots need not be small for that (with threshold
//     pivoting the factors may grow), and the backward error cannot tell;
//  4. the answer x has a normwise backward error
//     |b - A x| / (|A| |x| + |b|) (maximum norms) above 2^-26, about 1.5E-8:
//     it solves a system that differs from the given one in the eighth
//     digit, which LU with pivoting gives only when its elements have grown
//     out of bounds. The equation with the largest residual is named.
// A refactorization keeps the pivot order of the factorization before it,
// chosen for other values; when it meets any of these, the matrix is
// factored again with fresh pivoting, and only a failure of that ends the
// run. The same matrix factored afresh gives the same factors, so a solve
// on kept factors gives the bits a new factorization would give.
//
// Values that are not finite (in the matrix, the right-hand side or the
// answer) end the run as well, naming the equation.
#include "solvers/klu_solver.h"

#include <algorithm>
#include <cfloat>
#include <chrono>
#include <cmath>
#include <cstring>
#include <string>

#include "model/constants.h"
#include "model/equation_names.h"
#include "model/error.h"
#include "model/model_state.h"
#include "textio/errors.h"
#include "textio/number_format.h"

#if defined(OSTRA_HAVE_KLU)
#include <klu.h>
#endif

namespace ostra {

#if defined(OSTRA_HAVE_KLU)

struct KluObjects {
    klu_common common;
    klu_symbolic* symbolic = nullptr;
    klu_numeric* numeric = nullptr;

    KluObjects() { klu_defaults(&common); }
    ~KluObjects() {
        FreeNumeric();
        if (symbolic) klu_free_symbolic(&symbolic, &common);
    }
    KluObjects(const KluObjects&) = delete;
    KluObjects& operator=(const KluObjects&) = delete;
    void FreeNumeric() {
        if (numeric) klu_free_numeric(&numeric, &common);
    }
};

#else

struct KluObjects {};

#endif

namespace {
[[maybe_unused]] void FreeKluObjects(KluObjects* objects) { delete objects; }
}  // namespace

#if !defined(OSTRA_HAVE_KLU)

bool SparseLUAvailable() { return false; }

std::vector<SparsePivot> SparseLUPivots(const ModelState&) { return {}; }

void SparseLUSolve(ModelState& s, const DSparse&, DVector&, Double, const char*) {
    Error(s, "this build of ostra has no sparse LU solver (SuiteSparse's KLU was not found when "
             "it was built), so \"Control.csv\" pair 37 cannot choose SPARSE-LU; choose "
             "GAUSS-JORDAN, or build ostra where libsuitesparse-dev is installed");
}

#else

bool SparseLUAvailable() { return true; }

namespace {

// The limits of criteria 2 to 4.
constexpr double PIVOT_RATIO_MIN = SPARSE_LU_PIVOT_RATIO_MIN;
constexpr double BACKWARD_ERROR_MAX = SPARSE_LU_BACKWARD_ERROR_MAX;
constexpr double CONDITION_MAX = SPARSE_LU_CONDITION_MAX;
static_assert(PIVOT_RATIO_MIN == 1024 * DBL_EPSILON && CONDITION_MAX == 1 / DBL_EPSILON);

std::string Prefix(const char* system, Double time) {
    return std::string("the sparse LU solver could not solve ") + system + " " + TimeInText(time) + ": ";
}

[[noreturn]] void NotFinite(ModelState& s, const char* system, Double time, const char* what,
                            int equation, double value) {
    s.work.sparseLU.factorsValid = false;
    Error(s, Prefix(system, time) + what + " of " + EquationName(s, equation) + " is " +
                 textio::NumberInText(value) + ", not a finite number");
}

[[noreturn]] void KluFailed(ModelState& s, const char* system, Double time, const char* call) {
    const int status = s.work.sparseLU.klu->common.status;
    s.work.sparseLU.factorsValid = false;
    if (status == KLU_OUT_OF_MEMORY) throw std::bad_alloc();
    Error(s, Prefix(system, time) + call + " failed with KLU status " + std::to_string(status));
}

// Why a factorization or its answer cannot be used.
struct Refusal {
    enum Kind { NONE, ZERO_PIVOT, SMALL_PIVOT, ILL_CONDITIONED, BACKWARD_ERROR, ANSWER_NOT_FINITE } kind = NONE;
    int equation = 0;    // 1-based
    double measure = 0;  // pivot ratio or backward error
};

[[noreturn]] void Refuse(ModelState& s, const char* system, Double time, const Refusal& r) {
    s.work.sparseLU.factorsValid = false;
    const std::string eq = EquationName(s, r.equation);
    const std::string hint =
        "; an equation with no term in the matrix (no interface, sink or outflow, and in a time "
        "step no storage either) or a group of equations with no way out has no solution";
    switch (r.kind) {
        case Refusal::ZERO_PIVOT:
            Error(s, "the sparse LU solver found " + std::string(system) + " singular " +
                         TimeInText(time) + ": no pivot is left for the solution of " + eq +
                         ", which the equations do not determine" + hint);
        case Refusal::SMALL_PIVOT:
            Error(s, "the sparse LU solver found " + std::string(system) + " numerically singular " +
                         TimeInText(time) + ": the pivot of the solution of " + eq + " is " +
                         textio::NumberInText(r.measure) +
                         " times the largest element of its column, below " +
                         textio::NumberInText(PIVOT_RATIO_MIN) +
                         ": the elimination has cancelled the column down to its rounding errors, "
                         "so the factors do not determine it" + hint);
        case Refusal::ILL_CONDITIONED:
            Error(s, "the sparse LU solver found " + std::string(system) + " numerically singular " +
                         TimeInText(time) + ": its condition number, every row and column scaled to a "
                         "largest element of 1, is at least " + textio::NumberInText(r.measure) +
                         ", beyond " + textio::NumberInText(CONDITION_MAX) +
                         " (one over the machine epsilon), so no digit of the solution of " + eq +
                         " is determined" + hint);
        case Refusal::ANSWER_NOT_FINITE:
            // Factors made afresh that passed the tests of singularity: the
            // answer itself is out of range.
            Error(s, Prefix(system, time) + "the solution of " + eq + " is " + textio::NumberInText(r.measure) +
                         ": the answer of these equations is beyond the range of numbers (about 1.8E+308), "
                         "although the matrix passed the tests of singularity");
        default:
            Error(s, Prefix(system, time) + "even with fresh pivoting the answer leaves a residual in " +
                         eq + " that makes its backward error " + textio::NumberInText(r.measure) +
                         ", above " + textio::NumberInText(BACKWARD_ERROR_MAX) +
                         "; the matrix is too close to singular for this solver");
    }
}

// Keeps `matrix` (rows and columns) as the matrix of the next factorization.
void StoreMatrix(ModelState& s, const DSparse& matrix, const char* system, Double time) {
    SparseLUWork& w = s.work.sparseLU;
    const int n = matrix.Rows();
    w.n = n;
    w.rowStart.assign(static_cast<std::size_t>(n) + 1, 0);
    w.cols.clear();
    w.values.clear();
    std::vector<int> count(static_cast<std::size_t>(n) + 1, 0);
    for (int i = 1; i <= n; ++i) {
        for (const auto& e : matrix.Row(i)) {
            if (!std::isfinite(e.value)) NotFinite(s, system, time, "an element in the row", i, e.value);
            w.cols.push_back(e.col - 1);
            w.values.push_back(e.value);
            ++count[static_cast<std::size_t>(e.col)];
        }
        w.rowStart[static_cast<std::size_t>(i)] = static_cast<int>(w.cols.size());
    }
    const std::size_t nz = w.cols.size();
    w.colStart.assign(static_cast<std::size_t>(n) + 1, 0);
    for (int j = 1; j <= n; ++j)
        w.colStart[static_cast<std::size_t>(j)] =
            w.colStart[static_cast<std::size_t>(j - 1)] + count[static_cast<std::size_t>(j)];
    std::vector<int> next(w.colStart.begin(), w.colStart.end() - 1);
    w.rowIndex.assign(nz, 0);
    w.cscPosition.assign(nz, 0);
    w.cscValues.assign(nz, 0.0);
    for (int i = 0; i < n; ++i)
        for (int p = w.rowStart[static_cast<std::size_t>(i)]; p < w.rowStart[static_cast<std::size_t>(i) + 1]; ++p) {
            const int q = next[static_cast<std::size_t>(w.cols[static_cast<std::size_t>(p)])]++;
            w.rowIndex[static_cast<std::size_t>(q)] = i;
            w.cscPosition[static_cast<std::size_t>(p)] = q;
            w.cscValues[static_cast<std::size_t>(q)] = w.values[static_cast<std::size_t>(p)];
        }
}

enum class Change { NONE, VALUES, PATTERN };

// Compares `matrix` with the kept one and takes over its values when only
// they differ (checked finite). PATTERN leaves the kept matrix to StoreMatrix.
Change TakeValues(ModelState& s, const DSparse& matrix, const char* system, Double time) {
    SparseLUWork& w = s.work.sparseLU;
    const int n = matrix.Rows();
    if (n != w.n || matrix.NonZeros() != w.cols.size()) return Change::PATTERN;
    bool changed = false;
    for (int i = 1; i <= n; ++i) {
        const auto& row = matrix.Row(i);
        std::size_t p = static_cast<std::size_t>(w.rowStart[static_cast<std::size_t>(i) - 1]);
        if (row.size() != static_cast<std::size_t>(w.rowStart[static_cast<std::size_t>(i)]) - p)
            return Change::PATTERN;
        for (const auto& e : row) {
            if (e.col - 1 != w.cols[p]) return Change::PATTERN;
            if (std::memcmp(&e.value, &w.values[p], sizeof(double)) != 0) {
                if (!std::isfinite(e.value)) NotFinite(s, system, time, "an element in the row", i, e.value);
                w.values[p] = e.value;
                w.cscValues[static_cast<std::size_t>(w.cscPosition[p])] = e.value;
                changed = true;
            }
            ++p;
        }
    }
    return changed ? Change::VALUES : Change::NONE;
}

void Analyze(ModelState& s, const char* system, Double time) {
    SparseLUWork& w = s.work.sparseLU;
    KluObjects& k = *w.klu;
    k.FreeNumeric();
    if (k.symbolic) klu_free_symbolic(&k.symbolic, &k.common);
    w.factorsValid = false;
    k.symbolic = klu_analyze(w.n, w.colStart.data(), w.rowIndex.data(), &k.common);
    if (!k.symbolic) KluFailed(s, system, time, "the analysis of its sparsity pattern");
    ++w.counts.analyses;
}

// The pivots of the factors KLU has made, in the order of elimination:
// each pivot with the largest element of its column in the matrix as KLU
// factors it, every row divided by its scale factor. KLU keeps those
// factors (Rs) in the pivot order of the factorization (Rs[k] belongs to
// row Pnum[k]), so the scale of an original row r is Rs[Pinv[r]].
std::vector<SparsePivot> Pivots(const SparseLUWork& w) {
    const KluObjects& k = *w.klu;
    const double* U = static_cast<const double*>(k.numeric->Udiag);
    const double* Rs = k.numeric->Rs;  // null when the rows are not scaled
    const int* Pinv = k.numeric->Pinv;
    std::vector<SparsePivot> pivots(static_cast<std::size_t>(w.n));
    for (int pos = 0; pos < w.n; ++pos) {
        const int j = k.symbolic->Q[pos];
        double columnMax = 0;
        for (int p = w.colStart[static_cast<std::size_t>(j)]; p < w.colStart[static_cast<std::size_t>(j) + 1]; ++p) {
            const double a = std::fabs(w.cscValues[static_cast<std::size_t>(p)]);
            const int row = w.rowIndex[static_cast<std::size_t>(p)];
            columnMax = std::fmax(columnMax, Rs ? a / Rs[Pinv[row]] : a);
        }
        double ratio = columnMax > 0 ? std::fabs(U[pos]) / columnMax : 0;
        if (std::isnan(ratio)) ratio = 0;
        SparsePivot& pivot = pivots[static_cast<std::size_t>(pos)];
        pivot.row = k.numeric->Pnum[pos] + 1;
        pivot.column = j + 1;
        pivot.ratio = ratio;
    }
    return pivots;
}

// Criterion 2 on factors KLU has made; NONE when they pass. The smallest
// ratio is kept in `smallest`.
Refusal CheckPivots(const SparseLUWork& w, double& smallest) {
    Refusal r;
    smallest = INFINITY;
    for (const SparsePivot& p : Pivots(w))
        if (p.ratio < smallest) {
            smallest = p.ratio;
            r.equation = p.column;
        }
    if (smallest >= PIVOT_RATIO_MIN) return Refusal{};
    r.kind = Refusal::SMALL_PIVOT;
    r.measure = smallest;
    return r;
}

// Criterion 3 on factors that passed criterion 2: a lower bound of the
// 1-norm condition number of the matrix with its rows and then its columns
// scaled to a largest element of 1 (units of the equations and of the
// unknowns left out), from one solve with the factors: |S^-1 x| / |x|
// times |S| for x of alternating signs and growing size (a vector of equal
// entries is blind to two equations that nearly repeat each other), made
// sharper near the limit. The bound is never above the condition, so only
// a matrix that is singular to working precision is refused; the unknown
// named is the one the solve magnified most.
Refusal CheckCondition(SparseLUWork& w) {
    const int n = w.n;
    std::vector<double> rowScale(static_cast<std::size_t>(n), 0), colScale(static_cast<std::size_t>(n), 0),
        colSum(static_cast<std::size_t>(n), 0);
    for (int i = 0; i < n; ++i)
        for (int p = w.rowStart[static_cast<std::size_t>(i)]; p < w.rowStart[static_cast<std::size_t>(i) + 1]; ++p)
            rowScale[static_cast<std::size_t>(i)] =
                std::fmax(rowScale[static_cast<std::size_t>(i)], std::fabs(w.values[static_cast<std::size_t>(p)]));
    for (int i = 0; i < n; ++i)
        for (int p = w.rowStart[static_cast<std::size_t>(i)]; p < w.rowStart[static_cast<std::size_t>(i) + 1]; ++p) {
            double& c = colScale[static_cast<std::size_t>(w.cols[static_cast<std::size_t>(p)])];
            c = std::fmax(c, std::fabs(w.values[static_cast<std::size_t>(p)]) / rowScale[static_cast<std::size_t>(i)]);
        }
    for (int i = 0; i < n; ++i)
        for (int p = w.rowStart[static_cast<std::size_t>(i)]; p < w.rowStart[static_cast<std::size_t>(i) + 1]; ++p) {
            const std::size_t j = static_cast<std::size_t>(w.cols[static_cast<std::size_t>(p)]);
            colSum[j] += std::fabs(w.values[static_cast<std::size_t>(p)]) / rowScale[static_cast<std::size_t>(i)] / colScale[j];
        }
    double normS = 0;
    for (int j = 0; j < n; ++j) normS = std::fmax(normS, colSum[static_cast<std::size_t>(j)]);
    KluObjects& k = *w.klu;
    // S = R^-1 A C^-1, so S^-1 v = C A^-1 R v and S^-T v = R A^-T C v.
    auto solve = [&](std::vector<double>& v, bool transposed) {
        const std::vector<double>& before = transposed ? colScale : rowScale;
        const std::vector<double>& after = transposed ? rowScale : colScale;
        for (int i = 0; i < n; ++i) v[static_cast<std::size_t>(i)] *= before[static_cast<std::size_t>(i)];
        const int ok = transposed ? klu_tsolve(k.symbolic, k.numeric, n, 1, v.data(), &k.common)
                                  : klu_solve(k.symbolic, k.numeric, n, 1, v.data(), &k.common);
        for (int i = 0; i < n; ++i) v[static_cast<std::size_t>(i)] *= after[static_cast<std::size_t>(i)];
        return ok != 0;
    };
    // |v| (1-norm) and the position of its largest entry.
    auto norm = [&](const std::vector<double>& v, int& largestAt) {
        double sum = 0, largest = -1;
        for (int i = 0; i < n; ++i) {
            const double a = std::fabs(v[static_cast<std::size_t>(i)]);
            sum += a;
            if (!(a <= largest)) {
                largest = a;
                largestAt = i;
            }
        }
        return sum;
    };
    Refusal r;
    std::vector<double>& y = w.conditionWork;
    y.assign(static_cast<std::size_t>(n), 0);
    double normX = 0;
    for (int i = 0; i < n; ++i) {
        y[static_cast<std::size_t>(i)] = (i % 2 == 0 ? 1.0 : -1.0) * (1.0 + (n > 1 ? static_cast<double>(i) / (n - 1) : 0.0));
        normX += std::fabs(y[static_cast<std::size_t>(i)]);
    }
    int at = 0;
    if (!solve(y, false)) return r;
    double inverse = norm(y, at) / normX;  // a bound from below of |S^-1|
    r.equation = at + 1;
    // Near the limit, the bound is sharpened by Hager's method (as LAPACK's
    // condition estimators do): from x = (1/n, ...), up to five steps of
    // y = S^-1 x, z = S^-T sign(y), x = the unit vector where |z| is largest.
    if (inverse * normS >= CONDITION_MAX / 1024 && inverse * normS < CONDITION_MAX) {
        std::vector<double> x(static_cast<std::size_t>(n), 1.0 / n), z(static_cast<std::size_t>(n));
        double best = 0;
        for (int step = 0; step < 5; ++step) {
            y = x;
            if (!solve(y, false)) break;
            const double estimate = norm(y, at);
            if (step > 0 && estimate <= best) break;
            best = estimate;
            if (best > inverse) {
                inverse = best;
                r.equation = at + 1;
            }
            for (int i = 0; i < n; ++i) z[static_cast<std::size_t>(i)] = y[static_cast<std::size_t>(i)] < 0 ? -1.0 : 1.0;
            if (!solve(z, true)) break;
            int j = 0;
            double zx = 0, largest = -1;
            for (int i = 0; i < n; ++i) {
                zx += z[static_cast<std::size_t>(i)] * x[static_cast<std::size_t>(i)];
                if (std::fabs(z[static_cast<std::size_t>(i)]) > largest) {
                    largest = std::fabs(z[static_cast<std::size_t>(i)]);
                    j = i;
                }
            }
            if (step > 0 && largest <= zx) break;
            std::fill(x.begin(), x.end(), 0.0);
            x[static_cast<std::size_t>(j)] = 1;
        }
    }
    const double estimate = inverse * normS;
    if (estimate < CONDITION_MAX) return Refusal{};
    r.kind = Refusal::ILL_CONDITIONED;
    r.measure = estimate;
    return r;
}

// A factorization with fresh pivoting (criteria 1 to 3).
Refusal FreshFactor(ModelState& s, const char* system, Double time) {
    SparseLUWork& w = s.work.sparseLU;
    KluObjects& k = *w.klu;
    k.FreeNumeric();
    w.factorsValid = false;
    w.conditionEstimate = -1;
    k.numeric = klu_factor(w.colStart.data(), w.rowIndex.data(), w.cscValues.data(), k.symbolic,
                           &k.common);
    ++w.counts.factorizations;
    if (!k.numeric) {
        if (k.common.status != KLU_SINGULAR) KluFailed(s, system, time, "the factorization");
        Refusal r;
        r.kind = Refusal::ZERO_PIVOT;
        // The column without a pivot; where KLU did not give it, the column
        // of the first zero pivot in the order of the analysis.
        int column = k.common.singular_col;
        if ((column < 0 || column >= w.n) && k.common.numerical_rank >= 0 && k.common.numerical_rank < w.n)
            column = k.symbolic->Q[k.common.numerical_rank];
        r.equation = column >= 0 && column < w.n ? column + 1 : 1;
        return r;
    }
    w.factorsValid = true;
    w.factorsFresh = true;
    const Refusal pivots = CheckPivots(w, w.pivotRatio);
    return pivots.kind != Refusal::NONE ? pivots : CheckCondition(w);
}

// A factorization on the kept pivot order; false when it does not serve.
bool Refactor(SparseLUWork& w) {
    KluObjects& k = *w.klu;
    w.factorsValid = false;
    ++w.counts.refactorizations;
    w.conditionEstimate = -1;
    if (!klu_refactor(w.colStart.data(), w.rowIndex.data(), w.cscValues.data(), k.symbolic,
                      k.numeric, &k.common))
        return false;
    w.factorsValid = true;
    w.factorsFresh = false;
    return CheckPivots(w, w.pivotRatio).kind == Refusal::NONE && CheckCondition(w).kind == Refusal::NONE;
}

// Criterion 4 for the answer x of the kept right-hand side (and an answer
// that is not finite).
Refusal CheckAnswer(const SparseLUWork& w, const double* x) {
    Refusal r;
    for (int i = 0; i < w.n; ++i)
        if (!std::isfinite(x[i])) {
            r.kind = Refusal::ANSWER_NOT_FINITE;
            r.equation = i + 1;
            r.measure = x[i];
            return r;
        }
    double residual = 0, normA = 0, normX = 0, normB = 0;
    int worst = 0;
    for (int i = 0; i < w.n; ++i) {
        const std::size_t row = static_cast<std::size_t>(i);
        double ri = w.rhs[row], rowAbs = 0;
        for (int p = w.rowStart[row]; p < w.rowStart[row + 1]; ++p) {
            const double a = w.values[static_cast<std::size_t>(p)];
            ri -= a * x[w.cols[static_cast<std::size_t>(p)]];
            rowAbs += std::fabs(a);
        }
        const double size = std::isnan(ri) ? INFINITY : std::fabs(ri);
        if (size > residual) {
            residual = size;
            worst = i;
        }
        normA = std::fmax(normA, rowAbs);
        normX = std::fmax(normX, std::fabs(x[i]));
        normB = std::fmax(normB, std::fabs(w.rhs[row]));
    }
    // A residual beyond the range (or NaN) gives an error that is no number: refused.
    const double error = residual == 0 ? 0 : residual / (normA * normX + normB);
    r.measure = error;
    if (error <= BACKWARD_ERROR_MAX) return r;
    r.kind = Refusal::BACKWARD_ERROR;
    r.equation = worst + 1;
    r.measure = error;
    return r;
}

// Solves with the factors in place; the answer replaces x.
Refusal SolveWithFactors(ModelState& s, double* x, const char* system, Double time) {
    SparseLUWork& w = s.work.sparseLU;
    KluObjects& k = *w.klu;
    if (!klu_solve(k.symbolic, k.numeric, w.n, 1, x, &k.common))
        KluFailed(s, system, time, "the substitution");
    ++w.counts.solves;
    return CheckAnswer(w, x);
}

// Keeps the quality of an accepted solve: its pivot ratio and backward
// error, and where asked for the condition estimate of its factors.
void Record(ModelState& s, double backwardError, const char* system, Double time) {
    SparseLUWork& w = s.work.sparseLU;
    SparseLUCounts& c = w.counts;
    if (c.smallestPivotRatio < 0 || w.pivotRatio < c.smallestPivotRatio) c.smallestPivotRatio = w.pivotRatio;
    c.largestBackwardError = std::fmax(c.largestBackwardError, backwardError);
    if (!w.estimateCondition) return;
    KluObjects& k = *w.klu;
    if (w.conditionEstimate < 0) {
        if (!klu_condest(w.colStart.data(), w.cscValues.data(), k.symbolic, k.numeric, &k.common))
            KluFailed(s, system, time, "the condition estimate");
        w.conditionEstimate = k.common.condest;
    }
    c.largestConditionEstimate = std::fmax(c.largestConditionEstimate, w.conditionEstimate);
    c.largestErrorBound = std::fmax(c.largestErrorBound, w.conditionEstimate * (backwardError + DBL_EPSILON));
}

}  // namespace

std::vector<SparsePivot> SparseLUPivots(const ModelState& s) {
    const SparseLUWork& w = s.work.sparseLU;
    if (!w.factorsValid || !w.klu || !w.klu->numeric) return {};
    return Pivots(w);
}

void SparseLUSolve(ModelState& s, const DSparse& matrix, DVector& rhs, Double time,
                   const char* system) {
    const int n = matrix.Rows();
    if (rhs.Size() < n)
        throw textio::DataError("SparseLUSolve: the right-hand side has " + std::to_string(rhs.Size()) +
                                " entries for " + std::to_string(n) + " equations");
    if (n == 0) return;
    SparseLUWork& w = s.work.sparseLU;
    if (!w.klu) w.klu = std::unique_ptr<KluObjects, KluObjectsFree>(new KluObjects, FreeKluObjects);
    const auto started = std::chrono::steady_clock::now();

    double* x = rhs.Data() + 1;
    for (int i = 0; i < n; ++i)
        if (!std::isfinite(x[i])) NotFinite(s, system, time, "the right-hand side", i + 1, x[i]);
    w.rhs.assign(x, x + n);

    Change change = w.klu->symbolic ? TakeValues(s, matrix, system, time) : Change::PATTERN;
    if (change == Change::PATTERN) {
        StoreMatrix(s, matrix, system, time);
        // A matrix without one element leaves every unknown undetermined
        // (and KLU takes no empty pattern).
        if (w.cols.empty()) {
            Refusal empty;
            empty.kind = Refusal::ZERO_PIVOT;
            empty.equation = 1;
            Refuse(s, system, time, empty);
        }
        Analyze(s, system, time);
    }
    Refusal refusal;
    bool factored = true;
    if (!w.factorsValid || change == Change::PATTERN) {
        refusal = FreshFactor(s, system, time);
    } else if (change == Change::VALUES) {
        if (!Refactor(w)) refusal = FreshFactor(s, system, time);
    } else {
        factored = false;
    }
    if (refusal.kind != Refusal::NONE) Refuse(s, system, time, refusal);

    refusal = SolveWithFactors(s, x, system, time);
    if (refusal.kind != Refusal::NONE && !w.factorsFresh) {
        // Pivots chosen for other values: pivot afresh and solve again.
        std::memcpy(x, w.rhs.data(), sizeof(double) * static_cast<std::size_t>(n));
        refusal = FreshFactor(s, system, time);
        if (refusal.kind == Refusal::NONE) refusal = SolveWithFactors(s, x, system, time);
    }
    if (refusal.kind != Refusal::NONE) Refuse(s, system, time, refusal);
    if (!factored) ++w.counts.resolves;
    Record(s, refusal.measure, system, time);
    w.counts.seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
}

#endif  // OSTRA_HAVE_KLU

}  // namespace ostra
