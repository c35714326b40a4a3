// nonlinear_terms_test.cpp -- the exchanges of f, R, df/dC and dR/dC with
// companion programs: switches, request layouts, answer reading, stale and
// short answers, dumps.
#include <gtest/gtest.h>

#include <filesystem>

#include "solvers/nonlinear_fixture.h"
#include "solvers/nonlinear_terms.h"

namespace ostra {
namespace {

using namespace testing;

// Two equations, arrays sized, every switch off; state (1.5, 2) at time 10.
struct Terms {
    TempDir dir;
    TestState t{dir.Path()};
    ModelState& s = t.s;
    DVector X{2}, f{2}, Pask{2};
    DMatrix dfdc{2, 2};
    Terms() {
        s.opt.NEQN = 2;
        s.eq.EqnRetard.Resize(2);
        s.sys.CurrentTime = 10;
        X(1) = 1.5, X(2) = 2;
    }
    // A companion program that copies `answer` to `file` and keeps the request.
    void Answer(const std::string& program, const std::string& file, const std::string& answer) {
        dir.Write(program + ".answer", answer);
        dir.WriteExecutable(program, "#!/bin/sh\ncp " + program + ".answer " + file + "\n");
    }
    std::string ErrorText() const { return dir.Exists("Error.dng") ? dir.Read("Error.dng") : ""; }
};

TEST(NonlinearTermsTest, TermsSwitchedOffAreZeroWithoutAnyFileOrProgram) {
    Terms m;
    m.f.Fill(3), m.Pask.Fill(3), m.dfdc.Fill(3), m.s.eq.EqnRetard.Fill(3);
    m.s.sys.DumpNow = true;
    Varn(m.s, m.X, m.f);
    Telm(m.s, m.X);
    Getdfdc(m.s, m.dfdc, m.X);
    GetPask(m.s, m.Pask, m.X);
    for (int i = 1; i <= 2; ++i) {
        EXPECT_EQ(m.f(i), 0);
        EXPECT_EQ(m.s.eq.EqnRetard(i), 0);  // storage terms vanish without Telm.exe
        EXPECT_EQ(m.Pask(i), 0);
        for (int j = 1; j <= 2; ++j) EXPECT_EQ(m.dfdc(i, j), 0);
    }
    EXPECT_EQ(m.s.companions.starts, 0);
    EXPECT_TRUE(std::filesystem::is_empty(m.dir.Path()));
}

TEST(NonlinearTermsTest, RequestsCarryTheTimeExceptForSteadyVarnAndDfdc) {
    for (bool dynamic : {true, false}) {
        Terms m;
        m.s.opt.VarnTerm = m.s.opt.TelmTerm = true;
        m.s.opt.Dynamic = dynamic;
        m.Answer("varn.exe", "varn.csv", "1,2\n");
        m.Answer("dfdc.exe", "dfdc.csv", "1,2,3,4\n");
        m.Answer("Telm.exe", "Telm.csv", "1,2\n");
        m.Answer("Pask.exe", "Pask.csv", "1,2\n");
        Varn(m.s, m.X, m.f);
        Getdfdc(m.s, m.dfdc, m.X);
        Telm(m.s, m.X);
        GetPask(m.s, m.Pask, m.X);
        const std::string state = Crlf(" 1.5 \n 2 \n"), timed = Crlf(" 10 \n") + state;
        EXPECT_EQ(m.dir.Read("Shellvarn.csv"), dynamic ? timed : state);
        EXPECT_EQ(m.dir.Read("Shelldfdc.csv"), dynamic ? timed : state);
        EXPECT_EQ(m.dir.Read("ShellTelm.csv"), timed);
        EXPECT_EQ(m.dir.Read("ShellPask.csv"), timed);
        EXPECT_EQ(m.s.companions.starts, 4);
    }
}

TEST(NonlinearTermsTest, AnswersAreReadValueByValueWhateverTheirLayout) {
    for (const char* dfdc : {"1,2\n3,4\n", "1,2,3,4\n", " 1 \n 2 \n\n 3 \n 4 , 5\n"}) {
        Terms m;
        m.s.opt.VarnTerm = m.s.opt.TelmTerm = true;
        m.Answer("dfdc.exe", "dfdc.csv", dfdc);
        m.Answer("varn.exe", "VARN.CSV", "0.25\n-3e2\n99\n");  // a third value is ignored
        m.Answer("Telm.exe", "Telm.csv", "1.1,1.00000001\n");
        Getdfdc(m.s, m.dfdc, m.X);
        Varn(m.s, m.X, m.f);
        Telm(m.s, m.X);
        EXPECT_EQ(m.dfdc(1, 1), 1);
        EXPECT_EQ(m.dfdc(1, 2), 2);
        EXPECT_EQ(m.dfdc(2, 1), 3);
        EXPECT_EQ(m.dfdc(2, 2), 4);
        EXPECT_EQ(m.f(1), .25);
        EXPECT_EQ(m.f(2), -300);
        EXPECT_EQ(m.s.eq.EqnRetard(1), 1.1f);
        EXPECT_EQ(m.s.eq.EqnRetard(2), 1.0f);  // rounded to Single
    }
}

TEST(NonlinearTermsTest, StaleMissingOrShortAnswersEndTheRunNamingProgramAndFile) {
    Terms m;
    m.s.opt.VarnTerm = true;
    m.dir.Write("varn.csv", "7\n8\n");  // left by an earlier exchange
    m.dir.WriteExecutable("varn.exe", "#!/bin/sh\nexit 0\n");
    EXPECT_EQ(Ended([&] { Varn(m.s, m.X, m.f); }), EXIT_FATAL_DATA);
    EXPECT_EQ(m.ErrorText(), Crlf("Error:  varn.exe left no answer file \"varn.csv\" in Varn\n"));

    Terms n;
    n.s.opt.TelmTerm = true;
    n.Answer("Telm.exe", "Telm.csv", "1.5\n");
    EXPECT_EQ(Ended([&] { Telm(n.s, n.X); }), EXIT_FATAL_DATA);
    EXPECT_EQ(n.ErrorText(),
              Crlf("Error:  \"Telm.csv\" written by Telm.exe holds 1 values where 2 are needed in Telm\n"));

    Terms eqns;  // equation-solver mode keeps no retardation factors
    eqns.s.eq.EqnRetard.Resize(0);
    EXPECT_EQ(Ended([&] { Telm(eqns.s, eqns.X); }), EXIT_FATAL_DATA);
    EXPECT_NE(eqns.ErrorText().find("needs the compartment mode ENVS"), std::string::npos);
}

TEST(NonlinearTermsTest, DumpsHoldTheLatestStateAndResult) {
    Terms m;
    m.s.opt.VarnTerm = m.s.opt.TelmTerm = true;
    m.s.sys.DumpNow = true;
    m.Answer("varn.exe", "varn.csv", "0.1\n-4\n");
    m.Answer("Telm.exe", "Telm.csv", "0.1\n2\n");
    Varn(m.s, m.X, m.f);
    Telm(m.s, m.X);
    const std::string head = "At Time  10  ...\nFor following C values ...\n 1.5 \n 2 \n";
    EXPECT_EQ(m.dir.Read("Varn.dng"), Crlf(head + "result if the following F values ...\n .1 \n-4 \n"));
    EXPECT_EQ(m.dir.Read("Telm.dng"), Crlf(head + "result if the following R values ...\n .1 \n 2 \n"));
}

}  // namespace
}  // namespace ostra
