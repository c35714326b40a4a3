// nonlinear_examples_test.cpp -- the example models run end to end by the
// real `ostra` with their companion programs, each result checked against
// a calculation of its own.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "textio/number_format.h"

namespace ostra {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

// A scratch copy of examples/<name> with the companion programs that its
// "companions.txt" names, under the names it gives them.
void PrepareExample(const TempDir& dir, const std::string& name) {
    const fs::path example = fs::path(OSTRA_SOURCE_DIR) / "examples" / name;
    dir.CopyFrom(example);
    std::ifstream list(example / "companions.txt");
    std::string folder, program;
    while (list >> folder >> program) {
        for (const auto& e : fs::directory_iterator(fs::path(OSTRA_BINARY_DIR) / "companions" / folder))
            if (e.is_regular_file()) fs::copy_file(e.path(), dir.Path() / program);
        ASSERT_TRUE(dir.Exists(program)) << folder;
    }
}

// The numbers of every line after the header of a result file.
std::vector<std::vector<double>> Rows(const TempDir& dir, const std::string& file) {
    std::istringstream in(dir.Read(file));
    std::string line;
    std::getline(in, line);
    std::vector<std::vector<double>> rows;
    while (std::getline(in, line)) {
        std::vector<double> row;
        std::istringstream fields(line);
        std::string field;
        while (std::getline(fields, field, ','))
            if (field.find_first_not_of(" \r") != std::string::npos) row.push_back(std::stod(field));
        rows.push_back(row);
    }
    return rows;
}

TEST(NonlinearExamplesTest, QuadraticSteadyStateFindsTheRootsOfBothQuadratics) {
    TempDir dir;
    PrepareExample(dir, "quadratic-steady");
    const auto run = testing::RunOstraExe(dir.Path());
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    // X1^2 + X1 = 1, then 4 X2^2 + 2 X2 + (X1^2 - X1 - 1) = 0.
    const double x1 = (std::sqrt(5.0) - 1) / 2;
    const double x2 = (-2 + std::sqrt(4 - 16 * (x1 * x1 - x1 - 1))) / 8;
    const auto rows = Rows(dir, "ProfileSnapshot.csv");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][0], -999);
    EXPECT_NEAR(rows[0][2], x1, 1e-6);
    EXPECT_NEAR(rows[1][2], x2, 1e-6);
    EXPECT_NE(dir.Read("NewtonInfo.dng").find("Newton Iteration 2 "), std::string::npos);
}

TEST(NonlinearExamplesTest, KineticsStepsMatchAnImplicitEulerSolveOfTheirOwn) {
    TempDir dir;
    PrepareExample(dir, "kinetics");
    const auto run = testing::RunOstraExe(dir.Path());
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    const auto rows = Rows(dir, "AllTimeSeries.csv");
    ASSERT_EQ(rows.size(), 40u);
    // Storage 2; decay -.1 and recycling .05 per unit volume; feed 20;
    // growth 5 B S / (S + 150). Each step from ostra's previous row.
    const double V = 2, dt = .05f;
    double B0 = 1, S0 = 200;
    for (const auto& row : rows) {
        double B = B0, S = S0;
        for (int it = 0; it < 30; ++it) {
            const double g = 5 * B * S / (S + 150), gB = 5 * S / (S + 150), gS = 750 * B / ((S + 150) * (S + 150));
            const double r1 = V * (B - B0) - dt * (-.2 * B + g), r2 = V * (S - S0) - dt * (.1 * B + 20 - g);
            const double j11 = V - dt * (-.2 + gB), j12 = -dt * gS, j21 = -dt * (.1 - gB), j22 = V + dt * gS;
            const double det = j11 * j22 - j12 * j21;
            B -= (r1 * j22 - r2 * j12) / det;
            S -= (j11 * r2 - j21 * r1) / det;
        }
        EXPECT_NEAR(row[1], B, 1e-5) << "time " << row[0];
        EXPECT_NEAR(row[2], S, 1e-5) << "time " << row[0];
        B0 = row[1], S0 = row[2];
    }
    EXPECT_GT(B0, 10);  // the biomass has grown severalfold
}

TEST(NonlinearExamplesTest, SorptionColumnStoresWhatCrossedItsBoundaries) {
    TempDir dir;
    PrepareExample(dir, "nonlinear-sorption");
    const auto run = testing::RunOstraExe(dir.Path());
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    const auto rows = Rows(dir, "AllTimeSeries.csv");
    ASSERT_EQ(rows.size(), 30u);
    // Stored amount: volume 1 x R(C) x C with the Freundlich R that telm
    // returns (a Single written to 7 digits).
    auto stored = [](const std::vector<double>& C, std::size_t first) {
        double sum = 0;
        for (std::size_t i = first; i < first + 98; ++i) {
            const float R = std::stof(textio::FormatSingle(static_cast<float>(1 + .675 / std::sqrt(C[i]))));
            sum += R * C[i];
        }
        return sum;
    };
    // Each implicit-Euler step balances to the convergence limit:
    // |sum of G| <= sqrt(2 NEQN SC) with SC = 1E-8.
    const double bound = std::sqrt(2 * 98 * 1e-8) + 1e-5;
    double before = stored(std::vector<double>(98, 1.0), 0);
    const double initial = before;
    for (const auto& row : rows) {
        const double now = stored(row, 1);
        // In at the inflow: advection 1 and exchange .05 from the boundary at
        // 10, less the exchange back from cell 2; out: advection from cell 99.
        const double crossed = 2 * ((1 + .05) * 10 - .05 * row[1] - row[98]);
        EXPECT_NEAR(now - before, crossed, bound) << "time " << row[0];
        before = now;
    }
    EXPECT_GT(before - initial, 100);
}

}  // namespace
}  // namespace ostra
