// solver_agreement.h -- how far the runs of one model with the two linear
// solvers (Gauss-Jordan and sparse LU) may differ, and the checks of it.
//
// Exports: SquareMatrix, EquilibratedCondition, OneNormCondition,
// SolverRefusal, ClassifyRunError, SolverRun, RefuseConditionLimit,
// SINGULAR_CONDITION, JudgeOutcomes, ResultTolerance, CompareResultFile.
//
// The two solvers have different documented limits. Gauss-Jordan fixes an
// unknown whose pivot candidates are all below 1E-10 in magnitude (absolute,
// so a regular matrix in small units trips it); the sparse LU solver refuses
// a zero pivot, a pivot below 2^-42 times the largest element of its column
// in the row-scaled matrix, and a backward error above 2^-26 (relative, so
// units do not matter). Where one run solves and the other refuses, the
// harness asks whether the matrix is close to singular by a measure that no
// scaling changes: its 1-norm condition after equilibration by rows and then
// by columns (within a factor n of the best diagonal scaling), computed in
// extended precision. JudgeOutcomes says which disagreements no documented
// limit explains. Where both solve, their results may differ by what the
// conditioning of the solves allows; CompareResultFile compares them row by
// row, normwise, against that allowance.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace ostra::fuzz {

// A square matrix by rows: row starts (0-based positions, n + 1 of them),
// 0-based columns and values.
struct SquareMatrix {
    int n = 0;
    std::vector<int> rowStart, cols;
    std::vector<double> values;
};

// The largest order the condition estimates below take on (dense work).
inline constexpr int CONDITION_MAX_ORDER = 400;

// The 1-norm condition of `m` after its rows and then its columns are
// scaled to a largest element of 1: +inf for a matrix singular in extended
// precision (a zero row or column, or a zero pivot), NaN when it cannot be
// told (an element that is not finite, no matrix, order above
// CONDITION_MAX_ORDER).
double EquilibratedCondition(const SquareMatrix& m);

// The 1-norm condition of `m` as it stands (no scaling); as above for the
// cases without an answer.
double OneNormCondition(const SquareMatrix& m);

// Why a run ended, as its "Error.dng" tells.
enum class SolverRefusal {
    NONE,              // no "Error.dng"
    GAUSS_JORDAN,      // Gauss-Jordan's absolute pivot limit with no solution at 0
    SPARSE_SINGULAR,   // the sparse LU solver's zero pivot, small pivot or backward error
    SPARSE_NOT_FINITE, // the sparse LU solver met a value that is not finite in its input
    SPARSE_OVERFLOW,   // the sparse LU solver's answer of a matrix it accepted is out of range
    GAUSS_JORDAN_OVERFLOW,  // Gauss-Jordan's elimination or answer out of range
    SPARSE_INTERNAL,   // a KLU call failed: a fault of the program, never of the data
    OTHER,             // any other message
};

SolverRefusal ClassifyRunError(const std::string& errorText);

// What the harness keeps of one run.
struct SolverRun {
    int status = -1;
    SolverRefusal refusal = SolverRefusal::NONE;
    std::string error;       // "Error.dng", cut short
    bool undetermined = false;  // Gauss-Jordan set an undetermined unknown to 0 and went on
    double largestResult = 0;   // the largest magnitude of a number in its result files
};

// The largest magnitude of a number in the result file `bytes`.
double LargestNumber(const std::string& bytes);

// Results of this size or more (2^512) have products beyond the range of
// numbers: an elimination of their equations may overflow.
inline constexpr double OVERFLOWING_RESULT = 1.3407807929942597E+154;

// Condition above which the sparse LU solver may refuse a matrix: a pivot
// ratio below 2^-42 in a factorization whose multipliers are at most 1000
// (KLU's pivot tolerance 0.001) implies a condition of at least
// 2^-42 / (1 + 1000 (n - 1)) of the row- and column-scaled matrix; half of
// that leaves room for rounding.
double RefuseConditionLimit(int n);

// Condition at and above which a matrix is singular to working precision
// (condition times the double epsilon at least 1): a solver that solves it
// has not determined a single digit, and the sparse LU solver's pivot test
// is there to refuse it.
inline constexpr double SINGULAR_CONDITION = 4503599627370496.0;  // 2^52

// The finding in the outcomes of the two runs of one model, or "" when they
// agree or differ for a documented reason. `condition` gives the
// equilibrated condition of the matrix in question (NaN when none can be
// had); `newtonLimit` is the run's Newton convergence limit (0 for a run
// without Newton iteration); `n` the order of the system.
std::string JudgeOutcomes(const SolverRun& gaussJordan, const SolverRun& sparseLU,
                          const std::function<double()>& condition, int n, double newtonLimit);

// The allowed difference of the results of the two runs. A solve may err
// by `perSolve` relative to its answer, a converged Newton iteration by
// `newton`; in a time series the errors of the steps carry on, amplified
// by at most the largest growth of the results from one row to the next
// (g, at least 1), so the allowed difference of row k is
// E(k) = g E(k - 1) + (perSolve x solvesPerRow + newton) x scale(k), scale
// being the row's largest magnitude, plus the printed precision of the
// numbers (1E-14 of the row's largest);
// a profile may differ by (perSolve x totalSolves + newton + 1E-14) times
// its largest magnitude.
struct ResultTolerance {
    double perSolve = 0;     // error bound of one solve, with its safety factor
    double newton = 0;       // the part a converged Newton iteration leaves
    long solvesPerRow = 1;   // solves between two rows of a time series
    long totalSolves = 1;    // solves of the whole run
    double Whole() const;    // the relative allowance outside time series
};

// Compares the result file `name` of the two runs ("" when they agree
// within `tol`): the lines, the texts and the numbers outside the result
// blocks must be the same; the blocks (a row of a time series without its
// time, the concentrations of a profile) must agree normwise
// (ResultTolerance); of the mass balance only the state variables and
// which fields are numbers. With `complete` false (runs that ended early)
// only the rows both files hold are compared.
std::string CompareResultFile(const std::string& name, const std::string& gaussJordan,
                              const std::string& sparseLU, const ResultTolerance& tol, bool complete);

}  // namespace ostra::fuzz
