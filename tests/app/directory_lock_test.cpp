// directory_lock_test.cpp -- a second run in a directory where a run is
// going ends at once and touches nothing.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <thread>

#include "app/compartment_model_files.h"
#include "app/ostra_process.h"
#include "support/test_support.h"

namespace ostra::testing {
namespace {

namespace fs = std::filesystem;

// Every file of `dir` with its bytes and modification time.
std::map<std::string, std::pair<std::string, fs::file_time_type>> Contents(const fs::path& dir) {
    std::map<std::string, std::pair<std::string, fs::file_time_type>> files;
    for (const auto& e : fs::directory_iterator(dir))
        files[e.path().filename().string()] = {ReadFileText(e.path()), fs::last_write_time(e.path())};
    return files;
}

bool WaitFor(const fs::path& file) {
    for (int i = 0; i < 600 && !fs::exists(file); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return fs::exists(file);
}

TEST(DirectoryLock, ASecondRunInTheSameDirectoryEndsAtOnceAndTouchesNothing) {
    TempDir dir;
    CompartmentModel m;
    Compartment c;
    c.volume = 10;
    m.Add(c);
    m.initial[0][0] = 1;
    ControlFile control;
    control.TimeVarFlows = true;  // "Flows.exe" runs at every parameter update
    control.NumTimeSteps = "2";
    m.Write(dir.Path(), control);
    // The companion holds the first run until the test lets it go.
    dir.WriteExecutable("Flows.exe",
                        "#!/bin/sh\ntouch started\nwhile [ ! -f release ]; do sleep 0.05; done\n");

    OstraRun first;
    std::thread running([&] { first = RunOstraWith({"--quiet", dir.Path().string()}); });
    ASSERT_TRUE(WaitFor(dir.Path() / "started"));
    const auto before = Contents(dir.Path());
    for (const char* option : {"--quiet", "--check"}) {
        SCOPED_TRACE(option);
        const OstraRun second = RunOstraWith({option, dir.Path().string()});
        EXPECT_EQ(second.status, 75);
        EXPECT_NE((second.out + second.err).find("another run is going in this model directory (" +
                                                 dir.Path().string() + "): this run ends without touching"),
                  std::string::npos)
            << second.out << second.err;
        EXPECT_EQ(Contents(dir.Path()), before);
    }
    dir.Write("release", "");
    running.join();
    EXPECT_EQ(first.status, 0) << first.err;

    // The lock goes with the run: the next one runs.
    EXPECT_EQ(RunOstraWith({"--quiet", dir.Path().string()}).status, 0);
}

}  // namespace
}  // namespace ostra::testing
