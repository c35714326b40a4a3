// main.cpp -- the companion program pask:
// dR/dC of the nonlinear-sorption example.
//
// Runs companions::pask::Answer (answer.cpp) in the working directory, the
// model directory ostra starts it in; a message on standard error and exit
// status 1 when it cannot answer.
#include "companions/pask/answer.h"
#include "textio/companion_io.h"

int main() { return textio::CompanionMain("pask", [] { companions::pask::Answer("."); }); }
