// run_driver.h -- one run of a model directory, as a click on the run button.
//
// Exports: FormLoad, RunOstraClick.
#pragma once

#include "model/model_state.h"

namespace ostra {

// Window start-up: counters hidden.
void FormLoad(ModelState& s);

// Performs one whole run in s.Dir and returns the exit status: 0 after
// "Done!" (EXIT_DOUBTFUL instead when s.control.strict and the run gave
// warnings), otherwise the status of the early end (constants.h). Never
// throws for data errors: they are written to "Error.dng" and shown. The
// result files of a run that ends early get a last line saying so.
int RunOstraClick(ModelState& s);

}  // namespace ostra
