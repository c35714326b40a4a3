// model_directory.h -- the model directory as the window sees it on disk.
//
// Exports: RESULT_FILES, ModelDirectoryProblem, ResultStamps, StampResults,
// ResultsOfThisRun, ErrorDngLine.
//
// Before a run the window refuses a directory that is no model (no
// "Control.csv" in any letter case) without writing anything there. A run
// replaces only the result files it writes and leaves older ones of other
// kinds alone, so the window notes the result files present at the click and
// afterwards draws only those the run wrote. Every ".dng" file on disk
// belongs to the latest run, so an "Error.dng" after a run is that run's.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace ostra::window {

// The result files the window can draw, in the order their pages are shown.
inline constexpr std::array<const char*, 4> RESULT_FILES = {
    "AllTimeSeries.csv", "OneCompTimeSeries.csv", "ProfileSnapshot.csv", "MassBalance.csv"};

// Why `dir` cannot be run ("" when it is a model directory).
std::string ModelDirectoryProblem(const std::filesystem::path& dir);

// What the result files looked like when the run was started.
struct ResultStamps {
    struct Stamp {
        bool exists = false;
        std::filesystem::file_time_type written{};
        std::uintmax_t size = 0;
    };
    std::filesystem::file_time_type taken{};
    std::array<Stamp, RESULT_FILES.size()> files{};
};

// Notes the result files of `dir` now, just before a run starts.
ResultStamps StampResults(const std::filesystem::path& dir);

// The result files in `dir` that the run started at `before` has written:
// changed since then, or written after the moment the stamps were taken.
std::vector<std::filesystem::path> ResultsOfThisRun(const std::filesystem::path& dir,
                                                    const ResultStamps& before);

// The first line of "Error.dng" in `dir`, trimmed ("" when there is none).
std::string ErrorDngLine(const std::filesystem::path& dir);

}  // namespace ostra::window
