// answer.cpp -- varn: the growth term f(C) of the two-state-variable kinetics example.
//
// Exports (answer.h): companions::varn_kinetics::Answer.
//
// Reads "shellvarn.csv" (the time, then C(1) the biomass and C(2) the
// substrate), computes the saturating growth rate F(1) = C(2) x 5 x C(1) /
// (C(2) + 150) and its uptake F(2) = -F(1) in Single, and writes them one a
// line to "varn.csv". A missing request, too few values or a result that is
// not a finite Single leaves no answer: Answer throws textio::DataError (the
// program prints it on standard error and exits with status 1).
#include <vector>

#include "companions/varn-kinetics/answer.h"
#include "textio/companion_io.h"

namespace companions::varn_kinetics {

constexpr float MaxRate = 5.0f;      // growth rate constant
constexpr float HalfSat = 150.0f;    // half-saturation concentration of the substrate

void Answer(const std::filesystem::path& dir) {
    const std::vector<float> C = textio::ReadRequest(dir, "shellvarn.csv", true, 2, "C(%d)").values;
    const float F1 = C[2] * MaxRate * C[1] / (C[2] + HalfSat);
    const float F2 = -F1;
    textio::WriteAnswer(dir, "varn.csv", {0.0f, F1, F2}, "F(%d)");
}

}  // namespace companions::varn_kinetics
