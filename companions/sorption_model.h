// sorption_model.h -- the fixed constants of the nonlinear-sorption example,
// shared by its two companion programs telm (R(C)) and pask (dR/dC).
#pragma once

namespace sorption {

inline constexpr int NEQN = 98;             // equations of the example model
inline constexpr float Kf = 1.35e-7f;       // Freundlich coefficient
inline constexpr float rho = 2500000.0f;    // solids term
inline constexpr float theta = 0.5f;        // water content
inline constexpr float n = 0.5f;            // Freundlich exponent

}  // namespace sorption
