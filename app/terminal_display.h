// terminal_display.h -- the display of `ostra` in a terminal.
//
// Exports: TerminalDisplay.
//
// Counters are one live status line on standard error when it is a terminal,
// repainted at most a few dozen times a second; nothing when it is not.
// Message boxes are printed on their own line and not waited on; the input
// box reads one line from standard input (end of input is an empty answer).
#pragma once

#include <chrono>
#include <string>

#include "model/display.h"

namespace ostra {

class TerminalDisplay : public Display {
public:
    TerminalDisplay();
    void SetRunButtonVisible(bool visible) override;
    void SetCounterVisible(int counter, bool visible) override;
    void SetCounterText(int counter, const std::string& text) override;
    void Repaint() override;
    void MessageBox(const std::string& message) override;
    std::string InputBox(const std::string& prompt) override;
    void FatalError(const std::string& message, bool written) override;
    void Warning(const std::string& text) override;

private:
    void ClearStatus();
    bool live_;
    bool visible_[6] = {};
    std::string text_[6];
    bool statusShown_ = false;
    std::chrono::steady_clock::time_point lastPaint_{};
};

}  // namespace ostra
