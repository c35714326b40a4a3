// count_notes.cpp -- the counts of "Control.csv" named for messages.
#include "model/count_notes.h"

namespace ostra {
namespace {

std::string N(long v) { return std::to_string(v); }

std::string CompartmentText(const ModelState& s) {
    return "NT = NTCount1 + NTCount2 = " + N(s.setup.NT) + (s.setup.NT == 1 ? " compartment" : " compartments");
}

}  // namespace

std::string CompartmentCountNote(const ModelState& s, const std::string& needs) {
    return "\"Control.csv\" pair 5 (line 10) gives " + CompartmentText(s) + ", so the file needs " + needs;
}

std::string TableCountNote(const ModelState& s, int perRecord, const std::string& needs) {
    const long NSV = s.opt.NSV, NT = s.setup.NT;
    const std::string what =
        perRecord > 0 ? "NSV x NT = " + N(NSV) + " x " + N(NT) + " = " + N(NSV * NT) + " records of " +
                            N(perRecord) + " values"
                      : needs;
    return "\"Control.csv\" pair 5 (line 10) gives NSV = " + N(NSV) +
           (NSV == 1 ? " state variable and " : " state variables and ") + CompartmentText(s) +
           ", so the file needs " + what;
}

std::string EquationCountNote(const ModelState& s, const std::string& needs) {
    const std::string from = s.opt.EquationSolver ? "\"Control.csv\" pair 4 (line 8)" : "\"SVCompmap.csv\"";
    return from + " gives NEQN = " + N(s.opt.NEQN) + (s.opt.NEQN == 1 ? " equation" : " equations") +
           ", so the file needs " + needs;
}

}  // namespace ostra
