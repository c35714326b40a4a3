// sorption_model.h -- the fixed constants of the nonlinear-sorption example,
// shared by its two companion programs telm (R(C)) and pask (dR/dC).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "textio/companion_io.h"
#include "textio/errors.h"

namespace sorption {

inline constexpr int NEQN = 98;             // equations of the example model
inline constexpr float Kf = 1.35e-7f;       // Freundlich coefficient
inline constexpr float rho = 2500000.0f;    // solids term
inline constexpr float theta = 0.5f;        // water content
inline constexpr float n = 0.5f;            // Freundlich exponent

// The concentrations C(1) .. C(NEQN) of request file `request` in `dir`
// (after its time), each above 0 as the power with a fractional exponent
// needs; `term` names what is computed ("R(C)", "dR/dC") in the message of a
// concentration of 0 or below.
inline std::vector<float> Concentrations(const std::filesystem::path& dir, const std::string& request,
                                         const char* term) {
    std::vector<float> C =
        textio::ReadRequest(dir, request, true, NEQN, "concentration of equation %d").values;
    for (int i = 1; i <= NEQN; ++i)
        if (!(C[i] > 0))
            throw textio::DataError("concentration of equation " + std::to_string(i) + " is " +
                                    std::to_string(C[i]) + "; " + term +
                                    " needs a concentration above 0");
    return C;
}

}  // namespace sorption
