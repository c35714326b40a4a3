// errors.h -- the exception that carries a fatal data error up to the run driver.
//
// Exports: DataError.
//
// Readers, array index checks and the linear solvers have no access to the
// run's display; they throw DataError with a message in the user's terms
// (file, line, field, value). The run driver catches it, writes "Error.dng"
// and ends the run exactly as a fatal error reported through Error does.
#pragma once

#include <stdexcept>
#include <string>

namespace textio {

class DataError : public std::runtime_error {
public:
    explicit DataError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace textio
