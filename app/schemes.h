// schemes.h -- one time step of each time-stepping scheme (used by the time loop).
//
// Exports: SchemeVectors, Storage, ExplicitEulerStep, MacCormackStep,
// ImplicitEulerStep, CrankNicolsonStep, NewtonStep.
//
// Every step advances s.sys.c from the time t to t + DELT. The steps call the
// assembly procedures in the order the run relies on (parameter update,
// transport, sources and sinks, positivity test, dumps, loads) and leave A,
// B and BBC as the mass-balance bookkeeping of the step expects them.
#pragma once

#include "model/model_state.h"

namespace ostra {

// Working vectors of the schemes: created once, at the first step of the
// scheme that needs them, and reused at every later step.
struct SchemeVectors {
    DVector AC;          // A x c from the old concentrations (explicit Euler)
    DVector StorageOld;  // storage at the old time level (explicit schemes)
    DVector StorageNew;  // storage at the new time level (explicit schemes)
    DVector R1, R2;      // rates of the two MacCormack passes
    DVector CP;          // concentrations predicted by MacCormack
    DSparse M;           // system matrix of the implicit schemes
    DVector r;           // right-hand side of the implicit schemes
    bool explicitReady = false;
    bool macCormackReady = false;
    bool implicitReady = false;
    bool unstableReported = false;  // the run has its stability warning
};

// Storage of equation i (1..NEQN) as the arrays hold it now: the Single
// product EqnVolume(i) x EqnRetard(i) in compartment mode, RVDiag(i) in
// equation-solver mode.
Double Storage(const ModelState& s, int i);

// DynType 1 for linear runs and explicitly treated f(C); writes
// "EulerStabilityInfo.dng" in compartment mode. Step is the step number.
void ExplicitEulerStep(ModelState& s, SchemeVectors& w, Double t, Double Step);

// DynType 2, linear compartment-mode runs only.
void MacCormackStep(ModelState& s, SchemeVectors& w, Double t);

// DynType 3 and 4 for linear runs.
void ImplicitEulerStep(ModelState& s, SchemeVectors& w, Double t);
void CrankNicolsonStep(ModelState& s, SchemeVectors& w, Double t);

// A step of a Newton run: Newton from the previous step's solution XNew,
// with the old concentrations c; c then takes the result.
void NewtonStep(ModelState& s, Double t);

}  // namespace ostra
