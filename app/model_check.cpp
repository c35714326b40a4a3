// model_check.cpp -- `ostra --check`: a run up to its first step, and what it found.
//
// Exports (model_check.h): CheckModel, CheckSummary.
//
// The check calls the run's own procedures in the run's order and stops
// where the first step or solve would begin, so whatever a run would refuse
// before its first step the check refuses with the same message and
// "Error.dng". The only thing done here that a run does elsewhere is looking
// for a companion program in the model directory without starting it. The
// summary is description only: it reads the state the procedures left.
#include "app/model_check.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "app/jacobian_summary.h"
#include "app/run_setup.h"
#include "app/run_summary.h"
#include "model/error.h"
#include "model/parm_update.h"
#include "model/table_readers.h"
#include "sources/linear_sources.h"
#include "sources/loads.h"
#include "textio/file_names.h"
#include "transport/exchange_balance.h"
#include "transport/transport.h"
#include "transport/wiggle.h"

namespace ostra {
namespace {

namespace fs = std::filesystem;

// A companion program a run will start, and why.
struct Companion {
    std::string program;  // "Flows.exe"
    std::string purpose;  // "time-variable flows"
    bool startedByCheck;  // started at time 0, as the run does
};

// Where a run finds the program: the name as given or without ".exe", in
// any letter case. Empty when there is none.
fs::path FindProgram(const fs::path& dir, const std::string& program) {
    std::error_code ec;
    for (std::string name : {program, program.substr(0, program.size() - 4)}) {
        const fs::path p = textio::FindFile(dir, name);
        if (fs::is_regular_file(p, ec)) return p;
    }
    return {};
}

// The companion programs this run needs: those of its time-variable tables
// (a run starts them from time 0 on) and those of its nonlinear terms (a run
// starts them in its first step).
std::vector<Companion> Companions(const ModelState& s) {
    const RunOptions& o = s.opt;
    struct Table {
        bool used;
        const char* program;
        const char* purpose;
    };
    const bool envs = !o.EquationSolver;
    const bool nonlinear = !o.Linear;
    const bool newton = nonlinear && !s.setup.ExplicitNonlinear;
    const Table tables[] = {
        {envs && o.TimeVarCompartments, "Compartment.exe", "time-variable compartments"},
        {envs && o.TimeVarKd, "LinearKdandTempCoef.exe", "time-variable partitioning"},
        {envs && o.TimeVarInterfaces, "Interfaces.exe", "time-variable interfaces"},
        {envs && o.TimeVarECoef, "Ecoefficients.exe", "time-variable exchange coefficients"},
        {envs && o.TimeVarFlows, "Flows.exe", "time-variable flows"},
        {envs && o.TimeVarMultipliers, "FlowandEMultipliers.exe", "time-variable multipliers"},
        {envs && o.TimeVarBoundary, "Boundary.exe", "time-variable boundary concentrations"},
        {envs && o.TimeVarLoads, "Loads.exe", "time-variable loads"},
        {!envs && o.TimeVarAEqnSolver, "AEqnSolver.exe", "time-variable A matrix"},
        {!envs && o.TimeVarRVEqnSolver, "RVEqnSolver.exe", "time-variable storage"},
        {!envs && o.TimeVarBEqnSolver, "BEqnSolver.exe", "time-variable B vector"},
    };
    std::vector<Companion> out;
    for (const Table& t : tables)
        if (t.used) out.push_back({t.program, t.purpose, true});
    if (nonlinear && o.VarnTerm) out.push_back({"varn.exe", "the f(C) term", false});
    if (newton && o.UseDfdc) out.push_back({"dfdc.exe", "df/dC of the f(C) term", false});
    if (newton && o.NonlinearRV && o.TelmTerm) out.push_back({"Telm.exe", "the R(C) term", false});
    if (newton && o.Dynamic && o.UsePask) out.push_back({"Pask.exe", "dR/dC of the R(C) term", false});
    return out;
}

// "present", "missing" or "not executable", as a run would find it.
std::string ProgramState(const ModelState& s, const std::string& program) {
    const fs::path p = FindProgram(s.Dir, program);
    if (p.empty()) return "missing";
    if (access(p.c_str(), X_OK) != 0) return "not executable";
    const std::string file = p.filename().string();
    return file == program ? "present" : "present as \"" + file + "\"";
}

// Nonlinear-term programs are started only by the first step; one the run
// could not start is a warning of the check.
void LookForStepCompanions(ModelState& s) {
    for (const Companion& c : Companions(s)) {
        if (c.startedByCheck) continue;
        const std::string state = ProgramState(s, c.program);
        if (state == "missing" || state == "not executable")
            AddWarning(s, "companion program \"" + c.program + "\" for " + c.purpose + " is " + state +
                              " in the model directory: the run would stop at its first step");
    }
}

// Unordered pairs of compartments joined by an interface of "Interfaces.csv".
std::size_t InterfaceCount(ModelState& s) {
    std::set<std::pair<int, int>> pairs;
    const int NT = s.setup.NT;
    for (int K = 1; K <= NT; ++K) {
        const int NAS = CompartmentNAS(s, static_cast<Integer>(K));
        for (int n = 1; n <= NAS; ++n) {
            const int J = AdjacentCompartment(s, static_cast<Integer>(K), n);
            if (J >= 1 && J <= NT && J != K) pairs.insert({std::min(J, K), std::max(J, K)});
        }
    }
    return pairs.size();
}

// The files the check has read, in the order read, under their names on disk.
std::vector<std::string> FilesRead(ModelState& s, std::size_t interfaces) {
    const RunOptions& o = s.opt;
    const bool newton = !o.Linear && !s.setup.ExplicitNonlinear;
    std::vector<std::pair<bool, std::string>> files = {{true, "Control.csv"}};
    if (o.EquationSolver) {
        files.insert(files.end(), {{newton, "GuessEqnSolver.csv"},
                                   {true, s.setup.AEqnSolverFile},
                                   {o.Dynamic, s.setup.RVEqnSolverFile},
                                   {o.Dynamic, s.setup.InitialFile},
                                   {true, s.setup.BEqnSolverFile}});
    } else {
        files.insert(files.end(), {{true, "SVCompmap.csv"},
                                   {newton, "Guess.CSV"},
                                   {o.Dynamic, s.setup.InitialFile},
                                   {true, "Compartments.csv"},
                                   {true, "linearKdandTempCoef.csv"},
                                   {true, "Interfaces.csv"},
                                   {true, "ECoefficients.csv"},
                                   {true, "Flows.csv"},
                                   {true, "BOUNDARY.csv"},
                                   {s.setup.UseMultipliers && interfaces > 0, "FlowandEMultipliers.csv"},
                                   {true, VOLUME_SRC_SNK_FILE},
                                   {true, AREA_SRC_SNK_FILE},
                                   {true, LOADS_FILE}});
    }
    std::vector<std::string> names;
    for (const auto& [read, name] : files)
        if (read && !name.empty()) names.push_back(textio::FindFile(s.Dir, name).filename().string());
    return names;
}

std::string Joined(const std::vector<std::string>& items, const char* none = "none") {
    if (items.empty()) return none;
    std::string text;
    for (const std::string& item : items) text += (text.empty() ? "" : ", ") + item;
    return text;
}

const char* KindName(int kind) {
    switch (kind) {
        case 0: return "interior";
        case 1: return "zero-concentration boundary";
        case 2: return "fixed-concentration boundary";
        case 3: return "flow exit";
        case 4: return "extrapolated boundary";
        default: return "of another kind";
    }
}

std::string CompartmentLine(const ModelState& s) {
    const int NT = s.setup.NT;
    int count[6] = {};
    for (int K = 1; K <= NT; ++K) {
        const Single kind = s.tables.Compartment(K, 3);
        const int k = kind >= 0 && kind <= 4 && kind == static_cast<int>(kind) ? static_cast<int>(kind) : 5;
        ++count[k];
    }
    std::vector<std::string> parts;
    for (int k = 0; k <= 5; ++k)
        if (count[k] > 0) parts.push_back(std::to_string(count[k]) + " " + KindName(k));
    return std::to_string(NT) + " (" + Joined(parts) + ")";
}

std::string EquationLine(const ModelState& s) {
    std::string text = std::to_string(s.opt.NEQN);
    if (s.opt.EquationSolver) return text;
    std::vector<std::string> parts;
    for (int ISV = 1; ISV <= s.opt.NSV; ++ISV)
        parts.push_back("state variable " + std::to_string(ISV) + ": " + std::to_string(s.eq.NEQNsm(ISV)));
    return text + " (" + Joined(parts) + ")";
}

std::string TimeLine(const ModelState& s) {
    const RunOptions& o = s.opt;
    if (!o.Dynamic) return "steady state";
    return "step " + SummaryNumber(o.DELT) + ", " + SummaryNumber(o.NumTimeSteps) + " steps, simulated time " +
           SummaryNumber(static_cast<double>(o.DELT) * o.NumTimeSteps);
}

std::string CompanionLines(const ModelState& s) {
    std::string text;
    for (const Companion& c : Companions(s))
        text += SummaryLine(4, "\"" + c.program + "\" for " + c.purpose + ": " + ProgramState(s, c.program) +
                                   (c.startedByCheck ? ", started at time 0"
                                                     : s.opt.Dynamic ? ", first started by the first step"
                                                                     : ", first started by the solve"));
    return text.empty() ? SummaryLine(4, "none") : text;
}

}  // namespace

void CheckModel(ModelState& s) {
    EquationSystem& y = s.sys;
    if (s.opt.Dynamic) {
        PrepareDynamicRun(s);
        InitialConcentrations(s);
    } else {
        ParmUpdate(s, 0, y.A);
    }
    if (!s.opt.EquationSolver) {
        LoadATrans(s, y.A, y.BBC);
        WarnExchangeImbalances(s);
        if (s.tables.VariableAlpha) Wiggle(s, s.opt.Dynamic ? 0 : MISSING_VALUE);
        LoadALinearSrcSnk(s, y.A);
    }
    ForceFn(s, 0, y.BBC, y.B);
    LookForStepCompanions(s);
}

std::string CheckSummary(ModelState& s) {
    const bool envs = !s.opt.EquationSolver;
    const std::size_t interfaces = envs ? InterfaceCount(s) : 0;
    std::string text = SummaryLine(0, "Check of " + s.Dir.string() + ": no fault found.");
    text += SummaryLine(2, std::string("Everything a run does before its first ") +
                               (s.opt.Dynamic ? "step" : "solve") + " was done; nothing was solved and no "
                               "result file was written.");
    text += SummaryLine(2, "Mode: " + ModeText(s.opt));
    text += SummaryLine(2, "Scheme: " + SchemeText(s));
    text += LinearSolverLines(s);
    text += JacobianCheckLine(s);
    text += SummaryLine(2, "Time: " + TimeLine(s));
    text += SummaryLine(2, "Equations: " + EquationLine(s));
    if (envs) {
        text += SummaryLine(2, "Compartments: " + CompartmentLine(s));
        text += SummaryLine(2, "Interfaces: " + std::to_string(interfaces));
    }
    text += SummaryLine(2, "Companion programs:") + CompanionLines(s);
    text += SummaryLine(2, "Files read: " + Joined(FilesRead(s, interfaces)));
    text += WarningLines(s.control);
    return text;
}

}  // namespace ostra
