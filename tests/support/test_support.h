// test_support.h -- scratch model directories and running the real `ostra`.
//
// Exports: TempDir, BeginsWith, Crlf, ReadFileText, RunOstraExe, OstraRun, TestState.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "app/recording_display.h"
#include "model/model_state.h"

namespace ostra::testing {

// A fresh directory under the system temporary directory, removed with the object.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    // Writes `content` as it stands (use Crlf for CR LF lines).
    void Write(const std::string& name, const std::string& content) const;
    // Writes an executable file (a companion script).
    void WriteExecutable(const std::string& name, const std::string& content) const;
    std::string Read(const std::string& name) const;
    bool Exists(const std::string& name) const;
    // Copies every regular file of `from` into this directory.
    void CopyFrom(const std::filesystem::path& from) const;

private:
    std::filesystem::path path_;
};

// True when `text` starts with `start` (a message text that details follow).
inline bool BeginsWith(const std::string& text, const std::string& start) {
    return text.compare(0, start.size(), start) == 0;
}

// "a\nb\n" -> "a\r\nb\r\n".
std::string Crlf(const std::string& lf_text);

std::string ReadFileText(const std::filesystem::path& path);

struct OstraRun {
    int status = -1;
    std::string out;  // standard output
    std::string err;  // standard error
};
// Runs the real `ostra` executable on `dir`, feeding `input` on standard input.
OstraRun RunOstraExe(const std::filesystem::path& dir, const std::string& input = "");

// A ModelState on a directory with a recording display.
struct TestState {
    explicit TestState(const std::filesystem::path& dir) : s(dir, display) {}
    RecordingDisplay display;
    ModelState s;
};

}  // namespace ostra::testing
