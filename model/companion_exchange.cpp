// companion_exchange.cpp -- request files and the start of companion programs.
//
// Exports: ShellFunction, WriteTime, WriteStatus, WriteTimeAndStatus, Exchange.
//
// A companion program computes a time-variable table or a nonlinear term for
// the main program. The exchange is: write "Shell<name>.csv", start the
// program in the model directory and wait for it to end, then the caller
// reads the answer. The program runs as a child process with the model
// directory as its working directory, standard input from /dev/null and the
// main program's standard output and error; there is no time limit. A
// companion runner in the state takes the place of the child process.
#include "model/companion_exchange.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <system_error>
#include <vector>

#include "model/error.h"
#include "textio/file_names.h"
#include "textio/text_writer.h"

extern char** environ;

namespace ostra {
namespace {

namespace fs = std::filesystem;

// "Flows.exe" -> "Flows"; a name without ".exe" (any letter case) stays.
std::string WithoutExe(const std::string& name) {
    const std::string ext = ".exe";
    if (name.size() <= ext.size()) return name;
    const std::string tail = name.substr(name.size() - ext.size());
    for (std::size_t i = 0; i < ext.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(tail[i])) != ext[i]) return name;
    return name.substr(0, name.size() - ext.size());
}

bool IsRegularFile(const fs::path& p) {
    std::error_code ec;
    return fs::is_regular_file(p, ec);
}

// The program file for FileToFire in the model directory: the name as given,
// then the name without ".exe", each in any letter case. Empty when none.
fs::path FindProgram(const fs::path& dir, const std::string& FileToFire) {
    fs::path p = textio::FindFile(dir, FileToFire);
    if (IsRegularFile(p)) return p;
    const std::string stem = WithoutExe(FileToFire);
    if (stem != FileToFire) {
        p = textio::FindFile(dir, stem);
        if (IsRegularFile(p)) return p;
    }
    return {};
}

// `Companion program "Flows.exe"`, naming the file found when its name differs.
std::string ProgramText(const std::string& FileToFire, const fs::path& program) {
    std::string text = "Companion program \"" + FileToFire + "\"";
    const std::string file = program.filename().string();
    if (!file.empty() && file != FileToFire) text += " (file \"" + file + "\")";
    return text;
}

// "SIGSEGV" where the C library knows the signal, else "signal 42".
std::string SignalName(int sig) {
    const char* abbrev = sigabbrev_np(sig);
    if (abbrev != nullptr) return std::string("SIG") + abbrev;
    return "number " + std::to_string(sig);
}

// Whatever the main program has written so far comes before the companion's output.
void FlushOutput() {
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
}

// Ends the run unless the program's exit status is 0.
void CheckExitStatus(ModelState& s, const std::string& FileToFire, const fs::path& program, int code) {
    if (code != 0)
        Error(s, ProgramText(FileToFire, program) + " ended with exit status " + std::to_string(code));
}

// Starts `program` with the model directory as working directory and
// /dev/null as standard input. Returns the process id, or ends the run.
pid_t StartProgram(ModelState& s, const std::string& FileToFire, const fs::path& program) {
    const std::string path = fs::absolute(program).string();
    const std::string dir = fs::absolute(s.Dir).string();
    const std::string arg0 = program.filename().string();

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());

    std::vector<char*> argv{const_cast<char*>(arg0.c_str()), nullptr};
    FlushOutput();
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        Error(s, ProgramText(FileToFire, program) + " in the model directory " + s.Dir.string() +
                     " could not be started: " + std::strerror(rc));
    return pid;
}

// Waits for `pid` to end and ends the run unless it exited with status 0.
void AwaitProgram(ModelState& s, const std::string& FileToFire, const fs::path& program, pid_t pid) {
    int status = 0;
    for (;;) {
        if (waitpid(pid, &status, 0) == pid) break;
        if (errno != EINTR)
            Error(s, ProgramText(FileToFire, program) + " could not be waited for: " +
                         std::strerror(errno));
    }
    if (WIFEXITED(status)) {
        CheckExitStatus(s, FileToFire, program, WEXITSTATUS(status));
        return;
    }
    if (WIFSIGNALED(status))
        Error(s, ProgramText(FileToFire, program) + " ended by signal " + SignalName(WTERMSIG(status)));
    Error(s, ProgramText(FileToFire, program) + " ended abnormally (wait status " +
                 std::to_string(status) + ")");
}

// Writes one request file: the optional time line, then the values.
void WriteRequest(ModelState& s, const std::string& filename, const Double* Time, const DVector* X) {
    textio::TextWriter out(s.Dir, "Shell" + filename + ".csv");
    if (Time != nullptr) out.Double(*Time).EndLine();
    if (X != nullptr)
        for (int i = 1; i <= s.opt.NEQN; ++i) out.Double((*X)(i)).EndLine();
    out.Close();
}

// One more start of `FileToFire`, in the total and in its program's count.
void CountStart(CompanionLog& log, const std::string& FileToFire) {
    ++log.starts;
    if (log.record) log.programs.push_back(FileToFire);
    for (auto& [program, count] : log.startsByProgram)
        if (program == FileToFire) {
            ++count;
            return;
        }
    log.startsByProgram.emplace_back(FileToFire, 1);
}

}  // namespace

void ShellFunction(ModelState& s, const std::string& FileToFire) {
    const fs::path program = FindProgram(s.Dir, FileToFire);
    if (program.empty()) {
        const std::string stem = WithoutExe(FileToFire);
        std::string looked = "\"" + FileToFire + "\"";
        if (stem != FileToFire) looked += " or \"" + stem + "\"";
        Error(s, "Companion program \"" + FileToFire + "\" not found in the model directory " +
                     s.Dir.string() + " (no file named " + looked + " in any letter case)");
    }
    if (access(program.c_str(), X_OK) != 0)
        Error(s, ProgramText(FileToFire, program) + " in the model directory " + s.Dir.string() +
                     " is not executable");

    const auto started = std::chrono::steady_clock::now();
    if (s.companionRunner) {
        FlushOutput();
        CountStart(s.companions, FileToFire);
        CheckExitStatus(s, FileToFire, program, s.companionRunner(program.filename().string(), s.Dir));
    } else {
        const pid_t pid = StartProgram(s, FileToFire, program);
        CountStart(s.companions, FileToFire);
        AwaitProgram(s, FileToFire, program, pid);
    }
    s.companions.seconds +=
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
}

void WriteTime(ModelState& s, const std::string& filename, Double Time) {
    WriteRequest(s, filename, &Time, nullptr);
}

void WriteStatus(ModelState& s, const std::string& filename, const DVector& X) {
    WriteRequest(s, filename, nullptr, &X);
}

void WriteTimeAndStatus(ModelState& s, const std::string& filename, Double Time, const DVector& c) {
    WriteRequest(s, filename, &Time, &c);
}

void Exchange(ModelState& s, const std::string& name, Double Time) {
    WriteTime(s, name, Time);
    ShellFunction(s, name + ".exe");
}

}  // namespace ostra
