// fd_jacobian.cpp -- the finite-difference Jacobian, column by column or by
// groups of columns that touch no common row.
//
// Exports (fd_jacobian.h): FdJacobian, FdJacobianModeOf, KnownPatternGroups.
//
// Column J is the central difference of the residual with X(J) moved up and
// down by the relative step DELTFD (by DELTFD itself where X(J) is 0):
// XJAC(I, J) = (G1(I) - G2(I)) / divisor. Column by column, every column
// costs a pair of residual evaluations, each with its companion programs.
//
// A residual row depends on a few components only: those of its row of the
// coefficient matrix A (where the rate at the new level enters: not in
// explicit Euler), its own (the storage), and whatever the companion terms
// f(C) and R(C) couple. Columns no two of which reach a common row are moved
// together in one evaluation pair: each row is then moved by one of them
// at most and sees what it sees when that column is moved alone.
//
// What the companion terms couple is seen, not assumed: a Jacobian formed
// column by column records, for every column, the rows whose residual
// differs in any bit from G, the residual at X that Newton has just
// evaluated. The first finite-difference Jacobian of a run is formed so;
// later ones are grouped by a greedy colouring (in column order) of the rows
// seen together with the pattern of A as it stands and the diagonal. Each
// grouped evaluation pair is checked: every row outside the rows its columns
// are known to reach must have kept the bits of G; when one has not, the
// Jacobian is formed again column by column, which widens the pattern by
// what it sees. Every element comes from the operands and operations of the
// column-by-column method: (G1(I) - G2(I)) / divisor where the column
// reaches row I, and (G(I) - G(I)) / divisor elsewhere, which is what that
// method forms from a row the move left unchanged.
//
// The check cannot see a coupling that appears later inside the rows a group
// covers: a row reached by one column of a group that another column of the
// same group has come to reach as well. Where every group covers every row
// (a chain of compartments does) no coupling that appears later is seen.
#include "solvers/fd_jacobian.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <string>
#include <type_traits>
#include <vector>

#include "model/error.h"
#include "solvers/residual.h"

namespace ostra {
namespace {

bool SameBits(Double a, Double b) {
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

bool AllFinite(const DVector& G) {
    for (int I = 1; I <= G.Size(); ++I)
        if (!std::isfinite(G(I))) return false;
    return true;
}

// The two moved values of a component and the divisor of their difference.
struct Move {
    Double up, down, divisor;
};

Move MoveOf(Double x, Double DELTFD) {
    if (x == 0) return {DELTFD, -DELTFD, DELTFD * 2};
    return {x * DELTFD + x, x - x * DELTFD, DELTFD * 2 * x};
}

// One residual evaluation of the Jacobian (all rows), counted.
struct Residual {
    ModelState& s;
    const DVector& XPREV;
    DSparse& A;
    DVector& BBC;
    DVector& B;
    Double cumtime;
    void operator()(const DVector& XP, DVector& GP) {
        EvalG(s, XP, XPREV, GP, ALL_ROWS, A, BBC, B, cumtime);
        ++s.fdJacobian.evaluations;
    }
};

// Whether the residual holds A X at the new level (all but explicit Euler).
bool RateAtNewLevel(const ModelState& s) { return !s.opt.Dynamic || s.opt.DynType != 1; }

// The structure of A that enters the pattern: row I holds the columns
// cols[start[I - 1] .. start[I]); empty when the rate at the new level does not enter.
void StructureOf(const ModelState& s, const DSparse& A, std::vector<int>& start,
                 std::vector<int>& cols) {
    start.assign(1, 0);
    cols.clear();
    if (!RateAtNewLevel(s)) return;
    for (int I = 1; I <= A.Rows(); ++I) {
        for (const auto& a : A.Row(I)) cols.push_back(a.col);
        start.push_back(static_cast<int>(cols.size()));
    }
}

// The pattern by columns (rows of column J: rows[start[J] .. start[J + 1])):
// the structure given, the diagonal and, when given, the rows seen changed.
void BuildPattern(int N, const std::vector<int>& sStart, const std::vector<int>& sCols,
                  const std::vector<std::vector<int>>* changed, std::vector<int>& start,
                  std::vector<int>& rows) {
    std::vector<std::vector<int>> byColumn(static_cast<std::size_t>(N) + 1);
    for (std::size_t I = 1; I < sStart.size() && I <= static_cast<std::size_t>(N); ++I)
        for (int k = sStart[I - 1]; k < sStart[I]; ++k)
            if (sCols[k] >= 1 && sCols[k] <= N) byColumn[sCols[k]].push_back(static_cast<int>(I));
    start.assign(static_cast<std::size_t>(N) + 2, 0);
    rows.clear();
    for (int J = 1; J <= N; ++J) {
        std::vector<int>& c = byColumn[J];
        c.push_back(J);
        if (changed != nullptr && static_cast<std::size_t>(J) < changed->size())
            c.insert(c.end(), (*changed)[J].begin(), (*changed)[J].end());
        std::sort(c.begin(), c.end());
        c.erase(std::unique(c.begin(), c.end()), c.end());
        rows.insert(rows.end(), c.begin(), c.end());
        start[J + 1] = static_cast<int>(rows.size());
    }
}

// Greedy colouring in column order: each column joins the first group none
// of whose columns reaches a row it reaches.
std::vector<std::vector<int>> Colour(int N, const std::vector<int>& start, const std::vector<int>& rows) {
    std::vector<std::vector<int>> columnsOfRow(static_cast<std::size_t>(N) + 1);
    for (int J = 1; J <= N; ++J)
        for (int k = start[J]; k < start[J + 1]; ++k) columnsOfRow[rows[k]].push_back(J);
    std::vector<int> colour(static_cast<std::size_t>(N) + 1, 0);
    std::vector<int> takenFor;  // takenFor[g] == J: group g has a column sharing a row with J
    std::vector<std::vector<int>> groups;
    for (int J = 1; J <= N; ++J) {
        for (int k = start[J]; k < start[J + 1]; ++k)
            for (int K : columnsOfRow[rows[k]]) {
                if (K >= J) break;
                takenFor[colour[K]] = J;
            }
        std::size_t g = 0;
        while (g < groups.size() && takenFor[g] == J) ++g;
        if (g == groups.size()) {
            groups.emplace_back();
            takenFor.push_back(0);
        }
        colour[J] = static_cast<int>(g);
        groups[g].push_back(J);
    }
    return groups;
}

// The groups for the pattern as it stands, made again when A's structure or
// the rows seen have changed since they were made.
void EnsureGroups(ModelState& s, const DSparse& A) {
    FdJacobianRecord& r = s.fdJacobian;
    std::vector<int> start, cols;
    StructureOf(s, A, start, cols);
    if (r.groupsValid && start == r.structureStart && cols == r.structureCols) return;
    const int N = s.opt.NEQN;
    BuildPattern(N, start, cols, &r.changedRows, r.patternStart, r.patternRows);
    r.groups = Colour(N, r.patternStart, r.patternRows);
    r.structureStart = std::move(start);
    r.structureCols = std::move(cols);
    r.groupsValid = true;
}

// Adds to the rows column J was seen to change those where G1 or G2 differs
// from G0 in any bit.
void RecordChanges(FdJacobianRecord& r, int J, const DVector& G0, const DVector& G1,
                   const DVector& G2, std::vector<int>& scratch) {
    scratch.clear();
    for (int I = 1; I <= G0.Size(); ++I)
        if (!SameBits(G1(I), G0(I)) || !SameBits(G2(I), G0(I))) scratch.push_back(I);
    std::vector<int>& seen = r.changedRows[static_cast<std::size_t>(J)];
    if (std::includes(seen.begin(), seen.end(), scratch.begin(), scratch.end())) return;
    std::vector<int> merged;
    std::set_union(seen.begin(), seen.end(), scratch.begin(), scratch.end(), std::back_inserter(merged));
    seen.swap(merged);
    r.groupsValid = false;
}

// Column by column, J = 1..NEQN, each moved up then down: column(J, G1, G2,
// divisor). With G0, the rows each move changed are recorded.
template <class Column>
void ByColumns(Residual& eval, Double DELTFD, const DVector& X, const DVector* G0, Column column) {
    FdJacobianRecord& r = eval.s.fdJacobian;
    const int N = eval.s.opt.NEQN;
    DVector XP(N, "XP");
    DVector G1(N, "GP");
    DVector G2(N, "GP");
    for (int J = 1; J <= N; ++J) XP(J) = X(J);
    if (G0 != nullptr) r.changedRows.resize(static_cast<std::size_t>(N) + 1);
    std::vector<int> scratch;
    for (int J = 1; J <= N; ++J) {
        const Double x = X(J);
        const Move m = MoveOf(x, DELTFD);
        XP(J) = m.up;
        eval(XP, G1);
        XP(J) = m.down;
        eval(XP, G2);
        column(J, G1, G2, m.divisor);
        if (G0 != nullptr) RecordChanges(r, J, *G0, G1, G2, scratch);
        XP(J) = x;
    }
    if (G0 != nullptr) r.patternFound = true;
}

// Each group's columns moved together, up then down. values[k] receives the
// element of pattern entry k. False as soon as a row outside the rows a
// group is known to reach has changed.
bool ByGroups(Residual& eval, Double DELTFD, const DVector& X, const DVector& G0,
              std::vector<Double>& values) {
    const FdJacobianRecord& r = eval.s.fdJacobian;
    const int N = eval.s.opt.NEQN;
    DVector XP(N, "XP");
    DVector G1(N, "GP");
    DVector G2(N, "GP");
    for (int J = 1; J <= N; ++J) XP(J) = X(J);
    values.assign(r.patternRows.size(), 0);
    std::vector<int> coveredBy(static_cast<std::size_t>(N) + 1, -1);
    for (std::size_t g = 0; g < r.groups.size(); ++g) {
        const std::vector<int>& group = r.groups[g];
        for (int J : group) XP(J) = MoveOf(X(J), DELTFD).up;
        eval(XP, G1);
        for (int J : group) XP(J) = MoveOf(X(J), DELTFD).down;
        eval(XP, G2);
        for (int J : group) XP(J) = X(J);
        const int mark = static_cast<int>(g);
        for (int J : group)
            for (int k = r.patternStart[J]; k < r.patternStart[J + 1]; ++k) coveredBy[r.patternRows[k]] = mark;
        for (int I = 1; I <= N; ++I)
            if (coveredBy[I] != mark && (!SameBits(G1(I), G0(I)) || !SameBits(G2(I), G0(I)))) return false;
        for (int J : group) {
            const Double divisor = MoveOf(X(J), DELTFD).divisor;
            for (int k = r.patternStart[J]; k < r.patternStart[J + 1]; ++k) {
                const int I = r.patternRows[k];
                values[k] = (G1(I) - G2(I)) / divisor;
            }
        }
    }
    return true;
}

// Element (I, J) of the Jacobian: every element of a dense one; of a sparse
// one those that are not exactly 0, each row receiving its columns in order.
void Store(DMatrix& XJAC, int I, int J, Double v) { XJAC(I, J) = v; }
void Store(DSparse& XJAC, int I, int J, Double v) {
    if (v != 0) XJAC.MutableRow(I).push_back({J, v});
}

// Column J from the grouped evaluations: the elements of its pattern, and
// (dense only) (G(I) - G(I)) / divisor in the rows its move leaves as they
// are; with G finite those are zeros, which a sparse Jacobian does not hold.
template <class Jacobian>
void GroupedColumn(const FdJacobianRecord& r, int J, Double divisor, const DVector& G,
                   const std::vector<Double>& values, Jacobian& XJAC) {
    if constexpr (std::is_same_v<Jacobian, DMatrix>)
        for (int I = 1; I <= G.Size(); ++I) XJAC(I, J) = (G(I) - G(I)) / divisor;
    for (int k = r.patternStart[J]; k < r.patternStart[J + 1]; ++k) Store(XJAC, r.patternRows[k], J, values[k]);
}

// The Jacobian by groups where the run may and the pattern holds, else
// column by column; columns are stored in order 1..NEQN either way.
template <class Jacobian>
void Form(ModelState& s, Double DELTFD, const DVector& X, const DVector& XPREV, const DVector& G,
          Jacobian& XJAC, DSparse& A, DVector& BBC, DVector& B, Double cumtime) {
    FdJacobianRecord& r = s.fdJacobian;
    const int N = s.opt.NEQN;
    const FdJacobianMode mode = FdJacobianModeOf(s);
    const long startsBefore = s.companions.starts;
    Residual eval{s, XPREV, A, BBC, B, cumtime};
    // The rows of a grouped Jacobian are checked against G, and the rows a
    // column changes are seen against it: only a finite residual of every row serves.
    const bool haveG = mode == FdJacobianMode::Grouped && G.Size() == N && AllFinite(G);
    ++r.jacobians;
    r.columns = N;
    bool done = false;
    if (haveG && r.patternFound) {
        EnsureGroups(s, A);
        std::vector<Double> values;
        if (ByGroups(eval, DELTFD, X, G, values)) {
            for (int J = 1; J <= N; ++J) GroupedColumn(r, J, MoveOf(X(J), DELTFD).divisor, G, values, XJAC);
            const int count = static_cast<int>(r.groups.size());
            r.fewestGroups = r.grouped == 0 ? count : std::min(r.fewestGroups, count);
            r.mostGroups = std::max(r.mostGroups, count);
            r.lastGroups = count;
            ++r.grouped;
            done = true;
        } else {
            ++r.formedAgain;
        }
    }
    if (!done) {
        ByColumns(eval, DELTFD, X, haveG ? &G : nullptr,
                  [&](int J, const DVector& G1, const DVector& G2, Double divisor) {
                      for (int I = 1; I <= N; ++I) Store(XJAC, I, J, (G1(I) - G2(I)) / divisor);
                  });
        ++r.byColumns;
    }
    r.starts += s.companions.starts - startsBefore;
}

}  // namespace

void FdJacobian(ModelState& s, Double DELTFD, const DVector& X, const DVector& XPREV,
                const DVector& G, DMatrix& XJAC, DSparse& A, DVector& BBC, DVector& B,
                Double cumtime) {
    Form(s, DELTFD, X, XPREV, G, XJAC, A, BBC, B, cumtime);
}

void FdJacobian(ModelState& s, Double DELTFD, const DVector& X, const DVector& XPREV,
                const DVector& G, DSparse& XJAC, DSparse& A, DVector& BBC, DVector& B,
                Double cumtime) {
    Form(s, DELTFD, X, XPREV, G, XJAC, A, BBC, B, cumtime);
}

FdJacobianMode FdJacobianModeOf(ModelState& s) {
    FdJacobianMode& mode = s.fdJacobian.mode;
    if (mode != FdJacobianMode::Unset) return mode;
    const char* value = std::getenv(FD_JACOBIAN_VARIABLE);
    const std::string text = value != nullptr ? value : "";
    std::string lower = text;
    for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    if (lower.empty() || lower == FD_JACOBIAN_GROUPED) {
        mode = FdJacobianMode::Grouped;
    } else if (lower == FD_JACOBIAN_COLUMNS) {
        mode = FdJacobianMode::Columns;
    } else {
        Error(s, std::string("the environment variable ") + FD_JACOBIAN_VARIABLE + " is \"" + text +
                     "\": the finite-difference Jacobian is formed \"" + FD_JACOBIAN_GROUPED +
                     "\" (the default, also when it is unset or empty) or by \"" + FD_JACOBIAN_COLUMNS +
                     "\"");
    }
    return mode;
}

int KnownPatternGroups(const ModelState& s, const DSparse& A) {
    const int N = s.opt.NEQN;
    if (N <= 0) return 0;
    std::vector<int> sStart, sCols, start, rows;
    StructureOf(s, A, sStart, sCols);
    BuildPattern(N, sStart, sCols, nullptr, start, rows);
    return static_cast<int>(Colour(N, start, rows).size());
}

}  // namespace ostra
