// companion_io.h -- the request and answer files as a companion program sees them.
//
// Exports: ReadRequest, WriteAnswer, CompanionMain.
//
// A companion program runs in the model directory, reads the request file
// that `ostra` has just written (comma- or line-separated numbers, no header),
// writes its answer one Single a line in the general number format with
// CR LF, and exits. When it cannot answer it writes nothing, prints why on
// standard error and exits with status 1. The files are named relative to a
// directory: the program passes its working directory ("."), a caller that
// does a program's work in its own process passes the model directory.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace textio {

// The numbers of request `file` (found in any letter case in `dir`): the
// time first when `withTime`, then `count` values returned as Singles in
// values[1..count] (values[0] unused). `nameFormat` names value
// i in messages, e.g. "X(%d)". Throws DataError when the file is missing or
// short; values beyond `count` are ignored.
struct Request {
    double time = 0;
    std::vector<float> values;
};
Request ReadRequest(const std::filesystem::path& dir, const std::string& file, bool withTime, int count,
                    const char* nameFormat);

// Writes values[1..] one a line to `file` in `dir`. A value that is not a
// finite Single (the computation overflowed the Single range or was
// undefined) throws DataError naming it by `nameFormat`, e.g. "F(%d)",
// before anything is written, so no answer is left.
void WriteAnswer(const std::filesystem::path& dir, const std::string& file, const std::vector<float>& values,
                 const char* nameFormat);

// Runs `body`; a DataError it throws becomes "<program>: <message>" on
// standard error and exit status 1. Returns the exit status.
int CompanionMain(const char* program, const std::function<void()>& body);

}  // namespace textio
