// window_display.cpp -- stored counters, boxes on the window's thread, stopping.
#include "window/window_display.h"

#include <QMetaObject>
#include <QThread>

#include "textio/number_format.h"

namespace ostra::window {

WindowDisplay::WindowDisplay(QObject* window, Handlers handlers)
    : window_(window), handlers_(std::move(handlers)) {}

bool WindowDisplay::OnWindowThread() const { return QThread::currentThread() == window_->thread(); }

// Caller holds mutex_.
void WindowDisplay::Changed() { ++generation_; }

void WindowDisplay::SetRunButtonVisible(bool visible) {
    std::lock_guard<std::mutex> lock(mutex_);
    state_.buttonVisible = visible;
    Changed();
}

void WindowDisplay::SetCounterVisible(int counter, bool visible) {
    if (counter < 1 || counter > 5) return;
    std::lock_guard<std::mutex> lock(mutex_);
    state_.visible[counter] = visible;
    Changed();
}

void WindowDisplay::SetCounterText(int counter, const std::string& text) {
    if (counter < 1 || counter > 5) return;
    std::lock_guard<std::mutex> lock(mutex_);
    state_.text[counter] = text;
    Changed();
}

void WindowDisplay::Repaint() {
    // The worker's repaints are coalesced by the window's timer.
    if (OnWindowThread()) PaintPending();
}

void WindowDisplay::PaintPending() {
    CounterState copy;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (painted_ == generation_) return;
        painted_ = generation_;
        copy = state_;
    }
    handlers_.paint(copy);
}

void WindowDisplay::Note(const std::string& line) {
    if (OnWindowThread()) {
        handlers_.note(line);
        return;
    }
    QMetaObject::invokeMethod(window_, [this, line] { handlers_.note(line); }, Qt::QueuedConnection);
}

std::string WindowDisplay::Ask(std::function<std::string()> show) {
    auto pending = std::make_shared<Pending>();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (shutdown_) return "";
    }
    std::function<void()> task = [this, pending, show] {
        PaintPending();  // the box shows over the counters as they are now
        std::string answer;
        bool gone = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            gone = shutdown_;
        }
        if (!gone && !Stopping()) answer = show();
        std::lock_guard<std::mutex> lock(mutex_);
        pending->answer = answer;
        pending->done = true;
        answered_.notify_all();
    };
    QMetaObject::invokeMethod(window_, [this, task] { RunUnlessHeld(task); }, Qt::QueuedConnection);
    std::unique_lock<std::mutex> lock(mutex_);
    answered_.wait(lock, [&] { return pending->done || shutdown_; });
    return pending->done ? pending->answer : "";
}

void WindowDisplay::RunUnlessHeld(std::function<void()> task) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (held_) {
            deferred_.push_back(std::move(task));
            return;
        }
    }
    task();
}

void WindowDisplay::Hold() {
    std::lock_guard<std::mutex> lock(mutex_);
    held_ = true;
}

void WindowDisplay::Release() {
    std::vector<std::function<void()>> tasks;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        held_ = false;
        tasks.swap(deferred_);
        answered_.notify_all();
    }
    // After the question's own event loop has returned, in the order asked.
    for (std::function<void()>& task : tasks)
        QMetaObject::invokeMethod(window_, [this, task = std::move(task)] { RunUnlessHeld(task); },
                                  Qt::QueuedConnection);
}

void WindowDisplay::MessageBox(const std::string& message) {
    std::string detail;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        detail.swap(fatalDetail_);
    }
    if (Stopping()) return;
    if (OnWindowThread()) {
        PaintPending();
        handlers_.messageBox(message, detail);
        return;
    }
    Ask([this, message, detail] {
        handlers_.messageBox(message, detail);
        return std::string();
    });
}

std::string WindowDisplay::InputBox(const std::string& prompt) {
    if (Stopping()) return "";
    if (OnWindowThread()) {
        PaintPending();
        return handlers_.inputBox(prompt);
    }
    return Ask([this, prompt] { return handlers_.inputBox(prompt); });
}

void WindowDisplay::RunStarted(const RunPlan& plan) {
    std::string line = "Run set up: ";
    if (plan.dynamic)
        line += textio::NumberInText(plan.steps) + " time steps";
    else
        line += "steady state";
    line += ", " + std::to_string(plan.equations) + (plan.equations == 1 ? " equation" : " equations");
    if (plan.newton) line += ", Newton iteration";
    Note(line + ".");
}

void WindowDisplay::FatalError(const std::string& message, bool written) {
    std::string detail = "Error:  " + message;
    if (!written) detail += "\n(\"Error.dng\" could not be written in the model directory.)";
    {
        std::lock_guard<std::mutex> lock(mutex_);
        fatalDetail_ = detail;
    }
    Note(detail);
}

void WindowDisplay::Warning(const std::string& text) { Note("Warning: " + text); }

void WindowDisplay::Summary(const std::string& text) { Note(text); }

bool WindowDisplay::StopRequested() {
    if (!OnWindowThread()) {
        std::unique_lock<std::mutex> lock(mutex_);
        answered_.wait(lock, [&] { return !held_ || shutdown_ || Stopping(); });
    }
    return Stopping();
}

void WindowDisplay::RequestStop() {
    stop_.store(true);
    std::lock_guard<std::mutex> lock(mutex_);
    answered_.notify_all();
}

bool WindowDisplay::Stopping() const { return stop_.load(std::memory_order_relaxed); }

void WindowDisplay::Shutdown() {
    stop_.store(true);
    std::lock_guard<std::mutex> lock(mutex_);
    shutdown_ = true;
    deferred_.clear();
    answered_.notify_all();
}

}  // namespace ostra::window
