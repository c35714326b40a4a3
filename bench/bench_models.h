// bench_models.h -- generated model directories for the benchmarks.
//
// Exports: ModelDir, ChainModel, GridModel, OneCompartmentModel,
// AlternatingFlowsCompanion, NullDisplay, RunModel, Chain, Grid, Ring,
// WindingGrid, OneCompartment.
//
// Each model is written, as a user would write it, into a directory of its
// own under the temporary directory (removed with the object):
//   chain  a fixed-concentration inflow, N interior compartments in a row
//          (flow, dispersion and first-order decay in each, a load into the
//          first) and a flow exit;
//   grid   NX x NY interior compartments, flow along x from a fixed inflow
//          column to a flow-exit column, dispersion along x and y, decay;
//   ring   N interior compartments in a closed loop, no boundary at all:
//          the flow circulates, dispersion and decay in each, a load into
//          the first (every compartment is an equation: up to 32,767);
//   winding grid  NX x NY interior compartments between a fixed inflow at
//          one corner and a flow exit at the other; the flow winds through
//          the rows (along x, up one row at each row's end, back along x),
//          dispersion along x and y, decay (NX x NY equations from
//          NX x NY + 2 compartments);
//   one    a single compartment with a load and a decay.
// The files are written a second before the runs start, as a model's files
// are in practice: a file modified within the last second is compared byte
// by byte at every assembly, which is the guard for files being rewritten,
// not what a run of a finished model costs.
#pragma once

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "app/run_driver.h"
#include "app/silent_display.h"
#include "model/display.h"
#include "model/model_state.h"
#include "tests/app/compartment_model_files.h"

namespace bench {

namespace fs = std::filesystem;
using ostra::testing::CompartmentModel;
using ostra::testing::ControlFile;

class ModelDir {
public:
    explicit ModelDir(const std::string& name) {
        dir_ = fs::temp_directory_path() / ("ostra-bench-" + std::to_string(getpid()) + "-" + name);
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    ~ModelDir() {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    ModelDir(const ModelDir&) = delete;
    ModelDir& operator=(const ModelDir&) = delete;
    const fs::path& Dir() const { return dir_; }
    // Lets the files written age past the one-second guard of the input cache.
    static void LetFilesAge() { std::this_thread::sleep_for(std::chrono::milliseconds(1100)); }

private:
    fs::path dir_;
};

// Flows of the chain and grid models; `factor` scales every flow (and the
// inflow into the first compartments) so that two factors give two sets of
// flows that both balance.
inline CompartmentModel Chain(int n, double factor = 1) {
    using namespace ostra::testing;
    CompartmentModel m;
    Compartment inflow, exit;
    inflow.kind = 2, exit.kind = 3;
    int previous = m.Add(inflow);
    m.boundary[0][previous - 1] = 1;
    for (int k = 1; k <= n; ++k) {
        Compartment c;
        c.x = k;
        c.volume = 100;
        const int next = m.Add(c);
        m.Connect({previous, next, 10, 50 * factor, 2});
        m.volumeTerms.push_back({next, 1, 1, -0.01});
        previous = next;
    }
    exit.x = n + 1;
    m.Connect({previous, m.Add(exit), 10, 50 * factor, 0});
    m.loads.push_back({0, 1E9, {{2, 1, 100}}});
    return m;
}

// NX columns of NY compartments; compartment (i, j) at x = i, y = j.
inline CompartmentModel Grid(int nx, int ny, double factor = 1) {
    using namespace ostra::testing;
    CompartmentModel m;
    std::vector<std::vector<int>> id(static_cast<std::size_t>(nx) + 2, std::vector<int>(ny + 1, 0));
    for (int i = 0; i <= nx + 1; ++i)
        for (int j = 1; j <= ny; ++j) {
            Compartment c;
            c.kind = i == 0 ? 2 : (i == nx + 1 ? 3 : 0);
            c.x = i, c.y = j, c.volume = 100;
            id[i][j] = m.Add(c);
            if (i == 0) m.boundary[0][id[i][j] - 1] = 1;
            if (c.kind == 0) m.volumeTerms.push_back({id[i][j], 1, 1, -0.01});
        }
    for (int i = 0; i <= nx; ++i)
        for (int j = 1; j <= ny; ++j) {
            const double E = (i == 0 || i == nx) ? 0 : 2;
            m.Connect({id[i][j], id[i + 1][j], 10, 50 * factor, E});
            if (i >= 1 && j < ny) m.Connect({id[i][j], id[i][j + 1], 10, 0, 2});
        }
    m.loads.push_back({0, 1E9, {{id[1][1], 1, 100}}});
    return m;
}

inline CompartmentModel Ring(int n, double factor = 1) {
    using namespace ostra::testing;
    CompartmentModel m;
    for (int k = 1; k <= n; ++k) {
        Compartment c;
        c.x = k;
        c.volume = 100;
        m.volumeTerms.push_back({m.Add(c), 1, 1, -0.01});
    }
    for (int k = 1; k <= n; ++k) m.Connect({k, k % n + 1, 10, 50 * factor, 2});
    m.loads.push_back({0, 1E9, {{1, 1, 100}}});
    return m;
}

// Compartment (i, j) at x = i, y = j; the inflow is compartment 1, the exit
// the last.
inline CompartmentModel WindingGrid(int nx, int ny, double factor = 1) {
    using namespace ostra::testing;
    CompartmentModel m;
    Compartment inflow, exit;
    inflow.kind = 2, exit.kind = 3;
    inflow.y = 1;
    const int in = m.Add(inflow);
    m.boundary[0][in - 1] = 1;
    std::vector<std::vector<int>> id(static_cast<std::size_t>(nx) + 1, std::vector<int>(ny + 1, 0));
    for (int j = 1; j <= ny; ++j)
        for (int i = 1; i <= nx; ++i) {
            Compartment c;
            c.x = i, c.y = j, c.volume = 100;
            id[i][j] = m.Add(c);
            m.volumeTerms.push_back({id[i][j], 1, 1, -0.01});
        }
    const double Q = 50 * factor;
    m.Connect({in, id[1][1], 10, Q, 0});
    for (int j = 1; j <= ny; ++j) {
        const bool forward = j % 2 == 1;  // odd rows flow along +x
        for (int i = 1; i < nx; ++i) m.Connect({id[i][j], id[i + 1][j], 10, forward ? Q : -Q, 2});
        if (j < ny)
            for (int i = 1; i <= nx; ++i) {
                const bool turn = i == (forward ? nx : 1);
                m.Connect({id[i][j], id[i][j + 1], 10, turn ? Q : 0, 2});
            }
    }
    const int last = ny % 2 == 1 ? id[nx][ny] : id[1][ny];
    exit.x = ny % 2 == 1 ? nx + 1 : 0, exit.y = ny;
    m.Connect({last, m.Add(exit), 10, Q, 0});
    m.loads.push_back({0, 1E9, {{id[1][1], 1, 100}}});
    return m;
}

inline CompartmentModel OneCompartment() {
    using namespace ostra::testing;
    CompartmentModel m;
    Compartment c;
    c.volume = 10;
    const int k = m.Add(c);
    m.volumeTerms.push_back({k, 1, 1, -0.1});
    m.loads.push_back({0, 1E9, {{k, 1, 2}}});
    return m;
}

// Makes "Flows.exe", which writes one of two flow tables into "Flows.csv"
// by the time it is asked for, so that the matrix changes at every step. The two tables are the
// flows of `a` and `b` (the same model with other flows).
inline void AlternatingFlowsCompanion(const fs::path& dir, const CompartmentModel& a,
                                      const CompartmentModel& b, const ControlFile& control) {
    const fs::path scratch = dir / "flows-scratch";
    fs::create_directories(scratch);
    a.Write(scratch, control);
    fs::copy_file(scratch / "Flows.csv", dir / "FlowsA.csv", fs::copy_options::overwrite_existing);
    b.Write(scratch, control);
    fs::copy_file(scratch / "Flows.csv", dir / "FlowsB.csv", fs::copy_options::overwrite_existing);
    fs::remove_all(scratch);
    const fs::path exe = dir / "Flows.exe";
    {
        std::ofstream out(exe);
        // The table of the requested time's step parity (time / DELT), so
        // every step's new level differs from its old.
        out << "#!/bin/sh\n"
               "case $(awk -v d=" << control.DELT << " 'NR == 1 {print int($1 / d + 0.5) % 2}' ShellFlows.csv) in\n"
               "0) cp FlowsA.csv Flows.csv ;;\n*) cp FlowsB.csv Flows.csv ;;\nesac\n";
    }
    fs::permissions(exe, fs::perms::owner_all);
}

// A display that shows nothing: the benchmarks time the run alone.
using NullDisplay = ostra::SilentDisplay;

struct RunResult {
    int status;
    double seconds;          // wall time of the whole run
    double companionSeconds;  // of that, waiting for companion programs
    long eliminations, replays;
};

// One whole run, as `ostra` performs it.
inline RunResult RunModel(const fs::path& dir) {
    NullDisplay display;
    ostra::ModelState s(dir, display);
    ostra::FormLoad(s);
    const auto start = std::chrono::steady_clock::now();
    const int status = ostra::RunOstraClick(s);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return {status, seconds, s.companions.seconds, s.work.eliminations, s.work.replays};
}

}  // namespace bench
