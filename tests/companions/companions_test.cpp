// companions_test.cpp -- the example companion programs run as ostra runs
// them: in the model directory, reading the request, writing the answer.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include "support/test_support.h"

namespace ostra {
namespace {

using testing::Crlf;
using testing::TempDir;

struct Outcome {
    int status;
    std::string err;
};

// Runs companions/<folder>/<program> in `dir`.
Outcome RunCompanion(const TempDir& dir, const std::string& folder, const std::string& program) {
    const std::string exe = std::string(OSTRA_BINARY_DIR) + "/companions/" + folder + "/" + program;
    const std::string cmd = "cd '" + dir.Path().string() + "' && '" + exe + "' 2> stderr.txt";
    const int raw = std::system(cmd.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, dir.Read("stderr.txt")};
}

// The time and 98 concentrations `c`, plus one value too many.
std::string SorptionRequest(const std::string& c) {
    std::string t = " 0 \n";
    for (int i = 0; i < 99; ++i) t += c + "\n";
    return Crlf(t);
}

std::string Repeat(const std::string& line, int n) {
    std::string t;
    for (int i = 0; i < n; ++i) t += line + "\r\n";
    return t;
}

TEST(CompanionProgramsTest, SorptionTermsAtKnownConcentrations) {
    TempDir dir;
    dir.Write("shellTelm.csv", SorptionRequest(" 4 "));
    dir.Write("SHELLPASK.CSV", SorptionRequest("4"));  // names match in any letter case
    ASSERT_EQ(RunCompanion(dir, "telm", "telm").status, 0);
    ASSERT_EQ(RunCompanion(dir, "pask", "pask").status, 0);
    EXPECT_EQ(dir.Read("Telm.csv"), Repeat(" 1.3375 ", 98));
    EXPECT_EQ(dir.Read("Pask.csv"), Repeat("-.0421875 ", 98));

    // Off the round numbers: 1 + .675 C^-.5 and -.3375 C^-1.5 at C = .3.
    dir.Write("shellTelm.csv", SorptionRequest(".3"));
    dir.Write("SHELLPASK.CSV", SorptionRequest(".3"));
    ASSERT_EQ(RunCompanion(dir, "telm", "telm").status, 0);
    ASSERT_EQ(RunCompanion(dir, "pask", "pask").status, 0);
    const double c = .3f;
    EXPECT_NEAR(std::stod(dir.Read("Telm.csv")), 1 + .675 / std::sqrt(c), 1e-6);
    EXPECT_NEAR(std::stod(dir.Read("Pask.csv")), -.3375 / (c * std::sqrt(c)), 1e-6);
}

TEST(CompanionProgramsTest, VarnVariantsAtKnownStates) {
    TempDir dir;
    dir.Write("Shellvarn.csv", Crlf(" 1 \n 2 \n 9 \n"));
    ASSERT_EQ(RunCompanion(dir, "varn-quadratic", "varn").status, 0);
    EXPECT_EQ(dir.Read("varn.csv"), Crlf(" 1 \n 17 \n"));

    dir.Write("Shellvarn.csv", Crlf(" 3 \n 1 \n 50 \n"));
    ASSERT_EQ(RunCompanion(dir, "varn-kinetics", "varn").status, 0);
    EXPECT_EQ(dir.Read("varn.csv"), Crlf(" 1.25 \n-1.25 \n"));
}

TEST(CompanionProgramsTest, UnusableRequestsLeaveNoAnswer) {
    struct Case {
        const char *folder, *program, *request, *content, *answer, *says;
    };
    const std::string zeros = Crlf(" 0 \n 0 \n") + SorptionRequest(" 1 ").substr(5);  // C(1) = 0
    const Case cases[] = {
        {"telm", "telm", "other.csv", "1\n", "Telm.csv", "shellTelm.csv"},
        {"telm", "telm", "shellTelm.csv", zeros.c_str(), "Telm.csv", "concentration of equation 1"},
        {"pask", "pask", "shellPask.csv", "0\n-1\n", "Pask.csv", "end of the file"},
        {"varn-quadratic", "varn", "Shellvarn.csv", "1\n", "varn.csv", "X(2)"},
        {"varn-kinetics", "varn", "Shellvarn.csv", "0,1\n", "varn.csv", "C(2)"},
    };
    for (const Case& k : cases) {
        TempDir dir;
        dir.Write(k.request, k.content);
        const Outcome out = RunCompanion(dir, k.folder, k.program);
        EXPECT_NE(out.status, 0) << k.folder;
        EXPECT_FALSE(dir.Exists(k.answer)) << k.folder;
        EXPECT_NE(out.err.find(k.says), std::string::npos) << k.folder << ": " << out.err;
    }
    TempDir negative;
    negative.Write("shellPask.csv", SorptionRequest("-2"));
    EXPECT_NE(RunCompanion(negative, "pask", "pask").status, 0);
    EXPECT_FALSE(negative.Exists("Pask.csv"));
}

TEST(CompanionProgramsTest, ResultsBeyondTheSingleRangeLeaveNoAnswer) {
    struct Case {
        const char *folder, *request, *content, *answer, *says;
    };
    // -.3375 C^-1.5 at C = 1E-30 is about -3E+44; 4 X^2 at X = 1E+30 is 4E+60;
    // 5 C(1) C(2) overflows in Single at C = 1E+38; C(2) = -150 divides by zero.
    const std::string tiny = SorptionRequest("1E-30");
    const Case cases[] = {
        {"pask", "shellPask.csv", tiny.c_str(), "Pask.csv", "dR/dC of equation 1 lies beyond the Single range"},
        {"varn-quadratic", "Shellvarn.csv", "1E+30\n1E+30\n", "varn.csv", "F(1) lies beyond the Single range"},
        {"varn-kinetics", "shellvarn.csv", "0\n1E+38\n1E+38\n", "varn.csv", "F(1) lies beyond the Single range"},
        {"varn-kinetics", "shellvarn.csv", "0\n0\n-150\n", "varn.csv", "F(1) is not a number"},
    };
    for (const Case& k : cases) {
        TempDir dir;
        dir.Write(k.request, k.content);
        const std::string program = std::string(k.folder).substr(0, 4);
        const Outcome out = RunCompanion(dir, k.folder, program);
        EXPECT_NE(out.status, 0) << k.folder << " " << k.content;
        EXPECT_FALSE(dir.Exists(k.answer)) << k.folder << " " << k.content;
        EXPECT_NE(out.err.find(k.says), std::string::npos) << k.folder << ": " << out.err;
    }
}

}  // namespace
}  // namespace ostra
