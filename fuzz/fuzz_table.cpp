// fuzz_table.cpp -- libFuzzer harness of one input table: the fuzzer's bytes
// replace that table in an example model, and the model is checked as
// `ostra --check` checks it.
//
// Exports: LLVMFuzzerTestOneInput.
//
// Built once per table (fuzz/CMakeLists.txt) with
//   OSTRA_FUZZ_TABLE    the file the input replaces ("Flows.csv"),
//   OSTRA_FUZZ_EXAMPLE  the example model it replaces it in,
//   OSTRA_FUZZ_ORACLE   0, or a second opinion on a table kept as parsed:
//                       1 multipliers, 2 loads, 3 sources and sinks.
// The check runs the real run's procedures in the real order up to the
// first step or solve (ReadControl, SetupRun, the initial values, every
// table at time 0, the transport assembly with its flow balance, the
// positivity criterion, the sources, sinks and loads at time 0), so every
// check of the table's reader and of the procedures that use its values is
// reached with the state a run would have. Besides crashes and sanitizer
// reports the harness aborts when "Error.dng" reports a fault of the
// program rather than of the data (see InternalFault), and when the
// table's second opinion disagrees.
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

#include "app/silent_display.h"
#include "model/model_state.h"
#include "support/checked_run.h"
#include "support/scratch_model.h"
#include "support/table_oracles.h"

#ifndef OSTRA_FUZZ_TABLE
#error "OSTRA_FUZZ_TABLE names the table this harness replaces"
#endif
#ifndef OSTRA_FUZZ_EXAMPLE
#error "OSTRA_FUZZ_EXAMPLE names the example model the table is replaced in"
#endif
#ifndef OSTRA_FUZZ_ORACLE
#define OSTRA_FUZZ_ORACLE 0
#endif

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace ostra;
    const fuzz::ExampleModel& example = fuzz::FindExample(OSTRA_FUZZ_EXAMPLE);
    const std::string table(reinterpret_cast<const char*>(data), size);
    const std::filesystem::path& dir = fuzz::WriteModel(example, {{OSTRA_FUZZ_TABLE, table}});

    fuzz::CheckedRun(dir, true);
    if (OSTRA_FUZZ_ORACLE != 0) {
        SilentDisplay display;
        ModelState s(dir, display);
        if (fuzz::PrepareTimeZero(s)) {
            switch (OSTRA_FUZZ_ORACLE) {
                case 1: fuzz::CheckMultiplierLookups(s); break;
                case 2: fuzz::CheckLoadsReading(s); break;
                case 3: fuzz::CheckSourcesReading(s); break;
                default: break;
            }
        }
    }
    return 0;
}
