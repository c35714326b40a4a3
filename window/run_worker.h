// run_worker.h -- one run of a model directory on a thread of its own.
//
// Exports: RunWorker.
//
// The worker builds its own ModelState on the directory and the window's
// display and performs RunOstraClick, so the window's thread stays free to
// paint, move and resize while the run computes.
#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <thread>

#include "model/display.h"

namespace ostra::window {

class RunWorker {
public:
    RunWorker() = default;
    RunWorker(const RunWorker&) = delete;
    RunWorker& operator=(const RunWorker&) = delete;
    ~RunWorker();

    // Starts the run; `finished` is called on the worker thread with the exit
    // status when RunOstraClick has returned. One run per worker.
    void Start(const std::filesystem::path& dir, Display& display, std::function<void(int status)> finished);

    // True from Start until `finished` has returned.
    bool Running() const { return running_.load(); }

    // Waits for the worker thread to end (no-op when none was started).
    void Join();

private:
    std::thread thread_;
    std::atomic<bool> running_{false};
};

}  // namespace ostra::window
