// main.cpp -- the companion program varn:
// the growth term f(C) of the two-state-variable kinetics example.
//
// Runs companions::varn_kinetics::Answer (answer.cpp) in the working directory, the
// model directory ostra starts it in; a message on standard error and exit
// status 1 when it cannot answer.
#include "companions/varn-kinetics/answer.h"
#include "textio/companion_io.h"

int main() { return textio::CompanionMain("varn", [] { companions::varn_kinetics::Answer("."); }); }
