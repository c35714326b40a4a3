// in_process_companions_test.cpp -- the example companion programs' work
// done in ostra's process (companions/in_process.h, through the state's
// companion runner) leaves every file of the companion examples' runs as the
// programs themselves do.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "app/run_driver.h"
#include "companions/in_process.h"
#include "support/test_support.h"

namespace ostra {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;
using testing::TestState;

// A scratch copy of examples/<name> with the built programs its
// "companions.txt" names; returns program name -> companion folder.
std::map<std::string, std::string> PrepareExample(const TempDir& dir, const std::string& name) {
    const fs::path example = fs::path(OSTRA_SOURCE_DIR) / "examples" / name;
    dir.CopyFrom(example);
    std::map<std::string, std::string> folders;
    std::ifstream list(example / "companions.txt");
    std::string folder, program;
    while (list >> folder >> program) {
        for (const auto& e : fs::directory_iterator(fs::path(OSTRA_BINARY_DIR) / "companions" / folder))
            if (e.is_regular_file()) fs::copy_file(e.path(), dir.Path() / program);
        folders[program] = folder;
    }
    return folders;
}

// Every file of `dir` but the programs, by name.
std::map<std::string, std::string> Files(const TempDir& dir, const std::map<std::string, std::string>& programs) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::directory_iterator(dir.Path())) {
        const std::string name = e.path().filename().string();
        if (programs.count(name) == 0) files[name] = dir.Read(name);
    }
    return files;
}

class InProcessCompanions : public ::testing::TestWithParam<const char*> {};

TEST_P(InProcessCompanions, LeaveTheFilesThePrograms) {
    TempDir started, inProcess;
    const auto programs = PrepareExample(started, GetParam());
    PrepareExample(inProcess, GetParam());
    ASSERT_FALSE(programs.empty());

    TestState real(started.Path());
    FormLoad(real.s);
    ASSERT_EQ(RunOstraClick(real.s), EXIT_DONE);

    TestState standIn(inProcess.Path());
    long calls = 0;
    standIn.s.companionRunner = [&](const std::string& program, const fs::path& dir) {
        ++calls;
        EXPECT_EQ(dir, inProcess.Path());
        return companions::RunInProcess(programs.at(program), dir);
    };
    FormLoad(standIn.s);
    ASSERT_EQ(RunOstraClick(standIn.s), EXIT_DONE);

    EXPECT_GT(calls, 0);
    EXPECT_EQ(calls, standIn.s.companions.starts);
    EXPECT_EQ(real.s.companions.starts, standIn.s.companions.starts);
    const auto expected = Files(started, programs), got = Files(inProcess, programs);
    EXPECT_GT(expected.size(), programs.size() + 1);  // results and the last request and answer
    for (const auto& [name, bytes] : expected) {
        ASSERT_EQ(got.count(name), 1u) << name;
        EXPECT_TRUE(got.at(name) == bytes) << name << " differs";
    }
    EXPECT_EQ(got.size(), expected.size());
}

INSTANTIATE_TEST_SUITE_P(Examples, InProcessCompanions,
                         ::testing::Values("kinetics", "quadratic-steady", "nonlinear-sorption"),
                         [](const auto& info) {
                             std::string name = info.param;
                             for (char& c : name)
                                 if (c == '-') c = '_';
                             return name;
                         });

TEST(InProcessCompanionsTest, NoAnswerIsExitStatusOneAndNoFile) {
    TempDir dir;
    // No request at all; a square beyond the Single range.
    EXPECT_EQ(companions::RunInProcess("varn-quadratic", dir.Path()), 1);
    dir.Write("Shellvarn.csv", "1E+20\r\n1\r\n");
    EXPECT_EQ(companions::RunInProcess("varn-quadratic", dir.Path()), 1);
    EXPECT_FALSE(dir.Exists("varn.csv"));
    dir.Write("Shellvarn.csv", "3\r\n1\r\n");
    EXPECT_EQ(companions::RunInProcess("varn-quadratic", dir.Path()), 0);
    EXPECT_EQ(dir.Read("varn.csv"), " 9 \r\n 13 \r\n");
    EXPECT_THROW(companions::RunInProcess("flows", dir.Path()), std::invalid_argument);
}

}  // namespace
}  // namespace ostra
