// time_integration.cpp -- the steady-state solution and the time loop.
//
// Exports (time_integration.h): SteadyState, TimeLoop.
//
// The steady state is one assembly and one solve (or Newton iteration for a
// nonlinear run) and one profile snapshot stamped -999. The time loop runs
// NumTimeSteps steps of the scheme DynType; each step ends with its result
// row and, when the mass balance is kept, its bookkeeping. Newton runs take
// every solve from Newton iteration instead of a scheme.
#include "app/time_integration.h"

#include <cstdint>

#include "app/result_files.h"
#include "app/run_setup.h"
#include "app/schemes.h"
#include "model/error.h"
#include "model/parm_update.h"
#include "solvers/dumps.h"
#include "solvers/solve.h"
#include "solvers/newton.h"
#include "sources/linear_sources.h"
#include "sources/loads.h"
#include "sources/mass_balance.h"
#include "textio/number_format.h"
#include "transport/transport.h"
#include "transport/wiggle.h"

namespace ostra {
namespace {

// Newton iteration takes the solves of a nonlinear run whose nonlinear
// terms cannot be taken from the old concentrations.
bool IsNewtonRun(const ModelState& s) { return !s.opt.Linear && !s.setup.ExplicitNonlinear; }

void ShowStep(ModelState& s, Double Step) {
    s.display.SetCounterText(COUNTER_TIME_STEP,
                             "Time Step" + textio::CounterText(textio::FormatInteger(static_cast<std::int64_t>(Step))));
    s.display.Repaint();
}

// The result row of a step, stamped with CurrentTime (the end of the step).
void WriteResultRow(ModelState& s, Double Step, Double PrintCounter) {
    switch (s.opt.DynPrint) {
        case 1:
            if (Step == s.opt.ProfileStep) ProfileSnapshot(s, s.sys.c);
            break;
        case 2:
            if (PrintCounter == 1) OneCompTimeSeries(s, s.opt.NumSectnPrint, s.sys.c);
            break;
        case 3:
            AllTimeSeries(s, s.sys.c);
            break;
        default:
            break;
    }
}

void AdvanceOneStep(ModelState& s, SchemeVectors& w, Double t, Double Step) {
    if (IsNewtonRun(s)) {
        NewtonStep(s, t);
        return;
    }
    switch (s.opt.DynType) {
        case 1: ExplicitEulerStep(s, w, t, Step); break;
        case 2: MacCormackStep(s, w, t); break;
        case 3: ImplicitEulerStep(s, w, t); break;
        case 4: CrankNicolsonStep(s, w, t); break;
        default: Error(s, "DynType not equal to 1,2,3, or 4");
    }
}

}  // namespace

void SteadyState(ModelState& s) {
    EquationSystem& y = s.sys;
    const Double t = 0;
    ParmUpdate(s, t, y.A);
    if (s.opt.EquationSolver) {
        ForceFn(s, 0, y.BBC, y.B);
    } else {
        LoadATrans(s, y.A, y.BBC);
        if (s.tables.VariableAlpha) Wiggle(s, MISSING_VALUE);
        ForceFn(s, 0, y.BBC, y.B);
        LoadALinearSrcSnk(s, y.A);
    }
    // Every steady run leaves its equations for inspection, stamped 0.
    Aout(s, y.A);
    Bout(s, y.B);
    if (s.opt.Linear) {
        Solve(s, y.A, y.B, MISSING_VALUE);
        y.CurrentTime = MISSING_VALUE;
        ProfileSnapshot(s, y.B);
    } else {
        // The guesses in c are both the start and the old level.
        Newton(s, y.c, y.c, y.G, y.XJAC, y.INDX, s.opt.SC, s.opt.DELTFD, y.A, y.BBC, y.B, 0);
        y.CurrentTime = MISSING_VALUE;
        ProfileSnapshot(s, y.c);
    }
}

void TimeLoop(ModelState& s) {
    const Double delt = s.opt.DELT;
    Double t = 0;
    Double PrintCounter = 0;
    SchemeVectors w;
    for (Double Step = 1; Step <= s.opt.NumTimeSteps; Step = Step + 1) {
        CheckStop(s);
        ShowStep(s, Step);
        PrintCounter = PrintCounter + 1;
        if (PrintCounter > s.opt.PrintEvery) PrintCounter = 1;
        s.sys.DumpNow = (Step == s.opt.DumpStep);
        if (Step == 1) InitialConcentrations(s);
        AdvanceOneStep(s, w, t, Step);
        s.sys.CurrentTime = t + delt;
        WriteResultRow(s, Step, PrintCounter);
        CheckConcentrations(s, s.sys.c);
        if (s.mb.MassBalanceOn) MassBalanceStep(s, s.sys.c);
        t = t + delt;
    }
    // Without a step the final state is the initial one (the mass balance
    // then closes instead of reporting the whole initial mass as lost).
    if (!(1 <= s.opt.NumTimeSteps)) InitialConcentrations(s);
}

}  // namespace ostra
