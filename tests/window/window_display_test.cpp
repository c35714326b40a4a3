// window_display_test.cpp -- the display bridge between a run's worker thread
// and the window's thread: order, waiting for boxes, stopping, shutting down.
#include <gtest/gtest.h>

#include <QObject>
#include <QTest>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "model/error.h"
#include "window/window_display.h"
#include "window/window_harness.h"

namespace ostra::window {
namespace {

using testing::WaitUntil;

// A display whose handlers log what they were asked, on which thread.
struct Bridge {
    QObject window;  // lives on the test's (the window's) thread
    const std::thread::id mainId = std::this_thread::get_id();
    std::vector<std::string> log;
    std::vector<std::string> painted;  // text 1 at every paint
    bool allOnWindowThread = true;
    std::atomic<bool> workerReturned{false};
    bool workerWaitedForBox = false;
    WindowDisplay display;

    Bridge() : display(&window, Handlers()) {}

    WindowDisplay::Handlers Handlers() {
        WindowDisplay::Handlers h;
        auto here = [this] { allOnWindowThread = allOnWindowThread && std::this_thread::get_id() == mainId; };
        h.paint = [this, here](const CounterState& s) {
            here();
            painted.push_back(s.text[1]);
        };
        h.messageBox = [this, here](const std::string& message, const std::string& detail) {
            here();
            QTest::qWait(30);  // the user reads the box
            if (message == FATAL_ERROR_BOX) workerWaitedForBox = !workerReturned.load();
            log.push_back("box: " + message + " | " + detail);
        };
        h.inputBox = [this, here](const std::string& prompt) {
            here();
            log.push_back("input: " + prompt);
            return std::string("typed");
        };
        h.note = [this, here](const std::string& line) {
            here();
            log.push_back("note: " + line);
        };
        return h;
    }
};

TEST(WindowDisplay, WorkerCallsReachTheWindowThreadInOrderAndWaitForTheBoxes) {
    Bridge b;
    std::string answer;
    std::thread worker([&] {
        b.display.SetCounterVisible(1, true);
        b.display.SetCounterText(1, "Time Step 1");
        b.display.Repaint();
        b.display.Warning("a doubtful result");
        b.display.Summary("two lines\nof summary");
        b.display.FatalError("bad value", false);
        b.display.MessageBox(FATAL_ERROR_BOX);
        b.workerReturned = true;
        b.display.SetCounterText(1, "Time Step 2");
        b.display.MessageBox("Done!");
        answer = b.display.InputBox("Continue?");
    });
    ASSERT_TRUE(WaitUntil([&] { return b.log.size() == 6; }));
    worker.join();
    const std::string detail = "Error:  bad value\n(\"Error.dng\" could not be written in the model directory.)";
    EXPECT_EQ(b.log, (std::vector<std::string>{"note: Warning: a doubtful result", "note: two lines\nof summary",
                                               "note: " + detail, "box: " + std::string(FATAL_ERROR_BOX) + " | " + detail,
                                               "box: Done! | ", "input: Continue?"}));
    EXPECT_EQ(answer, "typed");
    EXPECT_TRUE(b.allOnWindowThread);
    EXPECT_TRUE(b.workerWaitedForBox);
    // Worker repaints are left to the window; each box first paints what the run has set.
    EXPECT_EQ(b.painted, (std::vector<std::string>{"Time Step 1", "Time Step 2"}));
    b.display.PaintPending();
    EXPECT_EQ(b.painted.size(), 2u) << "nothing changed, nothing painted";
}

TEST(WindowDisplay, StoppingKeepsBoxesAwayAndShutdownReleasesAWaitingWorker) {
    {
        Bridge b;
        EXPECT_FALSE(b.display.StopRequested());
        b.display.RequestStop();
        EXPECT_TRUE(b.display.StopRequested());
        std::string answer = "unset";
        std::thread worker([&] {
            b.display.MessageBox(FATAL_ERROR_BOX);
            answer = b.display.InputBox("Continue?");
        });
        worker.join();  // returns without the window thread answering anything
        QTest::qWait(20);
        EXPECT_EQ(answer, "");
        EXPECT_TRUE(b.log.empty());
    }
    {
        Bridge b;
        std::atomic<bool> returned{false};
        std::thread worker([&] {
            b.display.MessageBox("Done!");
            returned = true;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_FALSE(returned.load()) << "the worker waits for the box";
        b.display.Shutdown();  // the window goes before it has shown the box
        worker.join();
        QTest::qWait(20);
        EXPECT_TRUE(b.log.empty()) << "no box after shutdown";
    }
}

TEST(WindowDisplay, AHoldKeepsTheRunAtItsNextCheckAndItsBoxesUntilReleased) {
    for (const bool stop : {false, true}) {
        SCOPED_TRACE(stop ? "released after a stop" : "released to go on");
        Bridge b;
        b.display.Hold();  // the window asks a question of its own
        std::atomic<bool> checked{false}, boxReturned{false};
        bool stopAnswer = !stop;
        std::thread check([&] {
            stopAnswer = b.display.StopRequested();
            checked = true;
        });
        std::thread box([&] {
            b.display.MessageBox("Done!");
            boxReturned = true;
        });
        QTest::qWait(100);
        EXPECT_FALSE(checked.load()) << "the run went on past its check";
        EXPECT_FALSE(boxReturned.load());
        EXPECT_TRUE(b.log.empty()) << "a box of the run showed over the question";
        if (stop) b.display.RequestStop();
        b.display.Release();
        ASSERT_TRUE(WaitUntil([&] { return checked.load() && boxReturned.load(); }));
        check.join();
        box.join();
        EXPECT_EQ(stopAnswer, stop);
        if (stop)
            EXPECT_TRUE(b.log.empty()) << "no box of a stopped run";
        else
            EXPECT_EQ(b.log, (std::vector<std::string>{"box: Done! | "}));
    }
    // A window that goes while holding releases the run too.
    Bridge b;
    b.display.Hold();
    std::thread check([&] { b.display.StopRequested(); });
    b.display.Shutdown();
    check.join();
}

}  // namespace
}  // namespace ostra::window
