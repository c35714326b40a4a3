// nonlinear_terms.h -- f(C), R(C) and their derivatives from companion programs.
//
// Exports: Varn, Telm, Getdfdc, GetPask.
#pragma once

#include "model/model_state.h"

namespace ostra {

// f(C) from "varn.exe" when VarnTerm, else 0. Dumps "Varn.dng" when DumpNow.
void Varn(ModelState& s, const DVector& X, DVector& f);
// R(C) from "Telm.exe" into EqnRetard when TelmTerm, else 0. Dumps "Telm.dng".
void Telm(ModelState& s, const DVector& X);
// df/dC (NEQN x NEQN) from "dfdc.exe" when VarnTerm, else 0.
void Getdfdc(ModelState& s, DMatrix& dfdc, const DVector& X);
// The same held by its non-zeros (the answer is read row by row and only
// its non-zero values are kept), for a sparse LU run.
void Getdfdc(ModelState& s, DSparse& dfdc, const DVector& X);
// dR/dC (diagonal) from "Pask.exe" when TelmTerm, else 0.
void GetPask(ModelState& s, DVector& Pask, const DVector& X);

}  // namespace ostra
