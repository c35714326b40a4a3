// equation_names.cpp -- equation numbers turned back into state variable and
// compartment.
#include "model/equation_names.h"

#include "textio/number_format.h"

namespace ostra {

std::string EquationName(const ModelState& s, int e) {
    std::string name = "equation " + std::to_string(e);
    if (s.opt.EquationSolver) return name;
    const EquationMaps& eq = s.eq;
    int offset = 0;
    for (int ISV = 1; ISV <= eq.NEQNsm.Size(); ++ISV) {
        const int n = eq.NEQNsm(ISV);
        if (e > offset && e <= offset + n) {
            const int k = e - offset;
            if (ISV > eq.EqnToSectn.Rows() || k > eq.EqnToSectn.Cols()) break;
            return name + " (state variable " + std::to_string(ISV) + " in compartment " +
                   std::to_string(eq.EqnToSectn(ISV, k)) + ")";
        }
        offset += n;
    }
    // Before the first assembly NEQNsm is not known yet: walk the map.
    int count = 0;
    const RunSetup& u = s.setup;
    for (int ISV = 1; ISV <= u.SVCompMap.Rows(); ++ISV)
        for (int K = 1; K <= u.SVCompMap.Cols(); ++K)
            if (u.SVCompMap(ISV, K) == 1 && K <= s.tables.Compartment.Rows() &&
                s.tables.Compartment(K, 3) == 0 && ++count == e)
                return name + " (state variable " + std::to_string(ISV) + " in compartment " +
                       std::to_string(K) + ")";
    return name;
}

std::string TimeInText(Double t) {
    if (t == MISSING_VALUE) return "at steady state";
    return "at time " + textio::NumberInText(t);
}

}  // namespace ostra
