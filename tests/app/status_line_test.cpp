// status_line_test.cpp -- the status line of `ostra` in a terminal: what it
// holds, where it is cut, when it is drawn and cleared; through a
// pseudo-terminal with an injected clock, and with the real `ostra` under one.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "app/compartment_model_files.h"
#include "app/ostra_process.h"
#include "app/terminal_display.h"

namespace ostra {
namespace {

using namespace std::chrono_literals;

struct LineCase {
    const char* name;
    RunPlan plan;
    std::vector<std::pair<int, std::string>> counters;  // shown counters and their texts
    double elapsed;
    int width;
    std::string expected;
};

TEST(StatusLine, ComposesTheCountersInUseWithProgressAndTime) {
    const RunPlan linear{true, false, 5000, 1};
    const RunPlan newton{true, true, 40, 2};
    const RunPlan steadyNewton{false, true, 0, 2};
    const LineCase cases[] = {
        {"early in a linear run", linear, {{1, "Time Step 12"}}, 1.2, 100,
         "Time Step 12 of 5000 (0 %) | 0:01 elapsed"},
        {"estimate once steady", linear, {{1, "Time Step 4828"}}, 161, 100,
         "Time Step 4828 of 5000 (97 %) | 2:41 elapsed, about 0:05 left"},
        {"no estimate in the first seconds", linear, {{1, "Time Step 2501"}}, 2.5, 100,
         "Time Step 2501 of 5000 (50 %) | 0:02 elapsed"},
        {"no estimate in the first percent", linear, {{1, "Time Step 100"}}, 60, 100,
         "Time Step 100 of 5000 (2 %) | 1:00 elapsed"},
        {"never 100 % before the last step is done", linear, {{1, "Time Step 4990"}}, 100, 100,
         "Time Step 4990 of 5000 (99 %) | 1:40 elapsed, about 0:00 left"},
        {"Newton counters", newton, {{1, "Time Step 3"}, {2, "Newton Iteration 3"}, {3, "f value = 1.5E-09"}},
         4.5, 100, "Time Step 3 of 40 (5 %) | Newton Iteration 3 | f value = 1.5E-09 | 0:04 elapsed, about 1:25 left"},
        {"steady Newton run, hours", steadyNewton, {{2, "Newton Iteration 7"}}, 3723, 100,
         "Newton Iteration 7 | 1:02:03 elapsed"},
        {"cut to the width, last column free", linear, {{1, "Time Step 4828"}}, 161, 30,
         "Time Step 4828 of 5000 (97 %)"},
        {"cut inside a counter", linear, {{1, "Time Step 4828"}}, 161, 12, "Time Step 4"},
        {"a text without a step number", linear, {{1, "Time Step Counter"}}, 0, 100,
         "Time Step Counter | 0:00 elapsed"},
        {"nothing shown", linear, {}, 10, 100, ""},
    };
    for (const LineCase& c : cases) {
        StatusLineInput in;
        in.plan = c.plan;
        for (const auto& [k, text] : c.counters) {
            in.shown[static_cast<std::size_t>(k)] = true;
            in.text[static_cast<std::size_t>(k)] = text;
        }
        in.elapsed = c.elapsed;
        in.width = c.width;
        EXPECT_EQ(ComposeStatusLine(in), c.expected) << c.name;
    }
}

// A pseudo-terminal whose far end the test reads without waiting.
class Terminal {
public:
    explicit Terminal(int columns) {
        winsize ws{};
        ws.ws_row = 24;
        ws.ws_col = static_cast<unsigned short>(columns);
        if (openpty(&master_, &slave_, nullptr, nullptr, &ws) != 0) ADD_FAILURE() << "openpty failed";
        fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    }
    ~Terminal() {
        close(master_);
        close(slave_);
    }
    int Fd() const { return slave_; }
    void Resize(int columns) const {
        winsize ws{};
        ws.ws_row = 24;
        ws.ws_col = static_cast<unsigned short>(columns);
        ioctl(master_, TIOCSWINSZ, &ws);
    }
    // What has been written to the terminal since the last call.
    std::string Take() const {
        std::string out;
        char buf[1024];
        ssize_t n;
        while ((n = read(master_, buf, sizeof buf)) > 0) out.append(buf, static_cast<std::size_t>(n));
        return out;
    }

private:
    int master_ = -1, slave_ = -1;
};

TEST(StatusLine, DrawsAtMostEvery40msFollowsResizesAndClearsBeforeMessages) {
    Terminal term(60);
    TerminalDisplay::Clock::time_point now{};
    TerminalDisplay::Options options;
    options.statusFd = term.Fd();
    options.now = [&now] { return now; };
    TerminalDisplay d(options);
    for (int k = 1; k <= 5; ++k) d.SetCounterVisible(k, true);
    d.SetCounterText(1, "Time Step Counter");
    d.Repaint();
    EXPECT_EQ(term.Take(), "") << "nothing before the run is sized";

    d.RunStarted(RunPlan{true, false, 100, 1});
    d.SetCounterText(2, "Newton Iteration 1");  // not a counter of a linear run
    d.SetCounterText(1, "Time Step 1");
    d.Repaint();
    EXPECT_EQ(term.Take(), "\rTime Step 1 of 100 (0 %) | 0:00 elapsed\x1b[K");

    now += 10ms;
    d.SetCounterText(1, "Time Step 2");
    d.Repaint();
    EXPECT_EQ(term.Take(), "") << "too soon after the last paint";
    now += 30ms;
    d.Repaint();
    EXPECT_EQ(term.Take(), "\rTime Step 2 of 100 (1 %) | 0:00 elapsed\x1b[K");

    term.Resize(15);
    now += 1s;
    d.Repaint();
    EXPECT_EQ(term.Take(), "\rTime Step 2 of\x1b[K");
    now += 1s;
    d.Repaint();
    EXPECT_EQ(term.Take(), "") << "the terminal shows that line already";
    EXPECT_EQ(d.Paints(), 3);

    ::testing::internal::CaptureStdout();
    d.MessageBox("Done!");
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Done!\n");
    EXPECT_EQ(term.Take(), "\r\x1b[K");
    // After a clear the next repaint draws at once.
    d.Repaint();
    EXPECT_EQ(term.Take(), "\rTime Step 2 of\x1b[K");
}

TEST(StatusLine, NoLineWhenTheOutputIsNotATerminalOrTheLineIsOff) {
    Terminal term(80);
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    TerminalDisplay::Options toPipe;
    toPipe.statusFd = pipeFds[1];
    TerminalDisplay::Options off;
    off.statusFd = term.Fd();
    off.statusLine = false;
    for (const TerminalDisplay::Options& options : {toPipe, off}) {
        TerminalDisplay d(options);
        d.SetCounterVisible(1, true);
        d.RunStarted(RunPlan{true, false, 10, 1});
        d.SetCounterText(1, "Time Step 1");
        d.Repaint();
        EXPECT_EQ(d.Paints(), 0);
    }
    close(pipeFds[0]);
    close(pipeFds[1]);
    EXPECT_EQ(term.Take(), "");
}

// The statuses of the real `ostra` in a 30-column terminal: every line drawn
// is cut to 29 columns and the line is cleared before "Done!" appears.
TEST(StatusLine, RealRunInANarrowTerminal) {
    testing::TempDir dir;
    testing::CompartmentModel m;
    testing::Compartment inflow, cell;
    inflow.kind = 2;
    cell.x = 1;
    const int b = m.Add(inflow), k = m.Add(cell);
    m.Connect({b, k, 1, 0, 2});
    m.boundary[0][b - 1] = 5;
    testing::ControlFile control;
    control.DELT = "0.5";
    control.NumTimeSteps = "400";
    m.Write(dir.Path(), control);

    const testing::OstraRun run = testing::RunOstraInTerminal({dir.Path().string()}, 30);
    ASSERT_EQ(run.status, 0) << run.out;
    const std::string& out = run.out;
    const std::size_t done = out.find("Done!");
    ASSERT_NE(done, std::string::npos) << out;
    int lines = 0;
    for (std::size_t at = out.find('\r'); at != std::string::npos && at < done; at = out.find('\r', at + 1)) {
        const std::size_t end = out.find("\x1b[K", at);
        ASSERT_NE(end, std::string::npos);
        const std::string line = out.substr(at + 1, end - at - 1);
        if (line.empty()) continue;  // a clear
        ++lines;
        EXPECT_LE(line.size(), 29u) << line;
        EXPECT_EQ(line.rfind("Time Step ", 0), 0u) << line;
        EXPECT_NE(line.find(" of 400 ("), std::string::npos) << line;
    }
    EXPECT_GE(lines, 1);
    EXPECT_EQ(out.rfind("\r\x1b[K", done), out.rfind('\r', done - 1)) << "cleared last, before Done!";
    EXPECT_NE(out.find("Summary:", done), std::string::npos);

    const testing::OstraRun quiet = testing::RunOstraInTerminal({"--quiet", dir.Path().string()}, 30);
    EXPECT_EQ(quiet.status, 0);
    EXPECT_EQ(quiet.out.find("\x1b[K"), std::string::npos) << quiet.out;
    EXPECT_EQ(quiet.out.find("Summary:"), std::string::npos) << quiet.out;
    EXPECT_NE(quiet.out.find("Done!"), std::string::npos);
}

}  // namespace
}  // namespace ostra
