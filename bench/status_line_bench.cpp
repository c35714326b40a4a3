// status_line_bench.cpp -- what the status line of `ostra` costs a run.
//
// A 10,000-step implicit-Euler run of one interior compartment fed by a
// fixed-concentration boundary ("AllTimeSeries.csv" gets a row per step),
// written as a model directory in the temporary directory, run whole
// (FormLoad + RunOstraClick) with three displays:
//   BM_Run/0  a display that does nothing (the run alone);
//   BM_Run/1  the terminal display writing to /dev/null, not a terminal, so
//             it draws no line (what a script or batch job gets);
//   BM_Run/2  the terminal display writing to a pseudo-terminal, drawing the
//             status line (what a modeller at a terminal gets); the far end
//             is read by a thread as a terminal emulator would.
// The counter "paints" is the number of status lines drawn per run. A
// second measurement, BM_StepCounter, is one step's share of the display:
// SetCounterText + Repaint between two paints.
// Build with -DOSTRA_BENCH=ON in a Release build.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <thread>

#include "app/run_driver.h"
#include "app/silent_display.h"
#include "app/terminal_display.h"
#include "model/model_state.h"
#include "tests/app/compartment_model_files.h"

namespace {

namespace fs = std::filesystem;
constexpr const char* STEPS = "10000";

using NullDisplay = ostra::SilentDisplay;

// The one-compartment model in a directory of its own, removed with the object.
class OneCompartment {
public:
    OneCompartment() {
        dir_ = fs::temp_directory_path() / ("ostra-status-bench-" + std::to_string(getpid()));
        fs::create_directories(dir_);
        using namespace ostra::testing;
        CompartmentModel m;
        Compartment inflow, cell;
        inflow.kind = 2;
        cell.x = 1;
        cell.volume = 10;
        const int b = m.Add(inflow), k = m.Add(cell);
        m.Connect({b, k, 1, 0, 2});
        m.boundary[0][b - 1] = 5;
        ControlFile control;
        control.DELT = "0.01";
        control.NumTimeSteps = STEPS;
        m.Write(dir_, control);
    }
    ~OneCompartment() {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    const fs::path& Dir() const { return dir_; }

private:
    fs::path dir_;
};

// A pseudo-terminal 100 columns wide whose far end is drained by a thread.
class DrainedTerminal {
public:
    DrainedTerminal() {
        winsize ws{};
        ws.ws_row = 24;
        ws.ws_col = 100;
        if (openpty(&master_, &slave_, nullptr, nullptr, &ws) != 0) return;
        reader_ = std::thread([this] {
            char buf[4096];
            while (read(master_, buf, sizeof buf) > 0) {
            }
        });
    }
    ~DrainedTerminal() {
        close(slave_);  // the reader sees the end
        if (reader_.joinable()) reader_.join();
        close(master_);
    }
    int Fd() const { return slave_; }

private:
    int master_ = -1, slave_ = -1;
    std::thread reader_;
};

void BM_Run(benchmark::State& state) {
    const OneCompartment model;
    const int kind = static_cast<int>(state.range(0));
    DrainedTerminal terminal;
    const int devNull = open("/dev/null", O_WRONLY);
    // "Done!" of every run is not part of the measurement's output.
    std::ofstream discard("/dev/null");
    std::streambuf* const cout = std::cout.rdbuf(discard.rdbuf());
    long paints = 0;
    int runs = 0;
    for (auto _ : state) {
        NullDisplay none;
        ostra::TerminalDisplay::Options options;
        options.summary = false;
        options.statusFd = kind == 2 ? terminal.Fd() : devNull;
        ostra::TerminalDisplay term(options);
        ostra::Display& display = kind == 0 ? static_cast<ostra::Display&>(none) : term;
        ostra::ModelState s(model.Dir(), display);
        ostra::FormLoad(s);
        if (ostra::RunOstraClick(s) != 0) state.SkipWithError("the run failed");
        paints += term.Paints();
        ++runs;
    }
    std::cout.rdbuf(cout);
    close(devNull);
    state.counters["paints"] = runs > 0 ? static_cast<double>(paints) / runs : 0;
    state.SetLabel(kind == 0 ? "no display" : kind == 1 ? "terminal display, not a terminal"
                                                         : "terminal display, pseudo-terminal");
}
BENCHMARK(BM_Run)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->MinTime(2);

void BM_StepCounter(benchmark::State& state) {
    DrainedTerminal terminal;
    ostra::TerminalDisplay::Options options;
    options.statusFd = terminal.Fd();
    ostra::TerminalDisplay d(options);
    d.SetCounterVisible(1, true);
    d.RunStarted(ostra::RunPlan{true, false, 1E9, 1});
    const std::string text = "Time Step 4828";
    for (auto _ : state) {
        d.SetCounterText(1, text);
        d.Repaint();
    }
    state.counters["paints"] = static_cast<double>(d.Paints());
}
BENCHMARK(BM_StepCounter);

}  // namespace

BENCHMARK_MAIN();
