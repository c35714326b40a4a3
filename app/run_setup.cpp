// run_setup.cpp -- sizing a run: equation count, arrays, guesses, initial values.
//
// Exports: SetupRun, PrepareDynamicRun, InitialConcentrations.
//
// In compartment mode ("ENVS") the number of equations comes from the map of
// state variables onto compartments, "SVCompmap.csv"; in equation-solver mode
// ("EQNS") it is the NEQN of "Control.csv". The set-up sizes every shared
// array (zero filled), stops scheme/mode combinations that cannot work, reads
// Newton's starting guesses and, for a dynamic run, the initial values.
#include "app/run_setup.h"

#include <memory>
#include <string>

#include "app/result_files.h"
#include "model/count_notes.h"
#include "model/error.h"
#include "model/parm_update.h"
#include "sources/mass_balance.h"
#include "textio/text_reader.h"
#include "textio/text_writer.h"

namespace ostra {
namespace {

// The value line of Control.csv pair `pair`: every pair is a label line and one value line.
std::string ControlPair(int pair) {
    return "file \"Control.csv\", line " + std::to_string(2 * pair) + " (pair " + std::to_string(pair) + "): ";
}

// Negative counts cannot size an array; they are stopped before anything is sized.
void CheckCounts(ModelState& s) {
    const RunOptions& o = s.opt;
    if (o.EquationSolver) {
        if (o.NEQN < 0)
            Error(s, ControlPair(4) + "NEQN = " + std::to_string(o.NEQN) +
                         "; the number of equations cannot be negative");
        return;
    }
    if (o.NSV < 0)
        Error(s, ControlPair(5) + "NSV = " + std::to_string(o.NSV) +
                     "; the number of state variables cannot be negative");
    if (o.NTCount1 + o.NTCount2 < 0)
        Error(s, ControlPair(5) + "NT = NTCount1 + NTCount2 = " + std::to_string(o.NTCount1 + o.NTCount2) +
                     "; the number of compartments cannot be negative");
    if (o.NAS < 0)
        Error(s, ControlPair(6) + "NAS = " + std::to_string(o.NAS) +
                     "; the number of adjacent compartments cannot be negative");
}

// "SVCompmap.csv": a header line, then per state variable its number and one
// 0/1 per compartment. NEQN becomes the number of 1 entries.
void ReadSVCompMap(ModelState& s) {
    RunSetup& u = s.setup;
    const Integer NSV = s.opt.NSV;
    u.NT = CheckedInteger(long{s.opt.NTCount1} + s.opt.NTCount2, "NT (NTCount1 + NTCount2 of \"Control.csv\")");
    u.MaxNSVxNT = CheckedInteger(long{u.NT} * NSV, "MaxNSVxNT (NSV x NT of \"Control.csv\")");
    u.SVCompMap.Resize(NSV, u.NT, "SVCompMap");
    textio::TextReader in(s.Dir, "SVCompmap.csv");
    in.SetCountNote(TableCountNote(s, 0, std::to_string(NSV) + (NSV == 1 ? " row" : " rows") + " of 1 + " +
                                             std::to_string(u.NT) + " values"));
    in.ReadLine("header line");
    long sum = 0;
    for (int ISV = 1; ISV <= NSV; ++ISV) {
        const std::string sv = "state variable " + std::to_string(ISV);
        const Integer number = in.ReadInteger("number of " + sv);
        if (number != ISV)
            Error(s, "data error in SVCompMap.csv: " + in.Where() + ": the row of state variable " +
                         std::to_string(ISV) + " starts with " + std::to_string(number) + " where " +
                         std::to_string(ISV) + " was expected (each row is the state variable's number and "
                         "one 0 or 1 for each of the NT = " + std::to_string(u.NT) +
                         " compartments of \"Control.csv\" pair 5)");
        const int rowLine = in.Line();
        for (int K = 1; K <= u.NT; ++K) {
            const Integer entry = in.ReadInteger(sv + ", compartment " + std::to_string(K));
            // An entry read from a later line than its row's number: the row
            // holds fewer entries than NT says (one record a line is the rule).
            const std::string count =
                in.Line() != rowLine
                    ? "; the row of state variable " + std::to_string(ISV) + " (line " + std::to_string(rowLine) +
                          ") holds fewer entries than the NT = NTCount1 + NTCount2 = " + std::to_string(u.NT) +
                          " compartments of \"Control.csv\" pair 5 (line 10)"
                    : "";
            if (entry != 0 && entry != 1)
                Error(s, "data error in SVCompMap.csv: " + in.Where() + ": the entry of state variable " +
                             std::to_string(ISV) + " in compartment " + std::to_string(K) + " is " +
                             std::to_string(entry) + "; it must be 1 (computed there) or 0" + count);
            u.SVCompMap(ISV, K) = entry;
            sum += entry;
        }
    }
    s.opt.NEQN = CheckedInteger(sum, "NEQN (the 1 entries of \"SVCompmap.csv\")");
}

bool NewtonRun(const ModelState& s) { return !s.opt.Linear && !s.setup.ExplicitNonlinear; }

// Step 4: the nonlinear term, Newton's arrays and its trace file.
void SetupNonlinear(ModelState& s) {
    const Integer NEQN = s.opt.NEQN;
    s.sys.f.Resize(NEQN, "f");
    if (!NewtonRun(s)) return;
    if (s.opt.Dynamic && s.opt.DynType == 2) {
        s.display.MessageBox("MacCormack method inappropriate for nonlinear systems");
        EndRun(EXIT_SETUP_STOPPED);
    }
    s.sys.G.Resize(NEQN, "G");
    // A sparse LU run holds its Jacobian by its non-zeros (s.work.sparseLU).
    if (!s.opt.SparseLU) s.sys.XJAC.Resize(NEQN, NEQN, "XJAC");
    if (s.opt.NewtonInfo) s.files.NewtonInfo = std::make_unique<textio::TextWriter>(s.Dir, "NewtonInfo.dng");
}

// Step 5, compartment mode: equation maps and the model tables.
void SizeCompartmentTables(ModelState& s) {
    const Integer NSV = s.opt.NSV, NEQN = s.opt.NEQN, NT = s.setup.NT, NR = s.setup.MaxNSVxNT;
    RunSetup& u = s.setup;
    EquationMaps& eq = s.eq;
    ModelTables& t = s.tables;
    eq.NEQNsm.Resize(NSV, "NEQNsm");
    eq.SectnToEqn.Resize(NSV, NT, "SectnToEqn");
    eq.EqnToSectn.Resize(NSV, NT, "EqnToSectn");
    s.sys.BBC.Resize(NEQN, "BBC");
    eq.EqnVolume.Resize(NEQN, "EqnVolume");
    eq.EqnRetard.Resize(NEQN, "EqnRetard");
    u.NColCompartment = NCOL_COMPARTMENT;
    u.NColInitial = NCOL_INITIAL;
    u.NColBoundary = NCOL_BOUNDARY;
    u.NColKd = NCOL_KD;
    u.NColInface = NCOL_INFACE;
    u.NColECoef = NCOL_ECOEF;
    u.NColFlow = NCOL_FLOW;
    const long NAS = s.opt.NAS;
    const Integer infaceCols = CheckedInteger(NCOL_INFACE * NAS + 1, "5 x NAS + 1 columns of the interface table");
    const Integer pairCols = CheckedInteger(2 * NAS + 2, "2 x NAS + 2 columns of the flow table");
    const Integer alphaCols = CheckedInteger(2 * NAS + 1, "2 x NAS + 1 columns of the upwind weights");
    t.Compartment.Resize(NT, NCOL_COMPARTMENT, "Compartment");
    t.Inface.Resize(NT, infaceCols, "Inface");
    t.ECoef.Resize(NR, pairCols, "ECoef");
    t.KdTempCoef.Resize(NR, NCOL_KD, "KdTempCoef");
    t.Boundary.Resize(NR, NCOL_BOUNDARY, "Boundary");
    t.Flow.Resize(NR, pairCols, "Flow");
    t.ALPHAweighted.Resize(NT, alphaCols, "ALPHAweighted");
    t.VariableAlpha = false;
    u.UseMultipliers = true;
    u.InitialFile = "INITIAL.CSV";
}

// Step 5, equation-solver mode: file names and the storage diagonal.
void SetupEquationSolverMode(ModelState& s) {
    s.setup.AEqnSolverFile = "AEqnSolver.csv";
    s.setup.BEqnSolverFile = "BEqnSolver.csv";
    if (!s.opt.Dynamic) return;
    if (s.opt.DynType == 2) {
        s.display.MessageBox("MacCormack Method Not Applicable to Equation Solver Mode");
        EndRun(EXIT_SETUP_STOPPED);
    }
    s.eq.RVDiag.Resize(s.opt.NEQN, "RVDiag");
    s.setup.RVEqnSolverFile = "RVEqnSolver.csv";
    s.setup.InitialFile = "InitialEqnSolver.csv";
}

// The smallest power of two that still changes 1 when added to it, halved
// once more: 2^-53 in 64-bit arithmetic. The sum is stored through a
// volatile so that no wider register can take part.
Double MachineEpsilon() {
    Double eps = 1;
    volatile Double sum = 1 + eps;
    while (sum > 1) {
        eps = eps / 2;
        sum = 1 + eps;
    }
    return eps;
}

// "GuessEqnSolver.csv": no header, NEQN guesses in equation order.
void ReadGuessEqnSolver(ModelState& s, DVector& target) {
    textio::TextReader in(s.Dir, "GuessEqnSolver.csv");
    in.SetCountNote(EquationCountNote(s, std::to_string(s.opt.NEQN) + " values"));
    for (int i = 1; i <= s.opt.NEQN; ++i)
        target(i) = in.ReadDouble("guess of equation " + std::to_string(i)) * s.opt.XScale;
}

// "Guess.CSV": a header, then NSV x NT records (state variable, compartment,
// guess); the records of computed pairs give the guesses in equation order.
void ReadGuessCompartments(ModelState& s, DVector& target) {
    const Integer NSV = s.opt.NSV, NT = s.setup.NT, NEQN = s.opt.NEQN;
    textio::TextReader in(s.Dir, "Guess.CSV");
    in.SetCountNote(TableCountNote(s, 3));
    in.ReadLine("header line");
    long count = 0;
    const long records = long{NSV} * NT;
    for (long r = 1; r <= records; ++r) {
        const std::string rec = "record " + std::to_string(r);
        const Integer ISV = in.ReadInteger("state variable of " + rec);
        const Integer K = in.ReadInteger("compartment of " + rec);
        const Single guess = in.ReadSingle("guess of " + rec);
        const std::string pair = "state variable " + std::to_string(ISV) + ", compartment " + std::to_string(K);
        if (ISV < 1 || ISV > NSV || K < 1 || K > NT)
            Error(s, "data error in Guess.csv: " + in.Where() + ": " + rec + " names " + pair +
                         ", outside the model (NSV = " +
                         std::to_string(NSV) + ", NT = " + std::to_string(NT) + ")");
        if (s.setup.SVCompMap(ISV, K) != 1) continue;
        if (++count > NEQN)
            Error(s, "data error in Guess.csv: " + in.Where() + ": " + rec + " (" + pair +
                         ") is one guess more than the NEQN = " + std::to_string(NEQN) + " equations");
        target(static_cast<int>(count)) = static_cast<Single>(guess * s.opt.XScale);
        if (target(static_cast<int>(count)) == MISSING_VALUE)
            Error(s, "data error in Guess.csv: " + in.Where() + ": " + rec + " (" + pair +
                         ") gives the guess -999, but the state variable is computed there");
    }
    if (count != NEQN)
        Error(s, "data error in Guess.csv: its " + std::to_string(records) + " records give guesses for " +
                     std::to_string(count) + " computed (state variable, compartment) pairs, but there are NEQN = " +
                     std::to_string(NEQN) + " equations (\"SVCompmap.csv\")");
}

// Step 6: Newton's vectors, the machine epsilon and the starting guesses.
void SetupNewtonStart(ModelState& s) {
    if (s.opt.Dynamic) {
        s.sys.XNew.Resize(s.opt.NEQN, "XNew");
    }
    s.setup.MachEps = MachineEpsilon();
    DVector& target = s.opt.Dynamic ? s.sys.XNew : s.sys.c;
    if (s.opt.EquationSolver) {
        ReadGuessEqnSolver(s, target);
    } else {
        ReadGuessCompartments(s, target);
    }
}

// "InitialEqnSolver.csv": no header, NEQN initial values (Single).
void ReadInitialEqnSolver(ModelState& s) {
    textio::TextReader in(s.Dir, s.setup.InitialFile);
    in.SetCountNote(EquationCountNote(s, std::to_string(s.opt.NEQN) + " values"));
    s.setup.InitialEqn.Resize(s.opt.NEQN, "InitialEqn");
    for (int i = 1; i <= s.opt.NEQN; ++i)
        s.setup.InitialEqn(i) = in.ReadSingle("initial value of equation " + std::to_string(i));
}

// "INITIAL.CSV": a header, then MaxNSVxNT rows of three values; the row of
// (ISV, K) is (ISV - 1) x NT + K and its third value is the concentration.
void ReadInitialTable(ModelState& s) {
    RunSetup& u = s.setup;
    u.Initial.Resize(u.MaxNSVxNT, u.NColInitial, "Initial");
    textio::TextReader in(s.Dir, u.InitialFile);
    in.SetCountNote(TableCountNote(s, 3));
    in.ReadLine("header line");
    for (int row = 1; row <= u.MaxNSVxNT; ++row)
        for (int col = 1; col <= u.NColInitial; ++col)
            u.Initial(row, col) =
                in.ReadDouble("row " + std::to_string(row) + ", column " + std::to_string(col));
}

}  // namespace

void SetupRun(ModelState& s) {
    RunOptions& o = s.opt;
    CheckCounts(s);
    if (!o.EquationSolver) ReadSVCompMap(s);
    const Integer NEQN = o.NEQN;
    s.sys.INDX.Resize(NEQN, "INDX");
    s.sys.A.Resize(NEQN, "A");
    s.sys.B.Resize(NEQN, "B");
    s.sys.c.Resize(NEQN, "c");
    s.setup.ExplicitNonlinear = o.Dynamic && (o.DynType == 1 || o.DynType == 2) && !o.NonlinearRV;
    if (!o.Linear) SetupNonlinear(s);
    if (!o.EquationSolver) {
        SizeCompartmentTables(s);
    } else {
        SetupEquationSolverMode(s);
    }
    if (NewtonRun(s)) SetupNewtonStart(s);
}

void PrepareDynamicRun(ModelState& s) {
    // A check (ostra --check) creates no result file.
    const bool results = !s.control.check;
    if (s.opt.EquationSolver) {
        ReadInitialEqnSolver(s);
        s.opt.DynPrint = 3;
        if (results) OpenAllTimeSeries(s);
    } else {
        ReadInitialTable(s);
        CheckResultChoice(s);
        if (results && s.opt.DynPrint == 2) OpenOneCompTimeSeries(s);
        if (results && s.opt.DynPrint == 3) OpenAllTimeSeries(s);
    }
    ParmUpdate(s, 0, s.sys.A);
    s.mb.MassBalanceOn = !s.opt.EquationSolver && s.opt.Dynamic && !s.opt.VarnTerm;
    if (s.mb.MassBalanceOn) MassBalanceSetup(s);
}

void InitialConcentrations(ModelState& s) {
    if (s.opt.EquationSolver) {
        for (int i = 1; i <= s.opt.NEQN; ++i) s.sys.c(i) = s.setup.InitialEqn(i);
        s.sys.CurrentTime = 0;
    } else {
        const Integer NT = s.setup.NT;
        long count = 0;
        for (int ISV = 1; ISV <= s.opt.NSV; ++ISV) {
            for (int K = 1; K <= NT; ++K) {
                const int row = (ISV - 1) * NT + K;
                if (s.setup.SVCompMap(ISV, K) != 1 || s.tables.Compartment(K, 3) != 0) continue;
                ++count;
                const Double value = s.setup.Initial(row, 3);
                if (value == MISSING_VALUE)
                    Error(s, "-999 data error initializing c vector: \"" +
                                 (s.setup.InitialFile.empty() ? std::string("INITIAL.CSV") : s.setup.InitialFile) +
                                 "\" row " +
                                 std::to_string(row) + " (state variable " + std::to_string(ISV) +
                                 ", compartment " + std::to_string(K) +
                                 ") gives no initial concentration, but the state variable is computed there");
                s.sys.c(static_cast<int>(count)) = value;
            }
        }
        if (count != s.opt.NEQN)
            Error(s, "Count not equal to NEQN in initializing c vector: " + std::to_string(count) +
                         " (state variable, interior compartment) pairs for NEQN = " + std::to_string(s.opt.NEQN) +
                         " equations (\"SVCompmap.csv\" marks a compartment that is not interior)");
    }
    if (s.mb.MassBalanceOn) MassBalanceCountBoundaries(s);
}

}  // namespace ostra
