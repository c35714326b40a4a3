// display.h -- what a run asks of the window, independent of any display.
//
// Exports: Display, COUNTER_* numbers.
//
// The run logic talks only to this interface: five counters (Text1 to Text5),
// the run button, repaints, a message box with one OK button and an input box
// that returns one line. Besides these, a display learns what the run will do
// once it is set up, the text of a fatal error, the warnings of a run whose
// results need a second look and the summary of a finished run; and it may
// ask the run to stop. `ostra` uses a terminal display, `ostra-window` a
// window, tests a recording display.
#pragma once

#include <string>

namespace ostra {

inline constexpr int COUNTER_TIME_STEP = 1;   // Text1
inline constexpr int COUNTER_NEWTON = 2;      // Text2
inline constexpr int COUNTER_F_VALUE = 3;     // Text3
inline constexpr int COUNTER_RANDOMIZING = 4; // Text4
inline constexpr int COUNTER_LAMBDA = 5;      // Text5

// What a run will do, known once the set-up has sized it.
struct RunPlan {
    bool dynamic = false;  // time steps (else one steady-state solve)
    bool newton = false;   // Newton iteration: counters 2 to 5 are in use
    double steps = 0;      // NumTimeSteps of a dynamic run
    int equations = 0;     // NEQN
};

class Display {
public:
    virtual ~Display() = default;
    virtual void SetRunButtonVisible(bool visible) = 0;
    virtual void SetCounterVisible(int counter, bool visible) = 0;  // counter 1..5
    virtual void SetCounterText(int counter, const std::string& text) = 0;
    virtual void Repaint() = 0;
    // Shows the message and returns when it has been acknowledged.
    virtual void MessageBox(const std::string& message) = 0;
    // Shows the prompt and returns the one line the user typed ("" when none).
    virtual std::string InputBox(const std::string& prompt) = 0;

    // Once the run is set up, before its first step or solve.
    virtual void RunStarted(const RunPlan& plan) { (void)plan; }
    // The message of a fatal error, given just before the fatal-error box.
    // `written` is false when "Error.dng" could not be written.
    virtual void FatalError(const std::string& message, bool written) {
        (void)message;
        (void)written;
    }
    // A doubtful result: the run went on as it must, but its results need a
    // second look. Given at the end of the run, before "Done!".
    virtual void Warning(const std::string& text) { (void)text; }
    // A few lines on what a finished run (or check) did and produced.
    virtual void Summary(const std::string& text) { (void)text; }
    // Asked by the run between steps and iterations: true ends the run as a
    // fatal error, "run stopped by the user".
    virtual bool StopRequested() { return false; }
};

}  // namespace ostra
