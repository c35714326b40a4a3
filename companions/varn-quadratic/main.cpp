// main.cpp -- varn: the nonlinear term f(X) of the two-equation steady example.
//
// Reads "Shellvarn.csv" (X(1), X(2): a steady-state request carries no
// time), computes F(1) = X(1)^2 and F(2) = 4 X(2)^2 + X(1)^2 and writes them
// one a line to "varn.csv". Squares and sum in Double, values stored as
// Singles. A missing request or too few values leaves no answer and ends
// with a message on standard error and a non-zero status.
#include <cstdio>
#include <string>

#include "textio/errors.h"
#include "textio/text_reader.h"
#include "textio/text_writer.h"

namespace {

int Fail(const std::string& message) {
    std::fprintf(stderr, "varn: %s\n", message.c_str());
    return 1;
}

}  // namespace

int main() {
    float X1 = 0, X2 = 0;
    try {
        textio::TextReader in(".", "Shellvarn.csv");
        X1 = in.ReadSingle("X(1)");
        X2 = in.ReadSingle("X(2)");
    } catch (const textio::DataError& e) {
        return Fail(e.what());
    }

    const double x1 = X1, x2 = X2;
    const float F1 = static_cast<float>(x1 * x1);
    const float F2 = static_cast<float>(4 * (x2 * x2) + x1 * x1);

    try {
        textio::TextWriter out(".", "varn.csv");
        out.Single(F1).EndLine();
        out.Single(F2).EndLine();
        out.Close();
    } catch (const textio::DataError& e) {
        return Fail(e.what());
    }
    return 0;
}
