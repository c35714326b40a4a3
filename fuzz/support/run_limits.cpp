// run_limits.cpp -- how large and how long a run a fuzzed model may ask for.
//
// Exports (run_limits.h): CheckControlLimits.
#include "support/run_limits.h"

#include <algorithm>
#include <cmath>
#include <exception>

#include "app/run_options.h"
#include "app/silent_display.h"
#include "model/error.h"
#include "model/model_state.h"

namespace ostra::fuzz {

LimitsCheck CheckControlLimits(const std::filesystem::path& dir, const RunLimits& limits) {
    LimitsCheck check;
    SilentDisplay display;
    ModelState s(dir, display);
    try {
        ReadControl(s);
    } catch (const RunEnded&) {
        return check;
    } catch (const std::exception&) {
        return check;
    }
    check.readable = true;
    const RunOptions& o = s.opt;
    auto refuse = [&](const std::string& why) {
        check.within = false;
        check.reason = why;
        return check;
    };
    const bool newton = !o.Linear && !(o.Dynamic && (o.DynType == 1 || o.DynType == 2) && !o.NonlinearRV);
    if (o.EquationSolver) {
        if (o.NEQN > limits.maxEquations) return refuse("NEQN " + std::to_string(o.NEQN));
    } else {
        const long NT = long{o.NTCount1} + o.NTCount2;
        const long records = NT * o.NSV;
        if (NT > limits.maxCompartments) return refuse("NT " + std::to_string(NT));
        if (o.NAS > limits.maxNAS) return refuse("NAS " + std::to_string(o.NAS));
        if (records > limits.maxRecords) return refuse("NSV x NT " + std::to_string(records));
        if (!o.Linear && records > limits.maxNonlinearRecords)
            return refuse("nonlinear NSV x NT " + std::to_string(records));
    }
    const double steps = o.Dynamic ? std::max(0.0, std::floor(o.NumTimeSteps)) : 1.0;
    if (o.Dynamic && !(steps <= limits.maxSteps)) return refuse("NumTimeSteps " + std::to_string(o.NumTimeSteps));
    if (newton && o.NumRandomSamples > limits.maxRandomSamples)
        return refuse("NumRandomSamples " + std::to_string(o.NumRandomSamples));
    return check;
}

}  // namespace ostra::fuzz
