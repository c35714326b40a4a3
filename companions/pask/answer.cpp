// answer.cpp -- pask: dR/dC of the nonlinear-sorption example.
//
// Exports (answer.h): companions::pask::Answer.
//
// Reads "shellPask.csv" (the time, then the concentrations C(1) .. C(98)),
// computes for every equation the derivative of the storage factor that telm
// computes, dR/dC = C^(n - 2) x (Kf x rho / theta x (n - 1)), that is -0.3375
// C^-1.5, and writes the 98 values one a line to "Pask.csv". The power is
// taken in Double, every stored value is a Single. A missing request, too few
// values, a concentration of 0 or below or a result beyond the Single range
// leaves no answer: Answer throws textio::DataError (the program prints it on
// standard error and exits with status 1).
#include <cmath>
#include <string>
#include <vector>

#include "companions/sorption_model.h"
#include "companions/pask/answer.h"
#include "textio/companion_io.h"

namespace companions::pask {

using sorption::Kf;
using sorption::n;
using sorption::NEQN;
using sorption::rho;
using sorption::theta;

void Answer(const std::filesystem::path& dir) {
    const std::vector<float> C = sorption::Concentrations(dir, "shellPask.csv", "dR/dC");
    const float factor = Kf * rho / theta * (n - 1);
    std::vector<float> dRdC(NEQN + 1);
    for (int i = 1; i <= NEQN; ++i) {
        const double power = std::pow(static_cast<double>(C[i]), static_cast<double>(n - 2));
        dRdC[i] = static_cast<float>(power * factor);
    }
    textio::WriteAnswer(dir, "Pask.csv", dRdC, "dR/dC of equation %d");
}

}  // namespace companions::pask
