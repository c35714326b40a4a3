// run_worker.cpp -- RunOstraClick on a worker thread.
#include "window/run_worker.h"

#include <exception>

#include "app/run_driver.h"
#include "model/constants.h"
#include "model/model_state.h"

namespace ostra::window {

RunWorker::~RunWorker() { Join(); }

void RunWorker::Start(const std::filesystem::path& dir, Display& display, std::function<void(int)> finished) {
    Join();
    running_.store(true);
    thread_ = std::thread([this, dir, &display, finished = std::move(finished)] {
        int status = EXIT_FATAL_DATA;
        try {
            ModelState state(dir, display);
            status = RunOstraClick(state);
        } catch (...) {
            // RunOstraClick reports every failure itself; nothing may escape the thread.
        }
        finished(status);
        running_.store(false);
    });
}

void RunWorker::Join() {
    if (thread_.joinable()) thread_.join();
}

}  // namespace ostra::window
