// main.cpp -- telm: the storage factor R(C) of the nonlinear-sorption example.
//
// Reads "shellTelm.csv" (the time, then the concentrations C(1) .. C(98)),
// computes for every equation the Freundlich retardation factor
// R = C^(n - 1) x (Kf x rho) / theta + 1, that is 1 + 0.675 C^-0.5, and
// writes R(1) .. R(98) one a line to "Telm.csv". The power is taken in
// Double, every stored value is a Single. A missing request, too few values
// or a concentration of 0 or below leaves no answer and ends with a message
// on standard error and a non-zero status.
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
    std::fprintf(stderr, "telm: %s\n", message.c_str());
    return 1;
}

}  // namespace

int main() {
    std::vector<float> C(NEQN + 1);
    try {
        textio::TextReader in(".", "shellTelm.csv");
        in.ReadSingle("time");
        for (int i = 1; i <= NEQN; ++i)
            C[i] = in.ReadSingle("concentration of equation " + std::to_string(i));
    } catch (const textio::DataError& e) {
        return Fail(e.what());
    }

    const float KfRho = Kf * rho;
    std::vector<float> R(NEQN + 1);
    for (int i = 1; i <= NEQN; ++i) {
        if (!(C[i] > 0))
            return Fail("concentration of equation " + std::to_string(i) + " is " +
                        std::to_string(C[i]) + "; R(C) needs a concentration above 0");
        const double power = std::pow(static_cast<double>(C[i]), static_cast<double>(n - 1));
        R[i] = static_cast<float>(power * KfRho / theta + 1);
    }

    try {
        textio::TextWriter out(".", "Telm.csv");
        for (int i = 1; i <= NEQN; ++i) out.Single(R[i]).EndLine();
        out.Close();
    } catch (const textio::DataError& e) {
        return Fail(e.what());
    }
    return 0;
}
