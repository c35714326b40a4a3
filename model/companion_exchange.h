// companion_exchange.h -- requests to companion programs and starting them.
//
// Exports: ShellFunction, WriteTime, WriteStatus, WriteTimeAndStatus, Exchange.
//
// A request file is "Shell" + exchange name + ".csv", one number a line in
// the general number format, CR LF. A companion program is a file in the
// model directory named, in any letter case, like the exchange name with or
// without ".exe"; it runs with the model directory as working directory and
// standard input from /dev/null, one at a time, and the call returns only
// when the program has ended (no time limit). A run whose state holds a
// companion runner (ModelState::companionRunner) calls it in place of
// starting the program; everything else -- the request, the search for the
// program file, the counts, the messages -- is the same.
#pragma once

#include <string>

#include "model/model_state.h"

namespace ostra {

// Starts the program `FileToFire` (e.g. "Flows.exe") and waits for its end.
// A program that is missing, cannot be started, ends with a non-zero status
// or a signal ends the run through Error with a message naming it. Each
// start (or call of s.companionRunner) is counted in s.companions, in all
// and by the name given.
void ShellFunction(ModelState& s, const std::string& FileToFire);

// "Shell<filename>.csv" in the model directory, replacing any earlier one:
// the time.
void WriteTime(ModelState& s, const std::string& filename, Double Time);
// "Shell<filename>.csv": X(1) .. X(NEQN).
void WriteStatus(ModelState& s, const std::string& filename, const DVector& X);
// "Shell<filename>.csv": the time, then c(1) .. c(NEQN).
void WriteTimeAndStatus(ModelState& s, const std::string& filename, Double Time, const DVector& c);

// WriteTime(name, Time), then ShellFunction(name + ".exe").
void Exchange(ModelState& s, const std::string& name, Double Time);

}  // namespace ostra
