// result_checks.cpp -- what a run must have left in its model directory.
//
// Exports (result_checks.h): CheckRunResults, InternalFault.
#include "support/result_checks.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "support/scratch_model.h"
#include "textio/file_names.h"

namespace ostra::fuzz {
namespace {

namespace fs = std::filesystem;

// The lines of `bytes`, each without its CR LF; `error` names the first line
// that does not end CR LF.
std::vector<std::string> CrlfLines(const std::string& bytes, std::string& error) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < bytes.size()) {
        const std::size_t nl = bytes.find('\n', start);
        if (nl == std::string::npos) {
            if (error.empty()) error = "line " + std::to_string(lines.size() + 1) + " has no line end";
            lines.push_back(bytes.substr(start));
            break;
        }
        if (nl == start || bytes[nl - 1] != '\r') {
            if (error.empty()) error = "line " + std::to_string(lines.size() + 1) + " ends LF, not CR LF";
            lines.push_back(bytes.substr(start, nl - start));
        } else {
            lines.push_back(bytes.substr(start, nl - 1 - start));
        }
        start = nl + 1;
    }
    return lines;
}

// A token of a number-bearing line that reads as a number that is not finite:
// "INF", "-INF", "NAN", "-NAN", "nan(0x1)", "1.#INF" and the like.
std::string NonFiniteToken(const std::string& line) {
    std::size_t p = 0;
    while (p < line.size()) {
        while (p < line.size() && (line[p] == ' ' || line[p] == ',' || line[p] == '\t')) ++p;
        std::size_t e = p;
        while (e < line.size() && line[e] != ' ' && line[e] != ',' && line[e] != '\t') ++e;
        if (e > p) {
            const std::string token = line.substr(p, e - p);
            const std::string low = textio::LowerCase(token);
            char* end = nullptr;
            const double v = std::strtod(token.c_str(), &end);
            if (end == token.c_str() + token.size() && !std::isfinite(v)) return token;
            if (low.find("#inf") != std::string::npos || low.find("#ind") != std::string::npos ||
                low.find("#qnan") != std::string::npos)
                return token;
        }
        p = e;
    }
    return "";
}

int FieldCount(const std::string& line) { return static_cast<int>(std::count(line.begin(), line.end(), ',')) + 1; }

struct FileCheck {
    const ModelState& s;
    std::string problem;

    void Fail(const std::string& file, const std::string& what) {
        if (problem.empty()) problem = "\"" + file + "\": " + what;
    }

    // Reads `file` and checks its lines; empty when the file does not exist.
    bool Lines(const std::string& file, std::vector<std::string>& lines) {
        const fs::path path = textio::FindFile(s.Dir, file);
        std::error_code ec;
        if (!fs::is_regular_file(path, ec)) return false;
        std::string bytes, error;
        if (!ReadFileBytes(path, bytes)) {
            Fail(file, "cannot be read");
            return false;
        }
        lines = CrlfLines(bytes, error);
        if (!error.empty()) Fail(file, error);
        return true;
    }

    void NoNonFinite(const std::string& file, const std::vector<std::string>& lines) {
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const std::string token = NonFiniteToken(lines[i]);
            if (!token.empty())
                Fail(file, "line " + std::to_string(i + 1) + " holds the non-finite number \"" + token + "\": " +
                               lines[i].substr(0, 200));
        }
    }

    void NoIncompleteLine(const std::string& file, const std::vector<std::string>& lines) {
        for (std::size_t i = 0; i < lines.size(); ++i)
            if (lines[i].rfind("Incomplete:", 0) == 0)
                Fail(file, "line " + std::to_string(i + 1) + " is a marker line, not a row of the file");
    }

    void RowCount(const std::string& file, const std::vector<std::string>& lines, double expected) {
        if (static_cast<double>(lines.size()) != expected)
            Fail(file, std::to_string(lines.size()) + " lines where the run options ask for " +
                           std::to_string(static_cast<long long>(expected)));
    }

    void SameWidth(const std::string& file, const std::vector<std::string>& lines) {
        if (lines.empty()) return;
        const int width = FieldCount(lines[0]);
        for (std::size_t i = 1; i < lines.size(); ++i)
            if (FieldCount(lines[i]) != width)
                Fail(file, "line " + std::to_string(i + 1) + " has " + std::to_string(FieldCount(lines[i])) +
                               " fields, the header " + std::to_string(width));
    }

    void FixedWidth(const std::string& file, const std::vector<std::string>& lines, int width) {
        for (std::size_t i = 0; i < lines.size(); ++i)
            if (FieldCount(lines[i]) != width)
                Fail(file, "line " + std::to_string(i + 1) + " has " + std::to_string(FieldCount(lines[i])) +
                               " fields where " + std::to_string(width) + " belong");
    }
};

// Steps of a dynamic run: Step = 1, 2, ... while Step <= NumTimeSteps.
double StepCount(const ModelState& s) {
    const double n = s.opt.NumTimeSteps;
    return n >= 1 ? std::floor(n) : 0;
}

void CheckFinishedRun(FileCheck& c) {
    const ModelState& s = c.s;
    const RunOptions& o = s.opt;
    std::error_code ec;
    if (fs::is_regular_file(textio::FindFile(s.Dir, "Error.dng"), ec))
        c.Fail("Error.dng", "exists although the run ended with \"Done!\"");

    const double steps = StepCount(s);
    const bool envs = !o.EquationSolver;
    std::vector<std::string> lines;
    const std::string all = "AllTimeSeries.csv", one = "OneCompTimeSeries.csv", profile = "ProfileSnapshot.csv",
                      balance = "MassBalance.csv";
    for (const std::string& file : {all, one, profile, balance}) {
        if (!c.Lines(file, lines)) continue;
        c.NoNonFinite(file, lines);
        c.NoIncompleteLine(file, lines);
    }
    if (!o.Dynamic) {
        if (!c.Lines(profile, lines)) return c.Fail(profile, "a steady run wrote none");
        c.RowCount(profile, lines, 1.0 + o.NEQN);
        c.FixedWidth(profile, lines, envs ? 7 : 3);
        return;
    }
    const int print = envs ? o.DynPrint : 3;
    if (print == 3) {
        if (!c.Lines(all, lines)) return c.Fail(all, "a dynamic run with DynPrint 3 wrote none");
        c.RowCount(all, lines, 1.0 + steps);
        c.SameWidth(all, lines);
        if (lines.empty() || FieldCount(lines[0]) != o.NEQN + 2)
            c.Fail(all, "the header does not name NEQN equations");
    } else if (print == 2) {
        if (!c.Lines(one, lines)) return c.Fail(one, "a dynamic run with DynPrint 2 wrote none");
        const double every = o.PrintEvery;
        const double rows = steps == 0 ? 0 : every <= 1 ? steps : std::floor((steps - 1) / every) + 1;
        c.RowCount(one, lines, 1.0 + rows);
        c.SameWidth(one, lines);
    } else if (print == 1) {
        const double p = o.ProfileStep;
        const bool due = p >= 1 && p <= steps && p == std::floor(p);
        if (c.Lines(profile, lines)) {
            if (!due) c.Fail(profile, "written although ProfileStep is no step of the run");
            c.RowCount(profile, lines, 1.0 + o.NEQN);
            c.FixedWidth(profile, lines, 7);
        } else if (due) {
            c.Fail(profile, "not written although ProfileStep is a step of the run");
        }
    }
    if (s.mb.MassBalanceOn) {
        if (!c.Lines(balance, lines)) return c.Fail(balance, "not written by a run that keeps the mass balance");
        c.RowCount(balance, lines, 2.0 + o.NSV);
        for (std::size_t i = 0; i + 1 < lines.size(); ++i)
            if (FieldCount(lines[i]) != 8) c.Fail(balance, "line " + std::to_string(i + 1) + " is not 8 fields");
    }
}

void CheckDumps(FileCheck& c) {
    std::error_code ec;
    for (const fs::directory_entry& e : fs::directory_iterator(c.s.Dir, ec)) {
        const std::string name = e.path().filename().string();
        if (textio::LowerCase(e.path().extension().string()) != ".dng" || textio::LowerCase(name) == "error.dng") continue;
        std::vector<std::string> lines;
        if (c.Lines(name, lines)) c.NoNonFinite(name, lines);
    }
}

}  // namespace

std::string CheckRunResults(const ModelState& s, int status) {
    FileCheck c{s, ""};
    switch (status) {
        case EXIT_DONE:
            CheckFinishedRun(c);
            CheckDumps(c);
            break;
        case EXIT_FATAL_DATA:
        case EXIT_SETUP_STOPPED:
        case EXIT_NEWTON_GAVE_UP:
        case EXIT_USER_STOPPED:
            for (const std::string& file : s.control.resultFiles) {
                std::vector<std::string> lines;
                if (!c.Lines(file, lines)) {
                    c.Fail(file, "noted as created by the run but not in the model directory");
                    continue;
                }
                // The rows written so far, in the layout of a finished run's file.
                c.NoNonFinite(file, lines);
                c.NoIncompleteLine(file, lines);
                if (file == "AllTimeSeries.csv" || file == "OneCompTimeSeries.csv") c.SameWidth(file, lines);
            }
            if (status == EXIT_FATAL_DATA && !fs::is_regular_file(textio::FindFile(s.Dir, "Error.dng")))
                c.Fail("Error.dng", "missing although the run ended with a fatal data error");
            break;
        default:
            c.problem = "the run ended with the undocumented exit status " + std::to_string(status);
    }
    return c.problem;
}

std::string InternalFault(const std::filesystem::path& dir) {
    std::string bytes;
    if (!ReadFileBytes(textio::FindFile(dir, "Error.dng"), bytes)) return "";
    // The run driver writes "Error:  " and the message; these messages start
    // with the words of the array check or of the driver's last resort (the
    // same words later in a message are usually the input quoted back).
    for (const char* sign : {"Error:  index outside its array", "Error:  the run failed: "})
        if (bytes.rfind(sign, 0) == 0) return bytes.substr(0, 400);
    return "";
}

}  // namespace ostra::fuzz
