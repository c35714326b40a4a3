// run_summary_test.cpp -- the figures of the summary printed after "Done!"
// against the result files the same run wrote.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "app/compartment_model_files.h"
#include "app/ostra_process.h"
#include "app/run_summary.h"

namespace ostra::testing {
namespace {

using Rows = std::vector<std::vector<double>>;

// The summary prints 6 significant digits.
void ExpectPrinted(const std::string& printed, double value, const std::string& what) {
    EXPECT_NEAR(std::stod(printed), value, 5E-6 * std::fabs(value) + 1E-300) << what;
}

struct Final {
    double min = 0, max = 0, mass = 0;
    int minAt = 0, maxAt = 0;
};

// (ISV, K) -> final concentration, from the last row of "AllTimeSeries.csv"
// (the columns named "SV i in Compartment k") or from "ProfileSnapshot.csv".
std::map<std::pair<int, int>, double> FinalConcentrations(const TempDir& dir) {
    std::map<std::pair<int, int>, double> c;
    if (!dir.Exists("AllTimeSeries.csv")) {
        for (const auto& r : ParseCsvRows(dir.Read("ProfileSnapshot.csv")))
            c[{static_cast<int>(r[1]), static_cast<int>(r[2])}] = r[6];
        return c;
    }
    const std::string text = dir.Read("AllTimeSeries.csv");
    const std::string header = text.substr(0, text.find('\n'));
    const Rows rows = ParseCsvRows(text);
    const std::regex column("SV (\\d+) in Compartment (\\d+)");
    std::size_t i = 1;
    for (std::sregex_iterator m(header.begin(), header.end(), column), end; m != end; ++m, ++i)
        c[{std::stoi((*m)[1]), std::stoi((*m)[2])}] = rows.back().at(i);
    return c;
}

std::map<int, Final> ExpectedFinals(const TempDir& dir) {
    std::map<int, std::pair<float, float>> volumeWater;  // K -> (column 7, column 9)
    for (const auto& r : ParseCsvRows(dir.Read("Compartments.csv")))
        volumeWater[static_cast<int>(r[0])] = {static_cast<float>(r[6]), static_cast<float>(r[8])};
    std::map<int, Final> out;
    std::map<int, bool> seen;
    for (const auto& [key, c] : FinalConcentrations(dir)) {
        Final& f = out[key.first];
        if (!seen[key.first] || c < f.min) f.min = c, f.minAt = key.second;
        if (!seen[key.first] || c > f.max) f.max = c, f.maxAt = key.second;
        seen[key.first] = true;
        f.mass += volumeWater[key.second].first * c * volumeWater[key.second].second;
    }
    return out;
}

// Two interior compartments with water contents 0.5 and 0.8 (the examples
// have water content 1), sorption, a decay and a load; no companion program.
void WriteWetChain(const TempDir& dir) {
    CompartmentModel m;
    Compartment inflow, c2, c3, exit;
    inflow.kind = 2, exit.kind = 3;
    c2.volume = 4, c2.water = 0.5, c2.solids = 2, c2.x = 1;
    c3.volume = 8, c3.water = 0.8, c3.x = 2, exit.x = 3;
    const int b = m.Add(inflow), k2 = m.Add(c2), k3 = m.Add(c3), e = m.Add(exit);
    m.Connect({b, k2, 1, 1, 0.5});
    m.Connect({k2, k3, 1, 1, 0.5});
    m.Connect({k3, e, 1, 1, 0});
    m.boundary[0][b - 1] = 2;
    m.kd[0][k2 - 1] = 0.1;
    m.initial[0][k3 - 1] = 3;
    m.volumeTerms.push_back({k3, 1, 1, -0.2});
    m.loads.push_back({0, 100, {{k2, 1, 1.5}}});
    ControlFile control;
    control.DELT = "0.25";
    control.NumTimeSteps = "20";
    m.Write(dir.Path(), control);
}

struct ExampleCase {
    std::string name;  // an example, or "wet chain"
    std::size_t stateVariables;
    std::vector<std::string> present, absent;  // texts of the summary
};

TEST(RunSummary, FiguresMatchTheResultFilesOfTheExamples) {
    const ExampleCase cases[] = {
        {"river-network", 2, {"note: state variable 2 is formed from state variable 1"},
         {"note: state variable 1 is formed", "R(C)"}},
        {"river-network-steady", 2, {}, {"Mass balance"}},
        {"wet chain", 1, {"note: mass is not conserved across 1 interface of state variable 1"}, {"is formed", "R(C)"}},
    };
    for (const ExampleCase& c : cases) {
        const std::string& name = c.name;
        TempDir dir;
        if (name == "wet chain")
            WriteWetChain(dir);
        else
            CopyExampleWithCompanions(dir, name);
        const OstraRun run = RunOstraWith({dir.Path().string()});
        ASSERT_EQ(run.status, 0) << name << run.err;
        const std::size_t done = run.out.find("Done!");
        ASSERT_NE(done, std::string::npos);
        const std::string summary = Flat(run.out.substr(done));
        for (const std::string& text : c.present) EXPECT_NE(summary.find(text), std::string::npos) << name << ": " << text;
        for (const std::string& text : c.absent) EXPECT_EQ(summary.find(text), std::string::npos) << name << ": " << text;
        std::string files;
        for (const char* file : {"AllTimeSeries.csv", "ProfileSnapshot.csv", "MassBalance.csv"})
            if (dir.Exists(file)) files += (files.empty() ? "" : ", ") + std::string(file);
        EXPECT_NE(summary.find("Result files: " + files + " "), std::string::npos) << files << " in " << summary;
        const bool companions = dir.Exists("companions.txt");
        EXPECT_EQ(summary.find("Companion programs started: 0 ") == std::string::npos, companions) << name;

        const std::map<int, Final> expected = ExpectedFinals(dir);
        ASSERT_EQ(expected.size(), c.stateVariables) << name;
        const std::regex finals("state variable (\\d+): minimum (\\S+) \\(compartment (\\d+)\\), maximum (\\S+) "
                                "\\(compartment (\\d+)\\), total mass (\\S+)");
        std::map<int, std::string> masses;
        for (std::sregex_iterator m(summary.begin(), summary.end(), finals), end; m != end; ++m) {
            const int sv = std::stoi((*m)[1]);
            const Final& f = expected.at(sv);
            const std::string what = name + ", state variable " + std::to_string(sv);
            ExpectPrinted((*m)[2], f.min, what + " minimum");
            EXPECT_EQ(std::stoi((*m)[3]), f.minAt) << what;
            ExpectPrinted((*m)[4], f.max, what + " maximum");
            EXPECT_EQ(std::stoi((*m)[5]), f.maxAt) << what;
            ExpectPrinted((*m)[6], f.mass, what + " total mass");
            masses[sv] = (*m)[6];
        }
        EXPECT_EQ(masses.size(), c.stateVariables) << summary;
        if (!dir.Exists("MassBalance.csv")) continue;

        const Rows balance = ParseCsvRows(dir.Read("MassBalance.csv"));
        const std::regex rows("state variable (\\d+): initial (\\S+) \\+ in (\\S+) - out (\\S+) \\(transport "
                              "(\\S+), volume sinks (\\S+), area sinks (\\S+)\\) = \\S+; final mass (\\S+); "
                              "balance error (\\S+) \\((\\S+) % of initial \\+ in\\)");
        int found = 0;
        for (std::sregex_iterator m(summary.begin(), summary.end(), rows), end; m != end; ++m, ++found) {
            const int sv = std::stoi((*m)[1]);
            const std::vector<double>& r = balance.at(static_cast<std::size_t>(sv - 1));
            const std::string what = "balance of state variable " + std::to_string(sv);
            ExpectPrinted((*m)[2], r[1], what + ", initial");
            ExpectPrinted((*m)[3], r[2], what + ", in");
            ExpectPrinted((*m)[4], r[3] + r[4] + r[5], what + ", out");
            for (int k = 0; k < 3; ++k) ExpectPrinted((*m)[5 + k], r[3 + static_cast<std::size_t>(k)], what);
            ExpectPrinted((*m)[8], r[6], what + ", final mass");
            EXPECT_EQ((*m)[8], masses.at(sv)) << "the final mass is the total mass";
            ExpectPrinted((*m)[9], r[7], what + ", error");
            EXPECT_NEAR(std::stod((*m)[10]), r[7] * 100 / (r[1] + r[2]), 1E-2 * std::fabs(r[7] * 100 / (r[1] + r[2])));
        }
        EXPECT_EQ(found, static_cast<int>(c.stateVariables)) << summary;
        // The total error of the file's last line.
        const std::string file = dir.Read("MassBalance.csv");
        char total[48];
        std::snprintf(total, sizeof total, "%.3g %%", std::strtod(file.c_str() + file.rfind('=') + 1, nullptr));
        EXPECT_NE(summary.find(std::string("all state variables: balance error ") + total +
                               " of initial and input mass"),
                  std::string::npos)
            << total << " in " << summary;
    }
}

// The note on a concentration-dependent storage, from the state and the
// rows of "MassBalance.csv" alone.
TEST(RunSummary, TheStorageNoteFollowsTheNonlinearStorageOption) {
    for (const bool nonlinearRV : {true, false}) {
        TempDir dir;
        dir.Write("MassBalance.csv", Crlf("State Variable,Initial,In,Transport Out,Volume-Based Sinks Out,"
                                          "Area-Based Sinks Out,Residual,Balance Error\n"
                                          " 1 , 49 , 246.9 , 17.9 , 0 , 0 , 279.5 ,-1.5 \n"
                                          "Mass balance error across state variables as a percentage of initial "
                                          "and total input mass = -.5  %\n"));
        TestState t(dir.Path());
        ModelState& s = t.s;
        s.opt.Dynamic = true;
        s.opt.NSV = 1;
        s.opt.NonlinearRV = nonlinearRV;
        s.setup.NT = 1;
        s.setup.SVCompMap.Resize(1, 1);
        s.tables.Compartment.Resize(1, 10);
        s.control.resultFiles = {"MassBalance.csv"};
        const std::string summary = Flat(RunSummary(s, 1.5));
        EXPECT_NE(summary.find("state variable 1: initial 49 + in 246.9 - out 17.9"), std::string::npos) << summary;
        EXPECT_NE(summary.find("balance error -1.5 (-0.507 % of initial + in)"), std::string::npos) << summary;
        EXPECT_EQ(summary.find("note: the storage depends on the concentration (R(C))") != std::string::npos,
                  nonlinearRV)
            << summary;
        EXPECT_NE(summary.find(std::string("-0.5 % of initial and input mass") + (nonlinearRV ? " (see the notes" : "")),
                  std::string::npos)
            << summary;
    }
}

}  // namespace
}  // namespace ostra::testing
