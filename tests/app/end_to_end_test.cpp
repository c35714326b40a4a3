// Whole runs checked against results worked out independently: a steady
// chain solved by hand, mass balances of implicit-Euler runs that must close,
// and the example models under examples/.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "app/compartment_model_files.h"
#include "app/run_driver.h"
#include "support/test_support.h"

namespace ostra::testing {
namespace {

namespace fs = std::filesystem;
using Rows = std::vector<std::vector<double>>;

int RunModel(const fs::path& dir) {
    TestState ts(dir);
    FormLoad(ts.s);
    return RunOstraClick(ts.s);
}

std::string ErrorText(const TempDir& dir) {
    return dir.Exists("Error.dng") ? dir.Read("Error.dng") : "";
}

Rows ReadRows(const TempDir& dir, const std::string& name, int skip = 1) {
    return ParseCsvRows(dir.Read(name), skip);
}

// Rows of an input table up to (not including) its -999 terminator.
Rows UntilTerminator(Rows rows) {
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (!rows[i].empty() && rows[i][0] == -999) {
            rows.resize(i);
            break;
        }
    return rows;
}

// ---------------------------------------------------------------- steady chain

TEST(SteadyChain, MatchesTheHandSolution) {
    // Fixed inflow concentration 2 -> 1 -> 2 -> 3 -> flow exit, flow 10,
    // first-order losses k V = 1, 2, 6 and a load of 7 into compartment 2.
    // At steady state each compartment passes on Q c_in (+ W) / (Q + k V).
    CompartmentModel m;
    Compartment boundary, exit, c1, c2, c3;
    boundary.kind = 2;
    exit.kind = 3;
    c1.volume = 4, c2.volume = 8, c3.volume = 16;
    c1.x = 1, c2.x = 2, c3.x = 3, exit.x = 4;
    const int b = m.Add(boundary), k1 = m.Add(c1), k2 = m.Add(c2), k3 = m.Add(c3), e = m.Add(exit);
    for (auto [from, to] : {std::pair{b, k1}, {k1, k2}, {k2, k3}, {k3, e}}) m.Connect({from, to, 1, 10});
    m.boundary[0][b - 1] = 2;
    m.volumeTerms = {{k1, 1, 1, -0.25}, {k2, 1, 1, -0.25}, {k3, 1, 1, -0.375}};
    m.loads.push_back({0, 1E9, {{k2, 1, 7}}});
    TempDir dir;
    ControlFile control;
    control.dynamic = false;
    m.Write(dir.Path(), control);
    ASSERT_EQ(RunModel(dir.Path()), 0) << ErrorText(dir);

    const double C1 = 10.0 * 2 / (10 + 1);
    const double C2 = (10 * C1 + 7) / (10 + 2);
    const double C3 = 10 * C2 / (10 + 6);
    const Rows rows = ReadRows(dir, "ProfileSnapshot.csv");
    ASSERT_EQ(rows.size(), 3u);
    const double expected[] = {C1, C2, C3};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(rows[i][0], -999);
        EXPECT_EQ(rows[i][2], i + 2);  // compartment
        EXPECT_NEAR(rows[i][6], expected[i], 1E-12 * expected[i]) << "compartment " << i + 2;
    }
}

// ------------------------------------------------------- mass balance closes

struct Balance {
    double initial, in, transportOut, volumeOut, areaOut, residual, error;
};

std::vector<Balance> ReadBalance(const TempDir& dir, int nsv) {
    const Rows rows = ReadRows(dir, "MassBalance.csv");
    std::vector<Balance> out;
    for (int s = 0; s < nsv; ++s) {
        const auto& r = rows.at(s);
        EXPECT_EQ(r.size(), 8u);
        EXPECT_EQ(r[0], s + 1);
        out.push_back({r[1], r[2], r[3], r[4], r[5], r[6], r[7]});
    }
    return out;
}

// A fixed-concentration inflow, two interior compartments, a flow exit and a
// zero-concentration neighbour reached by dispersion; volume and area sinks
// and loads in two windows, for two independent state variables. With
// `exact` every coefficient is a binary fraction; otherwise they carry the
// rounding of Single values, a temperature correction, a water content and
// a retardation factor (the same in every compartment).
CompartmentModel BalanceModel(bool exact) {
    const double f = exact ? 1 : 1.07;  // spoils the binary fractions
    CompartmentModel m(2);
    Compartment inflow, exit, side, c2, c3;
    inflow.kind = 2, exit.kind = 3, side.kind = 1;
    c2.volume = 4 * f, c3.volume = 8 * f;
    c2.x = 1 * f, c3.x = 2 * f, exit.x = 3 * f, side.x = 2 * f, side.y = 1 * f;
    if (!exact) {
        for (Compartment* c : {&c2, &c3}) c->temperature = 17, c->water = 0.8, c->solids = 1;
    }
    const int b = m.Add(inflow), k2 = m.Add(c2), k3 = m.Add(c3), e = m.Add(exit), s = m.Add(side);
    const double Q = 2 * f, E = 0.5 * f, area = 2 * f;
    m.Connect({b, k2, area, Q, E});
    m.Connect({k2, k3, area, Q, E});
    m.Connect({k3, e, area, Q, E});
    m.Connect({k3, s, area, 0, 0.25 * f});
    m.boundary[0][b - 1] = 1.5 * f;
    m.boundary[1][b - 1] = 0.75 * f;
    if (!exact)
        for (int sv = 0; sv < 2; ++sv)
            for (int k : {k2, k3}) m.kd[sv][k - 1] = 0.2, m.theta[sv][k - 1] = 1.05;
    m.volumeTerms = {{k2, 1, 1, -0.25 * f}, {k3, 1, 1, -0.125 * f}, {k3, 2, 2, -0.25 * f}};
    m.areaTerms = {{1, k3, s, -0.125 * f}, {2, k3, s, -0.0625 * f}};
    m.loads.push_back({0, 1, {{k2, 1, 3 * f}}});
    m.loads.push_back({1, 100, {{k3, 1, 1 * f}, {k3, 2, 2 * f}}});
    m.initial[0][k2 - 1] = 1 * f;
    m.initial[0][k3 - 1] = 2 * f;
    m.initial[1][k2 - 1] = 0.5 * f;
    return m;
}

void ExpectBalanceCloses(const TempDir& dir, int nsv, double tolerance) {
    for (const Balance& b : ReadBalance(dir, nsv)) {
        const double gross = b.initial + b.in;
        ASSERT_GT(gross, 0);
        EXPECT_LE(std::fabs(b.error), tolerance * gross)
            << "balance error " << b.error << " of " << gross;
    }
}

TEST(MassBalanceProof, ImplicitEulerClosesToRoundingWithExactCoefficients) {
    TempDir dir;
    ControlFile control;
    control.DELT = "0.25";
    control.NumTimeSteps = "12";
    const CompartmentModel m = BalanceModel(true);
    m.Write(dir.Path(), control);
    ASSERT_EQ(RunModel(dir.Path()), 0) << ErrorText(dir);
    ExpectBalanceCloses(dir, 2, 1E-12);

    const auto balance = ReadBalance(dir, 2);
    // Every account was used: the proof is not closed by empty columns.
    EXPECT_GT(balance[0].in, 0);
    EXPECT_GT(balance[0].transportOut, 0);
    EXPECT_GT(balance[0].volumeOut, 0);
    EXPECT_GT(balance[0].areaOut, 0);
    EXPECT_GT(balance[1].volumeOut, 0);
    // The final mass is the final concentrations times the volumes.
    const Rows series = ReadRows(dir, "AllTimeSeries.csv");
    ASSERT_EQ(series.size(), 12u);
    const auto& last = series.back();
    EXPECT_NEAR(balance[0].residual, 4 * last[1] + 8 * last[2], 1E-12 * balance[0].residual);
    EXPECT_NEAR(balance[1].residual, 4 * last[3] + 8 * last[4], 1E-12 * balance[1].residual);
    EXPECT_EQ(balance[0].initial, 4 * 1 + 8 * 2);
}

TEST(MassBalanceProof, ImplicitEulerClosesAtSingleRoundingWithInexactCoefficients) {
    TempDir dir;
    ControlFile control;
    control.DELT = "0.3";
    control.NumTimeSteps = "15";
    BalanceModel(false).Write(dir.Path(), control);
    ASSERT_EQ(RunModel(dir.Path()), 0) << ErrorText(dir);
    ExpectBalanceCloses(dir, 2, 1E-6);
}

TEST(MassBalanceProof, ImplicitEulerClosesWithAnExtrapolatedBoundary) {
    // Inflow -> 2 -> 3 -> extrapolated boundary (kind 4): the boundary's
    // concentration is extrapolated from 3 and its interior neighbour 2.
    CompartmentModel m;
    Compartment inflow, c2, c3, extrapolated;
    inflow.kind = 2, extrapolated.kind = 4;
    c2.volume = 4, c3.volume = 8;
    c2.x = 1, c3.x = 2, extrapolated.x = 3.5;
    const int b = m.Add(inflow), k2 = m.Add(c2), k3 = m.Add(c3), x = m.Add(extrapolated);
    m.Connect({b, k2, 2, 2, 0.5});
    m.Connect({k2, k3, 2, 2, 0.5});
    m.Connect({k3, x, 2, 2, 0.75});
    m.boundary[0][b - 1] = 1.5;
    m.volumeTerms = {{k3, 1, 1, -0.125}};
    m.loads.push_back({0, 1, {{k2, 1, 3}}});
    m.initial[0][k2 - 1] = 1;
    m.initial[0][k3 - 1] = 2;
    TempDir dir;
    ControlFile control;
    control.DELT = "0.25";
    control.NumTimeSteps = "12";
    m.Write(dir.Path(), control);
    ASSERT_EQ(RunModel(dir.Path()), 0) << ErrorText(dir);
    ExpectBalanceCloses(dir, 1, 1E-6);
    EXPECT_GT(ReadBalance(dir, 1)[0].transportOut, 0);
}

// ------------------------------------------------------------------ examples

std::string ControlValue(const TempDir& dir, int pair) {
    std::istringstream in(dir.Read("Control.csv"));
    std::string line;
    for (int n = 1; std::getline(in, line); ++n)
        if (n == 2 * pair) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            return line;
        }
    return "";
}

void CopyExample(const TempDir& dir, const std::string& name) {
    dir.CopyFrom(fs::path(OSTRA_SOURCE_DIR) / "examples" / name);
}

// The tables of a compartment model as the checks below need them.
struct ModelTables {
    struct Comp {
        int kind;
        double x, y, z, volume, temperature, water;
    };
    std::map<int, Comp> comps;
    std::map<int, std::vector<std::pair<int, double>>> areas;        // K -> (adjacent, area)
    std::map<std::pair<int, int>, std::vector<double>> flows, ecoef;  // (ISV, K) -> per interface
    std::map<std::pair<int, int>, double> boundary, theta;
    Rows volumeTerms, areaTerms;

    explicit ModelTables(const TempDir& dir) {
        for (const auto& r : ReadRows(dir, "Compartments.csv"))
            comps[static_cast<int>(r[0])] = {static_cast<int>(r[2]), r[3], r[4], r[5], r[6], r[7], r[8]};
        for (const auto& r : ReadRows(dir, "Interfaces.csv"))
            for (std::size_t i = 1; i + 4 < r.size(); i += 5) {
                areas[static_cast<int>(r[0])].push_back({static_cast<int>(r[i]), r[i + 1]});
                EXPECT_EQ(r[i + 4], 1) << "the checks assume fully upwind interfaces";
            }
        auto perInterface = [&](const char* name, auto& table) {
            for (const auto& r : ReadRows(dir, name))
                for (std::size_t i = 3; i < r.size(); i += 2)
                    table[{static_cast<int>(r[0]), static_cast<int>(r[1])}].push_back(r[i]);
        };
        perInterface("Flows.csv", flows);
        perInterface("ECoefficients.csv", ecoef);
        for (const auto& r : ReadRows(dir, "BOUNDARY.csv"))
            boundary[{static_cast<int>(r[0]), static_cast<int>(r[1])}] = r[2];
        for (const auto& r : ReadRows(dir, "linearKdandTempCoef.csv"))
            theta[{static_cast<int>(r[0]), static_cast<int>(r[1])}] = r[3];
        volumeTerms = UntilTerminator(ReadRows(dir, "VolumeSrcSnks.csv"));
        areaTerms = UntilTerminator(ReadRows(dir, "AreaSrcSnks.csv"));
        for (const auto& [k, c] : comps) EXPECT_EQ(c.water, 1) << "compartment " << k;
    }
    double Distance(int a, int b) const {
        const Comp &p = comps.at(a), &q = comps.at(b);
        return std::sqrt((p.x - q.x) * (p.x - q.x) + (p.y - q.y) * (p.y - q.y) +
                         (p.z - q.z) * (p.z - q.z));
    }
    // The first-order factor of a volume term: theta^(T - 20) k V.
    double VolumeFactor(int K, int sr, double k) const {
        return std::pow(theta.at({sr, K}), comps.at(K).temperature - 20) * k * comps.at(K).volume;
    }
};

TEST(Examples, RiverNetworkBalancesItsParentAndShowsTheFormedDaughter) {
    TempDir dir;
    CopyExample(dir, "river-network");
    ASSERT_EQ(RunModel(dir.Path()), 0) << ErrorText(dir);
    const auto balance = ReadBalance(dir, 2);
    EXPECT_LE(std::fabs(balance[0].error), 1E-6 * (balance[0].initial + balance[0].in));

    // The daughter's report misses exactly the mass formed from the parent:
    // the sum over the steps of DELT theta^(T-20) k V c_parent at the new level.
    const ModelTables t(dir);
    const Rows map = ReadRows(dir, "SVCompmap.csv");
    std::map<int, int> parentEquation;
    int n = 0;
    for (const auto& [k, c] : t.comps)
        if (c.kind == 0 && map[0][k] == 1) parentEquation[k] = ++n;
    const double delt = static_cast<float>(std::stod(ControlValue(dir, 10)));
    double formed = 0;
    for (const auto& row : ReadRows(dir, "AllTimeSeries.csv"))
        for (const auto& v : t.volumeTerms)
            if (v[1] == 2 && v[2] == 1 && v[3] >= 0) {
                const int K = static_cast<int>(v[0]);
                formed += delt * t.VolumeFactor(K, 2, v[3]) * row.at(parentEquation.at(K));
            }
    ASSERT_GT(formed, 0);
    const double gross = balance[1].initial + balance[1].in + formed;
    EXPECT_NEAR(balance[1].error, -formed, 1E-6 * gross);
}

TEST(Examples, SteadyRiverNetworkBalancesInflowsAndLosses) {
    TempDir dir;
    CopyExample(dir, "river-network-steady");
    ASSERT_EQ(RunModel(dir.Path()), 0) << ErrorText(dir);
    const ModelTables t(dir);
    std::map<std::pair<int, int>, double> c;  // (ISV, K) -> steady concentration
    for (const auto& r : ReadRows(dir, "ProfileSnapshot.csv")) {
        EXPECT_EQ(r[0], -999);
        c[{static_cast<int>(r[1]), static_cast<int>(r[2])}] = r[6];
    }
    ASSERT_EQ(c.size(), 8u);
    // The loads: records "K, ISV, W, -999" of the single window.
    std::map<int, double> load;
    {
        std::istringstream in(dir.Read("Loads.csv"));
        std::string line;
        while (std::getline(in, line)) {
            const Rows r = ParseCsvRows(line, 0);
            if (!r.empty() && r[0].size() == 4 && r[0][3] == -999)
                load[static_cast<int>(r[0][1])] += r[0][2];
        }
    }
    for (int isv = 1; isv <= 2; ++isv) {
        double net = load[isv], gross = load[isv];
        auto add = [&](double rate) {
            net += rate;
            if (rate > 0) gross += rate;
        };
        for (const auto& [key, conc] : c) {
            if (key.first != isv) continue;
            const int K = key.second;
            const auto& adj = t.areas.at(K);
            for (std::size_t i = 0; i < adj.size(); ++i) {
                const int J = adj[i].first, kind = t.comps.at(J).kind;
                if (kind == 0) continue;  // exchange inside the network cancels
                const double Q = t.flows.at({isv, K})[i], E = t.ecoef.at({isv, K})[i];
                const double Cb = kind == 2 ? t.boundary.at({isv, J}) : 0;
                add(kind == 3 || Q <= 0 ? Q * conc : Q * Cb);
                if (kind != 3 && E != 0) add(E * adj[i].second / t.Distance(K, J) * (Cb - conc));
            }
        }
        for (const auto& v : t.volumeTerms) {
            const int K = static_cast<int>(v[0]), sr = static_cast<int>(v[1]);
            if (sr != isv) continue;
            const int driver = v[3] >= 0 ? static_cast<int>(v[2]) : sr;
            add(t.VolumeFactor(K, sr, v[3]) * c.at({driver, K}));
        }
        for (const auto& a : t.areaTerms) {
            if (a[0] != isv) continue;
            const int K = static_cast<int>(a[1]), J = static_cast<int>(a[2]);
            double area = 0;
            for (const auto& [adj, ar] : t.areas.at(J))
                if (adj == K) area = ar;
            add(area * a[3] * c.at({isv, a[3] >= 0 ? J : K}));
        }
        ASSERT_GT(gross, 0);
        EXPECT_LE(std::fabs(net), 1E-6 * gross) << "state variable " << isv;
    }
}

// Solves M x = r in place by Gaussian elimination with partial pivoting.
std::vector<double> SolveDense(std::vector<std::vector<double>> M, std::vector<double> r) {
    const std::size_t n = r.size();
    for (std::size_t k = 0; k < n; ++k) {
        std::size_t p = k;
        for (std::size_t i = k + 1; i < n; ++i)
            if (std::fabs(M[i][k]) > std::fabs(M[p][k])) p = i;
        std::swap(M[k], M[p]);
        std::swap(r[k], r[p]);
        for (std::size_t i = k + 1; i < n; ++i) {
            const double f = M[i][k] / M[k][k];
            for (std::size_t j = k; j < n; ++j) M[i][j] -= f * M[k][j];
            r[i] -= f * r[k];
        }
    }
    std::vector<double> x(n);
    for (std::size_t k = n; k-- > 0;) {
        double s = r[k];
        for (std::size_t j = k + 1; j < n; ++j) s -= M[k][j] * x[j];
        x[k] = s / M[k][k];
    }
    return x;
}

TEST(Examples, EquationSolverTanksFollowTheImplicitSchemeOfTheirFiles) {
    TempDir dir;
    CopyExample(dir, "equation-solver");
    ASSERT_EQ(RunModel(dir.Path()), 0) << ErrorText(dir);
    const int n = std::stoi(ControlValue(dir, 4));
    const int DynType = std::stoi(ControlValue(dir, 9));
    ASSERT_TRUE(DynType == 3 || DynType == 4) << "the check covers the implicit schemes";
    const double delt = static_cast<float>(std::stod(ControlValue(dir, 10)));
    auto values = [&](const char* name) {
        std::vector<double> v;
        for (const auto& row : ReadRows(dir, name, 0))
            for (double x : row) v.push_back(x);
        return v;
    };
    const std::vector<double> a = values("AEqnSolver.csv"), B = values("BEqnSolver.csv");
    std::vector<double> S, c;
    for (double x : values("RVEqnSolver.csv")) S.push_back(static_cast<float>(x));
    for (double x : values("InitialEqnSolver.csv")) c.push_back(static_cast<float>(x));
    ASSERT_EQ(a.size(), static_cast<std::size_t>(n * n));

    const double theta = DynType == 4 ? 0.5 : 1;  // weight of the new time level
    const Rows series = ReadRows(dir, "AllTimeSeries.csv");
    ASSERT_EQ(series.size(), static_cast<std::size_t>(std::stoi(ControlValue(dir, 11))));
    for (const auto& row : series) {
        std::vector<std::vector<double>> M(n, std::vector<double>(n));
        std::vector<double> r(n);
        for (int i = 0; i < n; ++i) {
            double Ac = 0;
            for (int j = 0; j < n; ++j) {
                M[i][j] = (i == j ? S[i] : 0) - theta * delt * a[i * n + j];
                Ac += a[i * n + j] * c[j];
            }
            r[i] = S[i] * c[i] + delt * (B[i] + (1 - theta) * Ac);
        }
        c = SolveDense(M, r);
        for (int i = 0; i < n; ++i) EXPECT_NEAR(row.at(i + 1), c[i], 1E-10 * std::fabs(c[i]));
    }
}

}  // namespace
}  // namespace ostra::testing
