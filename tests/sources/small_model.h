// small_model.h -- small compartment models built directly in a ModelState
// for the tests of sources, sinks, loads and the mass balance.
//
// Exports: SmallModel, ErrorMessage.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "model/error.h"
#include "support/test_support.h"

namespace ostra::testing {

// A model of compartments 1..NT of the given kinds and NSV state variables,
// every state variable computed in every interior compartment unless
// Remove() takes it out. Defaults: volume 100, temperature 20, WC 1,
// theta 1, retardation 1, DELT 1, centroids on the x axis at x = I.
class SmallModel {
public:
    SmallModel(const std::vector<int>& kinds, int NSV, int maxInterfaces = 4)
        : state(dir.Path()), s(state.s) {
        const int NT = static_cast<int>(kinds.size());
        s.opt.NSV = static_cast<Integer>(NSV);
        s.opt.DELT = 1;
        s.opt.Dynamic = true;
        s.opt.XScale = 1;
        s.setup.NT = static_cast<Integer>(NT);
        s.setup.MaxNSVxNT = static_cast<Integer>(NT * NSV);
        s.setup.NColInface = NCOL_INFACE;
        s.setup.NColBoundary = NCOL_BOUNDARY;
        s.tables.Compartment.Resize(NT, NCOL_COMPARTMENT);
        s.tables.Inface.Resize(NT, 1 + NCOL_INFACE * maxInterfaces);
        s.tables.KdTempCoef.Resize(NT * NSV, NCOL_KD);
        s.tables.Boundary.Resize(NT * NSV, NCOL_BOUNDARY);
        s.setup.SVCompMap.Resize(NSV, NT);
        s.setup.Initial.Resize(NT * NSV, NCOL_INITIAL);
        for (int I = 1; I <= NT; ++I) {
            auto& C = s.tables.Compartment;
            C(I, 1) = static_cast<Single>(I);
            C(I, 3) = static_cast<Single>(kinds[I - 1]);
            C(I, 4) = static_cast<Single>(I);
            C(I, 7) = 100;
            C(I, 8) = 20;
            C(I, 9) = 1;
            s.tables.Inface(I, 1) = static_cast<Single>(I);
            for (int v = 1; v <= NSV; ++v) {
                s.setup.SVCompMap(v, I) = kinds[I - 1] == 0 ? 1 : 0;
                const int row = (v - 1) * NT + I;
                s.tables.KdTempCoef(row, 1) = static_cast<Single>(v);
                s.tables.KdTempCoef(row, 2) = static_cast<Single>(I);
                s.tables.KdTempCoef(row, 4) = 1;
                s.tables.Boundary(row, 1) = static_cast<Single>(v);
                s.tables.Boundary(row, 2) = static_cast<Single>(I);
                s.setup.Initial(row, 1) = v;
                s.setup.Initial(row, 2) = I;
            }
        }
        Renumber();
    }

    // State variable ISV is not computed in compartment K.
    void Remove(int ISV, int K) {
        s.setup.SVCompMap(ISV, K) = 0;
        Renumber();
    }

    // Interface of I to J with the given area, appended to I's list.
    void Connect(int I, int J, Single area) {
        const int n = static_cast<int>(s.tables.Compartment(I, 2)) + 1;
        s.tables.Compartment(I, 2) = static_cast<Single>(n);
        const int c = 2 + (n - 1) * NCOL_INFACE;
        s.tables.Inface(I, c) = static_cast<Single>(J);
        s.tables.Inface(I, c + 1) = area;
    }

    // Equation numbers, volumes and retardation from the tables; sizes the
    // equation vectors (zero) and the mass-balance records when it is on.
    void Renumber() {
        const int NT = s.setup.NT, NSV = s.opt.NSV;
        s.eq.SectnToEqn.Resize(NSV, NT);
        s.eq.EqnToSectn.Resize(NSV, NT);
        s.eq.NEQNsm.Resize(NSV);
        int NEQN = 0;
        for (int v = 1; v <= NSV; ++v) {
            int k = 0;
            for (int I = 1; I <= NT; ++I) {
                s.eq.SectnToEqn(v, I) = MISSING;
                s.eq.EqnToSectn(v, I) = MISSING;
            }
            for (int I = 1; I <= NT; ++I) {
                if (s.setup.SVCompMap(v, I) != 1) continue;
                ++k;
                s.eq.SectnToEqn(v, I) = static_cast<Integer>(k);
                s.eq.EqnToSectn(v, k) = static_cast<Integer>(I);
            }
            s.eq.NEQNsm(v) = static_cast<Integer>(k);
            NEQN += k;
        }
        s.opt.NEQN = static_cast<Integer>(NEQN);
        s.eq.EqnVolume.Resize(NEQN);
        s.eq.EqnRetard.Resize(NEQN);
        int e = 0;
        for (int v = 1; v <= NSV; ++v)
            for (int I = 1; I <= NT; ++I)
                if (s.setup.SVCompMap(v, I) == 1) {
                    ++e;
                    s.eq.EqnVolume(e) = s.tables.Compartment(I, 7);
                    s.eq.EqnRetard(e) = 1;
                }
        s.sys.c.Resize(NEQN);
        s.sys.A.Resize(NEQN);
        s.sys.B.Resize(NEQN);
        s.sys.BBC.Resize(NEQN);
    }

    // The global equation of (ISV, K) as the model numbers it.
    int Eqn(int ISV, int K) const {
        int offset = 0;
        for (int v = 1; v < ISV; ++v) offset += s.eq.NEQNsm(v);
        return offset + s.eq.SectnToEqn(ISV, K);
    }

    // Writes a model file (lines given with "\n", written with CR LF).
    void Write(const std::string& name, const std::string& text) const { dir.Write(name, Crlf(text)); }

    TempDir dir;
    TestState state;
    ModelState& s;
};

// Runs `f`, which must end the run through Error, and returns the message
// of "Error.dng" without its "Error:  " prefix and line end. Returns
// "(no error)" when `f` returns.
inline std::string ErrorMessage(SmallModel& m, const std::function<void()>& f) {
    try {
        f();
    } catch (const RunEnded& ended) {
        if (ended.status != EXIT_FATAL_DATA) return "(run ended with status " + std::to_string(ended.status) + ")";
        std::string text = m.dir.Read("Error.dng");
        const std::string prefix = "Error:  ";
        if (text.rfind(prefix, 0) == 0) text.erase(0, prefix.size());
        if (text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0) text.resize(text.size() - 2);
        return text;
    }
    return "(no error)";
}

}  // namespace ostra::testing
