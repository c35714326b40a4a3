// main.cpp -- the companion program varn:
// the nonlinear term f(X) of the two-equation steady example.
//
// Runs companions::varn_quadratic::Answer (answer.cpp) in the working directory, the
// model directory ostra starts it in; a message on standard error and exit
// status 1 when it cannot answer.
#include "companions/varn-quadratic/answer.h"
#include "textio/companion_io.h"

int main() { return textio::CompanionMain("varn", [] { companions::varn_quadratic::Answer("."); }); }
