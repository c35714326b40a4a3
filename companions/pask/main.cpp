// main.cpp -- pask: dR/dC of the nonlinear-sorption example.
//
// Reads "shellPask.csv" (the time, then the concentrations C(1) .. C(98)),
// computes for every equation the derivative of the storage factor that
// telm computes, dR/dC = C^(n - 2) x (Kf x rho / theta x (n - 1)), that is
// -0.3375 C^-1.5, and writes the 98 values one a line to "Pask.csv". The
// power is taken in Double, every stored value is a Single. A missing
// request, too few values or a concentration of 0 or below leaves no answer
// and ends with a message on standard error and a non-zero status.
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "textio/errors.h"
#include "textio/text_reader.h"
#include "textio/text_writer.h"

namespace {

constexpr int NEQN = 98;             // equations of the example model
constexpr float Kf = 1.35e-7f;       // Freundlich coefficient
constexpr float rho = 2500000.0f;    // solids term
constexpr float theta = 0.5f;        // water content
constexpr float n = 0.5f;            // Freundlich exponent

int Fail(const std::string& message) {
    std::fprintf(stderr, "pask: %s\n", message.c_str());
    return 1;
}

}  // namespace

int main() {
    std::vector<float> C(NEQN + 1);
    try {
        textio::TextReader in(".", "shellPask.csv");
        in.ReadSingle("time");
        for (int i = 1; i <= NEQN; ++i)
            C[i] = in.ReadSingle("concentration of equation " + std::to_string(i));
    } catch (const textio::DataError& e) {
        return Fail(e.what());
    }

    const float factor = Kf * rho / theta * (n - 1);
    std::vector<float> dRdC(NEQN + 1);
    for (int i = 1; i <= NEQN; ++i) {
        if (!(C[i] > 0))
            return Fail("concentration of equation " + std::to_string(i) + " is " +
                        std::to_string(C[i]) + "; dR/dC needs a concentration above 0");
        const double power = std::pow(static_cast<double>(C[i]), static_cast<double>(n - 2));
        dRdC[i] = static_cast<float>(power * factor);
    }

    try {
        textio::TextWriter out(".", "Pask.csv");
        for (int i = 1; i <= NEQN; ++i) out.Single(dRdC[i]).EndLine();
        out.Close();
    } catch (const textio::DataError& e) {
        return Fail(e.what());
    }
    return 0;
}
