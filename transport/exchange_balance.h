// exchange_balance.h -- whether the two sides of every interface between
// interior compartments carry the same mass.
//
// Exports: ExchangeCause, ExchangeImbalance, FindExchangeImbalances,
// WarnExchangeImbalances, ExchangeImbalanceNote.
//
// An interface between two interior compartments K and J that both hold a
// state variable stands in both equations: K's record names J and J's names
// K. The mass leaving one side enters the other only when the two records
// agree: the flows are equal and opposite, the upwind weights and flow
// multipliers match, and the dispersive conductance of each equation --
// water content x E x area / mixing length, times the exchange multipliers,
// the mass-balance measure of the transport terms -- is the same. The tables
// allow each side its own values; these functions find the interfaces where
// they differ, with the transport terms exactly as the assembly forms them.
#pragma once

#include <string>
#include <vector>

#include "model/model_state.h"
#include "transport/transport.h"

namespace ostra {

// Why the two sides of an interface do not conserve mass, in the order checked.
enum class ExchangeCause { OneSided, Flows, Weights, FlowMultipliers, Conductance };

// One interface of state variable ISV between interior compartments K and J
// (K < J, or K the side that lists J when J lists no interface back) and
// the terms each side's equation gives it.
struct ExchangeImbalance {
    Integer ISV = 0, K = 0, J = 0;
    ExchangeCause cause = ExchangeCause::Conductance;
    InterfaceTerms atK, atJ;  // atJ is empty for OneSided
};

// Every such interface of the tables in force, state variable by state
// variable, K ascending, each cause found once. Needs the tables as an
// assembly leaves them (their checks passed).
std::vector<ExchangeImbalance> FindExchangeImbalances(ModelState& s);

// `ostra --check`: one warning per state variable and cause, naming the
// compartments of up to EXCHANGE_REPORT_MAX interfaces and how many more.
void WarnExchangeImbalances(ModelState& s);

// The run summary's note for state variable ISV ("" when its interfaces
// conserve mass), given what FindExchangeImbalances found.
std::string ExchangeImbalanceNote(const std::vector<ExchangeImbalance>& found, Integer ISV);

}  // namespace ostra
