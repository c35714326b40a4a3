// error.h -- the fatal-error operation and the ends of a run.
//
// Exports: Error, ReportFatal, EndRun, RunEnded, CheckStop, AddWarning, AddWarningOnce, NoteResultFile,
// FATAL_ERROR_BOX, STOPPED_BY_USER.
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
inline constexpr const char* STOPPED_BY_USER = "run stopped by the user";

// Thrown to end a run; `status` is the exit status of `ostra`.
struct RunEnded {
    int status;
};

// Writes "Error.dng" in the model directory, hands the message to the
// display and shows the fatal-error box. A directory where "Error.dng" cannot
// be written still gets the message on the display, with that said.
void ReportFatal(ModelState& s, const std::string& ErrorString);

// Fatal data error: ReportFatal, then ends the run (exit status 1). Never returns.
[[noreturn]] void Error(ModelState& s, const std::string& ErrorString);

// Ends the run with `status` without writing "Error.dng". Never returns.
[[noreturn]] void EndRun(int status);

// Ends the run as a fatal error, "run stopped by the user", when the display
// asks for it. Called between steps and iterations.
void CheckStop(ModelState& s);

// Records a doubtful result; the run goes on and shows it at its end.
void AddWarning(ModelState& s, const std::string& text);
// The same, unless the run has recorded this warning already.
void AddWarningOnce(ModelState& s, const std::string& text);

// Notes a result file the run has created (the summary names them).
void NoteResultFile(ModelState& s, const std::string& name);

}  // namespace ostra
