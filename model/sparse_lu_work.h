// sparse_lu_work.h -- what the sparse LU solves of one run keep between
// solves: the matrix factored last, its pattern by columns, KLU's objects
// and the counts of what was done. Data only; solvers/klu_solver.cpp fills
// and reads it.
//
// Exports: SparseLUCounts, KluObjects (declared), KluObjectsFree, SparseLUWork.
#pragma once

#include <memory>
#include <vector>

#include "model/sparse_matrix.h"

namespace ostra {

// What the sparse LU solver has done in a run.
struct SparseLUCounts {
    long analyses = 0;          // symbolic analyses: one per sparsity pattern met
    long factorizations = 0;    // numeric factorizations with fresh pivoting
    long refactorizations = 0;  // numeric factorizations on the pivots of the last one
    long resolves = 0;          // solves on the factors kept because the matrix stood
    long solves = 0;            // every solve
    double seconds = 0;         // wall time spent in the sparse LU solves
    // The quality of the accepted solves: the smallest pivot ratio (pivot
    // over the largest element of its column, in the row-scaled matrix) and
    // the largest normwise backward error met (-1: no solve yet).
    double smallestPivotRatio = -1;
    double largestBackwardError = -1;
    // Only when SparseLUWork::estimateCondition is set: the largest 1-norm
    // condition estimate of a factored matrix (KLU's klu_condest) and the
    // largest bound on a solve's normwise relative forward error, condition
    // estimate times (backward error + machine epsilon) (-1: none yet).
    double largestConditionEstimate = -1;
    double largestErrorBound = -1;
};

// KLU's control block, analysis and factors: defined and made by the
// solver (solvers/klu_solver.cpp), which also hands over the function that
// frees them, so that this data layer needs nothing from the solver.
struct KluObjects;
using KluObjectsFree = void (*)(KluObjects*);

// Working storage of the sparse LU solves of one run. Nothing in it is
// shared between two ModelState objects.
struct SparseLUWork {
    // The matrix factored last by rows (as the run holds it): row starts
    // (0-based positions, n + 1 of them), columns (0-based) and values.
    int n = 0;
    std::vector<int> rowStart, cols;
    std::vector<double> values;
    // The same pattern by columns, as KLU takes it; cscPosition[k] is where
    // row entry k stands in cscValues.
    std::vector<int> colStart, rowIndex, cscPosition;
    std::vector<double> cscValues;
    bool factorsValid = false;
    bool factorsFresh = false;  // the factors come from fresh pivoting
    double pivotRatio = 0;           // the smallest pivot ratio of the factors
    double conditionEstimate = -1;   // of the factors, when estimated (-1: not yet)
    std::vector<double> conditionWork;  // the solve of the condition bound
    std::vector<double> rhs;    // right-hand side of the solve in progress
    std::unique_ptr<KluObjects, KluObjectsFree> klu{nullptr, nullptr};
    SparseLUCounts counts;
    // Set by a caller that wants condition estimates (they cost a few
    // solves per factorization); a run leaves it off.
    bool estimateCondition = false;
    // Newton iteration's Jacobian and df/dC, by their non-zeros.
    DSparse jacobian;
    DSparse dfdc;
};

}  // namespace ostra
