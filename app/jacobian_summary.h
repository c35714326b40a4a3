// jacobian_summary.h -- the summary lines on companion starts and on how a
// run forms its Jacobian.
//
// Exports: CompanionAndJacobianLines, JacobianCheckLine.
#pragma once

#include <string>

#include "model/model_state.h"

namespace ostra {

// For the summary of a finished run: the companion programs started, in all
// and by program; for a run solved by Newton iteration, how its Jacobians
// were formed ("finite differences, 3 groups of 98 columns; ...") and how
// many. Summary lines, each ending in "\n".
std::string CompanionAndJacobianLines(const ModelState& s);

// For `ostra --check` of a model solved by Newton iteration: how its
// Jacobian will be formed, with the groups the coefficient matrix assembled
// by the check allows; empty for other models. An unknown OSTRA_FD_JACOBIAN
// ends the check as it would end the run.
std::string JacobianCheckLine(ModelState& s);

}  // namespace ostra
