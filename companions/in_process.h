// in_process.h -- the work of the example companion programs, done in the
// calling process.
//
// Exports: companions::RunInProcess.
//
// Each program under companions/ is a main() around an answer function
// (companions/<folder>/answer.h). A caller that would start one of them in a
// model directory can call its answer function there instead: the same
// request is read and the same answer written, without the cost of starting
// a process (some 10 ms a start).
#pragma once

#include <filesystem>
#include <string>

namespace companions {

// Does in `dir` what the program built from companions/<folder>/ does in its
// working directory, and returns the exit status it would end with: 0 with
// the answer written, 1 with "<program>: <why>" on standard error and no
// answer. A folder that holds no example program throws std::invalid_argument.
int RunInProcess(const std::string& folder, const std::filesystem::path& dir);

}  // namespace companions
