// parm_update.cpp -- bringing the model tables up to date for a time.
//
// Exports: ParmUpdate.
//
// At time 0 every table is read; at later times only the tables that
// "Control.csv" declares time-variable, each after its companion program has
// rewritten it for the new time. In compartment mode ("ENVS") the equation
// maps follow the compartment table and the per-equation volumes and
// retardation factors follow the partitioning table; in equation-solver mode
// ("EQNS") the coefficient matrix and the storage diagonal are read directly.
#include "model/count_notes.h"
#include "model/parm_update.h"

#include <cstdio>
#include <string>

#include "model/companion_exchange.h"
#include "model/error.h"
#include "model/table_readers.h"
#include "model/table_records.h"
#include "textio/number_format.h"
#include "textio/text_reader.h"
#include "transport/geometry.h"

namespace ostra {
namespace {

using TableReader = void (*)(ModelState&);

// The file name recorded by the set-up, or the fixed name when none was recorded.
std::string FileName(const std::string& recorded, const char* fixed) {
    return recorded.empty() ? std::string(fixed) : recorded;
}

// "AEqnSolver.csv": NEQN x NEQN Doubles, row by row, no header line. Only
// the non-zero values are kept; a zero reads back as 0 where it is not kept.
void ReadAEqnSolver(ModelState& s, DSparse& A) {
    textio::TextReader in(s.Dir, FileName(s.setup.AEqnSolverFile, "AEqnSolver.csv"));
    const int n = s.opt.NEQN;
    in.SetCountNote(EquationCountNote(s, "NEQN x NEQN = " + std::to_string(long{n} * n) + " values"));
    if (A.Rows() != n) A.Resize(n, "A");
    A.Clear();
    char what[64];
    for (int i = 1; i <= n; ++i) {
        auto& row = A.MutableRow(i);
        for (int j = 1; j <= n; ++j) {
            std::snprintf(what, sizeof what, "A(%d, %d)", i, j);
            const Double value = in.ReadDouble(what);
            if (value != 0) row.push_back({j, value});
        }
    }
}

// "RVEqnSolver.csv": NEQN Singles into RVDiag, no header line.
void ReadRVEqnSolver(ModelState& s) {
    textio::TextReader in(s.Dir, FileName(s.setup.RVEqnSolverFile, "RVEqnSolver.csv"));
    in.SetCountNote(EquationCountNote(s, std::to_string(s.opt.NEQN) + " values"));
    char what[48];
    for (int i = 1; i <= s.opt.NEQN; ++i) {
        std::snprintf(what, sizeof what, "RVDiag(%d)", i);
        s.eq.RVDiag(i) = in.ReadSingle(what);
    }
}

void UpdateEquationSolverMode(ModelState& s, Double Time, DSparse& A) {
    const bool atTimeZero = Time == 0.0;
    if (atTimeZero || s.opt.TimeVarAEqnSolver) {
        if (s.opt.TimeVarAEqnSolver) Exchange(s, "AEqnSolver", Time);
        ReadAEqnSolver(s, A);
    }
    if (atTimeZero || s.opt.TimeVarRVEqnSolver) {
        if (s.opt.TimeVarRVEqnSolver) Exchange(s, "RVEqnSolver", Time);
        if (s.opt.Dynamic) ReadRVEqnSolver(s);
    }
}

// Reads one table at time 0, or later when it is time-variable, asking its
// companion program `name` to rewrite it first when it is. True when read.
bool Refresh(ModelState& s, Double Time, bool timeVariable, const char* name, TableReader read) {
    if (Time != 0.0 && !timeVariable) return false;
    if (timeVariable) Exchange(s, name, Time);
    read(s);
    return true;
}

// SectnToEqn and EqnToSectn from SVCompMap: the running number of each
// compartment among those of its state variable, and the inverse; NEQNsm,
// the number of equations of each state variable.
void NumberEquations(ModelState& s) {
    const int NT = s.setup.NT;
    for (int ISV = 1; ISV <= s.opt.NSV; ++ISV) {
        Integer k = 0;
        for (int I = 1; I <= NT; ++I) {
            s.eq.SectnToEqn(ISV, I) = MISSING;
            s.eq.EqnToSectn(ISV, I) = MISSING;
            if (s.setup.SVCompMap(ISV, I) == 1) {
                if (s.tables.Compartment(I, 3) != 0)
                    Error(s, "Compartment(*,3) data error in Compartments.csv: compartment " +
                                 std::to_string(I) + " has kind " +
                                 textio::SingleInText(s.tables.Compartment(I, 3)) + " (column 3 of its " +
                                 "record, line " + std::to_string(RecordLine(s.tables.lines.Compartment, I)) +
                                 "), a boundary or dummy compartment, but \"SVCompmap.csv\" has a 1 for "
                                 "state variable " + std::to_string(ISV) + " in it: equations are formed "
                                 "only for interior compartments (kind 0), so either the 1 in "
                                 "\"SVCompmap.csv\" or the kind is wrong");
                ++k;
                s.eq.EqnToSectn(ISV, k) = static_cast<Integer>(I);
                s.eq.SectnToEqn(ISV, I) = k;
            }
        }
        // The transport assembly counts the same again; a run without a
        // step (NumTimeSteps 0) has only this count to number its equations.
        s.eq.NEQNsm(ISV) = k;
    }
}

// 1 + Kd x solids / water content of state variable ISV in compartment I
// (table row `counter`), in Single: product, then quotient, then + 1.
Single RetardationFactor(ModelState& s, int ISV, int I, int counter) {
    const Single WC = s.tables.Compartment(I, 9);
    if (WC == 0)
        Error(s, "Compartment(" + std::to_string(I) + ", 9) = 0 in Compartments.csv: the water content "
                 "of compartment " + std::to_string(I) + " divides the retardation factor of state variable " +
                 std::to_string(ISV) + " in ParmUpdate");
    const Single product = s.tables.KdTempCoef(counter, 3) * s.tables.Compartment(I, 10);
    const Single quotient = product / WC;
    return 1.0f + quotient;
}

// EqnVolume and EqnRetard of every (state variable, interior compartment) pair.
void EquationStorage(ModelState& s) {
    const int NEQN = s.opt.NEQN;
    int EqnCount = 0;
    int counter = 0;
    for (int ISV = 1; ISV <= s.opt.NSV; ++ISV)
        for (int I = 1; I <= s.setup.NT; ++I) {
            ++counter;
            if (s.tables.Compartment(I, 3) != 0 || s.setup.SVCompMap(ISV, I) != 1) continue;
            ++EqnCount;
            // More pairs than equations: stop before writing past the vectors.
            if (EqnCount > NEQN)
                Error(s, "EqnCount <> NEQN in ParmUpdate: more (state variable, interior compartment) "
                         "pairs than the NEQN = " + std::to_string(NEQN) + " equations counted in "
                         "\"SVCompmap.csv\"");
            // -999 marks a missing value; as a volume it would be taken as one.
            if (s.tables.Compartment(I, 7) == MISSING)
                Error(s, "Compartment(" + std::to_string(I) + ", 7) = -999 in Compartments.csv: compartment " +
                             std::to_string(I) + " (record on line " +
                             std::to_string(RecordLine(s.tables.lines.Compartment, I)) + ") gives no volume, but "
                             "state variable " + std::to_string(ISV) + " is computed there");
            s.eq.EqnVolume(EqnCount) = s.tables.Compartment(I, 7);
            s.eq.EqnRetard(EqnCount) = RetardationFactor(s, ISV, I, counter);
        }
    if (EqnCount != NEQN)
        Error(s, "EqnCount <> NEQN in ParmUpdate: " + std::to_string(EqnCount) +
                     " (state variable, interior compartment) pairs, but \"SVCompmap.csv\" counts NEQN = " +
                     std::to_string(NEQN) + " equations (a compartment marked 1 there is not interior)");
}

void UpdateCompartmentMode(ModelState& s, Double Time) {
    const RunOptions& o = s.opt;
    if (Refresh(s, Time, o.TimeVarCompartments, "Compartment", ReadCompartments)) NumberEquations(s);
    if (Refresh(s, Time, o.TimeVarKd, "LinearKdandTempCoef", ReadKdandTempCoef)) EquationStorage(s);
    Refresh(s, Time, o.TimeVarInterfaces, "Interfaces", ReadInterfaces);
    Refresh(s, Time, o.TimeVarECoef, "Ecoefficients", ReadECoef);
    Refresh(s, Time, o.TimeVarFlows, "Flows", ReadFlows);
    // The multipliers are looked up on demand; the next lookup looks at the
    // file again and parses it anew when its bytes have changed.
    if (o.TimeVarMultipliers) Exchange(s, "FlowandEMultipliers", Time);
    CheckMultipliersAgain(s);
    Refresh(s, Time, o.TimeVarBoundary, "Boundary", ReadBoundary);
    if (s.tables.VariableAlpha) UpdateALPHA(s);
}

}  // namespace

void ParmUpdate(ModelState& s, Double Time, DSparse& A) {
    s.sys.TablesTime = Time;
    if (s.opt.EquationSolver)
        UpdateEquationSolverMode(s, Time, A);
    else
        UpdateCompartmentMode(s, Time);
}

}  // namespace ostra
