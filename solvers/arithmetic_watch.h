// arithmetic_watch.h -- floating-point faults of one computation, as a run error.
//
// Exports: ArithmeticWatch, NonFiniteText, CheckSolution.
//
// An overflow, a division by zero or an invalid operation (inf - inf, 0 * inf)
// in the linear solvers ends the run instead of passing infinite or undefined
// concentrations on to the rest of the run. The watch clears the three
// exception flags when it starts, reports which of them were raised since,
// and on destruction restores the flags that were set before it started
// (keeping any raised meanwhile).
#pragma once

#include <cfenv>
#include <string>

#include "model/arrays.h"

namespace ostra {

class ArithmeticWatch {
public:
    ArithmeticWatch();
    ~ArithmeticWatch();
    ArithmeticWatch(const ArithmeticWatch&) = delete;
    ArithmeticWatch& operator=(const ArithmeticWatch&) = delete;

    // "" when no fault was raised since the start, otherwise the faults in
    // words ("floating-point overflow", "division by zero", "invalid
    // floating-point operation"), joined by " and ".
    std::string Raised() const;

private:
    std::fexcept_t saved_{};
};

// "infinite", "minus infinite" or "not a number" for a non-finite value;
// "" for a finite one.
std::string NonFiniteText(double value);

// Ends the computation `who` with textio::DataError when the watch saw a
// fault or an entry of the solution X(1..N) is not finite; the message names
// the fault, the first such equation and its value.
void CheckSolution(const ArithmeticWatch& watch, const char* who, const DVector& X, int N);

}  // namespace ostra
