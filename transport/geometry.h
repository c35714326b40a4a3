// geometry.h -- centroid distances and distance-weighted upwind factors.
//
// Exports: GetLength, UpdateALPHA.
#pragma once

#include "model/model_state.h"

namespace ostra {

// Distance between the centroids of compartments I and J (1-based numbers),
// summed term by term in Single. LengthOption must be 1. Ends the run
// through Error when a coordinate is -999.
Single GetLength(ModelState& s, Integer LengthOption, Integer I, Integer J);

// Rewrites ALPHAweighted from the centroid-to-interface distances of
// Inface for every interior compartment. Ends the run through Error on
// inconsistent interfaces.
void UpdateALPHA(ModelState& s);

}  // namespace ostra
