// elimination_record.h -- what one Gauss-Jordan elimination did, kept so that
// it can be applied again to a new right-hand side.
//
// Exports: SolveReport, EliminationRecord.
//
// A linear implicit run solves a system whose matrix often stays the same from
// step to step while the right-hand side changes. The elimination of such a
// matrix does the same operations on the right-hand side every time: divide
// the pivot entry by its pivot, then subtract multiples of it from the other
// entries. The record keeps exactly those operations (pivot rows, pivots,
// non-zero multipliers, column by column) so that replaying them gives the
// bits a fresh elimination would give. Data only; the solvers fill and read it.
#pragma once

#include <cstddef>
#include <vector>

#include "model/sparse_matrix.h"

namespace ostra {

// What a solve did that its solution does not show.
struct SolveReport {
    // The first solution component fixed at 0 because every pivot candidate
    // of its column was below the threshold 1E-10 (0 when none), the largest
    // of those candidates in magnitude, and how many components were fixed.
    int fixedComponent = 0;
    double largestCandidate = 0;
    int fixedCount = 0;
    // LUDCMP: the columns whose zero pivot was replaced by 1E-20.
    std::vector<int> replacedPivots;
};

struct EliminationRecord {
    bool valid = false;
    int n = 0;
    DSparse matrix;  // the matrix the elimination was made from
    // Column K = 1..n (index 0 unused): the row that served as pivot row,
    // its pivot A(P, K), and whether the column fell below the threshold
    // (the component is then fixed at 0 and the column eliminates nothing).
    std::vector<int> pivotRow;
    std::vector<double> pivot;
    std::vector<unsigned char> fixed;
    // Non-zero multipliers of column K: rows multRow[i] with multipliers
    // mult[i] for i in [multStart[K], multStart[K + 1]).
    std::vector<std::size_t> multStart;
    std::vector<int> multRow;
    std::vector<double> mult;
    // RowOrder after the elimination: component K stands in row rowOrder[K].
    std::vector<int> rowOrder;
    SolveReport report;
};

}  // namespace ostra
