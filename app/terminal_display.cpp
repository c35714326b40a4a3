// terminal_display.cpp -- counters as a status line, messages as lines.
#include "app/terminal_display.h"

#include <unistd.h>

#include <cstdio>
#include <iostream>

namespace ostra {
namespace {
// Repaints of the status line closer together than this are skipped.
constexpr auto MIN_REPAINT_INTERVAL = std::chrono::milliseconds(40);
}  // namespace

TerminalDisplay::TerminalDisplay() : live_(isatty(STDERR_FILENO) == 1) {}

void TerminalDisplay::SetRunButtonVisible(bool) {}

void TerminalDisplay::SetCounterVisible(int counter, bool visible) {
    if (counter >= 1 && counter <= 5) visible_[counter] = visible;
}

void TerminalDisplay::SetCounterText(int counter, const std::string& text) {
    if (counter >= 1 && counter <= 5) text_[counter] = text;
}

void TerminalDisplay::Repaint() {
    if (!live_) return;
    const auto now = std::chrono::steady_clock::now();
    if (statusShown_ && now - lastPaint_ < MIN_REPAINT_INTERVAL) return;
    lastPaint_ = now;
    std::string line;
    for (int k = 1; k <= 5; ++k) {
        if (!visible_[k]) continue;
        if (!line.empty()) line += " | ";
        line += text_[k];
    }
    if (line.empty()) return;
    std::fprintf(stderr, "\r%s\x1b[K", line.c_str());
    std::fflush(stderr);
    statusShown_ = true;
}

void TerminalDisplay::ClearStatus() {
    if (statusShown_) {
        std::fprintf(stderr, "\r\x1b[K");
        std::fflush(stderr);
        statusShown_ = false;
    }
}

void TerminalDisplay::MessageBox(const std::string& message) {
    ClearStatus();
    std::cout << message << std::endl;
}

void TerminalDisplay::FatalError(const std::string& message, bool written) {
    ClearStatus();
    std::cerr << "Error:  " << message << "\n";
    if (!written) std::cerr << "(\"Error.dng\" could not be written in the model directory)\n";
    std::cerr.flush();
}

void TerminalDisplay::Warning(const std::string& text) {
    ClearStatus();
    std::cerr << "Warning: " << text << std::endl;
}

std::string TerminalDisplay::InputBox(const std::string& prompt) {
    ClearStatus();
    std::cerr << prompt << std::endl;
    std::string answer;
    if (!std::getline(std::cin, answer)) return "";
    if (!answer.empty() && answer.back() == '\r') answer.pop_back();
    return answer;
}

}  // namespace ostra
