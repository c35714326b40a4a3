// fuzz_whole_run.cpp -- libFuzzer harness of whole runs, in process, on
// model directories built from the example models.
//
// Exports: LLVMFuzzerTestOneInput, LLVMFuzzerCustomMutator,
// LLVMFuzzerCustomCrossOver.
//
// The input names an example model and the tables that replace some of its
// own (model_input.h); the custom mutator changes one table, or one choice
// of how the run solves (linear solver, Jacobian), at a time, so that the
// other tables stay valid and the checks of every reader, of the
// set-up, the time loop, the solvers and the result writers are reached.
// Each execution writes the model into the process's scratch directory,
// with the example's companion programs linked in from the build, and runs
// it as the run button does (FormLoad, RunOstraClick) with a display that
// answers nothing: an empty answer to the positivity prompt ends the run.
//
// Inputs whose "Control.csv" asks for a model or a run larger than
// RunLimits (run_limits.h) are skipped (and kept out of the corpus), and
// the display ends a run that takes more time steps, Newton iterations or
// companion starts than RunLimits allow. The companion programs of the
// examples (kinetics, quadratic-steady, nonlinear-sorption) are not
// started: their work is done in process by the functions the programs are
// built from (companion_stand_ins.h), through the same request and answer
// files, so that a nonlinear run, which asks for its terms at every
// evaluation of its residual, pays no 10 ms program start each time. The
// input may also ask for the finite-difference Jacobians to be formed column
// by column (model_input.h), which the run is told through its state, not
// through OSTRA_FD_JACOBIAN.
//
// With OSTRA_FUZZ_STATS set, the process prints at exit how many runs ended
// with each exit status.
//
// Findings, besides crashes, sanitizer reports and time-outs: a program
// fault reported as a data error, and the result files of the run not as
// its exit status says they must be (result_checks.h).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "support/checked_run.h"
#include "support/companion_stand_ins.h"
#include "support/model_input.h"
#include "support/run_limits.h"
#include "support/scratch_model.h"

namespace {

// With OSTRA_FUZZ_STATS set, how the runs of this process ended, printed at exit.
void Tally(int status) {
    static const bool wanted = std::getenv("OSTRA_FUZZ_STATS") != nullptr;
    if (!wanted) return;
    static std::map<int, long> counts;
    static const bool registered = std::atexit([] {
        for (const auto& [code, n] : counts) std::fprintf(stderr, "runs ended with status %d: %ld\n", code, n);
    }) == 0;
    (void)registered;
    ++counts[status];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace ostra::fuzz;
    const ModelInput input = ParseModelInput(data, size);
    const ExampleModel& example = Examples()[input.example];
    const std::filesystem::path& dir = WriteModel(example, input.tables);
    const RunLimits limits;
    if (!CheckControlLimits(dir, limits).within) return -1;
    auto prepare = [&](ostra::ModelState& s) {
        s.companionRunner = StandInRunner(example);
        if (input.fdColumns) s.fdJacobian.mode = ostra::FdJacobianMode::Columns;
    };
    Tally(CheckedRun(dir, limits, prepare, nullptr));
    return 0;
}

extern "C" std::size_t LLVMFuzzerCustomMutator(std::uint8_t* data, std::size_t size, std::size_t maxSize,
                                               unsigned int seed) {
    return ostra::fuzz::MutateModelInput(data, size, maxSize, seed);
}

extern "C" std::size_t LLVMFuzzerCustomCrossOver(const std::uint8_t* a, std::size_t aSize, const std::uint8_t* b,
                                                 std::size_t bSize, std::uint8_t* out, std::size_t maxOutSize,
                                                 unsigned int seed) {
    return ostra::fuzz::CrossOverModelInputs(a, aSize, b, bSize, out, maxOutSize, seed);
}
