// klu_solver.h -- the sparse LU solver of a run: SuiteSparse's KLU on the
// non-zeros of the system matrix, with its analysis and factors kept for as
// long as the matrix allows.
//
// Exports: SparseLUAvailable, SparsePivot, SparseLUPivots, SparseLUSolve (the data the solves keep:
// model/sparse_lu_work.h).
//
// A run that chooses "SPARSE-LU" ("Control.csv" pair 37) sends every linear
// solve here: the steady state, the implicit time steps and each Newton
// step. The matrix of a solve is compared with the one factored last:
//   - another sparsity pattern: a symbolic analysis (klu_analyze) and a
//     numeric factorization with fresh pivoting (klu_factor);
//   - the same pattern, other values (bit for bit): a refactorization on the
//     pivots of the last factorization (klu_refactor), done again with
//     fresh pivoting when those pivots no longer serve (see klu_solver.cpp);
//   - the same matrix: only the substitutions (klu_solve).
// A singular or numerically singular matrix ends the run through Error,
// naming the equation and the time. This header does not need KLU itself:
// a build without it still compiles, and a "SPARSE-LU" run then ends with a
// message saying so.
#pragma once

#include <vector>

#include "model/arrays.h"
#include "model/sparse_lu_work.h"
#include "model/sparse_matrix.h"

namespace ostra {

struct ModelState;

// True when this build has the sparse LU solver.
bool SparseLUAvailable();

// One pivot of the sparse LU factors: the equation (row) and the unknown
// (column) it stands in, 1-based, and its size over the largest element of
// its column, every row divided by its largest element.
struct SparsePivot {
    int row = 0, column = 0;
    double ratio = 0;
};

// The pivots of the factors of the last solve, in the order of elimination
// (empty when there are none, and in a build without KLU).
std::vector<SparsePivot> SparseLUPivots(const ModelState& s);

// Solves matrix X = rhs (N = matrix.Rows()) by KLU; the solution replaces
// rhs. `time` is the time the solution belongs to (-999: the steady state)
// and `system` names the matrix in messages ("the system matrix"). Ends the
// run through Error on a singular or numerically singular matrix, on values
// that are not finite, and in a build without KLU.
void SparseLUSolve(ModelState& s, const DSparse& matrix, DVector& rhs, Double time,
                   const char* system);

}  // namespace ostra
