// run_driver.cpp -- the run button: one whole run in the model directory.
//
// Order of a run: show the counters and hide the button; delete the old
// ".dng" files; read "Control.csv"; set up; the steady-state solution or the
// time loop; close the result files; the mass-balance report; "Done!"; the
// summary. A check (s.control.check) stops after the set-up where the first
// step or solve would begin and gives the model's summary instead.
#include "app/run_driver.h"

#include <chrono>
#include <exception>
#include <string>

#include "app/directory_lock.h"
#include "app/model_check.h"
#include "app/result_files.h"
#include "app/run_options.h"
#include "app/run_setup.h"
#include "app/run_summary.h"
#include "app/time_integration.h"
#include "model/error.h"
#include "sources/mass_balance.h"
#include "textio/errors.h"
#include "textio/file_names.h"
#include "textio/text_writer.h"

namespace ostra {
namespace {

const char* const COUNTER_LABELS[6] = {"", "Time Step Counter", "Newton Iteration Counter",
                                       "f-value", "Randomizing Iteration Counter", "Lambda "};

// Closes every file that stays open across calls; a failure to write it is a
// data error of its own.
void CloseRunFiles(ModelState& s) {
    if (s.files.TimeSeries) s.files.TimeSeries->Close();
    if (s.files.EulerStability) s.files.EulerStability->Close();
    if (s.files.NewtonInfo) s.files.NewtonInfo->Close();
    s.files.TimeSeries.reset();
    s.files.EulerStability.reset();
    s.files.NewtonInfo.reset();
}

// What the display may show besides the counters, once the run is sized.
RunPlan PlanOf(const ModelState& s) {
    RunPlan plan;
    plan.dynamic = s.opt.Dynamic;
    plan.newton = !s.opt.Linear && !s.setup.ExplicitNonlinear;
    plan.steps = s.opt.Dynamic ? s.opt.NumTimeSteps : 0;
    plan.equations = s.opt.NEQN;
    return plan;
}

void Run(ModelState& s) {
    const auto started = std::chrono::steady_clock::now();
    // 1. Counters visible, button hidden for good.
    for (int k = 1; k <= 5; ++k) s.display.SetCounterVisible(k, true);
    s.display.SetRunButtonVisible(false);
    s.display.Repaint();

    // 2. Every ".dng" file on disk belongs to the latest run.
    textio::TextWriter(s.Dir, "dummy.dng").Close();
    textio::DeleteMatching(s.Dir, "*.dng");

    // 3-5. Run options.
    s.opt.TimeVarParms = false;
    ReadControl(s);
    s.opt.LinearMethod = LINEAR_METHOD_GAUSS_JORDAN;
    s.opt.XScale = 1;

    // 6. Set-up.
    SetupRun(s);
    if (s.control.check) {
        CheckModel(s);
        CloseRunFiles(s);
        for (const std::string& w : s.control.warnings) s.display.Warning(w);
        s.display.Summary(CheckSummary(s));
        return;
    }
    s.display.RunStarted(PlanOf(s));

    if (!s.opt.Dynamic) {
        // 7. Steady state.
        SteadyState(s);
    } else {
        // 8. Dynamic run.
        PrepareDynamicRun(s);
        TimeLoop(s);
        // 9. Result file, then the mass balance.
        if (s.files.TimeSeries) {
            s.files.TimeSeries->Close();
            s.files.TimeSeries.reset();
        }
        if (s.mb.MassBalanceOn) MassBalanceReport(s, s.sys.c);
    }

    // 10. Newton's trace, then "Done!".
    if (!s.opt.Linear && s.opt.NewtonInfo && s.files.NewtonInfo) {
        s.files.NewtonInfo->Close();
        s.files.NewtonInfo.reset();
    }
    CloseRunFiles(s);
    for (const std::string& w : s.control.warnings) s.display.Warning(w);
    s.display.MessageBox("Done!");
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - started;
    s.display.Summary(RunSummary(s, wall.count()));
}

// Closes what is open when a run did not finish. The result files keep the
// rows written so far and nothing else: how the run ended is told by its
// exit status and its ".dng" files.
int EndedEarly(ModelState& s, int status) {
    try {
        CloseRunFiles(s);
    } catch (const textio::DataError&) {
        // The run has already ended with its own message.
    }
    return status;
}

}  // namespace

void FormLoad(ModelState& s) {
    for (int k = 1; k <= 5; ++k) {
        s.display.SetCounterText(k, COUNTER_LABELS[k]);
        s.display.SetCounterVisible(k, false);
    }
    s.display.SetRunButtonVisible(true);
    s.display.Repaint();
}

int RunOstraClick(ModelState& s) {
    const DirectoryLock lock(s.Dir);
    if (lock.Busy()) {
        s.display.MessageBox(std::string(RUN_GOING_THERE) + " (" + s.Dir.string() +
                             "): this run ends without touching the directory; wait for the other "
                             "run to end, or run a copy of the directory");
        return EXIT_BUSY;
    }
    try {
        Run(s);
        if (s.control.strict && !s.control.warnings.empty()) return EXIT_DOUBTFUL;
        return EXIT_DONE;
    } catch (const RunEnded& ended) {
        return EndedEarly(s, ended.status);
    } catch (const textio::DataError& e) {
        ReportFatal(s, e.what());
    } catch (const std::bad_alloc&) {
        ReportFatal(s, "not enough memory for the arrays of this model");
    } catch (const std::exception& e) {
        // Anything else (a file system failure, say) still ends the run with a message.
        ReportFatal(s, std::string("the run failed: ") + e.what());
    }
    return EndedEarly(s, EXIT_FATAL_DATA);
}

}  // namespace ostra
