// recording_display.cpp -- every display operation as one event string.
#include "app/recording_display.h"

namespace ostra {

void RecordingDisplay::SetRunButtonVisible(bool visible) {
    events.push_back(visible ? "button shown" : "button hidden");
}

void RecordingDisplay::SetCounterVisible(int counter, bool visible) {
    events.push_back("counter " + std::to_string(counter) + (visible ? " shown" : " hidden"));
}

void RecordingDisplay::SetCounterText(int counter, const std::string& text) {
    if (counter >= 1 && counter <= 5) counters[counter] = text;
    events.push_back("text " + std::to_string(counter) + ": " + text);
}

void RecordingDisplay::Repaint() {
    if (recordRepaints) events.push_back("repaint");
}

void RecordingDisplay::MessageBox(const std::string& message) {
    messages.push_back(message);
    events.push_back("message: " + message);
}

std::string RecordingDisplay::InputBox(const std::string& prompt) {
    events.push_back("input: " + prompt);
    if (answers.empty()) return "";
    std::string answer = answers.front();
    answers.pop_front();
    return answer;
}

}  // namespace ostra
