// window_display.h -- the display of a run in the window, across two threads.
//
// Exports: CounterState, WindowDisplay.
//
// FormLoad calls this display on the window's thread, RunOstraClick on the
// run's worker thread. Counter and button changes are only stored, under a
// mutex; the window paints the latest state when it calls PaintPending (from
// a timer while a run is on), so a fast run is not slowed by painting and
// texts never appear out of order. Message and input boxes asked for by the
// worker are shown by the window's thread while the worker waits for the
// answer. Hold pauses the run's display while the window asks a question of
// its own: the run waits at its next StopRequested, and a box it asks for is
// shown only after Release, so nothing of the run overtakes the question.
// RequestStop makes StopRequested true and keeps further boxes of the run
// from being shown; Shutdown releases a worker that waits for a box that will
// never be shown.
#pragma once

#include <QObject>

#include <array>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "model/display.h"

namespace ostra::window {

// What the counters and the run button show; counters are 1..5.
struct CounterState {
    bool buttonVisible = true;
    std::array<bool, 6> visible{};
    std::array<std::string, 6> text{};
};

class WindowDisplay : public Display {
public:
    // What the window does for the display; always called on its thread.
    struct Handlers {
        std::function<void(const CounterState&)> paint;
        // A modal box with one OK button; `detail` is extra text ("" when none).
        std::function<void(const std::string& message, const std::string& detail)> messageBox;
        std::function<std::string(const std::string& prompt)> inputBox;
        // One line for the window's message pane.
        std::function<void(const std::string& line)> note;
    };

    // `window` is the object on whose thread the handlers run.
    WindowDisplay(QObject* window, Handlers handlers);

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
    bool StopRequested() override;

    // Window thread: paints the stored state if it changed since the last paint.
    void PaintPending();
    // Window thread: the run waits at its next check, and its boxes wait, until Release.
    void Hold();
    void Release();
    // Window thread: the run is to end at its next check; no more boxes.
    void RequestStop();
    bool Stopping() const;
    // Window thread, before the window goes: no box will be shown any more.
    void Shutdown();

private:
    struct Pending {
        bool done = false;
        std::string answer;
    };
    bool OnWindowThread() const;
    void Changed();
    void Note(const std::string& line);
    // Runs `show` on the window's thread and waits for its answer.
    std::string Ask(std::function<std::string()> show);
    // Window thread: runs `task` now, or after Release while the display is held.
    void RunUnlessHeld(std::function<void()> task);

    QObject* window_;
    Handlers handlers_;
    std::atomic<bool> stop_{false};

    mutable std::mutex mutex_;  // guards everything below
    std::condition_variable answered_;  // a box answered, a hold released, a shutdown
    bool shutdown_ = false;
    bool held_ = false;
    std::vector<std::function<void()>> deferred_;  // boxes asked for while held
    CounterState state_;
    unsigned long generation_ = 1, painted_ = 0;
    std::string fatalDetail_;  // for the box that follows a fatal error
};

}  // namespace ostra::window
