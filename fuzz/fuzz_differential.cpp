// fuzz_differential.cpp -- libFuzzer harness that runs every model twice,
// once with each linear solver, and compares the two runs.
//
// Exports: LLVMFuzzerInitialize, LLVMFuzzerTestOneInput,
// LLVMFuzzerCustomMutator, LLVMFuzzerCustomCrossOver.
//
// The input is that of the whole-run harness (model_input.h), limited to
// the examples that need no companion program. Its "Control.csv" is given
// the linear solver pair (lines 73 and 74) twice over, "GAUSS-JORDAN" and
// "SPARSE-LU", and the model is run with each, one after the other in the
// scratch directory, with every check of the whole-run harness
// (checked_run.h: program faults, non-finite numbers in the result files,
// a "Done!" without complete files). The sparse LU run is asked for
// condition estimates. Then (solver_agreement.h):
//  - a run that fails where the other does not must fail for a documented
//    limit of its solver, and the other's success must not be the answer to
//    a matrix singular to working precision; a KLU call that fails is
//    always a finding;
//  - two runs that succeed (or stop at the same point), Gauss-Jordan without
//    setting an undetermined unknown to 0, must give the same
//    texts and agree in their numbers, row by row and normwise, within the
//    error bound of the sparse LU solves (times a safety factor, and the
//    number of solves that led to the row, as the errors of the steps
//    accumulate) plus the printed precision; with no solve at all the files
//    must be the same.
//
// The mutator is that of the whole-run harness in part; otherwise it
// mutates the numbers of one table of the model (number_mutations.h):
// "AEqnSolver.csv", "BEqnSolver.csv", "RVEqnSolver.csv" or
// "InitialEqnSolver.csv" of an equation-solver model, a compartment table
// of the others. With OSTRA_FUZZ_STATS set, the process prints at exit how
// the pairs of runs ended.
#include <algorithm>
#include <cctype>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <string>

#include "model/model_state.h"
#include "solvers/klu_solver.h"
#include "support/checked_run.h"
#include "support/model_input.h"
#include "support/number_mutations.h"
#include "support/run_limits.h"
#include "support/scratch_model.h"
#include "support/solver_agreement.h"
#include "textio/file_names.h"

namespace {

using namespace ostra;
using namespace ostra::fuzz;

const char* const RESULT_FILES[] = {"AllTimeSeries.csv", "OneCompTimeSeries.csv", "ProfileSnapshot.csv",
                                    "MassBalance.csv"};

// What the harness keeps of one run once its state is gone.
struct RunRecord {
    SolverRun outcome;
    bool sparseChosen = false;
    RunOptions opt;
    SparseLUCounts counts;
    long gaussJordanSolves = 0;
    SquareMatrix matrix;  // the matrix of the run's last solve, when it keeps one
    std::map<std::string, std::string> results;
};

SquareMatrix FromRows(const DSparse& m) {
    SquareMatrix out;
    out.n = m.Rows();
    out.rowStart.push_back(0);
    for (int i = 1; i <= m.Rows(); ++i) {
        for (const auto& e : m.Row(i)) {
            out.cols.push_back(e.col - 1);
            out.values.push_back(e.value);
        }
        out.rowStart.push_back(static_cast<int>(out.cols.size()));
    }
    return out;
}

RunRecord Record(const ModelState& s, int status) {
    RunRecord r;
    r.outcome.status = status;
    std::string error;
    if (ReadFileBytes(textio::FindFile(s.Dir, "Error.dng"), error)) {
        r.outcome.error = error.substr(0, 600);
        while (!r.outcome.error.empty() && std::isspace(static_cast<unsigned char>(r.outcome.error.back())))
            r.outcome.error.pop_back();
    }
    r.outcome.refusal = ClassifyRunError(error);
    r.outcome.undetermined = s.work.undeterminedSolves > 0;
    r.sparseChosen = s.opt.SparseLU;
    r.opt = s.opt;
    const SparseLUWork& w = s.work.sparseLU;
    r.counts = w.counts;
    r.gaussJordanSolves = s.work.eliminations + s.work.replays;
    if (s.opt.SparseLU) {
        if (w.n > 0 && w.rowStart.size() == static_cast<std::size_t>(w.n) + 1) {
            r.matrix.n = w.n;
            r.matrix.rowStart = w.rowStart;
            r.matrix.cols = w.cols;
            r.matrix.values = w.values;
        }
    } else if (s.work.elimination.valid) {
        r.matrix = FromRows(s.work.elimination.matrix);
    }
    for (const char* name : RESULT_FILES) {
        std::string bytes;
        if (!ReadFileBytes(textio::FindFile(s.Dir, name), bytes)) continue;
        if (std::string(name) != "MassBalance.csv")
            r.outcome.largestResult = std::fmax(r.outcome.largestResult, LargestNumber(bytes));
        r.results[name] = std::move(bytes);
    }
    return r;
}

// `control` with the linear solver pair on lines 73 and 74 saying `word`;
// the lines after it are kept. A file of fewer lines gets the pair at its end.
std::string WithSolver(const std::string& control, const char* word) {
    std::string out;
    std::size_t pos = 0;
    int line = 0;
    while (line < 72 && pos < control.size()) {
        std::size_t nl = control.find('\n', pos);
        nl = nl == std::string::npos ? control.size() : nl + 1;
        out.append(control, pos, nl - pos);
        pos = nl;
        ++line;
    }
    const bool crlf = control.find("\r\n") != std::string::npos;
    const char* end = crlf ? "\r\n" : "\n";
    if (!out.empty() && out.back() != '\n') out += end;
    out += std::string("Linear solver") + end + word + end;
    // Skip what stood on lines 73 and 74 when it was a solver pair.
    std::size_t rest = pos;
    const std::size_t nl = control.find('\n', pos);
    std::string label = control.substr(pos, nl == std::string::npos ? std::string::npos : nl - pos);
    for (char& c : label) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (label.find("LINEAR SOLVER") != std::string::npos) {
        rest = nl == std::string::npos ? control.size() : nl + 1;
        const std::size_t nl2 = control.find('\n', rest);
        rest = nl2 == std::string::npos ? control.size() : nl2 + 1;
    }
    out.append(control, rest, std::string::npos);
    return out;
}

bool Allowed(const ExampleModel& e) { return e.companions.empty(); }

const std::string* OwnTable(const ExampleModel& e, const std::string& name) {
    for (const auto& [file, bytes] : e.tables)
        if (textio::LowerCase(file) == textio::LowerCase(name)) return &bytes;
    return nullptr;
}

std::string TableOf(const ModelInput& in, const std::string& name) {
    if (auto it = in.tables.find(name); it != in.tables.end()) return it->second;
    if (const std::string* own = OwnTable(Examples()[in.example], name)) return *own;
    for (const ExampleModel& e : Examples())
        if (const std::string* other = OwnTable(e, name)) return *other;
    return "";
}

bool EquationSolverModel(const ModelInput& in) {
    const std::string control = TableOf(in, "Control.csv");
    const std::size_t nl = control.find('\n');
    std::string second = nl == std::string::npos ? "" : control.substr(nl + 1, 8);
    for (char& c : second) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return second.find("EQNS") != std::string::npos;
}

// With OSTRA_FUZZ_STATS set, how the pairs of runs ended, printed at exit.
void Tally(const std::string& what) {
    static const bool wanted = std::getenv("OSTRA_FUZZ_STATS") != nullptr;
    if (!wanted) return;
    static std::map<std::string, long> counts;
    static const bool registered = std::atexit([] {
        for (const auto& [key, n] : counts) std::fprintf(stderr, "%s: %ld\n", key.c_str(), n);
    }) == 0;
    (void)registered;
    ++counts[what];
}

// How far the results of the two runs may differ.
ResultTolerance ToleranceOf(const RunRecord& gj, const RunRecord& lu) {
    ResultTolerance tol;
    const RunOptions& o = gj.opt;
    const long solves = std::max(lu.counts.solves, gj.gaussJordanSolves);
    const int n = std::max(1, static_cast<int>(o.NEQN));
    if (solves > 0) {
        double bound = lu.counts.largestErrorBound;
        if (!(bound >= 0)) {
            // No estimate from the run: the condition of its last matrix.
            const double kappa = OneNormCondition(lu.matrix);
            bound = kappa == kappa ? kappa * 2 * DBL_EPSILON : HUGE_VAL;
        }
        // Both runs err: the sparse LU solve within its bound (an estimate,
        // in norms a factor n apart), Gauss-Jordan about n times more (its
        // elimination bounds the forward error, not the backward one).
        tol.perSolve = 8.0 * (n + 1) * (n + 1) * bound;
    }
    const bool newton = !o.Linear && !(o.Dynamic && (o.DynType == 1 || o.DynType == 2) && !o.NonlinearRV);
    if (newton) tol.newton = std::isfinite(o.SC) && o.SC > 0 ? 10.0 * o.SC : HUGE_VAL;
    const double steps = o.Dynamic ? std::max(1.0, std::floor(o.NumTimeSteps)) : 1.0;
    tol.totalSolves = std::max(1L, solves);
    tol.solvesPerRow = static_cast<long>(std::ceil(static_cast<double>(tol.totalSolves) / steps));
    if (!o.EquationSolver && o.DynPrint == 2 && o.PrintEvery > 1) tol.solvesPerRow *= o.PrintEvery;
    return tol;
}

void CompareResults(const RunRecord& gj, const RunRecord& lu) {
    const ResultTolerance tol = ToleranceOf(gj, lu);
    const bool complete = gj.outcome.status == EXIT_DONE;
    for (const char* name : RESULT_FILES) {
        const auto a = gj.results.find(name), b = lu.results.find(name);
        if ((a == gj.results.end()) != (b == lu.results.end()))
            Finding(std::string("the two linear solvers disagree: \"") + name + "\" was written only by the " +
                    (a == gj.results.end() ? "sparse LU" : "Gauss-Jordan") + " run");
        if (a == gj.results.end()) continue;
        const std::string problem = CompareResultFile(name, a->second, b->second, tol, complete);
        if (!problem.empty()) {
            char bounds[160];
            std::snprintf(bounds, sizeof bounds, " (error bound of a sparse LU solve %.3g, condition estimate %.3g, %ld solves)",
                          lu.counts.largestErrorBound, lu.counts.largestConditionEstimate, tol.totalSolves);
            Finding("the two linear solvers disagree: " + problem + bounds);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (!ostra::SparseLUAvailable()) {
        std::fprintf(stderr, "fuzz_differential: this build has no sparse LU solver (configure where "
                             "libsuitesparse-dev is installed, -DOSTRA_KLU=ON)\n");
        std::exit(3);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ModelInput input = ParseModelInput(data, size);
    const ExampleModel& example = Examples()[input.example];
    if (!Allowed(example)) return -1;
    const std::string control = TableOf(input, "Control.csv");
    RunRecord runs[2];
    const char* words[2] = {"GAUSS-JORDAN", "SPARSE-LU"};
    for (int k = 0; k < 2; ++k) {
        std::map<std::string, std::string> tables = input.tables;
        tables["Control.csv"] = WithSolver(control, words[k]);
        const std::filesystem::path& dir = WriteModel(example, tables);
        if (k == 0 && !CheckControlLimits(dir, RunLimits{}).within) return -1;
        CheckedRun(
            dir, RunLimits{}, [&](ModelState& s) { s.work.sparseLU.estimateCondition = k == 1; },
            [&](const ModelState& s, int status) { runs[k] = Record(s, status); });
    }
    const RunRecord& gj = runs[0];
    const RunRecord& lu = runs[1];
    if (gj.sparseChosen || !lu.sparseChosen) {
        // "Control.csv" was refused before pair 37, or its lines are not where the pair goes.
        Tally("solver not chosen");
        return gj.outcome.status == lu.outcome.status && gj.outcome.error == lu.outcome.error ? 0 : -1;
    }
    Tally("status " + std::to_string(gj.outcome.status) + " (Gauss-Jordan) " + std::to_string(lu.outcome.status) +
          " (sparse LU)");
    std::map<int, double> kappa;
    auto condition = [&] {
        // The matrix of the run that failed, else of whichever run kept one.
        int which = gj.outcome.status != EXIT_DONE && gj.matrix.n > 0 ? 0 : lu.matrix.n > 0 ? 1 : 0;
        if (gj.outcome.undetermined && lu.outcome.status == EXIT_DONE && gj.matrix.n > 0) which = 0;
        if (!kappa.count(which)) kappa[which] = EquilibratedCondition(runs[which].matrix);
        return kappa[which];
    };
    const RunOptions& o = gj.opt;
    const bool newton = !o.Linear && !(o.Dynamic && (o.DynType == 1 || o.DynType == 2) && !o.NonlinearRV);
    const std::string disagreement =
        JudgeOutcomes(gj.outcome, lu.outcome, condition, std::max(1, static_cast<int>(o.NEQN)), newton ? o.SC : 0);
    if (!disagreement.empty()) Finding("the two linear solvers disagree: " + disagreement);
    // Where Gauss-Jordan set an undetermined unknown to 0 (its documented
    // answer, with a warning, when 0 satisfies the equations to 2^-26), its
    // results are another solution, not a rounding of the same one.
    if (gj.outcome.undetermined) {
        Tally("results not compared: Gauss-Jordan set an unknown to 0");
        return 0;
    }
    if (gj.outcome.status == lu.outcome.status &&
        (gj.outcome.status == EXIT_DONE || gj.outcome.status == EXIT_USER_STOPPED))
        CompareResults(gj, lu);
    return 0;
}

extern "C" std::size_t LLVMFuzzerCustomMutator(std::uint8_t* data, std::size_t size, std::size_t maxSize,
                                               unsigned int seed) {
    std::minstd_rand random(seed);
    std::size_t n = 0;
    if (random() % 100 < 45 || size == 0) {
        n = MutateModelInput(data, size, maxSize, seed);
    } else {
        ModelInput in = ParseModelInput(data, size);
        const bool eqns = EquationSolverModel(in);
        static const char* const eqnsTables[] = {"AEqnSolver.csv", "AEqnSolver.csv", "AEqnSolver.csv",
                                                 "BEqnSolver.csv", "RVEqnSolver.csv", "InitialEqnSolver.csv"};
        static const char* const envsTables[] = {"Compartments.csv", "Interfaces.csv", "Flows.csv",
                                                 "ECoefficients.csv", "VolumeSrcSnks.csv", "AreaSrcSnks.csv",
                                                 "Loads.csv", "BOUNDARY.csv", "linearKdandTempCoef.csv"};
        const std::string name = eqns ? eqnsTables[random() % 6] : envsTables[random() % 9];
        std::string bytes = TableOf(in, name);
        const unsigned times = 1 + static_cast<unsigned>(random() % 3);
        for (unsigned t = 0; t < times; ++t) bytes = MutateNumbers(bytes, !eqns, random);
        in.tables[name] = bytes;
        const std::string out = SerializeModelInput(in);
        if (out.size() <= maxSize && out.size() <= 0xFFFF) {
            std::memcpy(data, out.data(), out.size());
            n = out.size();
        } else {
            n = MutateModelInput(data, size, maxSize, seed);
        }
    }
    // Only the examples that need no companion program.
    if (n > 0 && !Allowed(Examples()[data[0] % Examples().size()])) {
        std::size_t allowed = 0;
        for (std::size_t i = 0; i < Examples().size(); ++i) allowed += Allowed(Examples()[i]) ? 1 : 0;
        std::size_t pick = data[0] % std::max<std::size_t>(1, allowed);
        for (std::size_t i = 0; i < Examples().size(); ++i)
            if (Allowed(Examples()[i]) && pick-- == 0) data[0] = static_cast<std::uint8_t>(i);
    }
    return n;
}

extern "C" std::size_t LLVMFuzzerCustomCrossOver(const std::uint8_t* a, std::size_t aSize, const std::uint8_t* b,
                                                 std::size_t bSize, std::uint8_t* out, std::size_t maxOutSize,
                                                 unsigned int seed) {
    return CrossOverModelInputs(a, aSize, b, bSize, out, maxOutSize, seed);
}
