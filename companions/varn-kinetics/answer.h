// answer.h -- varn: the growth term f(C) of the two-state-variable kinetics example, as a function.
//
// Exports: companions::varn_kinetics::Answer.
//
// The program "varn" (main.cpp) calls it on its working directory; a
// caller that does the program's work in its own process calls it on the
// model directory (companions/in_process.h).
#pragma once

#include <filesystem>

namespace companions::varn_kinetics {

// Reads the request in `dir` and writes the answer there (answer.cpp says
// which files and what is computed); throws textio::DataError, leaving no
// answer, when it cannot answer.
void Answer(const std::filesystem::path& dir);

}  // namespace companions::varn_kinetics
