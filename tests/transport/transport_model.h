// transport_model.h -- small compartment models built directly in a
// ModelState for the transport tests, sized as the run set-up sizes them.
//
// Exports: Model, Fatal.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "model/error.h"
#include "support/test_support.h"
#include "transport/transport.h"

namespace ostra::testing {

// NT compartments (interior, at the origin, water content 1, no interfaces),
// NSV state variables; flow, exchange and boundary rows carry their state
// variable and compartment numbers as the readers leave them.
struct Model {
    Model(int NT, int NSV, int NAS) {
        s.opt.NSV = Integer(NSV), s.opt.NAS = Integer(NAS), s.opt.MixLengthOption = 2, s.opt.FlowBalanceTol = 1;
        s.setup.NT = Integer(NT), s.setup.MaxNSVxNT = Integer(NT * NSV), s.setup.NColBoundary = NCOL_BOUNDARY;
        s.setup.NColInface = NCOL_INFACE, s.setup.NColFlow = NCOL_FLOW, s.setup.NColECoef = NCOL_ECOEF;
        s.setup.SVCompMap.Resize(NSV, NT), s.eq.NEQNsm.Resize(NSV), s.eq.SectnToEqn.Resize(NSV, NT);
        auto& tb = s.tables;
        tb.Compartment.Resize(NT, 10), tb.Inface.Resize(NT, 5 * NAS + 1), tb.Boundary.Resize(NT * NSV, 3);
        tb.Flow.Resize(NT * NSV, 2 * NAS + 2), tb.ECoef.Resize(NT * NSV, 2 * NAS + 2);
        tb.ALPHAweighted.Resize(NT, 2 * NAS + 1);
        for (int K = 1; K <= NT; ++K) {
            Comp(K, 0);
            for (int ISV = 1; ISV <= NSV; ++ISV)
                tb.Flow(Row(ISV, K), 2) = tb.ECoef(Row(ISV, K), 2) = tb.Boundary(Row(ISV, K), 2) = float(K),
                tb.Boundary(Row(ISV, K), 1) = float(ISV);
        }
    }
    int Row(int ISV, int K) const { return (ISV - 1) * s.setup.NT + K; }
    // Kind, x coordinate of the centroid and water content of K; every state
    // variable is computed in an interior compartment until a test says otherwise.
    void Comp(int K, float kind, float x = 0, float WC = 1) {
        float* c = s.tables.Compartment.Row(K);
        c[1] = float(K), c[3] = kind, c[4] = x, c[5] = c[6] = 0, c[9] = WC;
        for (int ISV = 1; ISV <= s.opt.NSV; ++ISV) s.setup.SVCompMap(ISV, K) = kind == 0;
    }
    // Appends interface n of K to IAS with flow Q into K and exchange
    // coefficient E for every state variable; returns n.
    int Link(int K, int IAS, float Q, float E, float ALPHA = 1, float Area = 1, float MixLength = 1) {
        const int n = int(s.tables.Compartment(K, 2)) + 1;
        s.tables.Compartment(K, 2) = float(n);
        const float group[5] = {float(IAS), Area, 0.5f, MixLength, ALPHA};
        for (int off = 0; off < 5; ++off) Iface(K, n, off) = group[off];
        for (int ISV = 1; ISV <= s.opt.NSV; ++ISV) {
            s.tables.Flow(Row(ISV, K), 1 + 2 * n) = s.tables.ECoef(Row(ISV, K), 1 + 2 * n) = float(IAS);
            s.tables.Flow(Row(ISV, K), 2 + 2 * n) = Q, s.tables.ECoef(Row(ISV, K), 2 + 2 * n) = E;
        }
        return n;
    }
    float& Iface(int K, int n, int off) { return s.tables.Inface(K, 2 + 5 * (n - 1) + off); }
    // Equation maps as the parameter update derives them, NEQN, A and BBC;
    // with mass balance on, MBBoundary sized as the mass balance counts it.
    void Number(bool massBalance = false) {
        int NEQN = 0, records = 0;
        for (int ISV = 1; ISV <= s.opt.NSV; ++ISV)
            for (int I = 1, k = 0; I <= s.setup.NT; ++I) {
                const bool held = s.setup.SVCompMap(ISV, I) == 1;
                s.eq.SectnToEqn(ISV, I) = Integer(held ? ++k : MISSING);
                NEQN += held;
                for (int n = 1; held && massBalance && n <= int(s.tables.Compartment(I, 2)); ++n)
                    records += s.tables.Compartment(int(Iface(I, n, 0)), 3) != 0;
            }
        s.opt.NEQN = Integer(NEQN), s.sys.A.Resize(NEQN), s.sys.BBC.Resize(NEQN);
        s.mb.MassBalanceOn = massBalance, s.mb.MBBoundaryLength = Integer(massBalance ? records : 0);
        s.mb.MBBoundary.Resize(s.mb.MBBoundaryLength, 5);
    }
    // Transport of ISV into fresh Asm and Bsm sized by its equations.
    void Assemble(int ISV = 1) {
        int n = 0;
        for (int I = 1; I <= s.setup.NT; ++I) n += s.eq.SectnToEqn(ISV, I) != MISSING;
        Asm.Resize(n), Bsm.Resize(n), s.mb.MBBoundaryRowCount = 0;
        Transport(s, Asm, Bsm, Integer(ISV));
    }
    // Asm and Bsm addressed by compartment numbers.
    float A(int K, int J, int ISV = 1) const { return Asm(s.eq.SectnToEqn(ISV, K), s.eq.SectnToEqn(ISV, J)); }
    float B(int K, int ISV = 1) const { return Bsm(s.eq.SectnToEqn(ISV, K)); }

    TempDir dir;
    TestState t{dir.Path()};
    ModelState& s = t.s;
    SSparse Asm;
    SVector Bsm;
};

// Runs `step`, which must end the run with a fatal data error, and returns
// the message of "Error.dng" without its "Error:  " and CR LF.
inline std::string Fatal(Model& m, const std::function<void()>& step) {
    try {
        step();
    } catch (const RunEnded& end) {
        EXPECT_EQ(end.status, EXIT_FATAL_DATA);
        const std::string text = m.dir.Read("Error.dng");
        return text.size() >= 10 ? text.substr(8, text.size() - 10) : text;
    }
    ADD_FAILURE() << "the run did not end";
    return "";
}

}  // namespace ostra::testing
