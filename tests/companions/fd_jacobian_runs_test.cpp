// fd_jacobian_runs_test.cpp -- whole runs of the real `ostra` with the
// finite-difference Jacobian, grouped and column by column: every file they
// leave is byte for byte the same, for the nonlinear examples and for
// generated models of every scheme that Newton solves; what the summary and
// --check say about it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "app/ostra_process.h"
#include "solvers/nonlinear_fixture.h"

namespace ostra {
namespace {

using namespace testing;

// Sets the value of "Control.csv" pair `pair` (line 2 pair) in `dir`.
void SetPair(const TempDir& dir, int pair, const std::string& value) {
    std::istringstream in(dir.Read("Control.csv"));
    std::string text, line;
    for (int n = 1; std::getline(in, line); ++n) text += (n == 2 * pair ? value + "\r" : line) + "\n";
    dir.Write("Control.csv", text);
}

// Summary text with every run of blanks and line breaks made one blank.
std::string Flat(const std::string& text) {
    std::string out;
    for (char ch : text) {
        const bool blank = ch == ' ' || ch == '\n' || ch == '\r';
        if (!blank || (!out.empty() && out.back() != ' ')) out += blank ? ' ' : ch;
    }
    return out;
}

// `ostra` on `dir` with OSTRA_FD_JACOBIAN set to `mode` (nullptr: unset).
OstraRun RunWith(const char* mode, const std::vector<std::string>& args) {
    if (mode != nullptr)
        setenv("OSTRA_FD_JACOBIAN", mode, 1);
    else
        unsetenv("OSTRA_FD_JACOBIAN");
    const OstraRun run = RunOstraWith(args);
    unsetenv("OSTRA_FD_JACOBIAN");
    return run;
}

// A column of 6 compartments with a second-order decay f(C) = -.1 C^2
// (varn) and, in time steps, R(C) from Telm; three steps of 0.5 with the
// trace and dumps of step 2.
std::function<void(const TempDir&)> Generated(const std::string& scheme, bool sparse) {
    return [scheme, sparse](const TempDir& dir) {
        const bool dynamic = scheme != "steady";
        WriteColumn(dir, 6, 10);
        dir.WriteExecutable("varn.exe", std::string("#!/bin/sh\nawk 'NR > ") + (dynamic ? "1" : "0") +
                                            " { printf \"%.17g\\n\", -.1 * $1 * $1 }' Shellvarn.csv > varn.csv\n");
        RationalTelm(dir);
        Control c = ColumnControl(6);
        c.Set(3, dynamic ? "N" : "Y").Set(9, dynamic ? scheme : "3").Set(10, ".5").Set(11, "3").Set(12, "2")
            .Set(16, dynamic ? "Y" : "N").Set(18, "1E-05").Set(19, "Y").Set(22, "1E-14").Set(24, "Y")
            .Set(25, dynamic ? "Y" : "N");
        if (sparse) c.v.push_back("SPARSE-LU");
        dir.Write("Control.csv", c.Text());
    };
}

std::function<void(const TempDir&)> Example(const std::string& name, std::vector<std::pair<int, std::string>> pairs) {
    return [name, pairs](const TempDir& dir) {
        CopyExampleWithCompanions(dir, name);
        for (const auto& [pair, value] : pairs) SetPair(dir, pair, value);
    };
}

TEST(FdJacobianRuns, GroupedAndColumnByColumnLeaveTheSameFilesByteForByte) {
    const struct {
        const char* name;
        std::function<void(const TempDir&)> write;
        std::vector<std::string> dumps;  // dumps of the dump step the runs must leave
    } cases[] = {
        {"quadratic-steady", Example("quadratic-steady", {}), {}},
        {"kinetics, trace and dumps of step 5", Example("kinetics", {{12, "5"}, {19, "Y"}}), {"Varn.dng"}},
        {"nonlinear-sorption, finite differences, one step with its trace and dumps",
         Example("nonlinear-sorption", {{11, "1"}, {12, "1"}, {17, "N"}, {19, "Y"}}),
         {"Telm.dng", "A.dng", "RV.dng"}},
        {"steady state, f(C)", Generated("steady", false), {}},
        {"explicit Euler, R(C)", Generated("1", false), {"Telm.dng", "Varn.dng"}},
        {"implicit Euler, f(C) and R(C)", Generated("3", false), {"Telm.dng", "Varn.dng"}},
        {"Crank-Nicolson, f(C) and R(C)", Generated("4", false), {"Telm.dng", "Varn.dng"}},
        {"implicit Euler, sparse LU", Generated("3", true), {"Telm.dng", "Varn.dng"}},
    };
    for (const auto& c : cases) {
        TempDir grouped, columns;
        c.write(grouped);
        c.write(columns);
        const OstraRun g = RunWith(nullptr, {grouped.Path().string()});
        const OstraRun k = RunWith("columns", {columns.Path().string()});
        ASSERT_EQ(g.status, 0) << c.name << "\n" << g.out << g.err;
        ASSERT_EQ(k.status, 0) << c.name << "\n" << k.out << k.err;
        const std::set<std::string> names = FileNames(grouped.Path());
        EXPECT_EQ(names, FileNames(columns.Path())) << c.name;
        EXPECT_TRUE(names.count("NewtonInfo.dng")) << c.name;
        for (const std::string& dump : c.dumps) EXPECT_TRUE(names.count(dump)) << c.name << ": no " << dump;
        for (const std::string& file : names)
            EXPECT_TRUE(grouped.Read(file) == columns.Read(file)) << c.name << ": " << file << " differs";

        const std::string gs = Flat(g.out), ks = Flat(k.out);
        const std::regex starts("Companion programs started: (\\d+) \\(([^)]*)\\)");
        std::smatch gm, km;
        ASSERT_TRUE(std::regex_search(gs, gm, starts)) << gs;
        ASSERT_TRUE(std::regex_search(ks, km, starts)) << ks;
        // Fewer starts wherever the groups are fewer than the columns.
        const std::regex groups("Jacobian: finite differences, (\\d+) groups? of (\\d+) columns");
        std::smatch gg;
        ASSERT_TRUE(std::regex_search(gs, gg, groups)) << c.name << ": " << gs;
        if (std::stoi(gg[1]) < std::stoi(gg[2]))
            EXPECT_LT(std::stol(gm[1]), std::stol(km[1])) << c.name << ": " << gs;
        else
            EXPECT_EQ(std::stol(gm[1]), std::stol(km[1])) << c.name << ": " << gs;
        // The starts by program add up to the total.
        long sum = 0;
        const std::string byProgram = gm[2];
        const std::regex each("\\S+\\.exe (\\d+)");
        for (std::sregex_iterator e(byProgram.begin(), byProgram.end(), each), end; e != end; ++e) sum += std::stol((*e)[1]);
        EXPECT_EQ(sum, std::stol(gm[1])) << byProgram;
        EXPECT_NE(gs.find("1 column by column (the first finds the pattern), "), std::string::npos) << gs;
        EXPECT_NE(ks.find("Jacobian: finite differences, column by column ("), std::string::npos) << ks;
    }
}

TEST(FdJacobianRuns, TheSummaryAndTheCheckSayHowTheJacobianIsFormed) {
    TempDir dir;
    CopyExampleWithCompanions(dir, "nonlinear-sorption");
    const OstraRun analytic = RunWith(nullptr, {"--check", dir.Path().string()});
    EXPECT_NE(Flat(analytic.out).find("Jacobian: analytic (dR/dC from \"Pask.exe\") "), std::string::npos)
        << analytic.out;
    SetPair(dir, 17, "N");
    const struct {
        const char* mode;
        int status;
        std::string line;
    } cases[] = {
        {nullptr, 0,
         "Jacobian: finite differences, 3 groups of 98 columns by the pattern of the coefficient matrix; the first "
         "Jacobian is formed column by column and finds what the companion terms couple "},
        {"columns", 0, "Jacobian: finite differences, column by column (98 columns) as OSTRA_FD_JACOBIAN=columns asks "},
        {"rows", 1, ""},
    };
    for (const auto& c : cases) {
        const OstraRun run = RunWith(c.mode, {"--check", dir.Path().string()});
        EXPECT_EQ(run.status, c.status) << run.out << run.err;
        if (c.status == 0) {
            EXPECT_NE(Flat(run.out).find(c.line), std::string::npos) << run.out;
        } else {
            EXPECT_TRUE(BeginsWith(dir.Read("Error.dng"), "Error:  the environment variable OSTRA_FD_JACOBIAN is \"rows\""));
        }
    }
}

}  // namespace
}  // namespace ostra
