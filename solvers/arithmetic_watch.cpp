// arithmetic_watch.cpp -- the floating-point exception flags around a computation.
#include "solvers/arithmetic_watch.h"

#include <cmath>

#include "textio/errors.h"

namespace ostra {
namespace {

constexpr int WATCHED = FE_OVERFLOW | FE_DIVBYZERO | FE_INVALID;

}  // namespace

ArithmeticWatch::ArithmeticWatch() {
    std::fegetexceptflag(&saved_, WATCHED);
    std::feclearexcept(WATCHED);
}

ArithmeticWatch::~ArithmeticWatch() {
    // Flags raised meanwhile stay raised; the others get their earlier state back.
    const int raised = std::fetestexcept(WATCHED);
    std::fesetexceptflag(&saved_, WATCHED & ~raised);
}

std::string ArithmeticWatch::Raised() const {
    const int raised = std::fetestexcept(WATCHED);
    std::string text;
    auto add = [&text](const char* what) {
        if (!text.empty()) text += " and ";
        text += what;
    };
    if (raised & FE_OVERFLOW) add("floating-point overflow");
    if (raised & FE_DIVBYZERO) add("division by zero");
    if (raised & FE_INVALID) add("invalid floating-point operation");
    return text;
}

std::string NonFiniteText(double value) {
    if (std::isnan(value)) return "not a number";
    if (std::isinf(value)) return value > 0 ? "infinite" : "minus infinite";
    return "";
}

void CheckSolution(const ArithmeticWatch& watch, const char* who, const DVector& X, int N) {
    const std::string raised = watch.Raised();
    int bad = 0;
    for (int I = 1; I <= N && bad == 0; ++I)
        if (!std::isfinite(X(I))) bad = I;
    if (raised.empty() && bad == 0) return;
    std::string msg = raised.empty() ? std::string(who) : raised + " in " + who;
    msg += " while solving " + std::to_string(N) + " equations";
    if (bad != 0) msg += ": the solution of equation " + std::to_string(bad) + " is " + NonFiniteText(X(bad));
    throw textio::DataError(msg);
}

}  // namespace ostra
