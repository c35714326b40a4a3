// ostra_process.h -- the real `ostra` started with options, with its output
// captured through files or through a pseudo-terminal of a given width.
//
// Exports (namespace ostra::testing): RunOstraWith, RunOstraInTerminal,
// CopyExampleWithCompanions, FileNames, Flat.
#pragma once

#include <fcntl.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace ostra::testing {

// `text` with every run of blanks and line breaks made one blank, so that
// the wrapped lines of a summary read as one.
inline std::string Flat(const std::string& text) {
    std::string out;
    for (char ch : text) {
        const bool blank = ch == ' ' || ch == '\n' || ch == '\r';
        if (blank && (out.empty() || out.back() == ' ')) continue;
        out += blank ? ' ' : ch;
    }
    return out;
}

inline std::string Quoted(const std::string& text) {
    std::string q = "'";
    for (char ch : text) q += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
    return q + "'";
}

// `ostra args...` with `input` on standard input; standard output and
// error are files, not terminals.
inline OstraRun RunOstraWith(const std::vector<std::string>& args, const std::string& input = "") {
    TempDir io;
    io.Write("stdin", input);
    std::string cmd = Quoted(OSTRA_EXE);
    for (const std::string& a : args) cmd += " " + Quoted(a);
    cmd += " < " + Quoted((io.Path() / "stdin").string()) + " > " + Quoted((io.Path() / "stdout").string()) +
           " 2> " + Quoted((io.Path() / "stderr").string());
    const int raw = std::system(cmd.c_str());
    OstraRun run;
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = io.Read("stdout");
    run.err = io.Read("stderr");
    return run;
}

// `ostra args...` with standard input, output and error on one
// pseudo-terminal `columns` wide; `out` is everything the terminal received.
inline OstraRun RunOstraInTerminal(const std::vector<std::string>& args, int columns) {
    winsize ws{};
    ws.ws_row = 24;
    ws.ws_col = static_cast<unsigned short>(columns);
    int master = -1;
    const pid_t pid = forkpty(&master, nullptr, nullptr, &ws);
    OstraRun run;
    if (pid < 0) return run;
    if (pid == 0) {
        std::vector<char*> argv{const_cast<char*>(OSTRA_EXE)};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(OSTRA_EXE, argv.data());
        _exit(127);
    }
    char buf[4096];
    for (;;) {
        const ssize_t n = read(master, buf, sizeof buf);
        if (n > 0) {
            run.out.append(buf, static_cast<std::size_t>(n));
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            break;  // EIO once the program has ended and closed the terminal
        }
    }
    close(master);
    int status = 0;
    waitpid(pid, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// Copies examples/<name> into `dir` with the companion programs its
// "companions.txt" names, taken from the build as tools/run-example.sh does.
inline void CopyExampleWithCompanions(const TempDir& dir, const std::string& name) {
    namespace fs = std::filesystem;
    const fs::path example = fs::path(OSTRA_SOURCE_DIR) / "examples" / name;
    dir.CopyFrom(example);
    std::ifstream list(example / "companions.txt");
    std::string folder, program;
    while (list >> folder >> program) {
        for (const auto& entry : fs::directory_iterator(fs::path(OSTRA_BINARY_DIR) / "companions" / folder)) {
            fs::copy_file(entry.path(), dir.Path() / program, fs::copy_options::overwrite_existing);
            fs::permissions(dir.Path() / program, fs::perms::owner_all);
        }
    }
}

// The names of the regular files in `dir`.
inline std::set<std::string> FileNames(const std::filesystem::path& dir) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        if (entry.is_regular_file()) names.insert(entry.path().filename().string());
    return names;
}

}  // namespace ostra::testing
