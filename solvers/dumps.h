// dumps.h -- "A.dng", "B.dng" and "RV.dng", stamped with CurrentTime.
//
// Exports: Aout, Bout, RVout.
//
// Each writes its file in the model directory (s.Dir), replacing an earlier
// dump, with s.sys.CurrentTime in the header and NEQN = s.opt.NEQN entries.
#pragma once

#include "model/model_state.h"

namespace ostra {

// Writes "A.dng": the header "At Time  t  ..." and rows 1..NEQN of A, the
// values of a row separated by commas.
void Aout(ModelState& s, const DSparse& A);

// Writes "B.dng": the header "At time t ..." and B(1..NEQN), one per line.
void Bout(ModelState& s, const DVector& B);

// Writes "RV.dng": the header and the storage diagonal of equations 1..NEQN
// (RVDiag in equation-solver mode, else the Single EqnVolume * EqnRetard);
// a product beyond the Single range ends the run through Error.
void RVout(ModelState& s);

}  // namespace ostra
