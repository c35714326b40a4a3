// linear_sources.h -- first-order volume- and area-based sources and sinks.
//
// Exports: LoadALinearSrcSnk, GetArea.
#pragma once

#include "model/model_state.h"

namespace ostra {

// Adds the terms of "VolumeSrcSnks.csv" and "AreaSrcSnks.csv" to A and,
// when MassBalanceOn, rebuilds MBExtVolSinks and MBExtAreaSinks.
void LoadALinearSrcSnk(ModelState& s, DMatrix& A);

// Area of the interface between I and J as listed in I's interface row.
Single GetArea(ModelState& s, Integer I, Integer J);

}  // namespace ostra
