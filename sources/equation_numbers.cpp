// equation_numbers.cpp -- global equation numbers and the checks of records
// that name a (state variable, compartment) pair.
#include "sources/equation_numbers.h"

#include "model/error.h"

namespace ostra {

int EquationOffset(const ModelState& s, int ISV) {
    int offset = 0;
    for (int j = 1; j < ISV; ++j) offset += s.eq.NEQNsm(j);
    return offset;
}

int EquationOf(const ModelState& s, int ISV, int K) {
    const int local = s.eq.SectnToEqn(ISV, K);
    if (local == MISSING) return MISSING;
    return EquationOffset(s, ISV) + local;
}

std::string RecordAt::Where() const {
    return "file \"" + std::string(file) + "\", line " + std::to_string(line);
}

void CheckRecordCompartment(ModelState& s, const RecordAt& in, const char* procedure, int K) {
    const int NT = s.setup.NT;
    if (K < 1 || K > NT)
        Error(s, in.Where() + ": compartment " + std::to_string(K) +
                     " is not a compartment number from 1 to " + std::to_string(NT) + " in " +
                     procedure);
}

int RecordEquation(ModelState& s, const RecordAt& in, const char* procedure, int ISV, int K) {
    CheckRecordCompartment(s, in, procedure, K);
    const int NSV = s.opt.NSV;
    if (ISV < 1 || ISV > NSV)
        Error(s, in.Where() + ": state variable " + std::to_string(ISV) + " (compartment " +
                     std::to_string(K) + ") is not a state variable number from 1 to " +
                     std::to_string(NSV) + " in " + procedure);
    const int e = EquationOf(s, ISV, K);
    if (e == MISSING)
        Error(s, in.Where() + ": state variable " + std::to_string(ISV) +
                     " has no equation in compartment " + std::to_string(K) +
                     " (SectnToEqn = -999) in " + procedure);
    return e;
}

}  // namespace ostra
