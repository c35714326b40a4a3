// run_summary.cpp -- the few lines `ostra` prints on what a finished run did.
//
// Exports (run_summary.h): RunSummary, ModeText, SchemeText, LinearSolverName, SummaryNumber,
// WarningLines, SummaryLine.
//
// Everything here describes; nothing changes the state or any file. The
// final values are those the result files got: c (or, for a steady linear
// run, the solved right-hand side B) divided by XScale where a Newton result
// is scaled. Masses are volume x concentration x water content (Compartment
// columns 7 and 9), the measure of "MassBalance.csv", whose rows are read
// back as written so that the words say what the file holds.
#include "app/run_summary.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <vector>

#include "app/jacobian_summary.h"
#include "sources/equation_numbers.h"
#include "textio/errors.h"
#include "textio/file_names.h"
#include "textio/text_reader.h"
#include "transport/exchange_balance.h"

namespace ostra {
namespace {

const char* const SCHEME_NAMES[5] = {"", "explicit Euler", "MacCormack predictor-corrector",
                                     "implicit Euler", "Crank-Nicolson"};
constexpr std::size_t MASS_BALANCE_COLUMNS = 8;  // state variable, initial, in, 3 outs, residual, error
constexpr std::size_t SUMMARY_WIDTH = 78;        // columns a summary line is wrapped to
constexpr char KEEP_TOGETHER = '\x01';           // a blank the wrapping does not break at

bool NewtonRun(const ModelState& s) { return !s.opt.Linear && !s.setup.ExplicitNonlinear; }

// The vector the result files were written from.
const DVector& FinalVector(const ModelState& s) {
    return !s.opt.Dynamic && s.opt.Linear ? s.sys.B : s.sys.c;
}

Double FinalValue(const ModelState& s, int e) {
    const Double v = FinalVector(s)(e);
    return NewtonRun(s) ? v / s.opt.XScale : v;
}

std::string Percent(double part, double whole) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.3g%c%%", part * 100 / whole, KEEP_TOGETHER);
    return buf;
}

std::string WallTime(double seconds) {
    char buf[48];
    if (seconds < 60) {
        std::snprintf(buf, sizeof buf, "%.2f%cs", seconds, KEEP_TOGETHER);
    } else {
        const long t = static_cast<long>(seconds);
        std::snprintf(buf, sizeof buf, "%ld%cmin %ld%cs", t / 60, KEEP_TOGETHER, t % 60, KEEP_TOGETHER);
    }
    return buf;
}

// Minimum, maximum (with where) and total mass of one state variable.
struct Extent {
    int count = 0;
    double min = 0, max = 0, mass = 0;
    int minAt = 0, maxAt = 0;
    void Add(double value, int where, double m) {
        if (count == 0 || value < min) min = value, minAt = where;
        if (count == 0 || value > max) max = value, maxAt = where;
        mass += m;
        ++count;
    }
};

std::string FinalValueLines(const ModelState& s) {
    std::string text;
    if (s.opt.EquationSolver) {
        Extent e;
        for (int i = 1; i <= s.opt.NEQN; ++i) e.Add(FinalValue(s, i), i, 0);
        if (e.count == 0) return text;
        return SummaryLine(2, "Final values: minimum " + SummaryNumber(e.min) + " (equation " +
                                  std::to_string(e.minAt) + "), maximum " + SummaryNumber(e.max) +
                                  " (equation " + std::to_string(e.maxAt) + ")");
    }
    text = SummaryLine(2, "Final concentrations and mass (volume x concentration x water content):");
    for (int ISV = 1; ISV <= s.opt.NSV; ++ISV) {
        Extent e;
        for (int K = 1; K <= s.setup.NT; ++K) {
            if (s.setup.SVCompMap(ISV, K) != 1) continue;
            const int eq = EquationOf(s, ISV, K);
            if (eq == MISSING) continue;
            const double c = FinalValue(s, eq);
            e.Add(c, K, s.tables.Compartment(K, 7) * c * s.tables.Compartment(K, 9));
        }
        const std::string sv = "state variable " + std::to_string(ISV) + ": ";
        if (e.count == 0) {
            text += SummaryLine(4, sv + "no compartment");
            continue;
        }
        text += SummaryLine(4, sv + "minimum " + SummaryNumber(e.min) + " (compartment " + std::to_string(e.minAt) +
                                   "), maximum " + SummaryNumber(e.max) + " (compartment " +
                                   std::to_string(e.maxAt) + "), total mass " + SummaryNumber(e.mass));
    }
    return text;
}

// The rows of "MassBalance.csv" (columns as written) and the percentage of
// its last line; empty when the file cannot be read back.
struct BalanceFile {
    std::vector<std::vector<double>> rows;
    bool havePercent = false;
    double percent = 0;
};

BalanceFile ReadBalanceFile(const ModelState& s) {
    BalanceFile f;
    std::ifstream in(textio::FindFile(s.Dir, MASS_BALANCE_FILE), std::ios::binary);
    std::string line;
    if (!std::getline(in, line)) return f;  // the header
    while (std::getline(in, line)) {
        const std::size_t eq = line.find('=');
        if (eq != std::string::npos) {
            f.percent = std::strtod(line.c_str() + eq + 1, nullptr);
            f.havePercent = true;
            break;
        }
        std::vector<double> row;
        std::istringstream fields(line);
        std::string field;
        while (std::getline(fields, field, ',')) row.push_back(std::strtod(field.c_str(), nullptr));
        if (row.size() == MASS_BALANCE_COLUMNS) f.rows.push_back(row);
    }
    return f;
}

// State variables formed from another one: the records of "VolumeSrcSnks.csv"
// in an interior compartment whose receiving and driving state variables
// differ and whose rate is not negative. receiving -> driving ones.
std::map<int, std::set<int>> FormedFrom(const ModelState& s) {
    std::map<int, std::set<int>> formed;
    try {
        textio::TextReader in(s.Dir, VOLUME_SRC_SNK_FILE);
        in.ReadLine("header line");
        for (;;) {
            const int K = in.ReadInteger("compartment");
            if (K == MISSING) break;
            const int sr = in.ReadInteger("receiving state variable");
            const int sc = in.ReadInteger("driving state variable");
            const Single k = in.ReadSingle("rate");
            if (K >= 1 && K <= s.setup.NT && s.tables.Compartment(K, 3) == 0 && sr != sc && k >= 0)
                formed[sr].insert(sc);
        }
    } catch (const textio::DataError&) {
        // The run read the file; if it has changed since, no note is given.
    }
    return formed;
}

std::string StateVariables(const std::set<int>& svs) {
    std::string text = svs.size() == 1 ? "state variable " : "state variables ";
    bool first = true;
    for (int sv : svs) {
        text += (first ? "" : ", ") + std::to_string(sv);
        first = false;
    }
    return text;
}

std::string BalanceLines(ModelState& s) {
    const BalanceFile f = ReadBalanceFile(s);
    if (f.rows.empty()) return SummaryLine(2, "Mass balance: \"MassBalance.csv\" could not be read back");
    const std::map<int, std::set<int>> formed = FormedFrom(s);
    const std::vector<ExchangeImbalance> unbalanced = FindExchangeImbalances(s);
    std::string text = SummaryLine(2, "Mass balance (\"MassBalance.csv\"):");
    bool noted = false;
    for (const std::vector<double>& r : f.rows) {
        const int sv = static_cast<int>(r[0]);
        const double initial = r[1], in = r[2], out = r[3] + r[4] + r[5], final = r[6], error = r[7];
        text += SummaryLine(4, "state variable " + std::to_string(sv) + ": initial " + SummaryNumber(initial) +
                                   " + in " + SummaryNumber(in) + " - out " + SummaryNumber(out) + " (transport " +
                                   SummaryNumber(r[3]) + ", volume sinks " + SummaryNumber(r[4]) +
                                   ", area sinks " + SummaryNumber(r[5]) + ") = " +
                                   SummaryNumber(initial + in - out) + "; final mass " + SummaryNumber(final) +
                                   "; balance error " + SummaryNumber(error) +
                                   (initial + in == 0 ? std::string(" (no initial or input mass to compare it with)")
                                                      : " (" + Percent(error, initial + in) + " of initial + in)"));
        const auto it = formed.find(sv);
        if (it != formed.end()) {
            text += SummaryLine(6, "note: state variable " + std::to_string(sv) + " is formed from " +
                                       StateVariables(it->second) + " (\"" + VOLUME_SRC_SNK_FILE +
                                       "\"); the balance counts only terms of the same state variable, so "
                                       "the mass formed is not in \"in\" and shows here as balance error");
            noted = true;
        }
        const std::string exchange = ExchangeImbalanceNote(unbalanced, static_cast<Integer>(sv));
        if (!exchange.empty()) {
            text += SummaryLine(6, exchange);
            noted = true;
        }
    }
    if (s.opt.NonlinearRV) {
        text += SummaryLine(4, "note: the storage depends on the concentration (R(C)); the balance counts "
                               "volume x water content x concentration only, so its error does not measure "
                               "the accuracy of the solution");
        noted = true;
    }
    if (f.havePercent) {
        char buf[48];
        std::snprintf(buf, sizeof buf, "%.3g%c%%", f.percent, KEEP_TOGETHER);
        text += SummaryLine(4, std::string("all state variables: balance error ") + buf +
                                   " of initial and input mass" + (noted ? " (see the notes above)" : ""));
    }
    return text;
}

}  // namespace

std::string SummaryNumber(double value) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.6g", value);
    return buf;
}

std::string ModeText(const RunOptions& o) {
    return std::string(o.EquationSolver ? "equation-solver mode (EQNS)" : "compartment mode (ENVS)") +
           (o.Linear ? ", linear" : ", nonlinear") + (o.Dynamic ? ", dynamic" : ", steady state");
}

std::string SchemeText(const ModelState& s) {
    const RunOptions& o = s.opt;
    std::string text;
    if (!o.Dynamic) {
        text = NewtonRun(s) ? "steady state, solved by Newton iteration" : "steady state, one linear solve";
    } else {
        text = o.DynType >= 1 && o.DynType <= 4 ? SCHEME_NAMES[o.DynType] : "scheme " + std::to_string(o.DynType);
        if (NewtonRun(s)) text += ", each step solved by Newton iteration";
        if (!o.Linear && !NewtonRun(s)) text += ", f(C) taken at the start of each step";
    }
    if (NewtonRun(s)) text += o.AnalyticJacobian ? " (analytic Jacobian)" : " (finite-difference Jacobian)";
    return text;
}

std::string LinearSolverName(const ModelState& s) {
    if (s.opt.SparseLU) return "sparse LU (KLU)";
    return s.opt.LinearMethod == LINEAR_METHOD_LU ? "LU decomposition (LUDCMP)" : "Gauss-Jordan";
}

std::string LinearSolverLines(const ModelState& s) {
    std::string text = SummaryLine(2, "Linear solver: " + LinearSolverName(s));
    const RunOptions& o = s.opt;
    if (o.IgnoredControlFrom != 0) {
        const std::string lines = o.IgnoredControlFrom == o.IgnoredControlTo
                                      ? "line " + std::to_string(o.IgnoredControlFrom)
                                      : "lines " + std::to_string(o.IgnoredControlFrom) + " to " +
                                            std::to_string(o.IgnoredControlTo);
        text += SummaryLine(4, "\"Control.csv\": " + lines + ", after pair 36, ignored (a 37th pair, the "
                               "linear solver, begins with the label \"" + SOLVER_PAIR_LABEL + "\" on line 73)");
    }
    const SparseLUCounts& k = s.work.sparseLU.counts;
    if (o.SparseLU && k.solves > 0 && k.smallestPivotRatio >= 0)
        text += SummaryLine(4, SummaryNumber(static_cast<double>(k.solves)) + (k.solves == 1 ? " solve" : " solves") +
                               "; smallest pivot ratio " + SummaryNumber(k.smallestPivotRatio) + " (refused below " +
                               SummaryNumber(SPARSE_LU_PIVOT_RATIO_MIN) + "), largest backward error " +
                               SummaryNumber(k.largestBackwardError) + " (refused above " +
                               SummaryNumber(SPARSE_LU_BACKWARD_ERROR_MAX) + ")");
    return text;
}

std::string WarningLines(const RunControl& control) {
    if (control.warnings.empty()) return SummaryLine(2, "Warnings: none");
    std::string text = SummaryLine(2, "Warnings:");
    for (const std::string& w : control.warnings) text += SummaryLine(4, w);
    return text;
}

std::string RunSummary(ModelState& s, double wallSeconds) {
    const RunOptions& o = s.opt;
    std::string text = "Summary:\n";
    std::string size = std::to_string(o.NEQN) + (o.NEQN == 1 ? " equation; " : " equations; ");
    if (o.Dynamic)
        size += SummaryNumber(o.NumTimeSteps) + " time steps of " + SummaryNumber(o.DELT) + ", simulated time " +
                SummaryNumber(s.sys.CurrentTime);
    else
        size += "steady state";
    text += SummaryLine(2, size + "; wall time " + WallTime(wallSeconds));
    text += LinearSolverLines(s);
    text += CompanionAndJacobianLines(s);
    text += FinalValueLines(s);
    for (const std::string& name : s.control.resultFiles)
        if (name == MASS_BALANCE_FILE) text += BalanceLines(s);
    text += WarningLines(s.control);
    std::string files;
    for (const std::string& name : s.control.resultFiles) files += (files.empty() ? "" : ", ") + name;
    text += SummaryLine(2, "Result files: " + (files.empty() ? std::string("none") : files));
    return text;
}

std::string SummaryLine(int indent, const std::string& text) {
    const std::string first(static_cast<std::size_t>(indent), ' ');
    const std::string next(static_cast<std::size_t>(indent + 2), ' ');
    std::string out, line = first;
    bool empty = true;  // no word on `line` yet
    std::istringstream words(text);
    std::string word;
    while (words >> word) {
        if (!empty && line.size() + 1 + word.size() > SUMMARY_WIDTH) {
            out += line + "\n";
            line = next;
            empty = true;
        }
        line += (empty ? "" : " ") + word;
        empty = false;
    }
    out += line + "\n";
    for (char& ch : out)
        if (ch == KEEP_TOGETHER) ch = ' ';
    return out;
}

}  // namespace ostra
