// wiggle.cpp -- the positivity/wiggle criterion of centrally weighted interfaces.
//
// Exports: Wiggle.
//
// An interface with weight 0.5 and flow out of its compartment keeps the
// weighted advective scheme free of negative or oscillating concentrations
// only while the centroid distance stays below
//     LMax = E x WCk / ((1 - Aw) x Velocity),  Velocity = |Q| / Area,
// Aw being the distance weight of the compartment at that interface. Every
// violation is appended to "Wiggle.dng"; at the start of a run (or in a
// steady run) the user is asked whether to continue.
#include "transport/wiggle.h"

#include <cctype>
#include <cmath>
#include <string>

#include "model/error.h"
#include "model/table_readers.h"
#include "textio/number_format.h"
#include "textio/text_writer.h"
#include "transport/geometry.h"

namespace ostra {
namespace {

inline constexpr const char* WIGGLE_PROMPT =
    "Positivity/wiggle criterion violated.  Enter 'C' if you want to continue anyway.";

std::string Num(double value) { return textio::NumberInText(value); }

std::string Between(Integer ISV, Integer K, Integer IAS) {
    return " (state variable " + std::to_string(ISV) + ", compartments " + std::to_string(K) + " and " +
           std::to_string(IAS) + ")";
}

// The distance weight of K at its interface with IAS, from ALPHAweighted.
Single DistanceWeight(ModelState& s, Integer K, Integer NAS, Integer IAS) {
    const auto& w = s.tables.ALPHAweighted;
    for (int k = 1; k <= NAS; ++k)
        if (w(K, 2 * k) == static_cast<Single>(IAS)) return w(K, 2 * k + 1);
    Error(s, "Alpha not found in Wiggle");
}

// Appends one violation to "Wiggle.dng".
void Report(ModelState& s, Integer ISV, Double Time, Integer K, Integer IAS, Single LMax) {
    textio::TextWriter out(s.Dir, "Wiggle.dng", textio::TextWriter::Mode::Append);
    if (s.opt.TimeVarParms) {
        out.Text("For State Variable ").Integer(ISV).Text(",").Text("At time ").Double(Time);
        out.Text("positivity/wiggle criterion violated between compartments");
    } else {
        out.Text("Positivity/wiggle criterion violated at all timesteps between compartments");
    }
    out.Integer(K).Text("and ").Integer(IAS).Text(" Maximum length is ").Single(LMax).EndLine();
    out.Close();
}

// Tests interface n of interior compartment K for state variable ISV;
// returns True when it violates the criterion.
bool Violates(ModelState& s, Integer ISV, Integer K, Integer NAS, int n, Double Time) {
    const auto& t = s.tables;
    const int RowCount = (ISV - 1) * s.setup.NT + K;
    const int ICInface = 2 + (n - 1) * s.setup.NColInface;
    const int ICFlow = 3 + (n - 1) * s.setup.NColFlow;
    const int ICEcoef = 3 + (n - 1) * s.setup.NColECoef;

    const Integer IAS = AdjacentCompartment(s, K, n);
    const Single Q = t.Flow(RowCount, ICFlow + 1);
    const Single E = t.ECoef(RowCount, ICEcoef + 1);
    const Single WCk = t.Compartment(K, 9);
    const Single ALPHA = t.Inface(K, ICInface + 4);
    if (!(ALPHA == 0.5f && Q < 0)) return false;

    if (IAS < 1 || IAS > s.setup.NT)
        Error(s, "adjacent compartment " + std::to_string(IAS) + " of interface " + std::to_string(n) +
                     " of compartment " + std::to_string(K) + " is not a compartment number 1 to " +
                     std::to_string(s.setup.NT) + " in Wiggle");
    const Single Length = GetLength(s, 1, K, IAS);
    const Single Area = t.Inface(K, ICInface + 1);
    if (Area == 0) Error(s, "Area = 0 in Wiggle: the flow " + Num(Q) + " has no velocity" + Between(ISV, K, IAS));
    const Single Velocity = std::fabs(Q) / Area;

    const Single Aw = DistanceWeight(s, K, NAS, IAS);
    const Single denominator = (1 - Aw) * Velocity;
    if (denominator == 0)
        Error(s, "(1 - Aw) * Velocity = 0 in Wiggle: distance weight Aw = " + Num(Aw) + ", Velocity = " +
                     Num(Velocity) + Between(ISV, K, IAS));
    const Single LMax = E * WCk / denominator;

    if (!(Length > LMax)) return false;
    if (static_cast<Single>(Time) <= s.opt.DELT || s.opt.TimeVarParms) Report(s, ISV, Time, K, IAS, LMax);
    return true;
}

}  // namespace

void Wiggle(ModelState& s, Double Time) {
    const auto& t = s.tables;
    bool Violated = false;
    for (int ISV = 1; ISV <= s.opt.NSV; ++ISV) {
        for (int K = 1; K <= s.setup.NT; ++K) {
            if (t.Compartment(K, 3) != 0) continue;
            const Integer NAS = RoundToInteger(t.Compartment(K, 2), "number of adjacent compartments in Compartments.csv");
            for (int n = 1; n <= NAS; ++n)
                if (Violates(s, static_cast<Integer>(ISV), static_cast<Integer>(K), NAS, n, Time)) Violated = true;
        }
    }
    if (!Violated || !(Time < s.opt.DELT || !s.opt.Dynamic)) return;

    std::string answer = s.display.InputBox(WIGGLE_PROMPT);
    for (char& ch : answer) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    if (answer != "C") EndRun(EXIT_USER_STOPPED);
}

}  // namespace ostra
