// solver_agreement.cpp -- how far the runs of one model with the two linear
// solvers may differ, and the checks of it.
//
// Exports (solver_agreement.h): EquilibratedCondition, OneNormCondition,
// ClassifyRunError, RefuseConditionLimit, JudgeOutcomes,
// ResultTolerance::Row, CompareResultFile.
#include "support/solver_agreement.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "model/constants.h"

namespace ostra::fuzz {
namespace {

using Real = long double;
constexpr double NOT_KNOWN = std::numeric_limits<double>::quiet_NaN();

// `m` as a dense row-major array; false when it holds a value that is not
// finite or is too large to take.
bool Dense(const SquareMatrix& m, std::vector<Real>& a) {
    const int n = m.n;
    if (n <= 0 || n > CONDITION_MAX_ORDER || m.rowStart.size() != static_cast<std::size_t>(n) + 1) return false;
    a.assign(static_cast<std::size_t>(n) * static_cast<std::size_t>(n), 0.0L);
    for (int i = 0; i < n; ++i)
        for (int p = m.rowStart[static_cast<std::size_t>(i)]; p < m.rowStart[static_cast<std::size_t>(i) + 1]; ++p) {
            const std::size_t k = static_cast<std::size_t>(p);
            if (k >= m.cols.size() || k >= m.values.size() || m.cols[k] < 0 || m.cols[k] >= n) return false;
            if (!std::isfinite(m.values[k])) return false;
            a[static_cast<std::size_t>(i) * static_cast<std::size_t>(n) + static_cast<std::size_t>(m.cols[k])] +=
                m.values[k];
        }
    return true;
}

// ||a||_1 ||a^-1||_1 by LU with partial pivoting in extended precision;
// +inf at a zero pivot.
double Condition(std::vector<Real> a, int n) {
    const std::size_t N = static_cast<std::size_t>(n);
    auto at = [&](std::size_t i, std::size_t j) -> Real& { return a[i * N + j]; };
    Real norm = 0;
    for (std::size_t j = 0; j < N; ++j) {
        Real sum = 0;
        for (std::size_t i = 0; i < N; ++i) sum += std::fabs(at(i, j));
        norm = std::max(norm, sum);
    }
    std::vector<std::size_t> perm(N);
    for (std::size_t i = 0; i < N; ++i) perm[i] = i;
    for (std::size_t k = 0; k < N; ++k) {
        std::size_t p = k;
        for (std::size_t i = k + 1; i < N; ++i)
            if (std::fabs(at(i, k)) > std::fabs(at(p, k))) p = i;
        if (at(p, k) == 0) return HUGE_VAL;
        if (p != k) {
            for (std::size_t j = 0; j < N; ++j) std::swap(at(p, j), at(k, j));
            std::swap(perm[p], perm[k]);
        }
        for (std::size_t i = k + 1; i < N; ++i) {
            const Real l = at(i, k) / at(k, k);
            at(i, k) = l;
            if (l == 0) continue;
            for (std::size_t j = k + 1; j < N; ++j) at(i, j) -= l * at(k, j);
        }
    }
    // Column j of the inverse solves L U x = P e_j.
    Real inverseNorm = 0;
    std::vector<Real> x(N);
    for (std::size_t j = 0; j < N; ++j) {
        for (std::size_t i = 0; i < N; ++i) {
            Real v = perm[i] == j ? 1 : 0;
            for (std::size_t q = 0; q < i; ++q) v -= at(i, q) * x[q];
            x[i] = v;
        }
        Real sum = 0;
        for (std::size_t i = N; i-- > 0;) {
            Real v = x[i];
            for (std::size_t q = i + 1; q < N; ++q) v -= at(i, q) * x[q];
            x[i] = v / at(i, i);
            sum += std::fabs(x[i]);
        }
        inverseNorm = std::max(inverseNorm, sum);
    }
    const Real c = norm * inverseNorm;
    return std::isfinite(c) ? static_cast<double>(c) : HUGE_VAL;
}

bool Contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

// The lines of a result file without their line ends.
std::vector<std::string> Lines(const std::string& bytes) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t nl = bytes.find('\n', start);
        if (nl == std::string::npos) nl = bytes.size();
        std::string line = bytes.substr(start, nl - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        start = nl + 1;
    }
    return lines;
}

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = line.find(',', start);
        fields.push_back(line.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos) return fields;
        start = comma + 1;
    }
}

bool Number(const std::string& field, double& value) {
    const std::size_t b = field.find_first_not_of(' ');
    const std::size_t e = field.find_last_not_of(' ');
    if (b == std::string::npos) return false;
    const std::string t = field.substr(b, e - b + 1);
    char* end = nullptr;
    value = std::strtod(t.c_str(), &end);
    return end == t.c_str() + t.size();
}

std::string Num(double v) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.17g", v);
    return buffer;
}

// One block of numbers from each run, where they stand in the file.
struct Block {
    std::vector<double> a, b;
    std::vector<int> line, field;  // 1-based
};

struct Comparison {
    std::string name, problem;

    void Fail(const std::string& what) {
        if (problem.empty()) problem = "\"" + name + "\" " + what;
    }
    bool SameText(const std::string& a, const std::string& b, int line, int field) {
        if (a == b) return true;
        Fail("line " + std::to_string(line) + " field " + std::to_string(field) + ": Gauss-Jordan wrote \"" +
             a.substr(0, 80) + "\", sparse LU \"" + b.substr(0, 80) + "\"");
        return false;
    }
    // Field `f` of line `line` into the block when both are numbers, else the same text.
    void Take(Block& block, const std::vector<std::string>& fa, const std::vector<std::string>& fb, std::size_t f,
              int line) {
        double x = 0, y = 0;
        if (Number(fa[f], x) && Number(fb[f], y)) {
            block.a.push_back(x);
            block.b.push_back(y);
            block.line.push_back(line);
            block.field.push_back(static_cast<int>(f) + 1);
        } else {
            SameText(fa[f], fb[f], line, static_cast<int>(f) + 1);
        }
    }
    // The largest magnitude of the block.
    static double Scale(const Block& block) {
        double scale = 0;
        for (std::size_t i = 0; i < block.a.size(); ++i)
            scale = std::max({scale, std::fabs(block.a[i]), std::fabs(block.b[i])});
        return scale;
    }
    void Judge(const Block& block, double allowed, const std::string& where) {
        const double scale = Scale(block);
        double worst = 0;
        std::size_t at = 0;
        for (std::size_t i = 0; i < block.a.size(); ++i) {
            const double d = std::fabs(block.a[i] - block.b[i]);
            if (d > worst || !(d == d)) {
                worst = d;
                at = i;
            }
        }
        if (!(worst <= allowed))
            Fail(where + ": the results differ by " + Num(scale > 0 ? worst / scale : worst) +
                 " of the largest magnitude " + Num(scale) + ", beyond the allowed " +
                 Num(scale > 0 ? allowed / scale : allowed) + " (line " + std::to_string(block.line[at]) +
                 " field " + std::to_string(block.field[at]) + ": Gauss-Jordan " + Num(block.a[at]) +
                 ", sparse LU " + Num(block.b[at]) + ")");
    }
};

// Below this share of the block's largest magnitude the printed numbers
// (15 significant digits, rounded) of equal doubles may differ.
constexpr double PRINTED_PRECISION = 1E-14;

// A row of "MassBalance.csv": state variable, Initial, In, Transport Out,
// Volume-Based Sinks Out, Area-Based Sinks Out, Residual, Balance Error.
// Only its state variable and the kinds of its fields are compared: its
// masses are sums over the steps of concentrations times flows and volumes,
// weights that can make a normwise small difference of the concentrations
// (a small one lost next to a large one) any share of the sums, and a net
// transport near 0 counts as In or as Transport Out by its sign.
void MassBalanceRow(Comparison& c, const std::vector<std::string>& fa, const std::vector<std::string>& fb, int line) {
    c.SameText(fa[0], fb[0], line, 1);
    for (std::size_t f = 1; f < fa.size(); ++f) {
        double x = 0, y = 0;
        if (Number(fa[f], x) != Number(fb[f], y)) c.SameText(fa[f], fb[f], line, static_cast<int>(f) + 1);
    }
}

}  // namespace

double EquilibratedCondition(const SquareMatrix& m) {
    std::vector<Real> a;
    if (!Dense(m, a)) return NOT_KNOWN;
    const std::size_t N = static_cast<std::size_t>(m.n);
    for (std::size_t i = 0; i < N; ++i) {
        Real big = 0;
        for (std::size_t j = 0; j < N; ++j) big = std::max(big, std::fabs(a[i * N + j]));
        if (big == 0) return HUGE_VAL;
        for (std::size_t j = 0; j < N; ++j) a[i * N + j] /= big;
    }
    for (std::size_t j = 0; j < N; ++j) {
        Real big = 0;
        for (std::size_t i = 0; i < N; ++i) big = std::max(big, std::fabs(a[i * N + j]));
        if (big == 0) return HUGE_VAL;
        for (std::size_t i = 0; i < N; ++i) a[i * N + j] /= big;
    }
    return Condition(std::move(a), m.n);
}

double OneNormCondition(const SquareMatrix& m) {
    std::vector<Real> a;
    if (!Dense(m, a)) return NOT_KNOWN;
    return Condition(std::move(a), m.n);
}

SolverRefusal ClassifyRunError(const std::string& e) {
    if (e.empty()) return SolverRefusal::NONE;
    if (Contains(e, "LinearSolver fixed the solution of")) return SolverRefusal::GAUSS_JORDAN;
    if (Contains(e, "floating-point overflow in LinearSolver")) return SolverRefusal::GAUSS_JORDAN_OVERFLOW;
    if (Contains(e, "the sparse LU solver found ")) return SolverRefusal::SPARSE_SINGULAR;
    if (Contains(e, "the sparse LU solver could not solve ")) {
        if (Contains(e, "failed with KLU status")) return SolverRefusal::SPARSE_INTERNAL;
        if (Contains(e, "even with fresh pivoting")) return SolverRefusal::SPARSE_SINGULAR;
        if (Contains(e, "beyond the range of numbers")) return SolverRefusal::SPARSE_OVERFLOW;
        return SolverRefusal::SPARSE_NOT_FINITE;
    }
    return SolverRefusal::OTHER;
}

double LargestNumber(const std::string& bytes) {
    double largest = 0, v = 0;
    for (const std::string& line : Lines(bytes))
        for (const std::string& field : Fields(line))
            if (Number(field, v) && std::fabs(v) > largest) largest = std::fabs(v);
    return largest;
}

double RefuseConditionLimit(int n) { return std::ldexp(1.0, 42) / (2.0 * (1.0 + 1000.0 * std::max(0, n - 1))); }

std::string JudgeOutcomes(const SolverRun& gj, const SolverRun& lu, const std::function<double()>& condition, int n,
                          double newtonLimit) {
    const std::string both = " (Gauss-Jordan: status " + std::to_string(gj.status) + " " + gj.error +
                             "; sparse LU: status " + std::to_string(lu.status) + " " + lu.error + ")";
    if (lu.refusal == SolverRefusal::SPARSE_INTERNAL) return "a KLU call of the sparse LU run failed" + both;
    bool known = false;
    double kappa = 0;
    auto cond = [&] {
        if (!known) kappa = condition();
        known = true;
        return kappa;
    };
    auto withCondition = [&](const std::string& what) {
        return what + ": the equilibrated condition of its matrix is " + Num(cond()) + both;
    };
    // A solve that determined nothing, where the other solver found the matrix singular.
    const bool gjSingular = gj.refusal == SolverRefusal::GAUSS_JORDAN || (gj.status == EXIT_DONE && gj.undetermined);
    if (lu.status == EXIT_DONE && gjSingular && cond() >= SINGULAR_CONDITION)
        return withCondition("the sparse LU solver solved a matrix singular to working precision that "
                             "Gauss-Jordan found singular");
    if (gj.status == lu.status) return "";
    // Where Gauss-Jordan took 0 for an unknown the matrix leaves (nearly)
    // undetermined, the sparse solver follows the other solution, which
    // may grow out of range.
    if (lu.refusal == SolverRefusal::SPARSE_OVERFLOW && gjSingular) return "";
    // A run that has itself grown to values whose products overflow (an
    // unstable scheme amplifying rounding without bound) may overflow in
    // one solver before the other.
    if ((gj.refusal == SolverRefusal::GAUSS_JORDAN_OVERFLOW && gj.largestResult >= OVERFLOWING_RESULT) ||
        (lu.refusal == SolverRefusal::SPARSE_OVERFLOW && lu.largestResult >= OVERFLOWING_RESULT))
        return "";

    // Is the failure of `r` documented, given the conditioning of its matrix?
    auto documented = [&](const SolverRun& r) {
        if (r.status == EXIT_DONE) return true;
        // Newton's steps are as good as the conditioning of the Jacobian allows.
        if (r.status == EXIT_NEWTON_GAVE_UP)
            return newtonLimit > 0 && (!(cond() == cond()) || 16.0 * n * DBL_EPSILON * cond() >= newtonLimit);
        if (r.status == EXIT_USER_STOPPED) return newtonLimit > 0;  // the budget of Newton iterations
        if (r.status == EXIT_SETUP_STOPPED) return false;
        switch (r.refusal) {
            case SolverRefusal::GAUSS_JORDAN: return true;
            case SolverRefusal::SPARSE_SINGULAR:
            case SolverRefusal::GAUSS_JORDAN_OVERFLOW:
            case SolverRefusal::OTHER: break;
            default: return false;
        }
        return !(cond() == cond()) || cond() >= RefuseConditionLimit(n);
    };
    if (!documented(gj))
        return withCondition("the Gauss-Jordan run failed where the sparse LU run did not, for no documented "
                             "reason");
    if (!documented(lu))
        return withCondition("the sparse LU run failed where the Gauss-Jordan run did not, and the matrix is "
                             "not close enough to singular for its tests (limit " +
                             Num(RefuseConditionLimit(n)) + ")");
    return "";
}

double ResultTolerance::Whole() const {
    return perSolve * static_cast<double>(std::max(1L, totalSolves)) + newton + PRINTED_PRECISION;
}

std::string CompareResultFile(const std::string& name, const std::string& gaussJordan, const std::string& sparseLU,
                              const ResultTolerance& tol, bool complete) {
    Comparison c{name, ""};
    const std::vector<std::string> la = Lines(gaussJordan), lb = Lines(sparseLU);
    if (complete && la.size() != lb.size())
        c.Fail("has " + std::to_string(la.size()) + " lines from Gauss-Jordan, " + std::to_string(lb.size()) +
               " from sparse LU");
    const std::size_t lines = std::min(la.size(), lb.size());
    if (lines == 0) return c.problem;
    c.SameText(la[0], lb[0], 1, 0);
    const bool series = name == "AllTimeSeries.csv" || name == "OneCompTimeSeries.csv";
    const bool profile = name == "ProfileSnapshot.csv";
    Block whole;
    std::vector<Block> rows;  // of a time series, judged once all are read
    for (std::size_t i = 1; i < lines && c.problem.empty(); ++i) {
        const int line = static_cast<int>(i) + 1;
        const std::vector<std::string> fa = Fields(la[i]), fb = Fields(lb[i]);
        if (fa.size() != fb.size()) {
            c.Fail("line " + std::to_string(line) + " has " + std::to_string(fa.size()) + " fields from Gauss-Jordan, " +
                   std::to_string(fb.size()) + " from sparse LU");
            break;
        }
        double first = 0;
        if (name == "MassBalance.csv" && !(fa.size() == 8 && Number(fa[0], first))) {
            // The percentage line: a ratio of the sums compared in the rows above.
            c.SameText(la[i].substr(0, la[i].find('=')), lb[i].substr(0, lb[i].find('=')), line, 1);
            continue;
        }
        if (profile) {
            for (std::size_t f = 0; f + 1 < fa.size(); ++f) c.SameText(fa[f], fb[f], line, static_cast<int>(f) + 1);
            c.Take(whole, fa, fb, fa.size() - 1, line);
            continue;
        }
        if (name == "MassBalance.csv") {
            MassBalanceRow(c, fa, fb, line);
            continue;
        }
        Block row;
        c.SameText(fa[0], fb[0], line, 1);  // the time, or the state variable
        for (std::size_t f = 1; f < fa.size(); ++f) c.Take(row, fa, fb, f, line);
        if (series)
            rows.push_back(row);
        else
            c.Judge(row, tol.Whole() * Comparison::Scale(row), "line " + std::to_string(line));
    }
    if (profile && c.problem.empty()) c.Judge(whole, tol.Whole() * Comparison::Scale(whole), "the profile");
    if (series && c.problem.empty()) {
        // Each step errs relative to its own answer, and the errors of the
        // steps before carry on, amplified as the scheme amplifies: by at
        // most the largest growth of the results from one row to the next
        // (at least 1). So the allowance of row k is
        //   E(k) = growth x E(k - 1) + perStep x scale(k).
        double growth = 1;
        for (std::size_t k = 1; k < rows.size(); ++k) {
            const double before = Comparison::Scale(rows[k - 1]), now = Comparison::Scale(rows[k]);
            if (before > 0 && now > before) growth = std::max(growth, now / before);
        }
        const double perStep = tol.perSolve * static_cast<double>(std::max(1L, tol.solvesPerRow)) + tol.newton;
        double carried = 0;
        for (std::size_t k = 0; k < rows.size() && c.problem.empty(); ++k) {
            const double scale = Comparison::Scale(rows[k]);
            carried = growth * carried + perStep * scale;
            c.Judge(rows[k], carried + PRINTED_PRECISION * scale, "line " + std::to_string(k + 2));
        }
    }
    return c.problem;
}

}  // namespace ostra::fuzz
