// exchange_balance.cpp -- whether the two sides of every interface between
// interior compartments carry the same mass.
//
// Exports (exchange_balance.h): FindExchangeImbalances, WarnExchangeImbalances,
// ExchangeImbalanceNote.
//
// The terms of each side come from TransportTerms, so they are the
// assembly's own. Mass per unit time is the water content times the
// coefficients (as the mass-balance records take it): the dispersive mass
// conductance of K's equation for J's concentration, WCk x DispN, must equal
// minus J's own one, WCj x DispK, and the other way round. Flows are compared
// as "Flows.csv" gives them, within FlowBalanceTol percent of the larger; the
// conductances within EXCHANGE_BALANCE_TOL, relative.
#include "transport/exchange_balance.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "model/error.h"
#include "model/table_readers.h"
#include "textio/number_format.h"

namespace ostra {
namespace {

std::string Num(Single value) { return textio::SingleInText(value); }
std::string Num(int value) { return std::to_string(value); }

bool Differ(double a, double b, double relative) {
    return std::fabs(a - b) > relative * std::max(std::fabs(a), std::fabs(b));
}

// The first interface of J that names K, or 0.
int InterfaceBack(ModelState& s, Integer J, Integer K) {
    const int NAS = CompartmentNAS(s, J);
    for (int m = 1; m <= NAS; ++m)
        if (AdjacentCompartment(s, J, m) == K) return m;
    return 0;
}

// True when an interface of K before n already names J.
bool NamedBefore(ModelState& s, Integer K, int n, Integer J) {
    for (int m = 1; m < n; ++m)
        if (AdjacentCompartment(s, K, m) == J) return true;
    return false;
}

// Mass conductance of an equation's dispersive coefficient, as the mass
// balance forms it.
double Mass(Single WCk, Single coefficient) { return Single(WCk * coefficient); }

void Compare(ModelState& s, ExchangeImbalance base, std::vector<ExchangeImbalance>& out) {
    const InterfaceTerms& a = base.atK;
    const InterfaceTerms& b = base.atJ;
    auto add = [&](ExchangeCause cause) {
        base.cause = cause;
        out.push_back(base);
    };
    const double flowGap = std::fabs(static_cast<double>(a.Q) + static_cast<double>(b.Q));
    if (flowGap > 0 && flowGap * 100 > s.opt.FlowBalanceTol * std::max(std::fabs(a.Q), std::fabs(b.Q)))
        add(ExchangeCause::Flows);
    const bool flowing = a.Q != 0 || b.Q != 0;
    if (flowing && a.ALPHA != b.ALPHA) add(ExchangeCause::Weights);
    if (flowing && (a.QMultN != b.QMultK || a.QMultK != b.QMultN)) add(ExchangeCause::FlowMultipliers);
    if (Differ(Mass(a.WCk, a.DispN), -Mass(b.WCk, b.DispK), EXCHANGE_BALANCE_TOL) ||
        Differ(-Mass(a.WCk, a.DispK), Mass(b.WCk, b.DispN), EXCHANGE_BALANCE_TOL))
        add(ExchangeCause::Conductance);
}

// "water content x E x area / mixing length" of one side, with its value.
std::string Conductance(const InterfaceTerms& t) {
    const std::string value = Num(Single(t.WCk * t.DispN));
    if (t.EAL == 0) return value + " (no dispersive exchange, E = " + Num(t.E) + ")";
    std::string text = value + " = " + Num(t.WCk) + " x " + Num(t.E) + " x " + Num(t.Area) + " / " + Num(t.MixLength);
    if (t.EMultN != 1) text += " x " + Num(t.EMultN);
    return text;
}

// What one interface shows for its cause, in the user's terms.
std::string Item(const ExchangeImbalance& x) {
    const std::string K = Num(int(x.K)), J = Num(int(x.J));
    const std::string pair = "compartments " + K + " and " + J + " (";
    switch (x.cause) {
        case ExchangeCause::OneSided:
            return "compartment " + K + " lists compartment " + J + ", which lists no interface to " + K;
        case ExchangeCause::Flows:
            return pair + Num(x.atK.Q) + " into " + K + " in \"Flows.csv\", " + Num(x.atJ.Q) + " into " + J + ")";
        case ExchangeCause::Weights:
            return pair + "weight " + Num(x.atK.ALPHA) + " in " + K + "'s group of \"Interfaces.csv\", " +
                   Num(x.atJ.ALPHA) + " in " + J + "'s)";
        case ExchangeCause::FlowMultipliers:
            return pair + Num(x.atK.QMultN) + " and " + Num(x.atK.QMultK) + " in " + K + "'s equation, " +
                   Num(x.atJ.QMultN) + " and " + Num(x.atJ.QMultK) + " in " + J + "'s)";
        case ExchangeCause::Conductance:
            return pair + Conductance(x.atK) + " in " + K + "'s equation, " + Conductance(x.atJ) + " in " + J + "'s)";
    }
    return pair + ")";
}

std::string Interfaces(std::size_t n) { return Num(int(n)) + (n == 1 ? " interface" : " interfaces"); }

// The warning's opening for a cause and count.
std::string Finding(ExchangeCause cause, std::size_t n, Single tolerance) {
    const std::string of = "the two sides of " + Interfaces(n);
    switch (cause) {
        case ExchangeCause::OneSided: return Interfaces(n) + (n == 1 ? " is" : " are") + " listed by one side only";
        case ExchangeCause::Flows:
            return of + " give flows that are not equal and opposite within FlowBalanceTol " + Num(tolerance) + " %";
        case ExchangeCause::Weights: return of + " give different upwind weights";
        case ExchangeCause::FlowMultipliers: return of + " have different flow multipliers (neighbour and own entry)";
        case ExchangeCause::Conductance:
            return of + " use different dispersive conductances (water content x E x area / mixing length)";
    }
    return of;
}

// Short names of the causes, for the summary's note.
const char* Short(ExchangeCause cause) {
    switch (cause) {
        case ExchangeCause::OneSided: return "listed by one side only";
        case ExchangeCause::Flows: return "flows not equal and opposite";
        case ExchangeCause::Weights: return "different upwind weights";
        case ExchangeCause::FlowMultipliers: return "different flow multipliers";
        case ExchangeCause::Conductance: return "different dispersive conductances";
    }
    return "";
}

constexpr ExchangeCause CAUSES[] = {ExchangeCause::OneSided, ExchangeCause::Flows, ExchangeCause::Weights,
                                    ExchangeCause::FlowMultipliers, ExchangeCause::Conductance};

}  // namespace

std::vector<ExchangeImbalance> FindExchangeImbalances(ModelState& s) {
    std::vector<ExchangeImbalance> out;
    if (s.opt.EquationSolver) return out;
    const auto& t = s.tables;
    const int NT = s.setup.NT;
    auto holds = [&](Integer ISV, int K) { return t.Compartment(K, 3) == 0 && s.setup.SVCompMap(ISV, K) == 1; };
    for (Integer ISV : OneTo(s.opt.NSV)) {
        for (Integer K : OneTo(static_cast<Integer>(NT))) {
            if (!holds(ISV, K)) continue;
            const int NAS = CompartmentNAS(s, K);
            for (int n = 1; n <= NAS; ++n) {
                const Integer J = AdjacentCompartment(s, K, n);
                if (J < 1 || J > NT || J == K || !holds(ISV, J) || NamedBefore(s, K, n, J)) continue;
                const int m = InterfaceBack(s, J, K);
                if (m != 0 && J < K) continue;  // found from J's side
                ExchangeImbalance x;
                x.ISV = ISV, x.K = K, x.J = J;
                x.atK = TransportTerms(s, ISV, K, n);
                if (m == 0) {
                    x.cause = ExchangeCause::OneSided;
                    out.push_back(x);
                    continue;
                }
                x.atJ = TransportTerms(s, ISV, J, m);
                Compare(s, x, out);
            }
        }
    }
    return out;
}

void WarnExchangeImbalances(ModelState& s) {
    const std::vector<ExchangeImbalance> found = FindExchangeImbalances(s);
    for (Integer ISV : OneTo(s.opt.NSV)) {
        for (ExchangeCause cause : CAUSES) {
            std::vector<const ExchangeImbalance*> these;
            for (const ExchangeImbalance& x : found)
                if (x.ISV == ISV && x.cause == cause) these.push_back(&x);
            if (these.empty()) continue;
            std::string text = "state variable " + Num(int(ISV)) + ": " +
                               Finding(cause, these.size(), s.opt.FlowBalanceTol) +
                               ", so mass is not conserved across " + (these.size() == 1 ? "it" : "them") + ": ";
            const std::size_t shown = std::min(these.size(), static_cast<std::size_t>(EXCHANGE_REPORT_MAX));
            for (std::size_t i = 0; i < shown; ++i) text += (i ? "; " : "") + Item(*these[i]);
            if (shown < these.size()) text += "; and " + Num(int(these.size() - shown)) + " more";
            if (cause == ExchangeCause::Conductance)
                text += " -- for a bulk exchange coefficient D give each side E = D / its own water content "
                        "(docs/transport.md)";
            AddWarning(s, text);
        }
    }
}

std::string ExchangeImbalanceNote(const std::vector<ExchangeImbalance>& found, Integer ISV) {
    std::vector<const ExchangeImbalance*> these;
    for (const ExchangeImbalance& x : found)
        if (x.ISV == ISV) these.push_back(&x);
    if (these.empty()) return "";
    // An interface with several causes counts once.
    std::size_t interfaces = 0;
    for (std::size_t i = 0; i < these.size(); ++i)
        if (i == 0 || these[i]->K != these[i - 1]->K || these[i]->J != these[i - 1]->J) ++interfaces;
    std::string causes;
    for (ExchangeCause cause : CAUSES)
        for (const ExchangeImbalance* x : these)
            if (x->cause == cause) {
                causes += (causes.empty() ? "" : ", ") + std::string(Short(cause));
                break;
            }
    return "note: mass is not conserved across " + Interfaces(interfaces) + " of state variable " +
           Num(int(ISV)) + " (" + causes + "; the first between compartments " + Num(int(these[0]->K)) + " and " +
           Num(int(these[0]->J)) + "), so the balance error includes the mass created or lost there; "
           "`ostra --check` lists them";
}

}  // namespace ostra
