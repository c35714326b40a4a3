// run_limits.h -- how large and how long a run a fuzzed model may ask for.
//
// Exports: RunLimits, LimitsCheck, CheckControlLimits.
//
// "Control.csv" sizes every array of a run and sets its number of time steps
// and Newton iterations. A fuzzed file may ask for gigabytes or for billions
// of steps, which is no fault of the program but would stall a campaign, so
// the harnesses read "Control.csv" first with the run's own reader and skip
// inputs that ask for more than these limits. A file the reader refuses is
// run as it is: the run stops at the same place, at once. The work of
// Newton iteration is bounded while the run goes on, by the display's
// budget (checked_run.cpp).
#pragma once

#include <filesystem>
#include <string>

namespace ostra::fuzz {

struct RunLimits {
    long maxRecords = 2048;          // NSV x NT of a compartment model
    long maxCompartments = 2048;     // NT
    long maxNAS = 64;                // NAS
    long maxNonlinearRecords = 256;  // NSV x NT of a nonlinear model (dense Jacobian)
    long maxEquations = 256;         // NEQN of an equation-solver model
    double maxSteps = 500;           // NumTimeSteps of a dynamic run
    long maxRandomSamples = 1000;    // NumRandomSamples: evaluations between two stop checks
    // Budget of the run itself (checked_run.cpp): time steps and Newton
    // iterations, and companion programs started.
    long maxStopChecks = 2000;
    long maxCompanionStarts = 500;
};

struct LimitsCheck {
    bool readable = false;  // the run's reader accepted "Control.csv"
    bool within = true;     // false: the input asks for more than the limits
    std::string reason;     // why not within
};

// Reads "Control.csv" in `dir` and compares what it asks for with `limits`.
LimitsCheck CheckControlLimits(const std::filesystem::path& dir, const RunLimits& limits);

}  // namespace ostra::fuzz
