// model_state.h -- the state of one run: options, tables, derived arrays.
//
// Exports: ModelState and its parts RunOptions, RunSetup, ModelTables,
// EquationMaps, EquationSystem, MassBalanceState, RunFiles, CompanionLog,
// CompanionRunner (and, from fd_jacobian_record.h, FdJacobianRecord).
//
// One ModelState holds everything a run reads and writes; every procedure of
// the system is a free function that takes it by reference. Two runs (two
// ModelState objects) can live in one process. Names follow the system's own
// names; all arrays are 1-based (arrays.h). A new run starts from a freshly
// constructed ModelState, so every array starts empty and is sized, zero
// filled, by the set-up.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "model/arrays.h"
#include "model/constants.h"
#include "model/display.h"
#include "model/elimination_record.h"
#include "model/fd_jacobian_record.h"
#include "model/input_cache.h"
#include "model/sparse_lu_work.h"
#include "model/sparse_matrix.h"
#include "textio/text_writer.h"

namespace ostra {

// Run options read from "Control.csv", in the order of its 36 pairs, and
// the flags derived from them.
struct RunOptions {
    bool EquationSolver = false;  // 1: "EQNS" True, "ENVS" False
    bool Linear = true;           // 2
    bool Dynamic = false;         // 3: "N" means time stepping
    Integer NEQN = 0;             // 4: recomputed from "SVCompmap.csv" in ENVS mode
    Integer NSV = 0;              // 5
    Integer NTCount1 = 0;
    Integer NTCount2 = 0;
    Integer NAS = 0;              // 6
    Integer MixLengthOption = 0;  // 7
    Single FlowBalanceTol = 0;    // 8, percent
    Integer DynType = 0;          // 9
    Single DELT = 0;              // 10
    Double NumTimeSteps = 0;      // 11
    Integer DumpStep = 0;         // 12
    Integer DynPrint = 0;         // 13
    Double ProfileStep = 0;       // 14
    Integer NumSectnPrint = 0;    // 15
    Integer PrintEvery = 0;
    bool NonlinearRV = false;       // 16
    bool AnalyticJacobian = false;  // 17
    Double DELTFD = 0;              // 18
    bool NewtonInfo = false;        // 19
    bool NonNegative = true;        // 20
    Single RandomHigh = 0;          // 21
    Single RandomLow = 0;
    Single SC = 0;                  // 22
    Integer MaxNewtonIteration = 0;  // 23
    Integer MaxRandomizing = 0;
    Integer NumRandomSamples = 0;
    bool VarnTerm = false;             // 24
    bool TelmTerm = false;             // 25
    bool TimeVarCompartments = false;  // 26
    bool TimeVarInterfaces = false;    // 27
    bool TimeVarFlows = false;         // 28
    bool TimeVarECoef = false;         // 29
    bool TimeVarMultipliers = false;   // 30
    bool TimeVarKd = false;            // 31
    bool TimeVarBoundary = false;      // 32
    bool TimeVarLoads = false;         // 33
    bool TimeVarAEqnSolver = false;    // 34
    bool TimeVarBEqnSolver = false;    // 35
    bool TimeVarRVEqnSolver = false;   // 36
    bool SparseLU = false;             // 37: "SPARSE-LU"; absent or "GAUSS-JORDAN": False
    // Lines of "Control.csv" after pair 36 that held something and were
    // ignored (line 73 is not the label "Linear solver"): first and last, 0 for none.
    int IgnoredControlFrom = 0;
    int IgnoredControlTo = 0;

    // Derived while reading.
    bool TimeVarParms = false;  // some table other than the loads varies in time
    bool UseDfdc = false;       // VarnTerm and AnalyticJacobian
    bool UsePask = false;       // TelmTerm and AnalyticJacobian

    // Set after "Control.csv" has been read.
    std::string LinearMethod;
    Single XScale = 1;
};

// Results of the run set-up: sizes, maps, file names, initial values.
struct RunSetup {
    Integer NT = 0;         // NTCount1 + NTCount2
    Integer MaxNSVxNT = 0;  // NT x NSV
    IMatrix SVCompMap;      // (ISV, K): 1 when state variable ISV is computed in compartment K
    bool ExplicitNonlinear = false;
    Double MachEps = 0;
    bool UseMultipliers = false;
    Integer NColCompartment = 0, NColInitial = 0, NColBoundary = 0, NColKd = 0,
            NColInface = 0, NColECoef = 0, NColFlow = 0;
    std::string AEqnSolverFile, BEqnSolverFile, RVEqnSolverFile, InitialFile;
    DMatrix Initial;      // "INITIAL.CSV": MaxNSVxNT x NColInitial
    SVector InitialEqn;   // "InitialEqnSolver.csv": NEQN values
};

// One record of "FlowandEMultipliers.csv".
struct MultiplierRecord {
    Integer ISV, CompRow, CompCol, IntI, IntJ;
    Single EMult, QMult;
};

// The model tables of compartment mode (all Single).
struct ModelTables {
    SMatrix Compartment;    // NT x 10
    SMatrix Inface;         // NT x (5 NAS + 1)
    SMatrix Flow;           // MaxNSVxNT x (2 NAS + 2)
    SMatrix ECoef;          // MaxNSVxNT x (2 NAS + 2)
    SMatrix KdTempCoef;     // MaxNSVxNT x 4
    SMatrix Boundary;       // MaxNSVxNT x 3
    SMatrix ALPHAweighted;  // NT x (2 NAS + 1)
    bool VariableAlpha = false;

    // The line on which each record of a table starts (index = table row,
    // 1-based; 0 while not read), so that messages can point into the file.
    struct RecordLines {
        std::vector<int> Compartment, Inface, Flow, ECoef, KdTempCoef, Boundary;
    } lines;

    // Parsed multiplier records; valid only while `multipliersLoaded` is True.
    // The parameter update clears the flag, so the file is parsed again after
    // anything may have rewritten it.
    bool multipliersLoaded = false;
    std::vector<MultiplierRecord> multipliers;
};

// Equation numbering and per-equation storage.
struct EquationMaps {
    IVector NEQNsm;      // NSV: equations of each state variable
    IMatrix SectnToEqn;  // NSV x NT: local equation number of (ISV, I), -999 if none
    IMatrix EqnToSectn;  // NSV x NT: compartment of local equation k, -999 beyond
    SVector EqnVolume;   // NEQN
    SVector EqnRetard;   // NEQN
    SVector RVDiag;      // NEQN, "EQNS" mode dynamic runs
};

// The equation vectors and matrices of a run, and the time stamp of results.
struct EquationSystem {
    DVector c;     // concentrations
    DSparse A;     // coefficient matrix: only the elements the assembly gives
    DVector B;     // right-hand side (loads)
    IVector INDX;  // pivot record of LUDCMP
    DVector BBC;   // boundary contributions
    DVector f;     // nonlinear term
    DVector G;     // Newton residual
    DMatrix XJAC;  // Jacobian
    DVector XNew;  // Newton start and result of each time step
    Double CurrentTime = 0;  // time stamp of result rows and dumps; -999 for steady state
    Double TablesTime = 0;   // the time of the tables in force (the last parameter update)
    bool DumpNow = false;    // True during the step whose number equals DumpStep
};

// Mass-balance bookkeeping of dynamic compartment runs.
struct MassBalanceState {
    bool MassBalanceOn = false;
    DVector MBIn;            // NSV
    DMatrix MBOut;           // NSV x 3: transport out, volume sinks, area sinks
    DMatrix MBBoundary;      // MBBoundaryLength x 5
    Integer MBBoundaryLength = 0;
    Integer MBBoundaryRowCount = 0;
    DVector MBLoads;         // NEQN
    DMatrix MBExtVolSinks;   // MaxNSVxNT x 3
    DMatrix MBExtAreaSinks;  // MaxNSVxNT x 4
    Integer MBExtVolSinksRowCount = 0;
    Integer MBExtAreaSinksRowCount = 0;
};

// Files that stay open across calls.
struct RunFiles {
    std::unique_ptr<textio::TextWriter> TimeSeries;      // AllTimeSeries.csv or OneCompTimeSeries.csv
    std::unique_ptr<textio::TextWriter> NewtonInfo;      // NewtonInfo.dng
    std::unique_ptr<textio::TextWriter> EulerStability;  // EulerStabilityInfo.dng
};

// How the run was asked for, and what it found doubtful on the way.
struct RunControl {
    bool check = false;   // stop before the first step or solve (ostra --check)
    bool strict = false;  // warnings about the results end with EXIT_DOUBTFUL
    // Doubtful results met by the run, in the order met; shown at its end.
    std::vector<std::string> warnings;
    // Result files this run has created, in order ("AllTimeSeries.csv", ...).
    std::vector<std::string> resultFiles;
    bool errorFileWritten = true;  // false when "Error.dng" could not be written
};

// Companion programs started in this run, in order (for diagnostics and tests).
struct CompanionLog {
    long starts = 0;
    double seconds = 0;  // wall time spent waiting for them
    std::vector<std::string> programs;  // kept only while `record` is True
    bool record = false;
    // Starts of each program, under the name it was started by, in the order first started.
    std::vector<std::pair<std::string, long>> startsByProgram;
};

// Does the work of a companion program in place of starting it: given the
// program's file name as found in the model directory and that directory,
// it reads the request and writes the answer there as the program would,
// and returns the exit status the program would have ended with (its
// messages on standard error, as the program's own). Runs that would pay
// for starting programs many times (the fuzz harnesses) set one; an empty
// runner starts the program (companion_exchange.h).
using CompanionRunner = std::function<int(const std::string& program, const std::filesystem::path& dir)>;

// Working state of the nonlinear residual (solvers/residual.cpp), kept
// across its calls: the coefficient matrix and boundary contributions of the
// old time level of the Crank-Nicolson step in progress, so that every
// evaluation of one step forms the old-level sum with the same operator.
// The copies belong to the step whose old time and old state they record.
struct ResidualWork {
    bool oldLevelValid = false;
    Double oldLevelTime = 0;
    DVector oldLevelState;  // XPREV of the step the copies belong to
    DSparse AOld;
    DVector BBCOld;
};

// Working storage of the assembly and the linear solves, kept from call to
// call so that a time step allocates nothing: the transport block of one
// state variable, and the last elimination of a system matrix (replayed
// while the matrix stays the same).
// The transport part of A and BBC as the last assembly left them, with what
// decides whether the next assembly may take them over (transport.cpp).
struct TransportCopy {
    bool allowed = true;  // false: every step forms the transport part anew
    bool valid = false;
    bool multipliersConsulted = false;  // the assembly looked up "FlowandEMultipliers.csv"
    int mbBoundaryRows = 0;             // MBBoundaryRowCount after it
    DSparse A;
    DVector BBC;
    long assemblies = 0;  // assemblies that ran Transport
    long copies = 0;      // assemblies that took the copy
};

struct SolverWork {
    SSparse Asm;  // transport coefficients of one state variable (Single)
    SVector Bsm;
    TransportCopy transport;
    EliminationRecord elimination;
    // The LU path: the matrix factored last, its factors and row interchanges.
    bool luValid = false;
    DSparse luMatrix, luFactors;
    IVector luINDX;
    SolveReport luReport;  // what LUDCMP reported of the factors kept
    DVector rhsBefore;     // the right-hand side of the last solve, for its residual
    // The warning of solves whose answer set an undetermined component to 0.
    long undeterminedSolves = 0;
    long undeterminedWarning = -1;  // its index in control.warnings, -1 before the first
    std::string undeterminedText;
    long eliminations = 0;  // solves that eliminated their matrix
    long replays = 0;       // solves that replayed the last elimination
    SparseLUWork sparseLU;  // the solves of a "SPARSE-LU" run (model/sparse_lu_work.h)
};

struct ModelState {
    ModelState(std::filesystem::path dir, Display& display)
        : Dir(std::move(dir)), display(display) {}
    ModelState(const ModelState&) = delete;
    ModelState& operator=(const ModelState&) = delete;

    std::filesystem::path Dir;  // the model directory: every file is read and written here
    Display& display;

    RunOptions opt;
    RunSetup setup;
    ModelTables tables;
    EquationMaps eq;
    EquationSystem sys;
    MassBalanceState mb;
    RunFiles files;
    CompanionLog companions;
    CompanionRunner companionRunner;  // empty: companion programs are started
    RunControl control;

    // Nonlinear residual working state (see ResidualWork).
    ResidualWork residual;
    SolverWork work;
    FdJacobianRecord fdJacobian;  // the finite-difference Jacobian's pattern and counts
    InputCache inputs;  // tables read at every assembly, as last parsed
};

}  // namespace ostra
