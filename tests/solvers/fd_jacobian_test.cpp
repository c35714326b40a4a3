// fd_jacobian_test.cpp -- grouped finite differences against column by
// column, bit for bit, on random nonlinear models; a coupling that appears
// after the pattern was seen; the choice of the method by the environment.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "app/ostra_process.h"
#include "solvers/fd_jacobian.h"
#include "solvers/jacobian.h"
#include "solvers/nonlinear_fixture.h"
#include "solvers/residual.h"

namespace ostra {
namespace {

using namespace testing;

std::string Number(double v) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.17g", v);
    return buf;
}

// A companion answering one value per equation, value(i) an awk expression
// in x[1..n]; the time line of a dynamic request is skipped.
void AwkCompanion(const TempDir& dir, const std::string& name, bool dynamic,
                  const std::vector<std::string>& value, const char* format) {
    std::string body;
    for (std::size_t i = 0; i < value.size(); ++i)
        body += "printf \"" + std::string(format) + "\\n\", " + value[i] + "; ";
    dir.WriteExecutable(name + ".exe", "#!/bin/sh\nawk 'NR > " + std::string(dynamic ? "1" : "0") +
                                           " { x[++n] = $1 } END { " + body + "}' Shell" + name +
                                           ".csv > " + name + ".csv\n");
}

std::string X(int i) { return "x[" + std::to_string(i) + "]"; }

// f(i) = a C(i)^2 plus, for some rows, b C(i) C(j) with a random j.
std::vector<std::string> RandomRates(std::mt19937& random, int n) {
    std::uniform_real_distribution<double> coefficient(-.3, .3);
    std::uniform_int_distribution<int> other(1, n), coin(0, 2);
    std::vector<std::string> f;
    for (int i = 1; i <= n; ++i) {
        std::string e = Number(coefficient(random)) + " * " + X(i) + " * " + X(i);
        if (coin(random) == 0) e += " + " + Number(coefficient(random)) + " * " + X(i) + " * " + X(other(random));
        f.push_back(e);
    }
    return f;
}

// R(i) = 1 + 1 / (1 + C(i) + .1 C(j)), j random for some rows.
std::vector<std::string> RandomStorageFactors(std::mt19937& random, int n) {
    std::uniform_int_distribution<int> other(1, n), coin(0, 2);
    std::vector<std::string> R;
    for (int i = 1; i <= n; ++i)
        R.push_back("1 + 1 / (1 + " + X(i) + (coin(random) == 0 ? " + .1 * " + X(other(random)) : "") + ")");
    return R;
}

// A sparse random coefficient matrix with a dominant diagonal.
std::vector<std::vector<double>> RandomMatrix(std::mt19937& random, int n) {
    std::uniform_real_distribution<double> u(0, 1);
    std::vector<std::vector<double>> A(static_cast<std::size_t>(n), std::vector<double>(static_cast<std::size_t>(n), 0));
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            A[i][j] = i == j ? -2 - u(random) : u(random) < .2 ? u(random) - .5 : 0;
    return A;
}

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Newton differentiates right after a residual at the same state.
void Differentiate(ModelState& s, const DVector& X, DMatrix& J) {
    EvalG(s, X, s.sys.c, s.sys.G, ALL_ROWS, s.sys.A, s.sys.BBC, s.sys.B, 0);
    Jacobian(s, s.opt.DELTFD, X, s.sys.c, s.sys.G, J, s.sys.A, s.sys.BBC, s.sys.B, 0);
}

// The whole Jacobian at X grouped (dense and sparse) and column by column;
// every element is to have the same bits.
void ExpectGroupedEqualsColumns(ModelState& s, const DVector& X, const std::string& what) {
    const int n = s.opt.NEQN;
    DMatrix grouped(n, n), columns(n, n);
    DSparse sparse;
    s.fdJacobian.mode = FdJacobianMode::Grouped;
    Differentiate(s, X, grouped);
    Jacobian(s, s.opt.DELTFD, X, s.sys.c, s.sys.G, sparse, s.sys.A, s.sys.BBC, s.sys.B, 0);
    s.fdJacobian.mode = FdJacobianMode::Columns;
    Jacobian(s, s.opt.DELTFD, X, s.sys.c, s.sys.G, columns, s.sys.A, s.sys.BBC, s.sys.B, 0);
    s.fdJacobian.mode = FdJacobianMode::Grouped;
    for (int i = 1; i <= n; ++i)
        for (int j = 1; j <= n; ++j) {
            EXPECT_TRUE(SameBits(grouped(i, j), columns(i, j)))
                << what << " (" << i << ", " << j << "): " << grouped(i, j) << " and " << columns(i, j);
            const double v = sparse.Get(i, j);
            EXPECT_TRUE(SameBits(v, columns(i, j)) || (v == 0 && columns(i, j) == 0)) << what;
        }
}

TEST(FdJacobian, GroupedHasTheBitsOfColumnByColumnOnRandomNonlinearModels) {
    // scheme 0: steady state. "column": a chain of compartments with f(C)
    // and R(C); "matrix": equation-solver mode, a random A and f(C).
    const struct {
        unsigned seed;
        const char* kind;
        int scheme;
    } cases[] = {{1, "column", 0}, {2, "column", 1}, {3, "column", 3}, {4, "column", 4},
                 {5, "matrix", 0}, {6, "matrix", 3}, {7, "matrix", 4}, {8, "column", 3}};
    for (const auto& c : cases) {
        const std::string what = std::string(c.kind) + " scheme " + std::to_string(c.scheme) + " seed " +
                                 std::to_string(c.seed);
        std::mt19937 random(c.seed);
        const bool dynamic = c.scheme != 0, column = std::string(c.kind) == "column";
        const int n = column ? 7 : 8;
        NonlinearModel m;
        Control control = column ? ColumnControl(n) : Control().Set(4, std::to_string(n)).Set(5, "1," + std::to_string(n) + ",0");
        control.Set(3, dynamic ? "N" : "Y").Set(9, dynamic ? std::to_string(c.scheme) : "3").Set(10, ".5")
            .Set(18, "1E-05").Set(24, "Y");
        if (column) {
            WriteColumn(m.dir, n, 10);
            if (dynamic) {
                AwkCompanion(m.dir, "Telm", true, RandomStorageFactors(random, n), "%.9g");
                control.Set(16, "Y").Set(25, "Y");
            }
        } else {
            std::vector<double> B, RV, start;
            for (int i = 1; i <= n; ++i) B.push_back(i), RV.push_back(1 + .5 * i), start.push_back(1 + .25 * i);
            WriteEqns(m.dir, RandomMatrix(random, n), B, RV, start);
        }
        AwkCompanion(m.dir, "varn", dynamic, RandomRates(random, n), "%.17g");
        m.Load(control);
        ModelState& s = m.s;
        s.fdJacobian.mode = FdJacobianMode::Grouped;

        DVector X = s.sys.c;
        DMatrix first(n, n);
        Differentiate(s, X, first);  // column by column: the pattern is seen
        EXPECT_EQ(s.fdJacobian.byColumns, 1) << what;
        std::uniform_real_distribution<double> factor(.8, 1.2);
        for (int trial = 1; trial <= 2; ++trial) {
            for (int i = 1; i <= n; ++i) X(i) = X(i) * factor(random);
            ExpectGroupedEqualsColumns(s, X, what + " trial " + std::to_string(trial));
        }
        EXPECT_EQ(s.fdJacobian.grouped, 4) << what;
        EXPECT_EQ(s.fdJacobian.formedAgain, 0) << what;
        EXPECT_LT(s.fdJacobian.lastGroups, n) << what;
    }
}

TEST(FdJacobian, GroupedHasTheBitsOfColumnByColumnOnEveryNonlinearExample) {
    const struct {
        const char* name;
        int trials;
    } examples[] = {{"quadratic-steady", 3}, {"kinetics", 3}, {"nonlinear-sorption", 1}};
    for (const auto& e : examples) {
        NonlinearModel m;
        CopyExampleWithCompanions(m.dir, e.name);
        // The example's own options, with finite differences.
        Control control;
        std::ifstream in(m.dir.Path() / "Control.csv");
        std::string label, value;
        for (std::size_t pair = 0; pair < control.v.size() && std::getline(in, label) && std::getline(in, value); ++pair)
            control.v[pair] = value.substr(0, value.find('\r'));
        m.Load(control.Set(17, "N").Set(19, "N"));
        ModelState& s = m.s;
        s.fdJacobian.mode = FdJacobianMode::Grouped;
        DVector X = s.opt.Dynamic ? s.sys.XNew : s.sys.c;
        const int n = s.opt.NEQN;
        DMatrix first(n, n);
        Differentiate(s, X, first);
        std::mt19937 random(11);
        std::uniform_real_distribution<double> factor(.9, 1.1);
        for (int trial = 1; trial <= e.trials; ++trial) {
            for (int i = 1; i <= n; ++i) X(i) = X(i) * factor(random);
            ExpectGroupedEqualsColumns(s, X, std::string(e.name) + " trial " + std::to_string(trial));
        }
        EXPECT_EQ(s.fdJacobian.formedAgain, 0) << e.name;
        if (n == 98) {
            EXPECT_EQ(s.fdJacobian.lastGroups, 3);
        }
    }
}

TEST(FdJacobian, ACouplingThatAppearsOutsideAGroupsRowsIsSeenAndTheJacobianFormedAgain) {
    // Equations 1 and 2 are coupled by A, 3 and 4 stand alone: the columns
    // group as {1, 3, 4} and {2}. Once C(1) exceeds 5, f(4) depends on C(2).
    NonlinearModel m;
    WriteEqns(m.dir, {{-2, 1, 0, 0}, {1, -2, 0, 0}, {0, 0, -2, 0}, {0, 0, 0, -2}}, {1, 2, 3, 4}, {1, 1, 1, 1},
              {1, 2, 3, 4});
    AwkCompanion(m.dir, "varn", false,
                 {".1 * x[1] * x[1]", ".1 * x[2] * x[2]", ".1 * x[3] * x[3]",
                  ".1 * x[4] * x[4] + (x[1] > 5 ? .3 * x[2] * x[2] : 0)"},
                 "%.17g");
    m.Load(Control().Set(4, "4").Set(5, "1,4,0").Set(18, "1E-05").Set(24, "Y"));
    ModelState& s = m.s;
    s.fdJacobian.mode = FdJacobianMode::Grouped;
    DVector X = s.sys.c;
    DMatrix J(4, 4);
    Differentiate(s, X, J);
    ASSERT_EQ(s.fdJacobian.changedRows[2], (std::vector<int>{1, 2}));

    X(1) = 6;
    ExpectGroupedEqualsColumns(s, X, "coupling switched on");
    EXPECT_EQ(s.fdJacobian.formedAgain, 1);
    EXPECT_EQ(s.fdJacobian.changedRows[2], (std::vector<int>{1, 2, 4}));
    // The sparse Jacobian after it is grouped by the wider pattern: {1, 3, 4}, {2}.
    EXPECT_EQ(s.fdJacobian.grouped, 1);
    EXPECT_EQ(s.fdJacobian.lastGroups, 2);

    X(2) = 2.5;
    ExpectGroupedEqualsColumns(s, X, "after the pattern was widened");
    EXPECT_EQ(s.fdJacobian.formedAgain, 1);
    EXPECT_EQ(s.fdJacobian.lastGroups, 2);
}

TEST(FdJacobian, TheEnvironmentChoosesColumnsOrGroupsAndAnUnknownValueEndsTheRun) {
    const struct {
        const char* value;  // nullptr: unset
        FdJacobianMode mode;
        const char* error;
    } cases[] = {
        {nullptr, FdJacobianMode::Grouped, ""},
        {"", FdJacobianMode::Grouped, ""},
        {"grouped", FdJacobianMode::Grouped, ""},
        {"Columns", FdJacobianMode::Columns, ""},
        {"column", FdJacobianMode::Unset,
         "Error:  the environment variable OSTRA_FD_JACOBIAN is \"column\": the finite-difference Jacobian "
         "is formed \"grouped\" (the default, also when it is unset or empty) or by \"columns\"\n"},
    };
    for (const auto& c : cases) {
        if (c.value == nullptr)
            unsetenv("OSTRA_FD_JACOBIAN");
        else
            setenv("OSTRA_FD_JACOBIAN", c.value, 1);
        TempDir dir;
        TestState t(dir.Path());
        const std::string what = c.value == nullptr ? "unset" : c.value;
        if (*c.error == '\0') {
            EXPECT_EQ(FdJacobianModeOf(t.s), c.mode) << what;
            setenv("OSTRA_FD_JACOBIAN", "nonsense", 1);
            EXPECT_EQ(FdJacobianModeOf(t.s), c.mode) << what << ": read once, at the first need";
        } else {
            EXPECT_EQ(Ended([&] { FdJacobianModeOf(t.s); }), EXIT_FATAL_DATA) << what;
            EXPECT_EQ(dir.Read("Error.dng"), Crlf(c.error));
        }
    }
    unsetenv("OSTRA_FD_JACOBIAN");
}

}  // namespace
}  // namespace ostra
