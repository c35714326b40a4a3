// transport.cpp -- advective and dispersive transport between compartments and
// its assembly into the coefficient matrix.
//
// Exports: Transport, LoadATrans, LoadATransForStep, TransportTerms.
//
// Transport walks every interior compartment K of one state variable and each
// of K's interfaces in table order. For an interface to compartment IAS it
// forms two coefficients in Single precision: the neighbour coefficient CoefN
// (of IAS's concentration in K's equation) and the own coefficient CoefK (of
// K's concentration), from the flow Q (positive into K), the upwind weight
// ALPHA and the dispersive conductance E x Area / MixLength. The kind of IAS
// decides where they go: an interior neighbour gets a matrix column, a
// fixed-concentration boundary goes to the right-hand side, a flow exit takes
// all of the flow on the diagonal, and an extrapolated boundary is replaced by
// a linear extrapolation from K and its interior neighbours. LoadATrans
// rebuilds the whole transport part of the system from these blocks.
#include "transport/transport.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "model/equation_names.h"
#include "model/error.h"
#include "model/table_records.h"
#include "model/table_readers.h"
#include "textio/number_format.h"
#include "transport/geometry.h"

namespace ostra {
namespace {

std::string Num(Single value) { return textio::SingleInText(value); }
std::string Num(int value) { return std::to_string(value); }

// Compartment K of state variable ISV while its interfaces are assembled.
struct Cell {
    Integer ISV;
    Integer K;
    int RowCount;  // row of (ISV, K) in Flow and ECoef
    Single WCk;
    Integer NAS;
    Single InflowSum = 0;
    Single OutflowSum = 0;
};

// One interface n of K as read from Inface, Flow and ECoef.
struct Interface {
    int n;
    int ICInface;
    Integer IAS;
    Single Q;
    Single Area;
    Single E;
    Single MixLength;  // 0 when E is 0 or -999 (no mixing length is needed then)
    Single EAL;    // dispersive conductance E x Area / MixLength, 0 when E is 0 or -999
    Single ALPHA;
    Single kind;   // Compartment(IAS, 3)
};

int InfaceColumn(const ModelState& s, int n) { return 2 + (n - 1) * s.setup.NColInface; }

std::string Between(const Cell& cell, Integer IAS) {
    return " (state variable " + std::to_string(cell.ISV) + ", compartment " +
           std::to_string(cell.K) + ", adjacent compartment " + std::to_string(IAS) + ")";
}

// Where interface n of the cell's compartment stands: its record in
// "Interfaces.csv".
std::string OnLine(int line) { return line > 0 ? " on line " + Num(line) : std::string(); }

std::string InterfaceWhere(const ModelState& s, const Cell& cell, int n) {
    const int line = RecordLine(s.tables.lines.Inface, cell.K);
    return "interface " + Num(n) + " of compartment " + Num(cell.K) + " in \"Interfaces.csv\"" +
           (line > 0 ? " (record" + OnLine(line) + ")" : std::string());
}

std::string FlowWhere(const ModelState& s, const Cell& cell) {
    return RecordWhere("Flows.csv", s.tables.lines.Flow, cell.RowCount, cell.ISV, cell.K);
}

std::string ECoefWhere(const ModelState& s, const Cell& cell) {
    return RecordWhere("ECoefficients.csv", s.tables.lines.ECoef, cell.RowCount, cell.ISV, cell.K);
}

std::string CompartmentWhere(const ModelState& s, Integer K) {
    return "\"Compartments.csv\" record of compartment " + Num(K) +
           OnLine(RecordLine(s.tables.lines.Compartment, K));
}

// An adjacent compartment number that is no compartment would index past the
// tables; it ends the run instead.
void CheckCompartmentNumber(ModelState& s, const Cell& cell, int n, Integer IAS) {
    if (IAS >= 1 && IAS <= s.setup.NT) return;
    Error(s, "adjacent compartment " + std::to_string(IAS) + " of interface " +
                 std::to_string(n) + " of compartment " + std::to_string(cell.K) +
                 " is not a compartment number 1 to " + std::to_string(s.setup.NT) +
                 " in Transport (state variable " + std::to_string(cell.ISV) + "; \"Interfaces.csv\", record" +
                 OnLine(RecordLine(s.tables.lines.Inface, cell.K)) + ")" + CompartmentCountHint(s, IAS));
}

// The neighbour named by the flow or exchange-coefficient table differs from
// the one "Interfaces.csv" names for the same interface.
[[noreturn]] void OtherNeighbour(ModelState& s, const char* message, const std::string& where,
                                 const Cell& cell, int n, Single found, Integer IAS) {
    Error(s, std::string(message) + ": " + where + " gives adjacent compartment " + Num(found) +
                 " for interface " + Num(n) + " where " + InterfaceWhere(s, cell, n) + " names " + Num(IAS) +
                 "; the interfaces of a compartment are listed in the same order in \"Interfaces.csv\", "
                 "\"Flows.csv\" and \"ECoefficients.csv\"");
}

// Steps of one interface up to the upwind weight: neighbour number, flow,
// area, exchange coefficient and dispersive conductance, with their checks.
Interface ReadInterface(ModelState& s, Cell& cell, int n) {
    auto& t = s.tables;
    Interface f{};
    f.n = n;
    f.ICInface = InfaceColumn(s, n);
    const int ICFlow = 3 + (n - 1) * s.setup.NColFlow;
    const int ICEcoef = 3 + (n - 1) * s.setup.NColECoef;

    f.IAS = AdjacentCompartment(s, cell.K, n);
    if (f.IAS == MISSING)
        Error(s, "-999 data error for adjacent compartment number in Transport: " + InterfaceWhere(s, cell, n) +
                     " names -999 (state variable " + Num(cell.ISV) + ")");
    if (f.IAS == cell.K)
        Error(s, "IAS = K in Transport: " + InterfaceWhere(s, cell, n) + " names compartment " + Num(cell.K) +
                     " itself as its neighbour");
    const Single IASValue = static_cast<Single>(f.IAS);

    if (t.Flow(cell.RowCount, ICFlow) != IASValue)
        OtherNeighbour(s, "Flow(RowCount, ICFlow) <> IAS in Transport", FlowWhere(s, cell), cell, n,
                       t.Flow(cell.RowCount, ICFlow), f.IAS);
    f.Q = t.Flow(cell.RowCount, ICFlow + 1);
    if (f.Q > 0) {
        cell.InflowSum += f.Q;
    } else {
        cell.OutflowSum += std::fabs(f.Q);
    }

    if (t.Inface(cell.K, f.ICInface) != IASValue)
        Error(s, "Inface(K,ICInface) <> IAS in Transport: " + InterfaceWhere(s, cell, n) + " gives " +
                     Num(t.Inface(cell.K, f.ICInface)) + ", not a whole compartment number");
    f.Area = t.Inface(cell.K, f.ICInface + 1);

    if (t.ECoef(cell.RowCount, ICEcoef) != IASValue)
        OtherNeighbour(s, "ECoef(RowCount, ICEcoef) <> IAS in Transport", ECoefWhere(s, cell), cell, n,
                       t.ECoef(cell.RowCount, ICEcoef), f.IAS);
    const Single E = t.ECoef(cell.RowCount, ICEcoef + 1);
    f.E = E;
    f.MixLength = 0;
    CheckCompartmentNumber(s, cell, n, f.IAS);

    f.EAL = 0;
    if (E != 0 && E != MISSING) {
        // Every option but 1 takes the mixing length of the interface, as 2 does.
        if (s.opt.MixLengthOption != 1 && s.opt.MixLengthOption != 2)
            AddWarningOnce(s, "MixLengthOption is " + Num(s.opt.MixLengthOption) + " (\"Control.csv\", line 14, "
                              "pair 7), neither 1 nor 2: the mixing lengths are taken from \"Interfaces.csv\", as "
                              "with 2");
        const Single MixLength = s.opt.MixLengthOption == 1 ? GetLength(s, 1, cell.K, f.IAS)
                                                            : t.Inface(cell.K, f.ICInface + 3);
        if (f.Area == MISSING)
            Error(s, "Area = -999 in Transport: " + InterfaceWhere(s, cell, n) + " gives no area, but " +
                         ECoefWhere(s, cell) + " gives the exchange coefficient " + Num(E) +
                         " for it, which needs the area" + Between(cell, f.IAS));
        if (MixLength == MISSING)
            Error(s, "MixLength = -999 in Transport: " + InterfaceWhere(s, cell, n) +
                         " gives no mixing length (\"Control.csv\" pair 7, MixLengthOption " +
                         Num(s.opt.MixLengthOption) + ", takes it from there), but the exchange coefficient " + Num(E) + " needs it" + Between(cell, f.IAS));
        if (MixLength == 0)
            Error(s, "MixLength = 0 in Transport: the exchange coefficient " + Num(E) +
                         " cannot be divided by a zero mixing length; " +
                         (s.opt.MixLengthOption == 1
                              ? "with MixLengthOption 1 (\"Control.csv\" pair 7) it is the distance between the "
                                "centroids of compartments " + Num(cell.K) + " and " + Num(f.IAS) +
                                " (columns 4 to 6 of \"Compartments.csv\"), which coincide"
                              : "with MixLengthOption " + Num(s.opt.MixLengthOption) +
                                    " (\"Control.csv\" pair 7) it is value 4 of the group of " +
                                    InterfaceWhere(s, cell, n)) +
                         Between(cell, f.IAS));
        f.MixLength = MixLength;
        f.EAL = E * f.Area / MixLength;
    }
    f.ALPHA = t.Inface(cell.K, f.ICInface + 4);
    return f;
}

// Local equation number of K; an interior compartment that holds the state
// variable always has one, so a missing number is a broken map.
int OwnEquation(ModelState& s, const Cell& cell) {
    const Integer e = s.eq.SectnToEqn(cell.ISV, cell.K);
    if (e == MISSING) Error(s, "SectnToEqn(ISV,K) = -999 in Transport");
    return e;
}

// The boundary concentration of compartment IAS for the cell's state
// variable: the first row of Boundary naming both.
Single BoundaryConcentration(ModelState& s, const Cell& cell, Integer IAS) {
    const auto& b = s.tables.Boundary;
    const int NColBoundary = s.setup.NColBoundary;
    for (int JJ = 1; JJ <= b.Rows(); ++JJ) {
        if (b(JJ, 1) == static_cast<Single>(cell.ISV) && b(JJ, 2) == static_cast<Single>(IAS)) {
            if (b(JJ, NColBoundary) == MISSING)
                Error(s, "Boundary(JJ, NColBoundary) = -999 in Transport: " +
                             RecordWhere("BOUNDARY.csv", s.tables.lines.Boundary, JJ, cell.ISV, IAS) +
                             " gives no concentration, but compartment " + Num(IAS) +
                             " is a fixed-concentration boundary (kind 2) next to compartment " + Num(cell.K));
            return b(JJ, NColBoundary);
        }
    }
    Error(s, "no row of BOUNDARY.csv for state variable " + std::to_string(cell.ISV) + " in compartment " +
                 std::to_string(IAS) + ", the fixed-concentration neighbour of compartment " +
                 std::to_string(cell.K) + ", in Transport");
}

// Opens the mass-balance record of the interface and returns its row.
int OpenBoundaryRecord(ModelState& s, const Cell& cell, Integer IAS) {
    auto& mb = s.mb;
    if (mb.MBBoundaryRowCount >= mb.MBBoundaryLength || mb.MBBoundaryRowCount >= mb.MBBoundary.Rows())
        Error(s, "MBBoundaryRowCount <> MBBoundaryLength in LoadATrans: more interfaces to boundary "
                 "compartments now than the " + Num(mb.MBBoundaryLength) + " counted at the start of the run "
                 "(tables " + TimeInText(s.sys.TablesTime) + "; did a compartment change its kind in a "
                 "time-variable \"Compartments.csv\" or its neighbours in \"Interfaces.csv\"?)");
    const int r = ++mb.MBBoundaryRowCount;
    mb.MBBoundary(r, 1) = cell.ISV;
    mb.MBBoundary(r, 2) = cell.K;
    mb.MBBoundary(r, 3) = IAS;
    return r;
}

// Replaces an extrapolated-boundary neighbour by (1 + r) C_K - r x mean of
// the interior neighbours' concentrations, r = BoundaryL / AvgAdjL.
void Extrapolate(ModelState& s, SSparse& Asm, const Cell& cell, const Interface& f, Single CoefN, int e) {
    const auto& t = s.tables;
    const Single BoundaryL = GetLength(s, 1, cell.K, f.IAS);
    Integer NASINT = 0;
    Single LengthSum = 0;
    for (int m = 1; m <= cell.NAS; ++m) {
        const Integer IADJ = AdjacentCompartment(s, cell.K, m);
        if (IADJ == MISSING)
            Error(s, "IADJ = -999 in Transport: " + InterfaceWhere(s, cell, m) +
                         " names -999, and compartment " + Num(cell.K) + " has an extrapolated boundary (kind 4) "
                         "neighbour " + Num(f.IAS) + " whose concentration comes from the interior neighbours");
        CheckCompartmentNumber(s, cell, m, IADJ);
        if (t.Compartment(IADJ, 3) == 0) {
            ++NASINT;
            LengthSum += GetLength(s, 1, cell.K, IADJ);
        }
    }
    if (NASINT > cell.NAS) Error(s, "NASINT > NAS in Transport");
    if (NASINT == 0)
        Error(s, "NASINT = 0 in Transport: compartment " + Num(cell.K) + " has no interior neighbour to "
                 "extrapolate the concentration of its extrapolated boundary (kind 4) neighbour " + Num(f.IAS) +
                 " from (state variable " + Num(cell.ISV) + ")");
    const Single AvgAdjL = LengthSum / NASINT;
    // Tested before the first division by AvgAdjL, not only before the last.
    if (AvgAdjL * NASINT == 0)
        Error(s, "AvgAdjL * NASINT = 0 in Transport: the centroids of compartment " + Num(cell.K) +
                 " and its interior neighbours coincide (mean distance 0, \"Compartments.csv\" columns 4 to "
                 "6), so the extrapolated boundary " + Num(f.IAS) + " cannot be extrapolated");

    Asm.At(e, e) += (BoundaryL / AvgAdjL + 1) * CoefN;
    for (int m = 1; m <= cell.NAS; ++m) {
        const Integer IADJ = AdjacentCompartment(s, cell.K, m);
        if (t.Compartment(IADJ, 3) != 0) continue;
        const Integer col = s.eq.SectnToEqn(cell.ISV, IADJ);
        if (col == MISSING)
            Error(s, "compartment " + std::to_string(IADJ) + ", an interior neighbour of compartment " +
                         std::to_string(cell.K) + ", does not hold state variable " + std::to_string(cell.ISV) +
                         ", so the extrapolated boundary " + std::to_string(f.IAS) +
                         " cannot be extrapolated from it in Transport");
        Asm.At(e, col) -= CoefN * BoundaryL / (NASINT * AvgAdjL);
    }
}

// The neighbour coefficient of interface f (of IAS's concentration in K's
// equation), with its multipliers and its checks.
void NeighbourTerms(ModelState& s, const Cell& cell, const Interface& f, InterfaceTerms& t) {
    const Integer ISV = cell.ISV, K = cell.K, IAS = f.IAS;
    const Single Q = f.Q, WCk = cell.WCk, ALPHA = f.ALPHA;
    Single EMult = 1, QMult = 1;
    if (s.setup.UseMultipliers) ReadFlowandEMultipliers(s, ISV, K, IAS, K, IAS, EMult, QMult);
    t.EMultN = EMult;
    t.QMultN = QMult;
    t.DispN = f.EAL * EMult;
    if (Q == MISSING)
        Error(s, "Q = -999 in Transport: " + FlowWhere(s, cell) + " gives no flow for interface " + Num(f.n) +
                     " (to compartment " + Num(IAS) + "); give 0 for no flow");
    if (WCk == MISSING)
        Error(s, "WCk = -999 in Transport: the water content of compartment " + Num(K) + " (column 9 of the " +
                     CompartmentWhere(s, K) + ") is -999; an interior compartment needs it" + Between(cell, IAS));
    if (Q != 0 && WCk == 0)
        Error(s, "WCk = 0 in Transport: the flow " + Num(Q) + " cannot be divided by a zero water content" +
                     Between(cell, IAS));
    t.AdvN = 0;
    // Outflow weights K's neighbour by 1 - ALPHA, inflow by ALPHA; every
    // product is evaluated left to right in Single.
    if (Q < 0) t.AdvN = Q * (1 - ALPHA) * QMult / WCk;
    if (Q > 0) t.AdvN = Q * QMult * ALPHA / WCk;
    t.CoefN = t.DispN + t.AdvN;
}

// The own coefficient of interface f (of K's concentration), for a
// neighbour of kind k, with its multipliers.
void OwnTerms(ModelState& s, const Cell& cell, const Interface& f, Single k, InterfaceTerms& t) {
    const Single Q = f.Q, WCk = cell.WCk, ALPHA = f.ALPHA;
    Single EMult = 1, QMult = 1;
    if (s.setup.UseMultipliers) ReadFlowandEMultipliers(s, cell.ISV, cell.K, cell.K, cell.K, f.IAS, EMult, QMult);
    t.EMultK = EMult;
    t.QMultK = QMult;
    t.DispK = 0;
    t.AdvK = 0;
    if (k != 3) {
        t.DispK = -f.EAL * EMult;
        if (Q < 0) t.AdvK = Q * QMult * ALPHA / WCk;
        if (Q > 0) t.AdvK = Q * (1 - ALPHA) * QMult / WCk;
        t.CoefK = t.DispK + t.AdvK;
    } else {
        t.CoefK = Q * QMult / WCk;  // a flow exit takes all of the flow, without dispersion
    }
}

InterfaceTerms TermsOf(const Cell& cell, const Interface& f) {
    InterfaceTerms t;
    t.IAS = f.IAS;
    t.Q = f.Q;
    t.ALPHA = f.ALPHA;
    t.Area = f.Area;
    t.E = f.E;
    t.MixLength = f.MixLength;
    t.EAL = f.EAL;
    t.WCk = cell.WCk;
    return t;
}

// All of one interface's contributions to Asm, Bsm and the mass-balance record.
void AssembleInterface(ModelState& s, SSparse& Asm, SVector& Bsm, Cell& cell, int n) {
    const Interface f = ReadInterface(s, cell, n);
    const Integer ISV = cell.ISV, IAS = f.IAS;
    const Single Q = f.Q, WCk = cell.WCk;
    InterfaceTerms t = TermsOf(cell, f);

    NeighbourTerms(s, cell, f, t);
    const Single CoefN = t.CoefN;

    const Single k = s.tables.Compartment(IAS, 3);
    if (k == 0) {
        const Integer col = s.eq.SectnToEqn(ISV, IAS);
        // Added rather than assigned: an extrapolated boundary listed before
        // this neighbour may already have put its share into the column.
        if (col != MISSING) Asm.At(OwnEquation(s, cell), col) += CoefN;
    } else if (k == 2) {
        const int e = OwnEquation(s, cell);
        Bsm(e) += CoefN * BoundaryConcentration(s, cell, IAS);
    }

    int record = 0;
    if (s.mb.MassBalanceOn && k != 0) {
        record = OpenBoundaryRecord(s, cell, IAS);
        s.mb.MBBoundary(record, 4) = k == 3 ? Single(0) : Single(WCk * t.DispN + WCk * t.AdvN);
    }

    OwnTerms(s, cell, f, k, t);
    const int e = OwnEquation(s, cell);
    Asm.At(e, e) += t.CoefK;
    if (record != 0)
        s.mb.MBBoundary(record, 5) = k == 3 ? Single(Q * t.QMultK) : Single(WCk * t.DispK + WCk * t.AdvK);

    if (k == 4) Extrapolate(s, Asm, cell, f, CoefN, e);
}

// The inflows and outflows of K may differ by at most FlowBalanceTol percent
// of the inflow.
void CheckFlowBalance(ModelState& s, const Cell& cell) {
    const Single difference = cell.InflowSum - cell.OutflowSum;
    if (!(std::fabs(difference) > 0)) return;
    if (cell.InflowSum == 0)
        Error(s, "Flow Balance error: compartment " + std::to_string(cell.K) + " of state variable " +
                     std::to_string(cell.ISV) + " has an outflow of " + Num(cell.OutflowSum) +
                     " and no inflow in Transport");
    const Single P = static_cast<Single>(std::fabs(static_cast<Double>(difference) * 100 / cell.InflowSum));
    if (P > s.opt.FlowBalanceTol)
        Error(s, "Flow Balance error: compartment " + Num(cell.K) + ", state variable " + Num(cell.ISV) +
                     ": inflow " + Num(cell.InflowSum) + ", outflow " + Num(cell.OutflowSum) + " (" + Num(P) +
                     " % > FlowBalanceTol " + Num(s.opt.FlowBalanceTol) + " %; " + FlowWhere(s, cell) +
                     ", tables " + TimeInText(s.sys.TablesTime) + ")");
}

}  // namespace

void Transport(ModelState& s, SSparse& Asm, SVector& Bsm, Integer ISV) {
    const auto& t = s.tables;
    const int NT = s.setup.NT;
    for (int K = 1; K <= NT; ++K) {
        if (t.Compartment(K, 3) != 0 || s.setup.SVCompMap(ISV, K) != 1) continue;
        Cell cell{ISV, static_cast<Integer>(K), (ISV - 1) * NT + K, t.Compartment(K, 9), 0};
        cell.NAS = RoundToInteger(t.Compartment(K, 2), "number of adjacent compartments in Compartments.csv");
        if (cell.NAS == MISSING)
            Error(s, "-999 data error for number adjacent compartments in Transport: compartment " + Num(cell.K) +
                         " (column 2 of the " + CompartmentWhere(s, cell.K) + ") has -999 interfaces, but it is "
                         "interior and holds state variable " + Num(cell.ISV));
        for (int n = 1; n <= cell.NAS; ++n) AssembleInterface(s, Asm, Bsm, cell, n);
        CheckFlowBalance(s, cell);
    }
}

InterfaceTerms TransportTerms(ModelState& s, Integer ISV, Integer K, int n) {
    const int NT = s.setup.NT;
    Cell cell{ISV, K, (ISV - 1) * NT + K, s.tables.Compartment(K, 9), 0};
    cell.NAS = RoundToInteger(s.tables.Compartment(K, 2), "number of adjacent compartments in Compartments.csv");
    const Interface f = ReadInterface(s, cell, n);
    InterfaceTerms t = TermsOf(cell, f);
    NeighbourTerms(s, cell, f, t);
    OwnTerms(s, cell, f, s.tables.Compartment(f.IAS, 3), t);
    return t;
}

namespace {

// A(1..NEQN, 1..NEQN) = 0 (no element left) and BBC(1..NEQN) = 0.
void ClearSystem(DSparse& A, DVector& BBC, int NEQN) {
    if (NEQN <= 0) return;
    if (A.Rows() < NEQN) A.Resize(NEQN);
    A.Clear();
    (void)BBC(NEQN);  // checks the size once for the unchecked loop below
    Double* bbc = BBC.Data();
    for (int i = 1; i <= NEQN; ++i) bbc[i] = 0;
}

// Equations of state variable ISV: its interior compartments.
Integer InteriorEquations(const ModelState& s, Integer ISV) {
    long count = 0;
    for (int K = 1; K <= s.setup.NT; ++K)
        if (s.tables.Compartment(K, 3) == 0) count += s.setup.SVCompMap(ISV, K);
    return CheckedInteger(count, "NEQNsm");
}

// Copies one state variable's block onto the diagonal of A, widened to
// Double. The rows of A it fills are empty: blocks do not overlap.
void CopyBlock(const SSparse& Asm, const SVector& Bsm, int Offset, DSparse& A, DVector& BBC) {
    const int n = Asm.Rows();
    for (int i = 1; i <= n; ++i) {
        auto& to = A.MutableRow(Offset + i);
        for (const auto& e : Asm.Row(i)) to.push_back({Offset + e.col, static_cast<Double>(e.value)});
        BBC(Offset + i) = static_cast<Double>(Bsm(i));
    }
}

// True when the kept copy may serve this assembly: its inputs stand when
// "FlowandEMultipliers.csv", where the last assembly looked it up, still
// holds the bytes it was parsed from. The file is looked at exactly as the
// first lookup of an assembly would look at it (the same message if it can
// no longer be read); the tables and checks the last assembly met are the
// same, so it met no error before that first lookup either.
bool CopyStands(ModelState& s) {
    const TransportCopy& copy = s.work.transport;
    return copy.valid && (!copy.multipliersConsulted || LookAtMultipliers(s));
}

// A and BBC from the kept copy of the transport part.
void TakeTransportCopy(ModelState& s, DSparse& A, DVector& BBC) {
    TransportCopy& copy = s.work.transport;
    ClearSystem(A, BBC, s.opt.NEQN);
    for (int i = 1; i <= s.opt.NEQN; ++i) {
        A.MutableRow(i) = copy.A.Row(i);
        BBC(i) = copy.BBC(i);
    }
    if (s.mb.MassBalanceOn) s.mb.MBBoundaryRowCount = copy.mbBoundaryRows;
    ++copy.copies;
}

void KeepTransportCopy(ModelState& s, const DSparse& A, const DVector& BBC) {
    TransportCopy& copy = s.work.transport;
    const int NEQN = s.opt.NEQN;
    if (copy.A.Rows() != NEQN) copy.A.Resize(NEQN, "transport part of A");
    if (copy.BBC.Size() != NEQN) copy.BBC.Resize(NEQN, "transport part of BBC");
    for (int i = 1; i <= NEQN; ++i) {
        copy.A.MutableRow(i) = A.Row(i);
        copy.BBC(i) = BBC(i);
    }
    copy.multipliersConsulted = s.inputs.multipliersChecked;
    copy.mbBoundaryRows = s.mb.MassBalanceOn ? s.mb.MBBoundaryRowCount : 0;
    copy.valid = true;
    ++copy.assemblies;
}

}  // namespace

void LoadATrans(ModelState& s, DSparse& A, DVector& BBC) {
    ClearSystem(A, BBC, s.opt.NEQN);
    if (s.mb.MassBalanceOn) s.mb.MBBoundaryRowCount = 0;
    CheckMultipliersAgain(s);  // the file may have been rewritten since the last assembly

    // Kept from call to call: a time step allocates nothing here.
    SSparse& Asm = s.work.Asm;
    SVector& Bsm = s.work.Bsm;
    int Offset = 0;
    for (int sv = 1; sv <= s.opt.NSV; ++sv) {
        const Integer ISV = static_cast<Integer>(sv);
        const Integer n = InteriorEquations(s, ISV);
        s.eq.NEQNsm(ISV) = n;
        if (n == 0)
            Error(s, "NEQNsm = 0 in LoadATrans: state variable " + Num(int(ISV)) + " is computed in no interior "
                     "compartment (its row of \"SVCompmap.csv\" has no 1 for a compartment of kind 0)");
        if (Asm.Rows() != n) Asm.Resize(n, "Asm");
        Asm.Clear();
        if (Bsm.Size() != n) Bsm.Resize(n, "Bsm");
        Bsm.Fill(0);
        Transport(s, Asm, Bsm, ISV);
        if (ISV > 1) Offset += s.eq.NEQNsm(ISV - 1);
        CopyBlock(Asm, Bsm, Offset, A, BBC);
    }

    if (s.mb.MassBalanceOn && s.mb.MBBoundaryRowCount != s.mb.MBBoundaryLength)
        Error(s, "MBBoundaryRowCount <> MBBoundaryLength in LoadATrans: " + Num(int(s.mb.MBBoundaryRowCount)) +
                     " interfaces to boundary compartments now, " + Num(int(s.mb.MBBoundaryLength)) +
                     " counted at the start of the run (tables " + TimeInText(s.sys.TablesTime) +
                     "; did a compartment change its kind in a time-variable \"Compartments.csv\" or its "
                     "neighbours in \"Interfaces.csv\"?)");
}

void LoadATransForStep(ModelState& s, DSparse& A, DVector& BBC) {
    TransportCopy& copy = s.work.transport;
    // Tables re-read during the run or weights it recomputes: no copy can stand.
    if (!copy.allowed || s.opt.TimeVarParms || s.tables.VariableAlpha) {
        LoadATrans(s, A, BBC);
        ++copy.assemblies;
        return;
    }
    CheckMultipliersAgain(s);
    if (CopyStands(s)) {
        TakeTransportCopy(s, A, BBC);
        return;
    }
    copy.valid = false;
    LoadATrans(s, A, BBC);
    KeepTransportCopy(s, A, BBC);
}

}  // namespace ostra
