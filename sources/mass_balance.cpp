// mass_balance.cpp -- the running mass account of a dynamic compartment run
// and its report "MassBalance.csv".
//
// Exports: MassBalanceSetup, MassBalanceCountBoundaries, MassBalanceStep,
// MassBalanceReport.
//
// For every state variable the account adds, step by step, the mass that
// enters its interior compartments (MBIn) and the mass that leaves them by
// transport across boundary interfaces, volume-based sinks and area-based
// sinks (MBOut columns 1 to 3). It reads the records the assembly left for
// the step: MBBoundary (transport), MBLoads (loads), MBExtVolSinks and
// MBExtAreaSinks (sources and sinks). Mass is volume x concentration x WC
// (Compartment columns 7 and 9); a step's flux of equation e is its rate
// times DELT divided by EqnRetard(e). At the end of the run the initial and
// final masses close the balance of each state variable.
#include "sources/mass_balance.h"

#include <cmath>
#include <string>
#include <vector>

#include "model/equation_names.h"
#include "model/error.h"
#include "model/table_readers.h"
#include "sources/equation_numbers.h"
#include "textio/number_format.h"
#include "textio/text_writer.h"
#include "transport/geometry.h"

namespace ostra {
namespace {

const char* const WHERE = " in mass balance checking code";

[[noreturn]] void MissingEquation(ModelState& s, int ISV, int K, const std::string& what) {
    Error(s, "state variable " + std::to_string(ISV) + " has no equation in compartment " +
                 std::to_string(K) + " (" + what + ")" + WHERE);
}

// The equation of (ISV, K) where the bookkeeping needs one. `what` is turned
// into a message only on failure: the per-step loops allocate nothing.
int NeededEquation(ModelState& s, int ISV, int K, const char* what) {
    const int e = EquationOf(s, ISV, K);
    if (e == MISSING) MissingEquation(s, ISV, K, what);
    return e;
}

// Adjacent compartment of interface n of compartment I, as a number.
int Neighbour(ModelState& s, int I, int n) { return AdjacentCompartment(s, I, n); }

int InterfaceCount(const ModelState& s, int I) {
    return RoundToInteger(s.tables.Compartment(I, 2), "number of adjacent compartments");
}

// Boundary compartment B of kind 2: the value of the first "BOUNDARY.csv" row
// of state variable ISV and compartment B.
Single FixedBoundaryConc(ModelState& s, int ISV, int K, int Bc) {
    const SMatrix& Boundary = s.tables.Boundary;
    for (int row = 1; row <= s.setup.MaxNSVxNT; ++row)
        if (Boundary(row, 1) == ISV && Boundary(row, 2) == Bc) return Boundary(row, 3);
    Error(s, "no row of BOUNDARY.csv for state variable " + std::to_string(ISV) +
                 " in boundary compartment " + std::to_string(Bc) + " (neighbour of compartment " +
                 std::to_string(K) + ")" + WHERE);
}

// Boundary compartment B of kind 4: the concentration of K extrapolated
// across the interface from the mean of K's interior neighbours.
Single ExtrapolatedBoundaryConc(ModelState& s, const DVector& c, int ISV, int K, int Bc, int e) {
    const Single Lb = GetLength(s, 1, static_cast<Integer>(K), static_cast<Integer>(Bc));
    int NASINT = 0;
    Single lengthSum = 0;
    double concSum = 0;
    const int NAS = InterfaceCount(s, K);
    for (int n = 1; n <= NAS; ++n) {
        const int IADJ = Neighbour(s, K, n);
        if (IADJ == MISSING)
            Error(s, "IADJ = -999 in mass balance checking code: interface " + std::to_string(n) +
                         " of compartment " + std::to_string(K) + " in \"Interfaces.csv\" names -999, and the "
                         "concentration of its extrapolated boundary neighbour " + std::to_string(Bc) +
                         " comes from its interior neighbours");
        if (s.tables.Compartment(IADJ, 3) != 0) continue;
        ++NASINT;
        lengthSum += GetLength(s, 1, static_cast<Integer>(K), static_cast<Integer>(IADJ));
        const int eAdj = EquationOf(s, ISV, IADJ);
        if (eAdj == MISSING)
            MissingEquation(s, ISV, IADJ,
                            "interior neighbour of compartment " + std::to_string(K) +
                                " used to extrapolate the concentration of boundary compartment " +
                                std::to_string(Bc));
        concSum += c(eAdj);
    }
    if (NASINT == 0)
        Error(s, "NASINT =0 in mass balance checking code: compartment " + std::to_string(K) +
                     " has no interior neighbour to extrapolate the concentration of its extrapolated boundary "
                     "neighbour " + std::to_string(Bc) + " from (state variable " + std::to_string(ISV) + ")");
    const Single Lm = lengthSum / static_cast<Single>(NASINT);
    const double Cm = concSum / NASINT;
    const Single ratio = Lb / Lm;
    return static_cast<Single>((ratio + 1) * c(e) - ratio * Cm);
}

// The concentration of boundary compartment Bc seen from (ISV, K).
Single BoundaryConc(ModelState& s, const DVector& c, int ISV, int K, int Bc, int e) {
    const Single kind = s.tables.Compartment(Bc, 3);
    if (kind == 1 || kind == 3) return 0;
    if (kind == 2) return FixedBoundaryConc(s, ISV, K, Bc);
    if (kind == 4) return ExtrapolatedBoundaryConc(s, c, ISV, K, Bc, e);
    Error(s, "boundary compartment " + std::to_string(Bc) + " (neighbour of compartment " +
                 std::to_string(K) + ", state variable " + std::to_string(ISV) + ") has kind" +
                 textio::FormatSingle(kind) +
                 "in Compartment column 3; only kinds 1 to 4 have a boundary concentration" + WHERE);
}

// Rate x DELT / EqnRetard(e): the mass moved in one step.
double StepMass(const ModelState& s, double rate, int e) {
    return rate * static_cast<double>(s.opt.DELT) / static_cast<double>(s.eq.EqnRetard(e));
}

void AddBoundaryExchange(ModelState& s, const DVector& c) {
    const DMatrix& rec = s.mb.MBBoundary;
    for (int r = 1; r <= s.mb.MBBoundaryLength; ++r) {
        const int ISV = RoundToInteger(rec(r, 1), "state variable of a boundary record");
        const int K = RoundToInteger(rec(r, 2), "compartment of a boundary record");
        const int Bc = RoundToInteger(rec(r, 3), "boundary compartment of a boundary record");
        const int e = NeededEquation(s, ISV, K, "boundary exchange");
        const Single conc = BoundaryConc(s, c, ISV, K, Bc, e);
        if (conc == MISSING)
            Error(s, "BoundaryConc = -999 in mass balance checking code: the concentration of boundary "
                     "compartment " + std::to_string(Bc) + " seen from compartment " + std::to_string(K) +
                     " (state variable " + std::to_string(ISV) + ") is -999 " + TimeInText(s.sys.CurrentTime) +
                     " (\"BOUNDARY.csv\" column 3)");
        const double flux = StepMass(s, rec(r, 5) * c(e) + static_cast<double>(conc) * rec(r, 4), e);
        if (flux > 0)
            s.mb.MBIn(ISV) += flux;
        else
            s.mb.MBOut(ISV, 1) -= flux;
    }
}

void AddLoads(ModelState& s) {
    const int NEQN = s.opt.NEQN;
    int Eqn = 0;
    for (int ISV = 1; ISV <= s.opt.NSV; ++ISV) {
        for (int I = 1; I <= s.setup.NT; ++I) {
            if (s.tables.Compartment(I, 3) != 0 || s.setup.SVCompMap(ISV, I) != 1) continue;
            if (++Eqn > NEQN) Error(s, "Eqn <> NEQN in mass balance checking code");
            s.mb.MBIn(ISV) += static_cast<double>(s.opt.DELT) * s.mb.MBLoads(Eqn) /
                              static_cast<double>(s.eq.EqnRetard(Eqn));
        }
    }
    if (Eqn != NEQN) Error(s, "Eqn <> NEQN in mass balance checking code");
}

void AddVolumeTerms(ModelState& s, const DVector& c) {
    const DMatrix& rec = s.mb.MBExtVolSinks;
    for (int row = 1; row <= s.setup.MaxNSVxNT; ++row) {
        if (rec(row, 1) == MISSING) break;
        const int ISV = RoundToInteger(rec(row, 1), "state variable of a volume record");
        const int I = RoundToInteger(rec(row, 2), "compartment of a volume record");
        const int e = NeededEquation(s, ISV, I, "volume-based term");
        const double k = rec(row, 3);
        if (k >= 0)
            s.mb.MBIn(ISV) += StepMass(s, c(e) * k, e);
        else
            s.mb.MBOut(ISV, 2) += StepMass(s, std::fabs(k) * c(e), e);
    }
}

void AddAreaSinks(ModelState& s, const DVector& c) {
    const DMatrix& rec = s.mb.MBExtAreaSinks;
    for (int row = 1; row <= s.setup.MaxNSVxNT; ++row) {
        if (rec(row, 1) == MISSING) break;
        const int ISV = RoundToInteger(rec(row, 1), "state variable of an area record");
        const int I = RoundToInteger(rec(row, 2), "compartment of an area record");
        const int e = NeededEquation(s, ISV, I, "area-based sink");
        const double k = rec(row, 4);
        if (k > 0)
            Error(s, "external area-based source not currently allowed, user should specify as "
                     "external load");
        s.mb.MBOut(ISV, 3) += StepMass(s, std::fabs(k) * c(e), e);
    }
}

// Final mass of each state variable: volume x concentration x WC summed over
// the compartments where it is computed.
std::vector<double> ResidualMasses(ModelState& s, const DVector& c) {
    std::vector<double> residual(static_cast<std::size_t>(s.opt.NSV) + 1, 0.0);
    for (int ISV = 1; ISV <= s.opt.NSV; ++ISV) {
        for (int I = 1; I <= s.setup.NT; ++I) {
            if (s.setup.SVCompMap(ISV, I) != 1) continue;
            const int e = NeededEquation(s, ISV, I, "final mass");
            residual[ISV] += s.tables.Compartment(I, 7) * c(e) * s.tables.Compartment(I, 9);
        }
    }
    return residual;
}

// Initial mass of each state variable from column 3 of "INITIAL.CSV" with the
// volumes and WC in force now.
std::vector<double> InitialMasses(ModelState& s) {
    std::vector<double> initial(static_cast<std::size_t>(s.opt.NSV) + 1, 0.0);
    int Count = 0;
    int row = 0;
    for (int ISV = 1; ISV <= s.opt.NSV; ++ISV) {
        for (int I = 1; I <= s.setup.NT; ++I) {
            ++row;
            if (s.tables.Compartment(I, 3) != 0 || s.setup.SVCompMap(ISV, I) != 1) continue;
            ++Count;
            initial[ISV] += s.tables.Compartment(I, 7) * s.setup.Initial(row, 3) *
                            s.tables.Compartment(I, 9);
        }
    }
    if (Count != s.opt.NEQN) Error(s, "Count <> NEQN in mass balance checking code");
    return initial;
}

}  // namespace

void MassBalanceSetup(ModelState& s) {
    if (!s.mb.MassBalanceOn) return;
    MassBalanceState& mb = s.mb;
    mb.MBIn.Resize(s.opt.NSV, "MBIn");
    mb.MBOut.Resize(s.opt.NSV, 3, "MBOut");
    mb.MBLoads.Resize(s.opt.NEQN, "MBLoads");
    mb.MBExtVolSinks.Resize(s.setup.MaxNSVxNT, 3, "MBExtVolSinks");
    mb.MBExtAreaSinks.Resize(s.setup.MaxNSVxNT, 4, "MBExtAreaSinks");
    // The source/sink lists start empty until the first assembly fills them.
    mb.MBExtVolSinks.Fill(MISSING_VALUE);
    mb.MBExtAreaSinks.Fill(MISSING_VALUE);
    mb.MBExtVolSinksRowCount = 0;
    mb.MBExtAreaSinksRowCount = 0;
    mb.MBBoundary.Resize(0, 5, "MBBoundary");
    mb.MBBoundaryLength = 0;
    mb.MBBoundaryRowCount = 0;
}

void MassBalanceCountBoundaries(ModelState& s) {
    if (!s.mb.MassBalanceOn) return;
    const int NT = s.setup.NT;
    long count = 0;
    for (int ISV = 1; ISV <= s.opt.NSV; ++ISV) {
        for (int I = 1; I <= NT; ++I) {
            if (s.tables.Compartment(I, 3) != 0 || s.setup.SVCompMap(ISV, I) != 1) continue;
            const int NAS = InterfaceCount(s, I);
            for (int n = 1; n <= NAS; ++n) {
                const int J = Neighbour(s, I, n);
                // A missing neighbour is reported by the transport assembly
                // that follows, with its own message.
                if (J == MISSING) continue;
                if (J < 1 || J > NT)
                    Error(s, "adjacent compartment " + std::to_string(J) + " of compartment " +
                                 std::to_string(I) + " (interface " + std::to_string(n) +
                                 " in \"Interfaces.csv\") is not a compartment number from 1 to " + std::to_string(NT) +
                                 WHERE);
                if (s.tables.Compartment(J, 3) != 0) ++count;
            }
        }
    }
    s.mb.MBBoundaryLength = CheckedInteger(count, "MBBoundaryLength");
    s.mb.MBBoundary.Resize(s.mb.MBBoundaryLength, 5);
}

// Every flux of a step is divided by the retardation factor of its equation.
void CheckRetardation(ModelState& s) {
    for (int e = 1; e <= s.opt.NEQN; ++e) {
        const Single R = s.eq.EqnRetard(e);
        if (R != 0 && std::isfinite(R)) continue;
        Error(s, "the retardation factor EqnRetard of " + EquationName(s, e) + " is " +
                     textio::NumberInText(R) + " " + TimeInText(s.sys.CurrentTime) +
                     ", so the mass balance cannot divide the step's fluxes by it (1 + Kd x solids / "
                     "water content from \"linearKdandTempCoef.csv\" column 3 and \"Compartments.csv\" "
                     "columns 10 and 9; or R(C) asked for in \"Control.csv\" pair 16 with no R(C) "
                     "program, pair 25)" + WHERE);
    }
}

void MassBalanceStep(ModelState& s, const DVector& c) {
    if (!s.mb.MassBalanceOn) return;
    CheckRetardation(s);
    AddBoundaryExchange(s, c);
    AddLoads(s);
    AddVolumeTerms(s, c);
    AddAreaSinks(s, c);
}

void MassBalanceReport(ModelState& s, const DVector& c) {
    if (!s.mb.MassBalanceOn) return;
    const std::vector<double> Initial = InitialMasses(s);
    const std::vector<double> Residual = ResidualMasses(s, c);

    textio::TextWriter out(s.Dir, MASS_BALANCE_FILE);
    NoteResultFile(s, MASS_BALANCE_FILE);
    out.Text("State Variable,Initial,In,Transport Out,Volume-Based Sinks Out,"
             "Area-Based Sinks Out,Residual,Balance Error")
        .EndLine();
    double TotalInitial = 0, TotalIn = 0, TotalError = 0;
    for (int ISV = 1; ISV <= s.opt.NSV; ++ISV) {
        const double BalanceError = Initial[ISV] + s.mb.MBIn(ISV) - s.mb.MBOut(ISV, 1) -
                                    s.mb.MBOut(ISV, 2) - s.mb.MBOut(ISV, 3) - Residual[ISV];
        const double row[7] = {Initial[ISV],       s.mb.MBIn(ISV), s.mb.MBOut(ISV, 1), s.mb.MBOut(ISV, 2),
                               s.mb.MBOut(ISV, 3), Residual[ISV],  BalanceError};
        static const char* const COLUMN[7] = {"Initial", "In", "Transport Out", "Volume-Based Sinks Out",
                                              "Area-Based Sinks Out", "Residual", "Balance Error"};
        for (int k = 0; k < 7; ++k)
            if (!std::isfinite(row[k]))
                Error(s, "the mass balance of state variable " + std::to_string(ISV) + " has \"" +
                             COLUMN[k] + "\" = " + textio::NumberInText(row[k]) +
                             ", not a finite number (an overflow during the run); \"" + MASS_BALANCE_FILE +
                             "\" gets no row for it");
        out.Integer(ISV).Text(",").Double(Initial[ISV]).Text(",").Double(s.mb.MBIn(ISV));
        for (int k = 1; k <= 3; ++k) out.Text(",").Double(s.mb.MBOut(ISV, k));
        out.Text(",").Double(Residual[ISV]).Text(",").Double(BalanceError).EndLine();
        TotalInitial += Initial[ISV];
        TotalIn += s.mb.MBIn(ISV);
        TotalError += BalanceError;
    }
    if (TotalIn + TotalInitial == 0) {
        out.Close();
        Error(s, "pending division by zero in MassBalance.csv file calculation: the initial mass and "
                 "the input of every state variable are 0 (no initial concentration in \"INITIAL.CSV\", "
                 "no load, source or boundary inflow), so the balance error cannot be given as a "
                 "percentage; the rows above are complete");
    }
    out.Text("Mass balance error across state variables as a percentage of initial and total "
             "input mass = ")
        .Double(TotalError * 100 / (TotalIn + TotalInitial))
        .Text(" %")
        .EndLine();
    out.Close();
}

}  // namespace ostra
