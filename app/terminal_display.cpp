// terminal_display.cpp -- counters as a status line, messages as lines.
//
// Exports (terminal_display.h): TerminalDisplay, ComposeStatusLine, DurationText.
#include "app/terminal_display.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <iostream>

namespace ostra {
namespace {

// Repaints of the status line closer together than this are skipped.
constexpr auto MIN_REPAINT_INTERVAL = std::chrono::milliseconds(40);
// The time left is estimated from the average pace so far, and only once
// that pace has been measured over enough of the run to hold still.
constexpr double ESTIMATE_MIN_SECONDS = 3;
constexpr double ESTIMATE_MIN_FRACTION = 0.03;
// Columns assumed when the terminal does not say.
constexpr int DEFAULT_WIDTH = 80;
constexpr const char* SEPARATOR = " | ";
constexpr const char* CLEAR_TO_END = "\x1b[K";

// The step number at the end of the time-step text ("Time Step 4828"), or
// -1 when the text does not end in one.
double StepNumber(const std::string& text) {
    std::size_t end = text.find_last_not_of(' ');
    if (end == std::string::npos) return -1;
    std::size_t begin = end + 1;
    while (begin > 0 && text[begin - 1] >= '0' && text[begin - 1] <= '9') --begin;
    if (begin == end + 1) return -1;
    return std::stod(text.substr(begin, end + 1 - begin));
}

std::string WholeNumber(double value) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.0f", value);
    return buf;
}

// Fraction of the run's steps completed while step `step` is in progress.
double DoneFraction(double step, double steps) { return (step - 1) / steps; }

// "Time Step 4828 of 5000 (97 %)": the run's text followed by the total and
// the share of steps completed.
std::string StepPart(const StatusLineInput& in) {
    const std::string& text = in.text[COUNTER_TIME_STEP];
    const double step = StepNumber(text);
    if (step < 1 || in.plan.steps <= 0) return text;
    const double done = DoneFraction(step, in.plan.steps);
    double percent = std::fmin(std::fmax(std::floor(done * 100 + 0.5), 0), 100);
    if (percent == 100 && done < 1) percent = 99;  // 100 % only once every step is done
    return text + " of " + WholeNumber(in.plan.steps) + " (" + WholeNumber(percent) + " %)";
}

// "2:41 elapsed", with ", about 0:06 left" once the estimate holds still.
std::string TimePart(const StatusLineInput& in) {
    std::string part = DurationText(in.elapsed) + " elapsed";
    if (!in.plan.dynamic || !in.shown[COUNTER_TIME_STEP] || in.plan.steps <= 0) return part;
    const double step = StepNumber(in.text[COUNTER_TIME_STEP]);
    if (step < 1) return part;
    const double done = DoneFraction(step, in.plan.steps);
    if (done < ESTIMATE_MIN_FRACTION || in.elapsed < ESTIMATE_MIN_SECONDS || done >= 1) return part;
    return part + ", about " + DurationText(in.elapsed * (1 - done) / done) + " left";
}

// Cuts `line` to `columns` characters without splitting a UTF-8 sequence.
void CutTo(std::string& line, int columns) {
    if (columns <= 0) {
        line.clear();
        return;
    }
    std::size_t chars = 0, i = 0;
    for (; i < line.size(); ++i) {
        const auto byte = static_cast<unsigned char>(line[i]);
        if ((byte & 0xC0) == 0x80) continue;  // continuation byte
        if (chars == static_cast<std::size_t>(columns)) break;
        ++chars;
    }
    line.resize(i);
}

}  // namespace

std::string DurationText(double seconds) {
    const long total = seconds > 0 ? static_cast<long>(seconds) : 0;
    const long h = total / 3600, m = total % 3600 / 60, s = total % 60;
    char buf[48];
    if (h > 0)
        std::snprintf(buf, sizeof buf, "%ld:%02ld:%02ld", h, m, s);
    else
        std::snprintf(buf, sizeof buf, "%ld:%02ld", m, s);
    return buf;
}

std::string ComposeStatusLine(const StatusLineInput& in) {
    std::string line;
    for (int k = COUNTER_TIME_STEP; k <= COUNTER_LAMBDA; ++k) {
        if (!in.shown[static_cast<std::size_t>(k)]) continue;
        if (!line.empty()) line += SEPARATOR;
        line += k == COUNTER_TIME_STEP ? StepPart(in) : in.text[static_cast<std::size_t>(k)];
    }
    if (line.empty()) return line;
    line += SEPARATOR;
    line += TimePart(in);
    CutTo(line, in.width - 1);
    return line;
}

TerminalDisplay::TerminalDisplay() : TerminalDisplay(Options{}) {}

TerminalDisplay::TerminalDisplay(Options options)
    : options_(std::move(options)), live_(options_.statusLine && isatty(options_.statusFd) == 1) {}

TerminalDisplay::Clock::time_point TerminalDisplay::Now() const {
    return options_.now ? options_.now() : Clock::now();
}

int TerminalDisplay::Width() const {
    winsize ws{};
    if (ioctl(options_.statusFd, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0) return ws.ws_col;
    return DEFAULT_WIDTH;
}

void TerminalDisplay::SetRunButtonVisible(bool) {}

void TerminalDisplay::SetCounterVisible(int counter, bool visible) {
    if (counter >= 1 && counter <= 5) visible_[static_cast<std::size_t>(counter)] = visible;
}

void TerminalDisplay::SetCounterText(int counter, const std::string& text) {
    if (counter < 1 || counter > 5) return;
    text_[static_cast<std::size_t>(counter)] = text;
    if (started_) setByRun_[static_cast<std::size_t>(counter)] = true;
}

void TerminalDisplay::RunStarted(const RunPlan& plan) {
    plan_ = plan;
    started_ = true;
    start_ = Now();
    setByRun_.fill(false);
    paintDue_ = true;
}

void TerminalDisplay::Repaint() {
    if (!live_ || !started_) return;
    const Clock::time_point now = Now();
    if (!paintDue_ && now - lastPaint_ < MIN_REPAINT_INTERVAL) return;
    paintDue_ = false;
    lastPaint_ = now;
    StatusLineInput in;
    in.plan = plan_;
    in.text = text_;
    for (int k = 1; k <= 5; ++k) {
        const auto i = static_cast<std::size_t>(k);
        const bool used = k == COUNTER_TIME_STEP ? plan_.dynamic : plan_.newton;
        in.shown[i] = used && visible_[i] && setByRun_[i];
    }
    in.elapsed = std::chrono::duration<double>(now - start_).count();
    in.width = Width();
    const std::string line = ComposeStatusLine(in);
    if (line.empty()) {
        ClearStatus();
        return;
    }
    if (statusShown_ && line == shownLine_) return;  // the terminal shows it already
    WriteStatus("\r" + line + CLEAR_TO_END);
    shownLine_ = line;
    statusShown_ = true;
    ++paints_;
}

void TerminalDisplay::WriteStatus(const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(options_.statusFd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;  // a status line that cannot be written is simply not shown
        done += static_cast<std::size_t>(n);
    }
}

void TerminalDisplay::ClearStatus() {
    paintDue_ = true;
    if (!statusShown_) return;
    WriteStatus(std::string("\r") + CLEAR_TO_END);
    statusShown_ = false;
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

void TerminalDisplay::Summary(const std::string& text) {
    if (!options_.summary || text.empty()) return;
    ClearStatus();
    std::cout << text;
    if (text.back() != '\n') std::cout << '\n';
    std::cout.flush();
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
