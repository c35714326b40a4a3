// silent_display.h -- a display that shows nothing and answers nothing.
//
// Exports: SilentDisplay.
//
// For runs whose display nobody watches: benchmarks and fuzzing harnesses.
// Message boxes return at once; the input box answers "" (so a positivity
// prompt ends the run). Subclasses may override what they need to see.
#pragma once

#include <string>

#include "model/display.h"

namespace ostra {

class SilentDisplay : public Display {
public:
    void SetRunButtonVisible(bool) override {}
    void SetCounterVisible(int, bool) override {}
    void SetCounterText(int, const std::string&) override {}
    void Repaint() override {}
    void MessageBox(const std::string&) override {}
    std::string InputBox(const std::string&) override { return ""; }
};

}  // namespace ostra
