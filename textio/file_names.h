// file_names.h -- file names matched without regard to letter case.
//
// Exports: LowerCase, FindFile, OutputPath, DeleteMatching.
//
// Every file of a model directory is named by the system in one spelling
// ("BOUNDARY.csv", "linearKdandTempCoef.csv") while users and companion
// programs spell them as they like. All opening, creating and deleting goes
// through these functions so that one file is never seen under two names.
#pragma once

#include <filesystem>
#include <string>

namespace textio {

// `text` with its ASCII letters in lower case: how names are compared.
std::string LowerCase(std::string text);

// The existing regular file in `dir` whose name equals `name` ignoring case
// (an exact match is preferred); `dir / name` when there is none.
std::filesystem::path FindFile(const std::filesystem::path& dir, const std::string& name);

// The path to create `name` in `dir`: removes every existing file whose name
// differs from `name` only in letter case, so writing replaces instead of
// creating a twin.
std::filesystem::path OutputPath(const std::filesystem::path& dir, const std::string& name);

// Deletes every regular file in `dir` whose name matches `pattern` ignoring
// case; the pattern may hold '*' and '?' wildcards ("*.dng").
// Returns the number of files deleted.
int DeleteMatching(const std::filesystem::path& dir, const std::string& pattern);

}  // namespace textio
