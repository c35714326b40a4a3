// run_summary.h -- the few lines `ostra` prints on what a finished run did.
//
// Exports: RunSummary, ModeText, SchemeText, LinearSolverName, LinearSolverLines,
// SummaryNumber, WarningLines, SummaryLine.
#pragma once

#include <string>

#include "model/model_state.h"

namespace ostra {

// The summary of a run that ended with "Done!", from its state (read-only)
// and the result files it wrote: equations, steps, simulated and wall time,
// companion programs started; per state variable the final minimum, maximum
// and total mass (volume x concentration x water content); the mass balance
// of "MassBalance.csv" in words, with a note where it cannot close by
// construction or an interface does not conserve it; the warnings; the
// result files written. Looks up multipliers as the assembly does (their
// cache in `s` may be refilled); nothing else in `s` changes.
std::string RunSummary(ModelState& s, double wallSeconds);

// "compartment mode (ENVS), linear, dynamic".
std::string ModeText(const RunOptions& o);

// "implicit Euler", "steady state, one linear solve", "Crank-Nicolson, each
// step solved by Newton iteration (finite-difference Jacobian)".
std::string SchemeText(const ModelState& s);
// The linear solver of the run: "Gauss-Jordan", "LU decomposition (LUDCMP)"
// or "sparse LU (KLU)".
std::string LinearSolverName(const ModelState& s);

// "  Linear solver: Gauss-Jordan", and below it, when lines of "Control.csv"
// after pair 36 were ignored, a line saying which and why.
std::string LinearSolverLines(const ModelState& s);

// A number for reading: 6 significant digits ("0.25", "1.61472e+06").
std::string SummaryNumber(double value);

// "  Warnings: none", or the heading and one warning a line.
std::string WarningLines(const RunControl& control);

// `text` as lines of at most 78 columns, broken between words: the first
// indented by `indent` blanks, the others by two more; each ends in "\n".
std::string SummaryLine(int indent, const std::string& text);

}  // namespace ostra
