// linear_sources.h -- first-order volume- and area-based sources and sinks.
//
// Exports: LoadALinearSrcSnk, GetArea.
#pragma once

#include "model/model_state.h"
#include "sources/equation_numbers.h"

namespace ostra {

// Adds the terms of "VolumeSrcSnks.csv" and "AreaSrcSnks.csv" to A (NEQN x
// NEQN, global equation numbers, rate per unit time times volume) and, when
// MassBalanceOn, rebuilds MBExtVolSinks and MBExtAreaSinks from scratch.
// Both files are read at every call (parsed again only when they change). Ends the run through Error on a
// record naming a compartment or state variable without an equation, an
// area-based source from a boundary compartment, a missing interface area,
// a missing temperature correction, or overfull mass-balance lists.
void LoadALinearSrcSnk(ModelState& s, DSparse& A);

// Area of the interface between compartments I and J (1-based) as listed in
// I's row of Inface. Ends the run through Error when J is not among I's
// neighbours, naming the record `at` that asked when given.
Single GetArea(ModelState& s, Integer I, Integer J, const RecordAt* at = nullptr);

}  // namespace ostra
