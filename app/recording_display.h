// recording_display.h -- a display that records every operation in order.
//
// Exports: RecordingDisplay.
//
// Used by tests to assert what a run showed and in which order. Each
// operation appends one event: "button hidden", "counter 2 shown",
// "text 1: Time Step 1", "repaint", "message: Done!", "input: <prompt>".
// Input boxes answer from a queue of scripted answers ("" when empty).
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "model/display.h"

namespace ostra {

class RecordingDisplay : public Display {
public:
    void SetRunButtonVisible(bool visible) override;
    void SetCounterVisible(int counter, bool visible) override;
    void SetCounterText(int counter, const std::string& text) override;
    void Repaint() override;
    void MessageBox(const std::string& message) override;
    std::string InputBox(const std::string& prompt) override;

    std::vector<std::string> events;
    std::deque<std::string> answers;  // scripted input-box answers
    std::string counters[6];          // last text of each counter
    std::vector<std::string> messages;  // message boxes only
    bool recordRepaints = true;
};

}  // namespace ostra
