// answer.cpp -- varn: the nonlinear term f(X) of the two-equation steady example.
//
// Exports (answer.h): companions::varn_quadratic::Answer.
//
// Reads "Shellvarn.csv" (X(1), X(2): a steady-state request carries no time),
// computes F(1) = X(1)^2 and F(2) = 4 X(2)^2 + X(1)^2 and writes them one a
// line to "varn.csv". Squares and sum in Double, values stored as Singles. A
// missing request, too few values or a result beyond the Single range leaves
// no answer: Answer throws textio::DataError (the program prints it on
// standard error and exits with status 1).
#include <vector>

#include "companions/varn-quadratic/answer.h"
#include "textio/companion_io.h"

namespace companions::varn_quadratic {

void Answer(const std::filesystem::path& dir) {
    const std::vector<float> X = textio::ReadRequest(dir, "Shellvarn.csv", false, 2, "X(%d)").values;
    const double x1 = X[1], x2 = X[2];
    const float F1 = static_cast<float>(x1 * x1);
    const float F2 = static_cast<float>(4 * (x2 * x2) + x1 * x1);
    textio::WriteAnswer(dir, "varn.csv", {0.0f, F1, F2}, "F(%d)");
}

}  // namespace companions::varn_quadratic
