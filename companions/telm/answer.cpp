// answer.cpp -- telm: the storage factor R(C) of the nonlinear-sorption example.
//
// Exports (answer.h): companions::telm::Answer.
//
// Reads "shellTelm.csv" (the time, then the concentrations C(1) .. C(98)),
// computes for every equation the Freundlich retardation factor R = C^(n - 1)
// x (Kf x rho) / theta + 1, that is 1 + 0.675 C^-0.5, and writes R(1) ..
// R(98) one a line to "Telm.csv". The power is taken in Double, every stored
// value is a Single. A missing request, too few values, a concentration of 0
// or below or a result beyond the Single range leaves no answer: Answer
// throws textio::DataError (the program prints it on standard error and exits
// with status 1).
#include <cmath>
#include <string>
#include <vector>

#include "companions/sorption_model.h"
#include "companions/telm/answer.h"
#include "textio/companion_io.h"

namespace companions::telm {

using sorption::Kf;
using sorption::n;
using sorption::NEQN;
using sorption::rho;
using sorption::theta;

void Answer(const std::filesystem::path& dir) {
    const std::vector<float> C = sorption::Concentrations(dir, "shellTelm.csv", "R(C)");
    const float KfRho = Kf * rho;
    std::vector<float> R(NEQN + 1);
    for (int i = 1; i <= NEQN; ++i) {
        const double power = std::pow(static_cast<double>(C[i]), static_cast<double>(n - 1));
        R[i] = static_cast<float>(power * KfRho / theta + 1);
    }
    textio::WriteAnswer(dir, "Telm.csv", R, "R of equation %d");
}

}  // namespace companions::telm
