// timing_test.cpp -- a 10,000-step run in the window against `ostra` on the
// same model. Not run by default (it measures, and the machine may be busy):
//   test_window --gtest_also_run_disabled_tests --gtest_filter='Timing.*'
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "support/test_support.h"
#include "window/main_window.h"
#include "window/window_harness.h"

namespace ostra::window {
namespace {

using ostra::testing::TempDir;

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void TenThousandSteps(const std::filesystem::path& dir) {
    testing::CopyExample("river-network", dir);
    testing::SetControlValue(dir, "Number of time steps", "10000");
}

TEST(Timing, DISABLED_TenThousandStepsInTheWindowTakeAboutAsLongAsInOstra) {
    constexpr int ROUNDS = 5;
    std::vector<double> ostraMs, windowMs;
    for (int round = 0; round < ROUNDS; ++round) {
        TempDir a, b;
        TenThousandSteps(a.Path());
        TenThousandSteps(b.Path());

        const auto start = std::chrono::steady_clock::now();
        ASSERT_EQ(ostra::testing::RunOstraExe(a.Path()).status, 0);
        ostraMs.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());

        MainWindow w(b.Path());
        w.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
        testing::DialogAnswerer answers;
        QElapsedTimer clock;
        double doneAt = -1;
        answers.onDialog = [&](const testing::SeenDialog& d) {
            if (d.text == "Done!") doneAt = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        };
        clock.start();
        QTest::mouseClick(testing::RunButton(w), Qt::LeftButton);
        ASSERT_TRUE(testing::WaitUntil([&] { return !w.RunActive(); }, 120000));
        ASSERT_GT(doneAt, 0);
        windowMs.push_back(doneAt);
        // The finished run and its 10,000-row chart are in the window.
        EXPECT_EQ(testing::Counter(w, 1)->text(), "Time Step 10000");
    }
    const double o = Median(ostraMs), win = Median(windowMs);
    std::printf("10,000 steps, median of %d: ostra %.0f ms, window (click to \"Done!\") %.0f ms, ratio %.3f\n",
                ROUNDS, o, win, win / o);
    EXPECT_LE(win, 1.10 * o);
}

}  // namespace
}  // namespace ostra::window
