// run_options.cpp -- reading the run options of "Control.csv".
//
// Exports: ReadControl.
//
// "Control.csv" is 36 pairs of lines: a label line, ignored, then a value
// line holding exactly the values of its pair. A value line with a value too
// many or too few would shift every later pair, so both end the run with a
// message naming the line. Words ("ENVS", "Y", "N") are upper-cased before
// they are compared. Whatever follows pair 36 is ignored (notes, a date),
// unless line 73 is the label of the solver choice, "Linear solver" (in any
// letter case, with blanks or quotes around it): then line 74 chooses the
// linear solver, and a word there that names none is an error. A file that
// ends after pair 36 keeps Gauss-Jordan. Everything after the 37th pair is
// ignored.
#include "app/run_options.h"

#include <algorithm>
#include <cctype>
#include <string>

#include "model/error.h"
#include "solvers/klu_solver.h"
#include "textio/errors.h"
#include "textio/text_reader.h"

namespace ostra {
namespace {

const char* const CONTROL_FILE = "Control.csv";

std::string Upper(std::string text) {
    for (char& ch : text) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    return text;
}

bool IsBlank(char ch) { return ch == ' ' || ch == '\t'; }

// The field of `line` that starts at `pos`, by the reading rules of every
// input file (a comma or the line end closes it; blanks and double quotes
// around it are removed); `pos` moves past the comma. Used for value lines
// that are taken whole, where an empty line is an empty field.
std::string NextFieldOf(const std::string& line, std::size_t& pos) {
    std::size_t p = pos;
    while (p < line.size() && IsBlank(line[p])) ++p;
    std::string field;
    if (p < line.size() && line[p] == '"') {
        const std::size_t close = line.find('"', p + 1);
        field = line.substr(p + 1, close == std::string::npos ? std::string::npos : close - p - 1);
        p = close == std::string::npos ? line.size() : close + 1;
    } else {
        const std::size_t end = std::min(line.find(',', p), line.size());
        field = line.substr(p, end - p);
        while (!field.empty() && IsBlank(field.back())) field.pop_back();
        p = end;
    }
    const std::size_t comma = line.find(',', p);
    pos = comma == std::string::npos ? line.size() : comma + 1;
    return field;
}

// Reads the pairs one by one and checks that each value line holds exactly
// the values of its pair.
class ControlFile {
public:
    explicit ControlFile(ModelState& s) : s_(s), in_(s.Dir, CONTROL_FILE) {}

    // Skips the label line of `pair`; the next line is its value line.
    void Begin(int pair) {
        pair_ = pair;
        const std::string what = "label line of pair " + std::to_string(pair);
        in_.ReadLine(what);
        // Blanks or empty fields left over on the previous value line.
        if (valueLine_ > 0 && in_.Line() == valueLine_) in_.ReadLine(what);
        valueLine_ = in_.Line() + 1;
    }

    // A word value: the first field of the value line, which may be empty.
    std::string Word(const char* name) {
        const std::string line = in_.ReadLine(Where(name));
        std::size_t pos = 0;
        const std::string value = NextFieldOf(line, pos);
        while (pos < line.size()) {
            const std::string extra = NextFieldOf(line, pos);
            if (!extra.empty()) ExtraValue(name, extra);
        }
        return value;
    }

    // Records a warning of the run.
    void Warn(const std::string& text) { AddWarning(s_, text); }

    // The next line, whole: false at the end of the file.
    bool NextLine(std::string& line) { return in_.TryReadLine(line); }
    int Line() const { return in_.Line(); }

    // The value line of an optional last pair whose label line has been
    // read: false when the file ends before it. `value` is the first field
    // (blanks and quotes removed), `extra` the first non-empty field after it.
    bool OptionalWord(int pair, std::string& value, std::string& extra) {
        pair_ = pair;
        valueLine_ = in_.Line() + 1;
        std::string line;
        if (!in_.TryReadLine(line)) return false;
        std::size_t pos = 0;
        value = NextFieldOf(line, pos);
        extra.clear();
        while (extra.empty() && pos < line.size()) extra = NextFieldOf(line, pos);
        return true;
    }

    // Ends the run with `message` after the file, line and pair of `name`.
    [[noreturn]] void Fail(const char* name, const std::string& message) {
        Error(s_, Prefix(name) + message);
    }
    // Ends the run with the message text `text`, then the file, line and
    // pair of `name`, then `details`: the value found and what is accepted.
    [[noreturn]] void Fail(const char* text, const char* name, const std::string& details) {
        Error(s_, std::string(text) + ": " + Prefix(name) + details);
    }

    Integer Int(const char* name) { return Field<Integer>(name, [&](const std::string& w) { return in_.ReadInteger(w); }); }
    Single Sgl(const char* name) { return Field<Single>(name, [&](const std::string& w) { return in_.ReadSingle(w); }); }
    Double Dbl(const char* name) { return Field<Double>(name, [&](const std::string& w) { return in_.ReadDouble(w); }); }

    // After the last number of a pair: nothing else may follow on its line.
    void End(const char* name) {
        std::string extra;
        while (extra.empty() && in_.MoreFieldsOnLine()) extra = in_.ReadString(Where(name));
        if (!extra.empty()) ExtraValue(name, extra);
    }

private:
    std::string Where(const char* name) const {
        return "pair " + std::to_string(pair_) + ", " + name;
    }
    std::string Prefix(const char* name) const {
        return std::string("file \"") + CONTROL_FILE + "\", line " + std::to_string(valueLine_) +
               " (" + Where(name) + "): ";
    }

    // A number of the value line; one found on a later line means the value
    // line is short.
    template <class T, class Read>
    T Field(const char* name, Read read) {
        try {
            const T value = read(Where(name));
            if (in_.Line() > valueLine_) MissingValue(name);
            return value;
        } catch (const textio::DataError&) {
            if (in_.Line() > valueLine_) MissingValue(name);
            throw;
        }
    }

    [[noreturn]] void MissingValue(const char* name) {
        Error(s_, Prefix(name) + "the value line ends before this value; each value line holds all the "
                                 "values of its pair");
    }
    [[noreturn]] void ExtraValue(const char* name, const std::string& extra) {
        Error(s_, Prefix(name) + "extra value \"" + textio::VisibleText(extra) +
                      "\" on the value line; each value line holds only the values of its pair");
    }

    ModelState& s_;
    textio::TextReader in_;
    int pair_ = 0;
    int valueLine_ = 0;
};

bool IsY(const std::string& word) { return Upper(word) == "Y"; }

// A pair holding one number.
Integer OneInteger(ControlFile& f, int pair, const char* name) {
    f.Begin(pair);
    const Integer value = f.Int(name);
    f.End(name);
    return value;
}
Single OneSingle(ControlFile& f, int pair, const char* name) {
    f.Begin(pair);
    const Single value = f.Sgl(name);
    f.End(name);
    return value;
}
Double OneDouble(ControlFile& f, int pair, const char* name) {
    f.Begin(pair);
    const Double value = f.Dbl(name);
    f.End(name);
    return value;
}

// A pair holding one Y/other flag.
bool Flag(ControlFile& f, int pair, const char* name) {
    f.Begin(pair);
    return IsY(f.Word(name));
}

// What a value line held, for a message: the word in quotes, or that it was empty.
std::string Found(const std::string& value) {
    return value.empty() ? "found an empty value" : "found \"" + textio::VisibleText(value) + "\"";
}

// A pair whose value must be one of two words; anything else is `message`,
// followed by where it stands, what was found and `accepted`.
bool EitherWord(ControlFile& f, int pair, const char* name, const char* yes, const char* no,
                const char* message, const char* accepted) {
    f.Begin(pair);
    const std::string value = f.Word(name);
    const std::string word = Upper(value);
    if (word == yes) return true;
    if (word != no) f.Fail(message, name, Found(value) + "; " + accepted + ", in any letter case");
    return false;
}

// Pairs 1 to 3: mode, linearity, steady state or time stepping.
void ReadModePairs(ControlFile& f, RunOptions& o) {
    o.EquationSolver = EitherWord(f, 1, "mode word", "EQNS", "ENVS", "EquationSolver neither true nor false",
                                  "accepted are \"ENVS\" (compartments) and \"EQNS\" (equations from files)");
    o.Linear = EitherWord(f, 2, "Linear", "Y", "N", "Linear neither true nor false",
                          "accepted are \"Y\" (linear) and \"N\" (nonlinear)");
    o.Dynamic = !EitherWord(f, 3, "steady state", "Y", "N", "Dynamic neither true nor false",
                            "accepted are \"Y\" (steady state) and \"N\" (time stepping)");
}

// Pairs 4 to 8: sizes of the model and transport settings.
void ReadSizePairs(ControlFile& f, RunOptions& o) {
    o.NEQN = OneInteger(f, 4, "NEQN");
    f.Begin(5);
    o.NSV = f.Int("NSV");
    o.NTCount1 = f.Int("NTCount1");
    o.NTCount2 = f.Int("NTCount2");
    f.End("NTCount2");
    o.NAS = OneInteger(f, 6, "NAS");
    o.MixLengthOption = OneInteger(f, 7, "MixLengthOption");
    o.FlowBalanceTol = OneSingle(f, 8, "FlowBalanceTol");
}

// Pairs 9 to 15: time stepping and result selection.
void ReadTimePairs(ModelState& s, ControlFile& f) {
    RunOptions& o = s.opt;
    o.DynType = OneInteger(f, 9, "DynType");
    if (o.Dynamic && (o.DynType < 1 || o.DynType > 4))
        f.Fail("DynType not equal to 1,2,3, or 4", "DynType",
               "found " + std::to_string(o.DynType) + "; a time-stepping run (pair 3 = N) takes 1 (explicit "
               "Euler), 2 (MacCormack), 3 (implicit Euler) or 4 (Crank-Nicolson)");
    o.DELT = OneSingle(f, 10, "DELT");
    o.NumTimeSteps = OneDouble(f, 11, "NumTimeSteps");
    o.DumpStep = OneInteger(f, 12, "DumpStep");
    o.DynPrint = OneInteger(f, 13, "DynPrint");
    if (o.Dynamic && (o.DynPrint < 1 || o.DynPrint > 3))
        f.Fail("DynPrint neither 1, 2, or 3", "DynPrint",
               "found " + std::to_string(o.DynPrint) + "; a time-stepping run (pair 3 = N) takes 1 (profile "
               "snapshot), 2 (one compartment) or 3 (all equations)");
    o.ProfileStep = OneDouble(f, 14, "ProfileStep");
    f.Begin(15);
    o.NumSectnPrint = f.Int("NumSectnPrint");
    o.PrintEvery = f.Int("PrintEvery");
    f.End("PrintEvery");
}

// Pairs 16 to 25: the nonlinear terms and Newton's settings.
void ReadNewtonPairs(ControlFile& f, RunOptions& o) {
    o.NonlinearRV = Flag(f, 16, "NonlinearRV");
    o.AnalyticJacobian = Flag(f, 17, "AnalyticJacobian");
    o.DELTFD = OneDouble(f, 18, "DELTFD");
    o.NewtonInfo = Flag(f, 19, "NewtonInfo");
    f.Begin(20);
    o.NonNegative = Upper(f.Word("NonNegative")) != "N";
    f.Begin(21);
    o.RandomHigh = f.Sgl("RandomHigh");
    o.RandomLow = f.Sgl("RandomLow");
    f.End("RandomLow");
    o.SC = OneSingle(f, 22, "SC");
    f.Begin(23);
    o.MaxNewtonIteration = f.Int("MaxNewtonIteration");
    o.MaxRandomizing = f.Int("MaxRandomizing");
    o.NumRandomSamples = f.Int("NumRandomSamples");
    f.End("NumRandomSamples");
    o.UseDfdc = false;
    o.VarnTerm = Flag(f, 24, "VarnTerm");
    if (o.VarnTerm && o.AnalyticJacobian) o.UseDfdc = true;
    o.UsePask = false;
    o.TelmTerm = Flag(f, 25, "TelmTerm");
    if (o.TelmTerm && o.AnalyticJacobian) o.UsePask = true;
}

// Pairs 26 to 36: tables rewritten by companion programs. The loads (33)
// and the right-hand side (35) are refreshed by the load routine at every
// time level anyway, so they do not call for a parameter update.
void ReadTimeVarPairs(ControlFile& f, RunOptions& o) {
    struct TimeVarPair {
        int pair;
        const char* name;
        bool RunOptions::*flag;
        bool needsUpdate;
    };
    static const TimeVarPair pairs[] = {
        {26, "TimeVarCompartments", &RunOptions::TimeVarCompartments, true},
        {27, "TimeVarInterfaces", &RunOptions::TimeVarInterfaces, true},
        {28, "TimeVarFlows", &RunOptions::TimeVarFlows, true},
        {29, "TimeVarECoef", &RunOptions::TimeVarECoef, true},
        {30, "TimeVarMultipliers", &RunOptions::TimeVarMultipliers, true},
        {31, "TimeVarKd", &RunOptions::TimeVarKd, true},
        {32, "TimeVarBoundary", &RunOptions::TimeVarBoundary, true},
        {33, "TimeVarLoads", &RunOptions::TimeVarLoads, false},
        {34, "TimeVarAEqnSolver", &RunOptions::TimeVarAEqnSolver, true},
        {35, "TimeVarBEqnSolver", &RunOptions::TimeVarBEqnSolver, false},
        {36, "TimeVarRVEqnSolver", &RunOptions::TimeVarRVEqnSolver, true},
    };
    for (const TimeVarPair& p : pairs) {
        o.*p.flag = Flag(f, p.pair, p.name);
        if (o.*p.flag && p.needsUpdate) o.TimeVarParms = true;
    }
}

bool IsSolverWord(const std::string& word) { return word == "GAUSS-JORDAN" || word == "SPARSE-LU"; }

// The lines after pair 36 that hold anything, all ignored: noted in `o`. A
// solver's name on line 74 under another label is ignored too, with a warning.
void IgnoreRest(ControlFile& f, RunOptions& o, const std::string& first) {
    std::string line = first;
    do {
        if (f.Line() == 74) {
            std::size_t at = 0;
            const std::string word = NextFieldOf(line, at);
            if (IsSolverWord(Upper(word)))
                f.Warn("\"Control.csv\", line 74: \"" + textio::VisibleText(word) + "\" is ignored, and the "
                       "run uses Gauss-Jordan, because line 73 is not the label \"" + SOLVER_PAIR_LABEL +
                       "\" that makes lines 73 and 74 the choice of linear solver");
        }
        if (line.find_first_not_of(" \t\r,\"") == std::string::npos) continue;
        if (o.IgnoredControlFrom == 0) o.IgnoredControlFrom = f.Line();
        o.IgnoredControlTo = f.Line();
    } while (f.NextLine(line));
}

// Pair 37, optional: the linear solver, when line 73 is its label. Nothing
// (a file of 36 pairs, another line 73, a blank value line) keeps Gauss-Jordan.
void ReadSolverPair(ControlFile& f, RunOptions& o) {
    const char* name = "linear solver";
    const std::string accepted =
        "; the value line holds \"GAUSS-JORDAN\" or \"SPARSE-LU\" (or nothing, for Gauss-Jordan)";
    o.SparseLU = false;
    std::string label;
    if (!f.NextLine(label)) return;
    std::size_t at = 0;
    if (Upper(NextFieldOf(label, at)) != Upper(SOLVER_PAIR_LABEL)) return IgnoreRest(f, o, label);
    std::string value, extra;
    if (!f.OptionalWord(37, value, extra)) return;
    const std::string word = Upper(value);
    if (word.empty() && extra.empty()) return;
    if (word.empty())
        f.Fail(name, "an empty field stands before \"" + textio::VisibleText(extra) + "\"" + accepted);
    if (!IsSolverWord(word))
        f.Fail(name, "\"" + textio::VisibleText(value) + "\" is no linear solver" + accepted);
    if (!extra.empty())
        f.Fail(name, "extra value \"" + textio::VisibleText(extra) + "\" after \"" +
                         textio::VisibleText(value) + "\"" + accepted);
    o.SparseLU = word == "SPARSE-LU";
    if (o.SparseLU && !SparseLUAvailable())
        f.Fail(name, "SPARSE-LU is chosen, but this build of ostra has no sparse LU solver "
                     "(SuiteSparse's KLU was not found when it was built); choose GAUSS-JORDAN, or "
                     "build ostra where libsuitesparse-dev is installed");
}

}  // namespace

void ReadControl(ModelState& s) {
    s.opt.TimeVarParms = false;
    ControlFile f(s);
    ReadModePairs(f, s.opt);
    ReadSizePairs(f, s.opt);
    ReadTimePairs(s, f);
    ReadNewtonPairs(f, s.opt);
    ReadTimeVarPairs(f, s.opt);
    ReadSolverPair(f, s.opt);
}

}  // namespace ostra
