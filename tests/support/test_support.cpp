// test_support.cpp -- scratch directories and the `ostra` process for tests.
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace ostra::testing {

TempDir::TempDir() {
    static std::atomic<int> counter{0};
    std::random_device rd;
    for (;;) {
        path_ = fs::temp_directory_path() /
                ("ostra-test-" + std::to_string(getpid()) + "-" + std::to_string(counter++) + "-" +
                 std::to_string(rd() % 100000));
        if (fs::create_directory(path_)) break;
    }
}

namespace {

// With OSTRA_TEST_SNAPSHOT set, every scratch directory is copied there
// before it is removed (one folder per test, numbered in creation order), so
// that the files two builds write can be compared byte for byte.
void KeepSnapshot(const fs::path& dir) {
    const char* root = std::getenv("OSTRA_TEST_SNAPSHOT");
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    if (root == nullptr || test == nullptr) return;
    static int kept = 0;
    const fs::path to = fs::path(root) / (std::string(test->test_suite_name()) + "." + test->name()) /
                        std::to_string(kept++);
    std::error_code ec;
    fs::create_directories(to, ec);
    fs::copy(dir, to, fs::copy_options::recursive | fs::copy_options::overwrite_existing, ec);
}

}  // namespace

TempDir::~TempDir() {
    KeepSnapshot(path_);
    std::error_code ec;
    fs::remove_all(path_, ec);
}

void TempDir::Write(const std::string& name, const std::string& content) const {
    std::ofstream out(path_ / name, std::ios::binary | std::ios::trunc);
    out << content;
    if (!out) throw std::runtime_error("cannot write test file " + name);
}

void TempDir::WriteExecutable(const std::string& name, const std::string& content) const {
    Write(name, content);
    fs::permissions(path_ / name, fs::perms::owner_all | fs::perms::group_read |
                                      fs::perms::group_exec | fs::perms::others_read |
                                      fs::perms::others_exec);
}

std::string TempDir::Read(const std::string& name) const { return ReadFileText(path_ / name); }

bool TempDir::Exists(const std::string& name) const { return fs::exists(path_ / name); }

void TempDir::CopyFrom(const fs::path& from) const {
    for (const auto& entry : fs::directory_iterator(from))
        if (entry.is_regular_file())
            fs::copy_file(entry.path(), path_ / entry.path().filename(),
                          fs::copy_options::overwrite_existing);
}

std::string Crlf(const std::string& lf_text) {
    std::string out;
    out.reserve(lf_text.size() + lf_text.size() / 8);
    for (char ch : lf_text) {
        if (ch == '\n') out.push_back('\r');
        out.push_back(ch);
    }
    return out;
}

std::string ReadFileText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

OstraRun RunOstraExe(const fs::path& dir, const std::string& input) {
    TempDir io;
    io.Write("stdin", input);
    const std::string cmd = "'" + std::string(OSTRA_EXE) + "' '" + dir.string() + "' < '" +
                            (io.Path() / "stdin").string() + "' > '" +
                            (io.Path() / "stdout").string() + "' 2> '" +
                            (io.Path() / "stderr").string() + "'";
    const int raw = std::system(cmd.c_str());
    OstraRun run;
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = io.Read("stdout");
    run.err = io.Read("stderr");
    return run;
}

}  // namespace ostra::testing
