// solver_agreement_selftest.cpp -- shows that the judge of the two linear
// solvers' runs tells a documented disagreement from a finding, before a
// campaign of fuzz_differential relies on it.
//
// Exports: main (exit status 0 when every case behaves, 1 otherwise).
//
// The condition estimates against matrices of known condition, the outcome
// rules against pairs of outcomes of known verdict, the result comparison
// against files that agree, differ normwise or differ in their texts, and
// the number mutations against a matrix whose rows they must keep.
#include <cmath>
#include <cstdio>
#include <random>
#include <string>

#include "model/constants.h"
#include "support/number_mutations.h"
#include "support/solver_agreement.h"

namespace {

using namespace ostra;
using namespace ostra::fuzz;

int failures = 0;

void Expect(bool ok, const std::string& what) {
    std::printf("%s  %s\n", ok ? "ok  " : "FAIL", what.c_str());
    if (!ok) ++failures;
}

SquareMatrix Dense(int n, const std::vector<double>& a) {
    SquareMatrix m;
    m.n = n;
    m.rowStart.push_back(0);
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j)
            if (a[static_cast<std::size_t>(i * n + j)] != 0) {
                m.cols.push_back(j);
                m.values.push_back(a[static_cast<std::size_t>(i * n + j)]);
            }
        m.rowStart.push_back(static_cast<int>(m.cols.size()));
    }
    return m;
}

void Conditions() {
    struct Case {
        const char* what;
        int n;
        std::vector<double> a;
        double low, high;  // the equilibrated condition expected within
    };
    const Case cases[] = {
        {"identity", 3, {1, 0, 0, 0, 1, 0, 0, 0, 1}, 1, 1},
        {"rows of 1E+20 and 1 scale away", 2, {1, 1E20, 1, 1}, 1, 10},
        {"exactly singular 4 x 4", 4, {0, 5000, 0, 0, -10, -60, 40, -20, -80000, 50000, 0, 60000, -9, -1, 4, 4},
         SINGULAR_CONDITION, HUGE_VAL},
        {"a zero row", 2, {1, 2, 0, 0}, HUGE_VAL, HUGE_VAL},
        {"a row 1 + 1E-9 times another", 2, {1, 2, 1.000000001, 2.000000002 + 1E-9}, 1E8, 1E11},
    };
    for (const Case& c : cases) {
        const double k = EquilibratedCondition(Dense(c.n, c.a));
        Expect(k >= c.low && k <= c.high, std::string("equilibrated condition of ") + c.what + ": " + std::to_string(k));
    }
    Expect(OneNormCondition(Dense(2, {1, 1E20, 1, 1})) > 1E19, "unscaled condition of rows 1E+20 apart is large");
    Expect(std::isnan(EquilibratedCondition(Dense(2, {1, NAN, 0, 1}))), "no condition for a NaN element");
}

void Outcomes() {
    const SolverRun done{EXIT_DONE, SolverRefusal::NONE, "", false};
    const SolverRun gjPivot{EXIT_FATAL_DATA, SolverRefusal::GAUSS_JORDAN, "LinearSolver fixed", false};
    const SolverRun gjUndetermined{EXIT_DONE, SolverRefusal::NONE, "", true};
    const SolverRun luSingular{EXIT_FATAL_DATA, SolverRefusal::SPARSE_SINGULAR, "numerically singular", false};
    const SolverRun luInternal{EXIT_FATAL_DATA, SolverRefusal::SPARSE_INTERNAL, "KLU status -3", false};
    const SolverRun luNotFinite{EXIT_FATAL_DATA, SolverRefusal::SPARSE_NOT_FINITE, "not a finite number", false};
    const SolverRun luOverflow{EXIT_FATAL_DATA, SolverRefusal::SPARSE_OVERFLOW, "beyond the range", false};
    const SolverRun gjOverflow{EXIT_FATAL_DATA, SolverRefusal::GAUSS_JORDAN_OVERFLOW, "overflow", false, 1E+3};
    const SolverRun gjOverflowGrown{EXIT_FATAL_DATA, SolverRefusal::GAUSS_JORDAN_OVERFLOW, "overflow", false, 1E+306};
    const SolverRun other{EXIT_FATAL_DATA, SolverRefusal::OTHER, "the value of equation 1", false};
    const SolverRun gaveUp{EXIT_NEWTON_GAVE_UP, SolverRefusal::NONE, "", false};
    struct Case {
        const char* what;
        SolverRun gj, lu;
        double condition, newton;
        bool finding;
    };
    const Case cases[] = {
        {"both solve", done, done, 10, 0, false},
        {"the same failure", gjPivot, gjPivot, 10, 0, false},
        {"Gauss-Jordan's absolute limit, a regular matrix", gjPivot, done, 10, 0, false},
        {"Gauss-Jordan stops, sparse LU solves a singular matrix", gjPivot, done, 1E20, 0, true},
        {"Gauss-Jordan sets 0, sparse LU solves a singular matrix", gjUndetermined, done, HUGE_VAL, 0, true},
        {"Gauss-Jordan sets 0, sparse LU refuses", gjUndetermined, luSingular, HUGE_VAL, 0, false},
        {"sparse LU refuses a well conditioned matrix", done, luSingular, 4, 0, true},
        {"sparse LU refuses close to singular", done, luSingular, 1E13, 0, false},
        {"sparse LU refuses at the limit of its test", done, luSingular, RefuseConditionLimit(3) * 1.01, 0, false},
        {"sparse LU refuses just below it", done, luSingular, RefuseConditionLimit(3) * 0.99, 0, true},
        {"a KLU call fails, both failing", gjPivot, luInternal, HUGE_VAL, 0, true},
        {"sparse LU meets values Gauss-Jordan did not", done, luNotFinite, 10, 0, true},
        {"sparse LU's answer out of range where Gauss-Jordan set 0", gjUndetermined, luOverflow, 4, 0, false},
        {"sparse LU's answer out of range, Gauss-Jordan solving", done, luOverflow, 4, 0, true},
        {"Gauss-Jordan overflows in a run grown to 1E+306", gjOverflowGrown, done, 6, 0, false},
        {"Gauss-Jordan overflows in a run of modest values", gjOverflow, done, 6, 0, true},
        {"an overflow after an ill-conditioned solve", done, other, 1E14, 0, false},
        {"an overflow after a well conditioned one", other, done, 10, 0, true},
        {"Newton gives up on an ill-conditioned Jacobian", gaveUp, done, 1E9, 1E-10, false},
        {"Newton gives up on a well conditioned one", done, gaveUp, 10, 1E-10, true},
        {"no condition to be had", done, luSingular, NAN, 0, false},
    };
    for (const Case& c : cases) {
        const std::string verdict = JudgeOutcomes(c.gj, c.lu, [&] { return c.condition; }, 3, c.newton);
        Expect(verdict.empty() != c.finding, std::string(c.what) + (c.finding ? ": a finding" : ": documented") +
                                                 (verdict.empty() ? "" : " -- " + verdict.substr(0, 100)));
    }
}

void Results() {
    ResultTolerance tol;
    tol.perSolve = 1E-12;
    tol.solvesPerRow = 1;
    tol.totalSolves = 100;
    const std::string head = "Time,Equation 1 ,Equation 2 ,\r\n";
    struct Case {
        const char* what;
        std::string file, a, b;
        bool complete, finding;
    };
    const Case cases[] = {
        {"the same series", "AllTimeSeries.csv", head + " 1 , .5 , 2 ,\r\n", head + " 1 , .5 , 2 ,\r\n", true, false},
        {"a small component lost next to a huge one", "ProfileSnapshot.csv",
         "TIME,VARIABLE,VALUE\r\n-999 , 1 , 0 \r\n-999 , 2 , 2E+14 \r\n",
         "TIME,VARIABLE,VALUE\r\n-999 , 1 , .0666666666666667 \r\n-999 , 2 , 2E+14 \r\n", true, false},
        {"a series row beyond the bound", "AllTimeSeries.csv", head + " 1 , .5 , 2 ,\r\n",
         head + " 1 , .5000001 , 2 ,\r\n", true, true},
        {"the bound grows with the steps", "AllTimeSeries.csv", head + " 1 , 1 , 2 ,\r\n 2 , 1 , 2 ,\r\n",
         head + " 1 , 1 , 2 ,\r\n 2 , 1.0000000000015 , 2 ,\r\n", true, false},
        {"a small row after a huge one carries the huge one's errors", "AllTimeSeries.csv",
         head + " 1 , 2.4E+10 , 1 ,\r\n 2 , 11.8325817508569 , 1 ,\r\n",
         head + " 1 , 2.4E+10 , 1 ,\r\n 2 , 11.8325781423595 , 1 ,\r\n", true, false},
        {"an unstable run multiplies the errors", "AllTimeSeries.csv",
         head + " 1 , 1 , 1E+17 ,\r\n 2 , 4E+17 , 1E+17 ,\r\n 3 , 1.6E+18 , 1E+17 ,\r\n",
         head + " 1 , 1 , 1E+17 ,\r\n 2 , 4E+17 , 1E+17 ,\r\n 3 , 1.600000000003E+18 , 1E+17 ,\r\n", true, false},
        {"a time that differs", "AllTimeSeries.csv", head + " 1 , .5 , 2 ,\r\n", head + " 1.5 , .5 , 2 ,\r\n", true,
         true},
        {"a row missing from a finished run", "AllTimeSeries.csv", head + " 1 , .5 , 2 ,\r\n", head, true, true},
        {"a row missing from a stopped run", "AllTimeSeries.csv", head + " 1 , .5 , 2 ,\r\n", head, false, false},
        {"a mass balance row of another state variable", "MassBalance.csv",
         "h\r\n 1 , 1 , 2 , 3 , 4 , 5 , 6 , 7 \r\nerror = 1 %\r\n",
         "h\r\n 2 , 1 , 2 , 3 , 4 , 5 , 6 , 7 \r\nerror = 1 %\r\n", true, true},
        {"mass balance sums that differ (weighted by flows)", "MassBalance.csv",
         "h\r\n 1 , 1 , 1000 , 3 , 4 , 5 , 6 , 7 \r\n", "h\r\n 1 , 1 , 1100 , 103 , 4 , 5 , 6.1 , 7 \r\n", true,
         false},
        {"a mass balance percentage alone", "MassBalance.csv", "h\r\n 1 , 1 , 2 , 3 , 4 , 5 , 6 , 7 \r\nerror = 1 %\r\n",
         "h\r\n 1 , 1 , 2 , 3 , 4 , 5 , 6 , 7 \r\nerror = 1.0000001 %\r\n", true, false},
    };
    for (const Case& c : cases) {
        const std::string problem = CompareResultFile(c.file, c.a, c.b, tol, c.complete);
        Expect(problem.empty() != c.finding, std::string(c.what) + (c.finding ? ": reported" : ": accepted") +
                                                 (problem.empty() ? "" : " -- " + problem.substr(0, 100)));
    }
}

void Mutations() {
    const std::string matrix = "1,2,3\r\n4,5,6\r\n7,8,10\r\n";
    std::minstd_rand random(7);
    bool changed = false, shaped = true;
    for (int i = 0; i < 200; ++i) {
        const std::string m = MutateNumbers(matrix, false, random);
        changed = changed || m != matrix;
        int lines = 0, commas = 0;
        for (char ch : m) {
            lines += ch == '\n';
            commas += ch == ',';
        }
        shaped = shaped && lines == 3 && commas == 6 && m.find("\r\n") != std::string::npos;
    }
    Expect(changed && shaped, "number mutations change values and keep rows, fields and line ends");
    const std::string record = "h\n1,2,1000\n";
    bool indexKept = true;
    for (int i = 0; i < 100; ++i) indexKept = indexKept && MutateNumbers(record, true, random).rfind("h\n1,2,", 0) == 0;
    Expect(indexKept, "number mutations leave index-like fields alone when asked");
}

}  // namespace

int main() {
    Conditions();
    Outcomes();
    Results();
    Mutations();
    std::printf("%s\n", failures == 0 ? "every check behaves" : "some checks do not behave");
    return failures == 0 ? 0 : 1;
}
