// Tests of the request files and of starting real companion processes.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "model/companion_exchange.h"
#include "model/error.h"
#include "support/test_support.h"

namespace {

using namespace ostra;
using ostra::testing::Crlf;
using ostra::testing::TempDir;
using ostra::testing::TestState;

// Runs `call` and returns the text of "Error.dng" that the fatal error left.
template <class F>
std::string FatalText(const TempDir& dir, F call) {
    try {
        call();
    } catch (const RunEnded& ended) {
        EXPECT_EQ(ended.status, EXIT_FATAL_DATA);
        return dir.Read("Error.dng");
    }
    ADD_FAILURE() << "the run did not end";
    return {};
}

std::string ErrorLine(const std::string& message) { return "Error:  " + message + "\r\n"; }

TEST(CompanionRequest, LayoutsByteForByte) {
    TempDir dir;
    TestState t(dir.Path());
    WriteTime(t.s, "Flows", 0.0);
    EXPECT_EQ(dir.Read("ShellFlows.csv"), " 0 \r\n");
    WriteTime(t.s, "Boundary", -2.5);
    EXPECT_EQ(dir.Read("ShellBoundary.csv"), "-2.5 \r\n");

    t.s.opt.NEQN = 2;
    DVector c(2, "c");
    c(1) = 1.5;
    c(2) = 2;
    WriteTimeAndStatus(t.s, "varn", 10.0, c);
    EXPECT_EQ(dir.Read("Shellvarn.csv"), Crlf(" 10 \n 1.5 \n 2 \n"));
    WriteStatus(t.s, "dfdc", c);
    EXPECT_EQ(dir.Read("Shelldfdc.csv"), Crlf(" 1.5 \n 2 \n"));
    // Fifteen significant digits, no zero before the point.
    WriteTime(t.s, "Loads", 0.1);
    EXPECT_EQ(dir.Read("ShellLoads.csv"), " .1 \r\n");
}

TEST(CompanionRequest, SecondRequestReplacesTheFirstInAnyLetterCase) {
    TempDir dir;
    TestState t(dir.Path());
    t.s.opt.NEQN = 3;
    DVector c(3, "c");
    c(1) = 7;
    c(2) = 8;
    c(3) = 9;
    WriteTimeAndStatus(t.s, "Telm", 1.0, c);
    WriteTime(t.s, "Telm", 2.0);
    EXPECT_EQ(dir.Read("ShellTelm.csv"), " 2 \r\n");

    // A companion may have left the file under another spelling; no twin is created.
    dir.Write("shelltelm.csv", "stale\r\n");
    WriteTime(t.s, "Telm", 3.0);
    EXPECT_FALSE(dir.Exists("shelltelm.csv"));
    EXPECT_EQ(dir.Read("ShellTelm.csv"), " 3 \r\n");
}

TEST(CompanionStart, RunsInTheModelDirectoryAndIsAwaited) {
    TempDir dir;
    TestState t(dir.Path());
    t.s.companions.record = true;
    // Sleeps before answering: the answer must be complete when the call returns.
    dir.WriteExecutable("Flows.exe",
                        "#!/bin/sh\n"
                        "sleep 0.3\n"
                        "pwd -P > where.txt\n"
                        "cat > input.txt\n"
                        "cp ShellFlows.csv seen.csv\n"
                        "printf 'answer\\r\\n' > Flows.csv\n");
    Exchange(t.s, "Flows", 5.0);
    EXPECT_EQ(dir.Read("Flows.csv"), "answer\r\n");
    EXPECT_EQ(dir.Read("seen.csv"), " 5 \r\n");
    EXPECT_EQ(dir.Read("where.txt"),
              std::filesystem::canonical(dir.Path()).string() + "\n");
    EXPECT_EQ(dir.Read("input.txt"), "");  // standard input is empty
    EXPECT_EQ(t.s.companions.starts, 1);
    ASSERT_EQ(t.s.companions.programs.size(), 1u);
    EXPECT_EQ(t.s.companions.programs[0], "Flows.exe");
}

TEST(CompanionStart, FoundInAnyLetterCaseWithOrWithoutExe) {
    TempDir dir;
    TestState t(dir.Path());
    dir.WriteExecutable("flows", "#!/bin/sh\necho one >> log.txt\n");
    ShellFunction(t.s, "Flows.exe");
    dir.WriteExecutable("BOUNDARY.EXE", "#!/bin/sh\necho two >> log.txt\n");
    ShellFunction(t.s, "Boundary.exe");
    // The name as given wins over the name without ".exe".
    dir.WriteExecutable("loads", "#!/bin/sh\necho wrong >> log.txt\n");
    dir.WriteExecutable("Loads.exe", "#!/bin/sh\necho three >> log.txt\n");
    ShellFunction(t.s, "Loads.exe");
    EXPECT_EQ(dir.Read("log.txt"), "one\ntwo\nthree\n");
    EXPECT_EQ(t.s.companions.starts, 3);
    EXPECT_TRUE(t.s.companions.programs.empty());  // recorded only when asked
}

TEST(CompanionStart, FailuresEndTheRunNamingTheProgram) {
    TempDir dir;
    TestState t(dir.Path());
    const std::string where = dir.Path().string();

    dir.WriteExecutable("flows", "#!/bin/sh\nexit 3\n");
    EXPECT_EQ(FatalText(dir, [&] { ShellFunction(t.s, "Flows.exe"); }),
              ErrorLine("Companion program \"Flows.exe\" (file \"flows\") ended with exit status 3"));

    EXPECT_EQ(FatalText(dir, [&] { ShellFunction(t.s, "Telm.exe"); }),
              ErrorLine("Companion program \"Telm.exe\" not found in the model directory " + where +
                        " (no file named \"Telm.exe\" or \"Telm\" in any letter case)"));

    dir.WriteExecutable("varn.exe", "#!/bin/sh\nkill -KILL $$\n");
    EXPECT_EQ(FatalText(dir, [&] { ShellFunction(t.s, "varn.exe"); }),
              ErrorLine("Companion program \"varn.exe\" ended by signal SIGKILL"));

    dir.Write("Pask.exe", "#!/bin/sh\nexit 0\n");  // no execute permission
    EXPECT_EQ(FatalText(dir, [&] { ShellFunction(t.s, "Pask.exe"); }),
              ErrorLine("Companion program \"Pask.exe\" in the model directory " + where +
                        " is not executable"));

    dir.WriteExecutable("dfdc.exe", "echo no interpreter line\n");
    EXPECT_EQ(FatalText(dir, [&] { ShellFunction(t.s, "dfdc.exe"); }),
              ErrorLine("Companion program \"dfdc.exe\" in the model directory " + where +
                        " could not be started: Exec format error"));

    // A directory of the same name is not a program.
    std::filesystem::create_directory(dir.Path() / "Loads.exe");
    EXPECT_NE(FatalText(dir, [&] { ShellFunction(t.s, "Loads.exe"); }).find("not found"),
              std::string::npos);
    EXPECT_EQ(t.s.companions.starts, 2);  // the programs that did start
}

TEST(CompanionRunner, TakesThePlaceOfTheProgramAndNothingElse) {
    TempDir dir;
    TestState t(dir.Path());
    const std::string where = dir.Path().string();
    std::string seen;
    int status = 0;
    t.s.companionRunner = [&](const std::string& program, const std::filesystem::path& in) {
        seen += program + " in " + in.string() + ": " + ostra::testing::ReadFileText(in / "ShellFlows.csv");
        if (status == 0) std::ofstream(in / "Flows.csv", std::ios::binary) << "answer\r\n";
        return status;
    };
    // The program file is still looked for, and named as found.
    dir.WriteExecutable("flows", "#!/bin/sh\nexit 9\n");
    Exchange(t.s, "Flows", 5.0);
    EXPECT_EQ(seen, "flows in " + where + ":  5 \r\n");
    EXPECT_EQ(dir.Read("Flows.csv"), "answer\r\n");
    status = 3;
    EXPECT_EQ(FatalText(dir, [&] { Exchange(t.s, "Flows", 6.0); }),
              ErrorLine("Companion program \"Flows.exe\" (file \"flows\") ended with exit status 3"));
    EXPECT_TRUE(ostra::testing::BeginsWith(FatalText(dir, [&] { ShellFunction(t.s, "Telm.exe"); }),
                                           "Error:  Companion program \"Telm.exe\" not found"));
    EXPECT_EQ(t.s.companions.starts, 2);
    ASSERT_EQ(t.s.companions.startsByProgram.size(), 1u);
    EXPECT_EQ(t.s.companions.startsByProgram[0].second, 2);
}

}  // namespace
