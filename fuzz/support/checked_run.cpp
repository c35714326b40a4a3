// checked_run.cpp -- one whole run of the model in a directory, in process,
// with every check of its outcome.
//
// Exports (checked_run.h): CheckedRun.
#include "support/checked_run.h"

#include <string>

#include "app/run_driver.h"
#include "app/silent_display.h"
#include "model/model_state.h"
#include "support/result_checks.h"
#include "support/scratch_model.h"

namespace ostra::fuzz {
namespace {

// A display that shows nothing (an empty answer to the positivity prompt
// ends the run, exit status 4) and asks the run to stop once its budget is
// spent. The run asks StopRequested() before every time step and every
// Newton iteration; the display answers true once it has been asked
// `maxChecks` times or the run has started more than `maxStarts` companion
// programs, and the run ends as stopped by the user (its result files
// marked incomplete). That bounds a run by what it does, not by the clock.
class BudgetDisplay : public SilentDisplay {
public:
    BudgetDisplay(long maxChecks, const long* companionStarts, long maxStarts)
        : maxChecks_(maxChecks), starts_(companionStarts), maxStarts_(maxStarts) {}
    bool StopRequested() override {
        ++checks_;
        if (maxChecks_ > 0 && checks_ > maxChecks_) return true;
        return starts_ != nullptr && maxStarts_ > 0 && *starts_ > maxStarts_;
    }
    void SetStarts(const long* companionStarts) { starts_ = companionStarts; }

private:
    long checks_ = 0;
    long maxChecks_;
    const long* starts_;
    long maxStarts_;
};

int Checked(const std::filesystem::path& dir, bool check, const RunLimits& limits,
            const std::function<void(ModelState&)>& prepare,
            const std::function<void(const ModelState&, int)>& inspect) {
    BudgetDisplay display(limits.maxStopChecks, nullptr, limits.maxCompanionStarts);
    ModelState s(dir, display);
    s.control.check = check;
    display.SetStarts(&s.companions.starts);
    if (prepare) prepare(s);
    FormLoad(s);
    const int status = RunOstraClick(s);
    const std::string fault = InternalFault(dir);
    if (!fault.empty()) Finding(std::string(check ? "the check" : "the run") + " ended with a program fault: " + fault);
    if (check) {
        if (status != EXIT_DONE && status != EXIT_FATAL_DATA && status != EXIT_SETUP_STOPPED)
            Finding("the check ended with the exit status " + std::to_string(status));
        return status;
    }
    const std::string problem = CheckRunResults(s, status);
    if (!problem.empty()) Finding("the run ended with status " + std::to_string(status) + " and " + problem);
    if (inspect) inspect(s, status);
    return status;
}

}  // namespace

int CheckedRun(const std::filesystem::path& dir, bool check, const RunLimits& limits) {
    return Checked(dir, check, limits, nullptr, nullptr);
}

int CheckedRun(const std::filesystem::path& dir, const RunLimits& limits,
               const std::function<void(ModelState&)>& prepare,
               const std::function<void(const ModelState&, int)>& inspect) {
    return Checked(dir, false, limits, prepare, inspect);
}

}  // namespace ostra::fuzz
