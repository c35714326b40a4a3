// checked_run.h -- one whole run of the model in a directory, in process,
// with every check of its outcome.
//
// Exports: CheckedRun.
#pragma once

#include <filesystem>
#include <functional>

#include "model/model_state.h"

#include "support/run_limits.h"

namespace ostra::fuzz {

// Runs the model in `dir` as the run button does (FormLoad, RunOstraClick)
// with a display that answers nothing and asks the run to stop when the
// budget of `limits` is spent, then aborts through Finding when the
// run reported a fault of the program (InternalFault) or left its files in
// a state it must not (CheckRunResults). Returns the exit status. With
// `check` the run stops where the first step or solve would begin, as
// `ostra --check`, and only the exit status and the fault are checked.
int CheckedRun(const std::filesystem::path& dir, bool check, const RunLimits& limits = RunLimits{});

// As CheckedRun (not a check), with `prepare` given the run's state before
// the run and `inspect` given it and the exit status after the checks.
int CheckedRun(const std::filesystem::path& dir, const RunLimits& limits,
               const std::function<void(ModelState&)>& prepare,
               const std::function<void(const ModelState&, int)>& inspect);

}  // namespace ostra::fuzz
