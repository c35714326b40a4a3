// fuzz_control.cpp -- libFuzzer harness of "Control.csv": the fuzzer's bytes
// are the run options of a model that can be run in either mode.
//
// Exports: LLVMFuzzerTestOneInput.
//
// The model is examples/river-network with, added, the equation-solver
// files of examples/equation-solver (3 equations), and with starting guesses
// for both modes (scratch_model.h), so that a changed mode word, linearity or steady/dynamic
// choice still meets the files it needs. Each input is first checked as
// `ostra --check` checks a model (ReadControl with all its checks, the
// set-up, the tables at time 0); a model that passes is then run, in
// process, and its result files are checked (checked_run.h). Inputs asking
// for more than RunLimits (run_limits.h) are skipped.
#include <cstddef>
#include <cstdint>
#include <string>

#include "support/checked_run.h"
#include "support/run_limits.h"
#include "support/scratch_model.h"

namespace {

// river-network, able to run in "EQNS" mode and with Newton iteration too.
const ostra::fuzz::ExampleModel& BothModes() {
    using ostra::fuzz::FindExample;
    static const ostra::fuzz::ExampleModel model = [] {
        ostra::fuzz::ExampleModel m = FindExample("river-network");
        m.name = "river-network with equation-solver files";
        for (const auto& [name, bytes] : FindExample("equation-solver").tables)
            if (name != "Control.csv") m.tables[name] = bytes;
        m.tables["GuessEqnSolver.csv"] = "1\n1\n1\n";
        return m;
    }();
    return model;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace ostra::fuzz;
    const std::string control(reinterpret_cast<const char*>(data), size);
    const std::filesystem::path& dir = WriteModel(BothModes(), {{"Control.csv", control}});
    const LimitsCheck limits = CheckControlLimits(dir, RunLimits{});
    if (!limits.within) return -1;
    if (CheckedRun(dir, true) != 0 || !limits.readable) return 0;
    WriteModel(BothModes(), {{"Control.csv", control}});
    CheckedRun(dir, false);
    return 0;
}
