// wiggle.h -- the positivity/wiggle criterion of centrally weighted interfaces.
//
// Exports: Wiggle.
#pragma once

#include "model/model_state.h"

namespace ostra {

// Tests every interface with weighting factor 0.5 and outflow; appends
// violations to "Wiggle.dng"; at the start of a run asks through the
// display's input box whether to continue ("C" or "c" continues, anything
// else ends the run with EXIT_USER_STOPPED). Time is -999 for a steady run.
// Ends the run through Error when a tested interface has no distance weight
// in ALPHAweighted, a zero area, or (1 - Aw) x Velocity = 0.
void Wiggle(ModelState& s, Double Time);

}  // namespace ostra
