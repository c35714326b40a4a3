// companion_stand_ins.h -- the example companion programs, done in the
// harness's own process.
//
// Exports: StandInRunner.
//
// A nonlinear run starts a companion program at every evaluation of its
// terms, some 10 ms a start, which would make the companion examples a
// hundred times slower to fuzz than the others. A run whose state holds the
// runner below goes through the same exchange -- request written, program
// file looked for in the model directory, answer read -- but the program's
// work is done by its own answer function (companions/in_process.h) in the
// harness's process.
#pragma once

#include "model/model_state.h"
#include "support/scratch_model.h"

namespace ostra::fuzz {

// The companion runner of a model written from `example`: the programs its
// "companions.txt" names (matched without regard to letter case) by their
// answer functions. A program it does not name is a Finding (the scratch
// directory holds no others).
CompanionRunner StandInRunner(const ExampleModel& example);

}  // namespace ostra::fuzz
