// answer.h -- telm: the storage factor R(C) of the nonlinear-sorption example, as a function.
//
// Exports: companions::telm::Answer.
//
// The program "telm" (main.cpp) calls it on its working directory; a
// caller that does the program's work in its own process calls it on the
// model directory (companions/in_process.h).
#pragma once

#include <filesystem>

namespace companions::telm {

// Reads the request in `dir` and writes the answer there (answer.cpp says
// which files and what is computed); throws textio::DataError, leaving no
// answer, when it cannot answer.
void Answer(const std::filesystem::path& dir);

}  // namespace companions::telm
