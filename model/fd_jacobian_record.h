// fd_jacobian_record.h -- what the finite-difference Jacobian of one run has
// found out about the residual and what it has done. Data only;
// solvers/fd_jacobian.cpp fills and reads it.
//
// Exports: FdJacobianMode, FdJacobianRecord.
#pragma once

#include <vector>

namespace ostra {

// How the finite-difference Jacobians of a run are formed.
enum class FdJacobianMode {
    Unset,    // not yet decided: taken from the environment at first need
    Grouped,  // columns that touch no common row share one evaluation pair
    Columns,  // every column by its own evaluation pair
};

struct FdJacobianRecord {
    FdJacobianMode mode = FdJacobianMode::Unset;

    // The rows whose residual a move of column J was seen to change
    // (index J, rows ascending), from the Jacobians formed column by column.
    bool patternFound = false;
    std::vector<std::vector<int>> changedRows;

    // The grouping in force: the pattern it was made from by columns (the
    // rows of column J are patternRows[patternStart[J] .. patternStart[J + 1]),
    // index 0 unused), the columns of each group, and the structure of the
    // coefficient matrix (row starts and columns) that entered the pattern.
    bool groupsValid = false;
    std::vector<int> patternStart, patternRows;
    std::vector<std::vector<int>> groups;
    std::vector<int> structureStart, structureCols;

    // What was done.
    long jacobians = 0;      // finite-difference Jacobians formed
    long byColumns = 0;      // ... of them column by column (the first, forced or formed again)
    long grouped = 0;        // ... of them grouped
    long formedAgain = 0;    // grouped Jacobians a changed row outside their pattern sent back
    long evaluations = 0;    // residual evaluations made for Jacobians
    long starts = 0;         // companion programs started by those evaluations
    int columns = 0;         // the columns of the last Jacobian (NEQN)
    int lastGroups = 0;      // groups of the last grouped Jacobian
    int fewestGroups = 0, mostGroups = 0;
};

}  // namespace ostra
