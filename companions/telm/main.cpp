// main.cpp -- the companion program telm:
// the storage factor R(C) of the nonlinear-sorption example.
//
// Runs companions::telm::Answer (answer.cpp) in the working directory, the
// model directory ostra starts it in; a message on standard error and exit
// status 1 when it cannot answer.
#include "companions/telm/answer.h"
#include "textio/companion_io.h"

int main() { return textio::CompanionMain("telm", [] { companions::telm::Answer("."); }); }
