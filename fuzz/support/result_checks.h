// result_checks.h -- what a run must have left in its model directory.
//
// Exports: CheckRunResults, InternalFault.
//
// After a run the harness of whole runs looks at the files it wrote. A run
// that ended with "Done!" (exit status 0) must have written complete result
// files holding only finite numbers: "AllTimeSeries.csv" with one row per
// time step, "OneCompTimeSeries.csv" with one row per print interval,
// "ProfileSnapshot.csv" with one line per equation and "MassBalance.csv"
// with one line per state variable, as the run options ask; every line
// ending CR LF, every row of a time series as wide as its header, no line
// saying the file is incomplete, no "Error.dng"; and its ".dng" dumps must
// hold only finite numbers too. A run that ended early must have left each
// result file it created with its header and the rows written so far and
// nothing else (finite numbers, rows as wide as the header), "Error.dng"
// after a fatal data error, and one of the documented exit statuses.
#pragma once

#include <string>

#include "model/model_state.h"

namespace ostra::fuzz {

// The first violation found in the files of the run `s` that returned
// `status`, or "" when there is none.
std::string CheckRunResults(const ModelState& s, int status);

// The message in "Error.dng" when it reports a fault of the program rather
// than of the data -- an array index that the checks let through, or an
// exception no reader expected -- else "".
std::string InternalFault(const std::filesystem::path& dir);

}  // namespace ostra::fuzz
