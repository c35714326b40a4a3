// transport.h -- advective and dispersive transport coefficients and their
// assembly into the coefficient matrix.
//
// Exports: Transport, LoadATrans, LoadATransForStep, InterfaceTerms, TransportTerms.
#pragma once

#include "model/model_state.h"

namespace ostra {

// What one interface n of an interior compartment K gives K's equation for
// one state variable, as Transport forms it (all Single): the neighbour
// coefficient CoefN = DispN + AdvN of IAS's concentration and the own
// coefficient CoefK = DispK + AdvK of K's, with the multipliers of the two
// entries. The mass that crosses the interface per unit time is WCk times
// these coefficients times the concentrations.
struct InterfaceTerms {
    Integer IAS = 0;                 // the adjacent compartment
    Single Q = 0;                    // flow into K ("Flows.csv")
    Single ALPHA = 0;                // upwind weight
    Single Area = 0, E = 0;          // interface area, exchange coefficient ("ECoefficients.csv")
    Single MixLength = 0;            // the mixing length used; 0 when E is 0 or -999
    Single EAL = 0;                  // E x Area / MixLength, 0 without dispersion
    Single WCk = 0;                  // water content of K
    Single EMultN = 1, QMultN = 1;   // multipliers of the neighbour entry (K, IAS)
    Single EMultK = 1, QMultK = 1;   // multipliers of the own entry (K, K)
    Single DispN = 0, AdvN = 0, CoefN = 0;
    Single DispK = 0, AdvK = 0, CoefK = 0;
};

// Adds the transport coefficients of state variable ISV (1..NSV) into Asm
// (NEQNsm(ISV) x NEQNsm(ISV), 1-based local equation numbers SectnToEqn) and
// Bsm (known boundary terms), all in Single: net transport into a compartment
// = sum of Asm x C + Bsm. Writes one
// MBBoundary record per interface to a non-interior compartment when
// MassBalanceOn, counting MBBoundaryRowCount on. Ends the run through Error
// on inconsistent tables and on a violated flow balance.
void Transport(ModelState& s, SSparse& Asm, SVector& Bsm, Integer ISV);

// The terms of interface n (1-based) of interior compartment K for state
// variable ISV, formed with the checks of Transport (which end the run
// through Error on inconsistent tables); the flow balance is not tested.
// Needs the tables at hand, as an assembly leaves them.
InterfaceTerms TransportTerms(ModelState& s, Integer ISV, Integer K, int n);

// Clears A (NEQN x NEQN) and BBC (NEQN), recomputes NEQNsm and fills A and
// BBC with one diagonal block per state variable from Transport, widened to
// Double. A receives only the elements Transport gives; every other element
// reads 0, as in a cleared dense matrix. Ends the run through Error when a state variable has no interior
// compartment or, with MassBalanceOn, when the records written differ from
// MBBoundaryLength.
void LoadATrans(ModelState& s, DSparse& A, DVector& BBC);

// LoadATrans for the assembly of a time step. Where no table is re-read in
// the run (no time-variable table but the loads), no upwind weight is
// computed and "FlowandEMultipliers.csv" holds the bytes it was parsed from,
// the inputs of the last assembly stand, and so does what it gave: A, BBC and
// the mass-balance records of the transport part are taken from a copy kept
// by that assembly instead of being formed again (the same bits). Otherwise
// as LoadATrans.
void LoadATransForStep(ModelState& s, DSparse& A, DVector& BBC);

}  // namespace ostra
