// scratch_model.h -- the example models held in memory, and the scratch
// model directory of one fuzzing process.
//
// Exports: ExampleModel, Examples, FindExample, TableNames, ScratchDir,
// WriteModel, Finding, ReadFileBytes, WriteFileBytes.
//
// Every harness starts from the example models of examples/: they are read
// once, when first asked for, from the folder compiled in as
// OSTRA_FUZZ_EXAMPLES (the environment variable of that name overrides it);
// the linear examples get starting guesses (and the steady one initial
// values) of their own model added, so that a fuzzed "Control.csv" that
// makes them nonlinear or dynamic still finds the files it needs; the
// nonlinear-sorption example takes 5 time steps instead of 30 (its runs are
// the costliest by far).
// An execution writes one model into the process's scratch directory --
// created on first use under $OSTRA_FUZZ_TMP, /dev/shm or $TMPDIR (in that
// order of preference) and removed when the process exits -- with some of
// its tables replaced by the fuzzer's bytes. Companion programs the example
// needs (its "companions.txt") are linked in from the build's companions/
// folder (OSTRA_FUZZ_COMPANIONS). With OSTRA_FUZZ_DUMP set to a directory,
// every model written is also copied there, with a "companions.txt" as the
// examples have (for reproducers: tools/run-example.sh runs such a copy).
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace ostra::fuzz {

struct ExampleModel {
    std::string name;                           // folder name under examples/
    std::map<std::string, std::string> tables;  // file name as spelled in the folder -> bytes
    // (companion folder under companions/, program name in the model directory)
    std::vector<std::pair<std::string, std::string>> companions;
};

// The example models, in a fixed order (the example numbers of the
// whole-run input format): river-network, river-network-steady,
// equation-solver, kinetics, quadratic-steady, nonlinear-sorption.
const std::vector<ExampleModel>& Examples();

// The example called `name`; aborts when there is none.
const ExampleModel& FindExample(const std::string& name);

// The input tables a model directory may hold, each in the spelling the
// examples use, in a fixed order (the file numbers of the whole-run input
// format).
const std::vector<std::string>& TableNames();

// The model directory of this process.
const std::filesystem::path& ScratchDir();

// Empties the scratch directory and writes the tables of `example` into it,
// with the tables named in `replaced` (names matched without regard to
// letter case) holding the given bytes instead -- or added, when the example
// has no such table -- and the example's companion programs linked in.
// Returns the scratch directory.
const std::filesystem::path& WriteModel(const ExampleModel& example,
                                        const std::map<std::string, std::string>& replaced);

// The bytes of the file at `path` into `bytes`; false (and `bytes` as it
// was) when it cannot be opened.
bool ReadFileBytes(const std::filesystem::path& path, std::string& bytes);

// Writes `bytes` as the whole file at `path`; a failure is a Finding.
void WriteFileBytes(const std::filesystem::path& path, const std::string& bytes);

// Reports a finding on standard error and aborts, so that libFuzzer saves
// the input that led to it.
[[noreturn]] void Finding(const std::string& what);

}  // namespace ostra::fuzz
