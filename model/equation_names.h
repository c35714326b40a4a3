// equation_names.h -- equations named in the user's terms, for messages.
//
// Exports: EquationName, TimeInText.
#pragma once

#include <string>

#include "model/model_state.h"

namespace ostra {

// "equation 3 (state variable 1 in compartment 2)" in compartment mode,
// "equation 3" in equation-solver mode or where the maps do not (yet) cover
// the equation. e is 1-based.
std::string EquationName(const ModelState& s, int e);

// "at time 2.5" for a time of a dynamic run, "at steady state" for the
// steady-state time stamp -999.
std::string TimeInText(Double t);

}  // namespace ostra
