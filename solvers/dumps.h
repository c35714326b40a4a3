// dumps.h -- "A.dng", "B.dng" and "RV.dng", stamped with CurrentTime.
//
// Exports: Aout, Bout, RVout.
#pragma once

#include "model/model_state.h"

namespace ostra {

void Aout(ModelState& s, const DMatrix& A);
void Bout(ModelState& s, const DVector& B);
void RVout(ModelState& s);

}  // namespace ostra
