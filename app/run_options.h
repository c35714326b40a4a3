// run_options.h -- reading "Control.csv".
//
// Exports: ReadControl.
#pragma once

#include "model/model_state.h"

namespace ostra {

// Reads the 36 label/value pairs of "Control.csv" into s.opt with every
// check of the run options; sets TimeVarParms, UseDfdc and UsePask.
void ReadControl(ModelState& s);

}  // namespace ostra
