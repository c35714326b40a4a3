// terminal_display.h -- the display of `ostra` in a terminal.
//
// Exports: TerminalDisplay, StatusLineInput, ComposeStatusLine, DurationText.
//
// Counters are one live status line on standard error when it is a terminal,
// nothing when it is not. The line holds only the counters the run uses
// (the time step of a dynamic run, the Newton counters of a Newton run,
// each once the run has set it), "of N (p %)" after the time step, the
// elapsed time and, once it is steady, an estimate of the time left. It is
// cut to the terminal's width, read anew at every repaint so that a resized
// window is followed, and repainted at most a few dozen times a second.
// Before anything else is written (a message, warning, error, prompt or
// summary) the line is cleared. Message boxes are printed on standard output
// and not waited on; the input box reads one line from standard input (end
// of input is an empty answer); summaries go to standard output.
#pragma once

#include <array>
#include <chrono>
#include <functional>
#include <string>

#include "model/display.h"

namespace ostra {

// Everything the status line is composed from at one moment.
struct StatusLineInput {
    RunPlan plan;
    std::array<std::string, 6> text;  // counter texts 1..5 as the run set them
    std::array<bool, 6> shown{};      // counters that belong on the line
    double elapsed = 0;               // seconds since the run started
    int width = 80;                   // terminal columns
};

// The status line for `in`, at most width - 1 columns (the last column stays
// free, so the terminal never wraps the line); empty when nothing is shown.
std::string ComposeStatusLine(const StatusLineInput& in);

// "0:07", "12:34", "1:02:03" for a number of seconds (rounded down).
std::string DurationText(double seconds);

class TerminalDisplay : public Display {
public:
    using Clock = std::chrono::steady_clock;
    struct Options {
        int statusFd = 2;        // where the status line goes; no line unless a terminal
        bool statusLine = true;  // false: never a status line
        bool summary = true;     // false: summaries are not printed
        std::function<Clock::time_point()> now;  // the clock; steady_clock when empty
    };

    TerminalDisplay();
    explicit TerminalDisplay(Options options);

    void SetRunButtonVisible(bool visible) override;
    void SetCounterVisible(int counter, bool visible) override;
    void SetCounterText(int counter, const std::string& text) override;
    void Repaint() override;
    void MessageBox(const std::string& message) override;
    std::string InputBox(const std::string& prompt) override;
    void RunStarted(const RunPlan& plan) override;
    void FatalError(const std::string& message, bool written) override;
    void Warning(const std::string& text) override;
    void Summary(const std::string& text) override;

    // Number of times a status line has been drawn (for tests and measurement).
    long Paints() const { return paints_; }

private:
    Clock::time_point Now() const;
    int Width() const;
    void Paint();
    void ClearStatus();
    void WriteStatus(const std::string& bytes);

    Options options_;
    bool live_;
    bool started_ = false;  // RunStarted was given: the plan is known
    bool paintDue_ = true;  // the next repaint draws at once (first, or after a clear)
    std::array<bool, 6> visible_{};
    RunPlan plan_;
    std::array<std::string, 6> text_;
    std::array<bool, 6> setByRun_{};  // the run has set the text since it started
    Clock::time_point start_{};
    Clock::time_point lastPaint_{};
    bool statusShown_ = false;
    std::string shownLine_;  // the line on the terminal while statusShown_
    long paints_ = 0;
};

}  // namespace ostra
