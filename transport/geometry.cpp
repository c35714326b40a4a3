// geometry.cpp -- centroid distances and distance-weighted upwind factors.
//
// Exports: GetLength, UpdateALPHA.
//
// Compartment centroids are columns 4, 5, 6 (x, y, z) of Compartment. Each
// interface group of Inface gives the distance from the compartment's
// centroid to the interface (offset +2); linear interpolation between the two
// centroids gives compartment I the weight dJ / (dI + dJ) at the interface,
// so the nearer centroid weighs more.
#include "transport/geometry.h"

#include <cmath>
#include <string>

#include "model/error.h"
#include "model/table_readers.h"
#include "textio/number_format.h"

namespace ostra {

namespace {

constexpr const char* DISTANCE_MISSING = "distance from centroid to interface = -999 in UpdateAlpha";

std::string Num(long value) { return std::to_string(value); }

// Column of Inface holding the adjacent compartment of interface K (1-based).
int InterfaceColumn(int K) { return 2 + NCOL_INFACE * (K - 1); }

// The distance from the centroid of `adj` to its first interface that names
// compartment I. Ends the run when `adj` lists no interface to I.
Single NeighbourDistance(ModelState& s, Integer I, int K, Integer adj) {
    const Integer nasAdj = CompartmentNAS(s, adj);
    for (int Kadj = 1; Kadj <= nasAdj; ++Kadj) {
        const int c = InterfaceColumn(Kadj);
        if (s.tables.Inface(adj, c) == I) return s.tables.Inface(adj, c + 2);
    }
    Error(s, "compartment " + Num(adj) + " lists no interface to compartment " + Num(I) +
                 " in \"Interfaces.csv\", so the distance from its centroid to interface " + Num(K) +
                 " of compartment " + Num(I) + " is unknown in UpdateAlpha");
}

}  // namespace

Single GetLength(ModelState& s, Integer LengthOption, Integer I, Integer J) {
    Single Length = MISSING;
    if (LengthOption == 1) {
        const SMatrix& table = s.tables.Compartment;
        for (int col = 4; col <= 6; ++col) {
            if (table(I, col) == MISSING || table(J, col) == MISSING)
                Error(s, "-999 data error in Compartment(*," + Num(col) + ") in GetLength: the centroid "
                         "coordinate in column " + Num(col) + " of \"Compartments.csv\" is -999 for compartment " +
                         Num(table(I, col) == MISSING ? I : J) + ", but the distance between compartments " +
                         Num(I) + " and " + Num(J) + " is needed (a mixing length, an extrapolated boundary or "
                         "the positivity criterion)");
        }
        Length = 0;
        for (int col = 4; col <= 6; ++col) {
            const Single d = table(I, col) - table(J, col);
            Length = Length + d * d;
        }
        Length = std::sqrt(Length);
    } else {
        Error(s, "MixLengthOption <> 1 or 2");
    }
    if (Length == MISSING) Error(s, "Length = -999 in GetLength");
    return Length;
}

void UpdateALPHA(ModelState& s) {
    SMatrix& alpha = s.tables.ALPHAweighted;
    const SMatrix& inface = s.tables.Inface;
    for (Integer I : OneTo(s.setup.NT)) {
        alpha(I, 1) = I;
        if (s.tables.Compartment(I, 3) != 0) continue;
        const Integer nas = CompartmentNAS(s, I);
        for (int K = 1; K <= nas; ++K) {
            const int c = InterfaceColumn(K);
            const Integer adj = AdjacentCompartment(s, I, K);
            if (adj == I)
                Error(s, "AdjSectnNum = I in UpdateAlpha: interface " + Num(K) + " of compartment " + Num(I) +
                             " in \"Interfaces.csv\" names compartment " + Num(I) + " itself");
            if (adj < 1 || adj > s.setup.NT) {
                Error(s, "AdjSectnNum = " + Num(adj) + " of interface " + Num(K) + " of compartment " +
                             Num(I) + " in \"Interfaces.csv\" is not a compartment 1 to " +
                             Num(s.setup.NT) + " in UpdateAlpha");
            }
            const Single dI = inface(I, c + 2);
            if (dI == MISSING)
                Error(s, std::string(DISTANCE_MISSING) + ": interface " + Num(K) + " of compartment " + Num(I) +
                             " in \"Interfaces.csv\" (to compartment " + Num(adj) +
                             ") gives no distance; weighting factors other than 1 need it");
            const Single dJ = NeighbourDistance(s, I, K, adj);
            if (dJ == MISSING)
                Error(s, std::string(DISTANCE_MISSING) + ": the interface of compartment " + Num(adj) +
                             " to compartment " + Num(I) + " in \"Interfaces.csv\" gives no distance; weighting "
                             "factors other than 1 need it");
            const Single sum = dI + dJ;
            if (sum == 0) {
                Error(s, "dI + dJ = 0 in UpdateAlpha: the distances from the centroids of compartments " +
                             Num(I) + " and " + Num(adj) + " to their interface (interface " + Num(K) +
                             " of compartment " + Num(I) + " in \"Interfaces.csv\") add up to 0");
            }
            alpha(I, 2 * K) = adj;
            alpha(I, 2 * K + 1) = dJ / sum;
            const Single w = alpha(I, 2 * K + 1);
            if (w > 1 || w < 0) {
                const std::string weight = ": the distances " + textio::SingleInText(dI) + " (compartment " +
                                           Num(I) + ") and " + textio::SingleInText(dJ) + " (compartment " +
                                           Num(adj) + ") to their interface in \"Interfaces.csv\" give the weight " +
                                           textio::SingleInText(w) + "; distances must not be negative";
                if (w > 1) Error(s, "ALPHAweighted(I, 2 * K + 1) > 1 in UpdateAlpha" + weight);
                Error(s, "ALPHAweighted(I, 2 * K + 1) < 0 in UpdateAlpha" + weight);
            }
        }
    }
}

}  // namespace ostra
