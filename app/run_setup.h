// run_setup.h -- sizing a run: equation count, arrays, guesses, initial values.
//
// Exports: SetupRun, PrepareDynamicRun, InitialConcentrations.
#pragma once

#include "model/model_state.h"

namespace ostra {

// Steps 1 to 6 of the set-up: "SVCompmap.csv" and NEQN (ENVS), array sizes,
// ExplicitNonlinear, mode and scheme conflicts (message box, EXIT_SETUP_STOPPED),
// file names, MachEps and the starting guesses of a Newton run.
void SetupRun(ModelState& s);

// Dynamic runs before the time loop: initial-value file, result-file
// headers, parameters at time 0, mass-balance preparation.
void PrepareDynamicRun(ModelState& s);

// First time step: c from the initial values; sizes the mass-balance boundary table.
void InitialConcentrations(ModelState& s);

}  // namespace ostra
