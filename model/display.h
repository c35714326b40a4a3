// display.h -- what a run asks of the window, independent of any display.
//
// Exports: Display, COUNTER_* numbers.
//
// The run logic talks only to this interface: five counters (Text1 to Text5),
// the run button, repaints, a message box with one OK button and an input box
// that returns one line. `ostra` uses a terminal display; tests use a
// recording display; a window front end can implement the same interface.
#pragma once

#include <string>

namespace ostra {

inline constexpr int COUNTER_TIME_STEP = 1;   // Text1
inline constexpr int COUNTER_NEWTON = 2;      // Text2
inline constexpr int COUNTER_F_VALUE = 3;     // Text3
inline constexpr int COUNTER_RANDOMIZING = 4; // Text4
inline constexpr int COUNTER_LAMBDA = 5;      // Text5

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
};

}  // namespace ostra
