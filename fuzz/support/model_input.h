// model_input.h -- the input of the whole-run harness: an example model and
// the tables that replace some of its own.
//
// Exports: ModelInput, ParseModelInput, SerializeModelInput,
// MutateModelInput, CrossOverModelInputs.
//
// Layout (every byte string is a valid input):
//   byte 0            the example number, modulo the number of examples
//                     (Examples() in scratch_model.h);
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
// example's, when it has none), a replacement dropped, or the example
// changed. That keeps most executions past "Control.csv" and the set-up, so
// the checks of every reader are reached.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

namespace ostra::fuzz {

struct ModelInput {
    std::size_t example = 0;                    // index into Examples()
    std::map<std::string, std::string> tables;  // table name (TableNames()) -> bytes
};

ModelInput ParseModelInput(const std::uint8_t* data, std::size_t size);
std::string SerializeModelInput(const ModelInput& input);

// libFuzzer's custom mutator and cross-over (see LLVMFuzzerCustomMutator).
std::size_t MutateModelInput(std::uint8_t* data, std::size_t size, std::size_t maxSize, unsigned seed);
std::size_t CrossOverModelInputs(const std::uint8_t* a, std::size_t aSize, const std::uint8_t* b,
                                 std::size_t bSize, std::uint8_t* out, std::size_t maxOutSize, unsigned seed);

}  // namespace ostra::fuzz
