// loads.cpp -- the load vector B of the equation system for one time.
//
// Exports: ForceFn.
//
// Compartment mode: the external loads of the time block of "Loads.csv" that
// contains the time, divided by the compartment's WC (Compartment column 9),
// plus the boundary contributions BBC left by the transport assembly; in a
// steady-state run the vector is stored with its sign reversed, as the
// right-hand side of A c = B. Equation-solver mode: the vector as it stands
// in "BEqnSolver.csv". A time-variable load file is rewritten by its
// companion program before it is read.
//
// Arithmetic: W / WC is a quotient of two Single values and is formed in
// Single; the scaling by XScale is a Double product.
#include "sources/loads.h"

#include <string>
#include <string_view>

#include "model/companion_exchange.h"
#include "model/error.h"
#include "solvers/dumps.h"
#include "sources/equation_numbers.h"
#include "textio/text_reader.h"

namespace ostra {
namespace {

const char* const PROC = "ForceFn";

// A label line that is exactly "-999" (blanks around it ignored) ends the
// file or the block.
bool IsTerminatorLine(std::string_view line) {
    const auto first = line.find_first_not_of(" \t");
    if (first == std::string_view::npos) return false;
    const auto last = line.find_last_not_of(" \t");
    return line.substr(first, last - first + 1) == "-999";
}

// Newton works on scaled concentrations; loads are scaled with them.
bool ScaledByXScale(const ModelState& s) { return !s.opt.Linear && !s.setup.ExplicitNonlinear; }

// The compartment records of the block that applies, up to and including its
// closing -999. A later record for the same pair replaces an earlier one.
void ReadLoadRecords(ModelState& s, textio::TextReader& in, DVector& B) {
    for (;;) {
        const Integer K = in.ReadInteger("compartment of a load record, or -999 ending the block");
        if (K == MISSING) return;
        CheckRecordCompartment(s, in, PROC, K);
        for (;;) {
            const Integer ISV =
                in.ReadInteger("state variable of a load, or -999 ending the compartment's loads");
            if (ISV == MISSING) break;
            const Single W = in.ReadSingle("load W");
            const int e = RecordEquation(s, in, PROC, ISV, K);
            const Single WC = s.tables.Compartment(K, 9);
            if (WC == 0)
                Error(s, in.Where() + ": Compartment(" + std::to_string(K) +
                             ", 9) = 0 divides the load of state variable " +
                             std::to_string(ISV) + " in " + PROC);
            const Single load = W / WC;
            B(e) = load;
            if (s.mb.MassBalanceOn) s.mb.MBLoads(e) = W;
            if (ScaledByXScale(s)) B(e) = s.opt.XScale * B(e);
        }
    }
}

// Reads "Loads.csv" block by block and adds the first block whose window
// t1 <= Time < t2 contains Time (rounded to Single) into B. A steady-state
// run looks at the first block only.
void ReadLoads(ModelState& s, Double Time, DVector& B) {
    textio::TextReader in(s.Dir, LOADS_FILE);
    const Single now = static_cast<Single>(Time);
    for (;;) {
        const std::string label = in.ReadLine("label line of a time block, or -999 ending the file");
        if (IsTerminatorLine(label)) return;
        const Single t1 = in.ReadSingle("start t1 of the time window");
        const Single t2 = in.ReadSingle("end t2 of the time window");
        if (t1 <= now && now < t2) {
            in.ReadLine("label line after the time window");
            ReadLoadRecords(s, in, B);
            return;
        }
        while (!IsTerminatorLine(in.ReadLine("the line -999 closing the time block"))) {
        }
        if (!s.opt.Dynamic) return;
    }
}

// Equation-solver mode: NEQN values from the start of the file, no header.
void ReadEquationSolverLoads(ModelState& s, Double Time, DVector& B) {
    if (s.opt.TimeVarBEqnSolver) {
        WriteTime(s, BEQN_SOLVER_EXCHANGE, Time);
        ShellFunction(s, std::string(BEQN_SOLVER_EXCHANGE) + ".exe");
    }
    const std::string& name =
        s.setup.BEqnSolverFile.empty() ? std::string(BEQN_SOLVER_FILE) : s.setup.BEqnSolverFile;
    textio::TextReader in(s.Dir, name);
    for (int I = 1; I <= s.opt.NEQN; ++I) {
        B(I) = in.ReadDouble("right-hand side value");
        if (ScaledByXScale(s)) B(I) = s.opt.XScale * B(I);
    }
}

}  // namespace

void ForceFn(ModelState& s, Double Time, DVector& BBC, DVector& B) {
    if (s.opt.EquationSolver) {
        ReadEquationSolverLoads(s, Time, B);
        return;
    }
    const int NEQN = s.opt.NEQN;
    for (int I = 1; I <= NEQN; ++I) {
        B(I) = 0;
        if (s.mb.MassBalanceOn) s.mb.MBLoads(I) = 0;
    }
    if (s.opt.TimeVarLoads) {
        WriteTime(s, LOADS_EXCHANGE, Time);
        ShellFunction(s, std::string(LOADS_EXCHANGE) + ".exe");
    }
    ReadLoads(s, Time, B);

    const bool steady = !s.opt.Dynamic;
    for (int I = 1; I <= NEQN; ++I) {
        if (steady && !s.setup.ExplicitNonlinear) BBC(I) = s.opt.XScale * BBC(I);
        B(I) = BBC(I) + B(I);
        if (steady) B(I) = -B(I);
    }
    if (s.opt.Dynamic && s.sys.DumpNow) {
        s.sys.CurrentTime = Time;
        Bout(s, B);
    }
}

}  // namespace ostra
