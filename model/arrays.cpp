// arrays.cpp -- index faults and the Integer conversions of table values.
#include "model/arrays.h"

#include <cmath>

#include "textio/number_format.h"

namespace ostra {

void IndexFault(const char* name, long i, long j, long rows, long cols) {
    std::string msg = "index outside its array: ";
    msg += name;
    if (j < 0) {
        msg += "(" + std::to_string(i) + ") of a vector of " + std::to_string(rows) + " entries";
    } else {
        msg += "(" + std::to_string(i) + ", " + std::to_string(j) + ") of a " +
               std::to_string(rows) + " x " + std::to_string(cols) + " table";
    }
    throw textio::DataError(msg);
}

Integer RoundToInteger(double x, const char* what) {
    const double r = std::nearbyint(x);  // the default rounding mode: halves to even
    if (!(r >= -32768.0 && r <= 32767.0))
        throw textio::DataError(std::string(what) + " =" + textio::FormatDouble(x) +
                                "is outside the Integer range -32768 to 32767");
    return static_cast<Integer>(r);
}

Integer CheckedInteger(long value, const char* what) {
    if (value < -32768 || value > 32767)
        throw textio::DataError(std::string(what) + " = " + std::to_string(value) +
                                " is outside the Integer range -32768 to 32767");
    return static_cast<Integer>(value);
}

}  // namespace ostra
