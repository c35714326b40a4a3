// run_driver.h -- one run of a model directory, as a click on the run button.
//
// Exports: FormLoad, RunOstraClick, RUN_GOING_THERE.
#pragma once

#include "model/model_state.h"

namespace ostra {

// Window start-up: counters hidden.
void FormLoad(ModelState& s);

// Performs one whole run in s.Dir and returns the exit status: 0 after
// "Done!" (EXIT_DOUBTFUL instead when s.control.strict and the run gave
// warnings), otherwise the status of the early end (constants.h). Never
// throws for data errors: they are written to "Error.dng" and shown. The
// result files of a run that ends early keep the rows written so far. While
// another run holds s.Dir (DirectoryLock), the run shows a message that
// begins with RUN_GOING_THERE and returns EXIT_BUSY without touching s.Dir.
int RunOstraClick(ModelState& s);

inline constexpr const char* RUN_GOING_THERE = "another run is going in this model directory";

}  // namespace ostra
