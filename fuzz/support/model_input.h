// model_input.h -- the input of the whole-run harness: an example model and
// the tables that replace some of its own.
//
// Exports: ModelInput, ParseModelInput, SerializeModelInput,
// MutateModelInput, CrossOverModelInputs.
//
// Layout (every byte string is a valid input):
//   byte 0            the example number, modulo the number of examples
//                     (Examples() in scratch_model.h); the quotient, when
//                     odd, makes the finite-difference Jacobians of the run
//                     column by column (else as OSTRA_FD_JACOBIAN says;
//                     grouped when it is unset);
//   then records of   1 byte  table number, modulo the number of tables
//                             (TableNames()),
//                     2 bytes length n, little-endian,
//                     n bytes the table (cut short by the end of the input).
// A later record of the same table replaces an earlier one. A table the
// example does not have is added to the model.
//
// The mutator changes one thing at a time while the rest of the model stays
// valid: the bytes of one replaced table (by libFuzzer's own mutations), a
// table newly replaced by a copy of the example's own (or of another
// example's, when it has none), a replacement dropped, the example changed,
// or one choice of how the run solves: the linear solver ("Control.csv"
// lines 73 and 74, Gauss-Jordan or sparse LU), the analytic or the
// finite-difference Jacobian (line 34), the finite-difference Jacobian
// grouped or column by column. That keeps most executions past
// "Control.csv" and the set-up, so the checks of every reader and both ways
// of every solver are reached.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

namespace ostra::fuzz {

struct ModelInput {
    std::size_t example = 0;                    // index into Examples()
    bool fdColumns = false;                     // finite-difference Jacobians column by column
    std::map<std::string, std::string> tables;  // table name (TableNames()) -> bytes
};

ModelInput ParseModelInput(const std::uint8_t* data, std::size_t size);
std::string SerializeModelInput(const ModelInput& input);

// libFuzzer's custom mutator and cross-over (see LLVMFuzzerCustomMutator).
std::size_t MutateModelInput(std::uint8_t* data, std::size_t size, std::size_t maxSize, unsigned seed);
std::size_t CrossOverModelInputs(const std::uint8_t* a, std::size_t aSize, const std::uint8_t* b,
                                 std::size_t bSize, std::uint8_t* out, std::size_t maxOutSize, unsigned seed);

}  // namespace ostra::fuzz
