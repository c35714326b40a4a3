// model_directory.cpp -- the model check and the result files of a run.
#include "window/model_directory.h"

#include <chrono>
#include <fstream>
#include <system_error>

#include "textio/file_names.h"

namespace fs = std::filesystem;

namespace ostra::window {
namespace {

// File times come from the kernel's coarse clock, which may lag the clock
// read at the click by a few milliseconds.
constexpr auto CLOCK_SLACK = std::chrono::milliseconds(50);

ResultStamps::Stamp StampOf(const fs::path& path) {
    ResultStamps::Stamp stamp;
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) return stamp;
    stamp.written = fs::last_write_time(path, ec);
    if (ec) return stamp;
    stamp.size = fs::file_size(path, ec);
    if (ec) return stamp;
    stamp.exists = true;
    return stamp;
}

}  // namespace

std::string ModelDirectoryProblem(const fs::path& dir) {
    std::error_code ec;
    if (dir.empty()) return "no model directory is chosen";
    if (!fs::exists(dir, ec)) return "\"" + dir.string() + "\" does not exist";
    if (!fs::is_directory(dir, ec)) return "\"" + dir.string() + "\" is not a directory";
    if (!fs::is_regular_file(textio::FindFile(dir, "Control.csv"), ec))
        return "\"" + dir.string() + "\" holds no \"Control.csv\"; it is not a model directory";
    return "";
}

ResultStamps StampResults(const fs::path& dir) {
    ResultStamps stamps;
    stamps.taken = fs::file_time_type::clock::now();
    for (std::size_t i = 0; i < RESULT_FILES.size(); ++i)
        stamps.files[i] = StampOf(textio::FindFile(dir, RESULT_FILES[i]));
    return stamps;
}

std::vector<fs::path> ResultsOfThisRun(const fs::path& dir, const ResultStamps& before) {
    std::vector<fs::path> written;
    for (std::size_t i = 0; i < RESULT_FILES.size(); ++i) {
        const fs::path path = textio::FindFile(dir, RESULT_FILES[i]);
        const ResultStamps::Stamp now = StampOf(path);
        if (!now.exists) continue;
        const ResultStamps::Stamp& then = before.files[i];
        const bool changed = !then.exists || then.written != now.written || then.size != now.size;
        if (changed || now.written >= before.taken - CLOCK_SLACK) written.push_back(path);
    }
    return written;
}

std::string ErrorDngLine(const fs::path& dir) {
    std::ifstream in(textio::FindFile(dir, "Error.dng"), std::ios::binary);
    std::string line;
    if (!in || !std::getline(in, line)) return "";
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    return line;
}

}  // namespace ostra::window
