// main.cpp -- varn: the growth term f(C) of the two-state-variable kinetics example.
//
// Reads "shellvarn.csv" (the time, then C(1) the biomass and C(2) the
// substrate), computes the saturating growth rate
// F(1) = C(2) x 5 x C(1) / (C(2) + 150) and its uptake F(2) = -F(1) in
// Single, and writes them one a line to "varn.csv". A missing request or too
// few values leaves no answer and ends with a message on standard error and
// a non-zero status.
#include <cstdio>
#include <string>

#include "textio/errors.h"
#include "textio/text_reader.h"
#include "textio/text_writer.h"

namespace {

constexpr float MaxRate = 5.0f;      // growth rate constant
constexpr float HalfSat = 150.0f;    // half-saturation concentration of the substrate

int Fail(const std::string& message) {
    std::fprintf(stderr, "varn: %s\n", message.c_str());
    return 1;
}

}  // namespace

int main() {
    float C1 = 0, C2 = 0;
    try {
        textio::TextReader in(".", "shellvarn.csv");
        in.ReadSingle("time");
        C1 = in.ReadSingle("C(1)");
        C2 = in.ReadSingle("C(2)");
    } catch (const textio::DataError& e) {
        return Fail(e.what());
    }

    const float F1 = C2 * MaxRate * C1 / (C2 + HalfSat);
    const float F2 = -F1;

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
