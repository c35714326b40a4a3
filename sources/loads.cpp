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

#include <memory>
#include <string>
#include <string_view>

#include "model/companion_exchange.h"
#include "model/error.h"
#include "solvers/dumps.h"
#include "sources/equation_numbers.h"
#include "textio/errors.h"
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

// Reading "Loads.csv" for a time follows the file block by block: each
// block's label line and window, then either its records (the first block
// whose window holds the time) or its lines up to the -999 that closes it.
// What each of these readings meets depends only on the bytes of the file,
// so it is kept (LoadsCache) and read again only when the bytes change; the
// records are applied, with their checks, at every call.

// The records of block b: compartment numbers and loads in file order, up
// to the block's closing -999 or the first field that cannot be read.
void ReadBlockBody(LoadsCache& c, LoadBlock& b) {
    textio::TextReader& in = *c.reader;
    in.Restore(b.afterWindow);
    b.bodyRead = true;
    // The last record of a compartment: where it began and the -999 that closed it.
    int lastK = 0, recordLine = 0, closedOn = 0;
    bool betweenRecords = false;
    try {
        in.ReadLine("label line after the time window");
        for (;;) {
            betweenRecords = true;
            const Integer K = in.ReadInteger("compartment of a load record, or -999 ending the block");
            if (K == MISSING) return;
            betweenRecords = false;
            b.events.push_back({true, K, 0, 0, in.Line()});
            lastK = K, recordLine = in.Line();
            for (;;) {
                const Integer ISV =
                    in.ReadInteger("state variable of a load, or -999 ending the compartment's loads");
                if (ISV == MISSING) break;
                const Single W = in.ReadSingle("load W");
                b.events.push_back({false, K, ISV, W, in.Line()});
            }
            closedOn = in.Line();
        }
    } catch (const textio::DataError& e) {
        b.bodyFailed = true;
        b.bodyError = e.what();
        // Where a compartment number was due, the fault usually lies in the
        // record before: one -999 short, it took the block's -999 as its own.
        if (betweenRecords && recordLine > 0)
            b.bodyError += "; the load record of compartment " + std::to_string(lastK) + " begins on line " +
                           std::to_string(recordLine) + " and is closed by the -999 on line " +
                           std::to_string(closedOn) + ": if that -999 was meant to close the time block, "
                           "the record lacks its own closing -999";
    }
}

// Passes the lines of block b up to and including its closing -999.
void SkipBlock(LoadsCache& c, LoadBlock& b) {
    textio::TextReader& in = *c.reader;
    in.Restore(b.afterWindow);
    b.skipped = true;
    try {
        while (!IsTerminatorLine(in.ReadLine("the line -999 closing the time block"))) {
        }
        b.afterBlock = in.Save();
    } catch (const textio::DataError& e) {
        b.skipFailed = true;
        b.skipError = e.what();
    }
}

// Block `index` (0-based) of the file, its label line and window read when
// first needed, starting where the block before it ended.
LoadBlock& Block(LoadsCache& c, std::size_t index) {
    if (index < c.blocks.size()) return c.blocks[index];
    textio::TextReader& in = *c.reader;
    if (index == 0)
        in.Restore(textio::TextReader::Position{});
    else
        in.Restore(c.blocks[index - 1].afterBlock);
    LoadBlock b;
    try {
        const std::string label = in.ReadLine("label line of a time block, or -999 ending the file");
        if (IsTerminatorLine(label)) {
            b.head = LoadBlock::Head::EndOfFile;
        } else {
            b.t1 = in.ReadSingle("start t1 of the time window");
            b.t2 = in.ReadSingle("end t2 of the time window");
            b.afterWindow = in.Save();
            b.head = LoadBlock::Head::Window;
        }
    } catch (const textio::DataError& e) {
        b.head = LoadBlock::Head::Failed;
        b.headError = e.what();
    }
    c.blocks.push_back(std::move(b));
    return c.blocks.back();
}

// Applies the records of a block: a later record for the same pair replaces
// an earlier one.
void ApplyLoadRecords(ModelState& s, const LoadBlock& b, DVector& B) {
    for (const LoadEvent& ev : b.events) {
        const RecordAt at{LOADS_FILE, ev.line};
        if (ev.compartment) {
            CheckRecordCompartment(s, at, PROC, ev.K);
            continue;
        }
        const int e = RecordEquation(s, at, PROC, ev.ISV, ev.K);
        const Single WC = s.tables.Compartment(ev.K, 9);
        if (WC == 0)
            Error(s, at.Where() + ": Compartment(" + std::to_string(ev.K) +
                         ", 9) = 0 divides the load of state variable " + std::to_string(ev.ISV) +
                         " in " + PROC);
        const Single load = ev.W / WC;
        B(e) = load;
        if (s.mb.MassBalanceOn) s.mb.MBLoads(e) = ev.W;
        if (ScaledByXScale(s)) B(e) = s.opt.XScale * B(e);
    }
    if (b.bodyFailed) throw textio::DataError(b.bodyError);
}

// Adds the loads of the first block whose window t1 <= Time < t2 contains
// Time (rounded to Single) into B. A steady-state run looks at the first
// block only.
void ReadLoads(ModelState& s, Double Time, DVector& B) {
    LoadsCache& c = s.inputs.loads;
    if (c.file.Refresh(s.Dir, LOADS_FILE, s.companions.starts) || !c.reader) {
        c.reader = std::make_unique<textio::TextReader>(
            textio::TextReader::FromContent(LOADS_FILE, c.file.Bytes()));
        c.blocks.clear();
    }
    const Single now = static_cast<Single>(Time);
    for (std::size_t index = 0;; ++index) {
        LoadBlock& b = Block(c, index);
        if (b.head == LoadBlock::Head::EndOfFile) return;
        if (b.head == LoadBlock::Head::Failed) throw textio::DataError(b.headError);
        if (b.t1 <= now && now < b.t2) {
            if (!b.bodyRead) ReadBlockBody(c, b);
            ApplyLoadRecords(s, b, B);
            return;
        }
        if (!b.skipped) SkipBlock(c, b);
        if (b.skipFailed) throw textio::DataError(b.skipError);
        if (!s.opt.Dynamic) return;
    }
}

// Equation-solver mode: NEQN values from the start of the file, no header.
// The values are parsed again only when the bytes of the file change.
void ReadEquationSolverLoads(ModelState& s, Double Time, DVector& B) {
    if (s.opt.TimeVarBEqnSolver) {
        WriteTime(s, BEQN_SOLVER_EXCHANGE, Time);
        ShellFunction(s, std::string(BEQN_SOLVER_EXCHANGE) + ".exe");
    }
    const std::string& name =
        s.setup.BEqnSolverFile.empty() ? std::string(BEQN_SOLVER_FILE) : s.setup.BEqnSolverFile;
    EquationLoadsCache& c = s.inputs.equationLoads;
    const int NEQN = s.opt.NEQN;
    if (c.file.Refresh(s.Dir, name, s.companions.starts)) {
        c.values.clear();
        c.failed = false;
        textio::TextReader in = textio::TextReader::FromContent(name, c.file.Bytes());
        try {
            for (int I = 1; I <= NEQN; ++I) c.values.push_back(in.ReadDouble("right-hand side value"));
        } catch (const textio::DataError& e) {
            c.failed = true;
            c.error = e.what();
        }
    }
    for (std::size_t i = 0; i < c.values.size(); ++i) {
        const int I = static_cast<int>(i) + 1;
        B(I) = c.values[i];
        if (ScaledByXScale(s)) B(I) = s.opt.XScale * B(I);
    }
    if (c.failed) throw textio::DataError(c.error);
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
