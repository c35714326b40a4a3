// run_driver.cpp -- the run button: one whole run in the model directory.
//
// Order of a run: show the counters and hide the button; delete the old
// ".dng" files; read "Control.csv"; set up; the steady-state solution or the
// time loop; close the result files; the mass-balance report; "Done!".
#include "app/run_driver.h"

#include <exception>
#include <string>

#include "app/result_files.h"
#include "app/run_options.h"
#include "app/run_setup.h"
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

void Run(ModelState& s) {
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
    s.display.MessageBox("Done!");
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
    try {
        Run(s);
        return EXIT_DONE;
    } catch (const RunEnded& ended) {
        try {
            CloseRunFiles(s);
        } catch (const textio::DataError&) {
            // The run has already ended with its own message.
        }
        return ended.status;
    } catch (const textio::DataError& e) {
        ReportFatal(s, e.what());
    } catch (const std::bad_alloc&) {
        ReportFatal(s, "not enough memory for the arrays of this model");
    } catch (const std::exception& e) {
        // Anything else (a file system failure, say) still ends the run with a message.
        ReportFatal(s, std::string("the run failed: ") + e.what());
    }
    try {
        CloseRunFiles(s);
    } catch (const textio::DataError&) {
    }
    return EXIT_FATAL_DATA;
}

}  // namespace ostra
