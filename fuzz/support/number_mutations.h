// number_mutations.h -- mutations of the numbers of a table that move its
// matrix towards the edges of the linear solvers.
//
// Exports: MutateNumbers.
//
// A table is taken line by line, each line as its comma-separated fields;
// a field that reads as a number is a value. A line is a row (a row of
// "AEqnSolver.csv" when it is written one row per line, a record of a
// compartment table). The mutations are those that change how a solver
// sees the matrix, not whether the reader takes it: a row or a column
// scaled by a power of ten, a row made a combination of two others (a
// singular matrix) or a copy of another times 1 + 10^-k (close to
// singular), an entry, a row or a column set to 0, an entry set to a power
// of ten or nudged in its last digits, two rows swapped. Numbers are
// written back with 17 significant digits, so that they read as the
// doubles computed.
#pragma once

#include <random>
#include <string>

namespace ostra::fuzz {

// `table` with one such mutation (unchanged when it holds no number). With
// `valuesOnly` the fields that look like indices (whole numbers below 100
// in magnitude) are left alone, as a compartment table's numbers of state
// variables, compartments and records should be.
std::string MutateNumbers(const std::string& table, bool valuesOnly, std::minstd_rand& random);

}  // namespace ostra::fuzz
