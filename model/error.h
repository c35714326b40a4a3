// error.h -- the fatal-error operation and the ends of a run.
//
// Exports: Error, ReportFatal, EndRun, RunEnded, FATAL_ERROR_BOX.
//
// A fatal data error writes "Error.dng" ("Error:  " + message + CR LF) before
// anything else can fail, shows "Fatal Error Detected -- see Error.dng file"
// and unwinds to the run driver by throwing RunEnded, so every open file is
// flushed and closed on the way. Set-up conflicts, Newton's give-up and a
// declined prompt end the run through EndRun with their own exit status.
#pragma once

#include <filesystem>
#include <string>

#include "model/constants.h"

namespace ostra {

struct ModelState;

inline constexpr const char* FATAL_ERROR_BOX = "Fatal Error Detected -- see Error.dng file";

// Thrown to end a run; `status` is the exit status of `ostra`.
struct RunEnded {
    int status;
};

// Writes "Error.dng" in the model directory and shows the fatal-error box.
void ReportFatal(ModelState& s, const std::string& ErrorString);

// Fatal data error: ReportFatal, then ends the run (exit status 1). Never returns.
[[noreturn]] void Error(ModelState& s, const std::string& ErrorString);

// Ends the run with `status` without writing "Error.dng". Never returns.
[[noreturn]] void EndRun(int status);

}  // namespace ostra
