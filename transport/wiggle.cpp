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
// steady run) the user is asked whether to continue, and a run that goes on
// records a warning naming the first violation. A check (ostra --check)
// records the warning without asking.
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

// The first violation of one call, for the warning.
struct FirstViolation {
    bool found = false;
    Integer ISV = 0, K = 0, IAS = 0;
};

// "positivity/wiggle criterion violated at time 0 between compartments 2 and 3 ..."
std::string ViolationText(const ModelState& s, const FirstViolation& v, Double Time) {
    const std::string when = s.opt.Dynamic ? "at time " + Num(Time) : "in the steady state";
    return "positivity/wiggle criterion violated " + when + ", first between compartments " +
           std::to_string(v.K) + " and " + std::to_string(v.IAS) + " (state variable " +
           std::to_string(v.ISV) + "); every violation is listed in \"Wiggle.dng\"";
}

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
    if (Area == 0)
        Error(s, "Area = 0 in Wiggle: the flow " + Num(Q) + " has no velocity, because interface " +
                     std::to_string(n) + " of compartment " + std::to_string(K) +
                     " in \"Interfaces.csv\" has area 0; the positivity criterion (upwind weight .5) needs it" +
                     Between(ISV, K, IAS));
    const Single Velocity = std::fabs(Q) / Area;

    const Single Aw = DistanceWeight(s, K, NAS, IAS);
    const Single denominator = (1 - Aw) * Velocity;
    if (denominator == 0)
        Error(s, "(1 - Aw) * Velocity = 0 in Wiggle: distance weight Aw = " + Num(Aw) + ", Velocity = " +
                     Num(Velocity) + Between(ISV, K, IAS) + "; Aw is 1 when the distance from the centroid of "
                     "compartment " + std::to_string(K) + " to interface " + std::to_string(n) +
                     " in \"Interfaces.csv\" is 0");
    const Single LMax = E * WCk / denominator;

    if (!(Length > LMax)) return false;
    if (static_cast<Single>(Time) <= s.opt.DELT || s.opt.TimeVarParms) Report(s, ISV, Time, K, IAS, LMax);
    return true;
}

}  // namespace

void Wiggle(ModelState& s, Double Time) {
    const auto& t = s.tables;
    FirstViolation first;
    for (int ISV = 1; ISV <= s.opt.NSV; ++ISV) {
        for (int K = 1; K <= s.setup.NT; ++K) {
            if (t.Compartment(K, 3) != 0) continue;
            const Integer NAS = RoundToInteger(t.Compartment(K, 2), "number of adjacent compartments in Compartments.csv");
            for (int n = 1; n <= NAS; ++n) {
                if (!Violates(s, static_cast<Integer>(ISV), static_cast<Integer>(K), NAS, n, Time)) continue;
                if (!first.found)
                    first = {true, static_cast<Integer>(ISV), static_cast<Integer>(K),
                             AdjacentCompartment(s, static_cast<Integer>(K), n)};
            }
        }
    }
    if (!first.found || !(Time < s.opt.DELT || !s.opt.Dynamic)) return;
    if (s.control.check) {
        AddWarning(s, ViolationText(s, first, Time) + "; a run would ask whether to continue");
        return;
    }

    std::string answer = s.display.InputBox(WIGGLE_PROMPT);
    for (char& ch : answer) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    if (answer != "C") EndRun(EXIT_USER_STOPPED);
    AddWarning(s, ViolationText(s, first, Time) + "; the run continued after the answer \"C\"");
}

}  // namespace ostra
