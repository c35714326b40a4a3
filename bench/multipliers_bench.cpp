// multipliers_bench.cpp -- cost of the flow and exchange multiplier lookup.
//
// One transport assembly looks up the multipliers twice per interface (the
// neighbour entry and the diagonal entry). This measures one assembly of a
// 200-interface chain against multiplier files of 0, 50 and 500 records, by
// a fresh scan of the file at every lookup and by the parsed lookup, whose
// records are parsed again after every parameter update (once per assembly
// here, the most often it can happen).
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "app/recording_display.h"
#include "model/model_state.h"
#include "model/table_readers.h"

namespace {

namespace fs = std::filesystem;
using ostra::Integer;
using ostra::Single;

constexpr int kInterfaces = 200;

// A model directory holding a multiplier file of `records` records, removed afterwards.
class MultiplierDir {
public:
    explicit MultiplierDir(int records)
        : path_(fs::temp_directory_path() / ("ostra-bench-" + std::to_string(records))) {
        fs::create_directories(path_);
        std::ofstream out(path_ / "FlowandEMultipliers.csv", std::ios::binary | std::ios::trunc);
        out << "ISV,Row,Col,IntI,IntJ,EMult,QMult\r\n";
        for (int j = 1; j <= records; ++j) {
            const int row = (j * 7) % kInterfaces + 1;
            out << 1 + j % 2 << "," << row << "," << row + 1 << "," << row << "," << row + 1
                << ",0.5,2\r\n";
        }
        out << "-999\r\n";
    }
    ~MultiplierDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const fs::path& Path() const { return path_; }

private:
    fs::path path_;
};

using Lookup = void (*)(ostra::ModelState&, Integer, Integer, Integer, Integer, Integer, Single&,
                        Single&);

// One assembly: both lookups for every interface K -> K + 1 of state variable 1.
void Assembly(benchmark::State& state, Lookup lookup, bool invalidate) {
    MultiplierDir dir(static_cast<int>(state.range(0)));
    ostra::RecordingDisplay display;
    ostra::ModelState s(dir.Path(), display);
    for (auto _ : state) {
        if (invalidate) ostra::InvalidateMultipliers(s);
        for (Integer K = 1; K <= kInterfaces; ++K) {
            const Integer IAS = static_cast<Integer>(K + 1);
            Single EMult, QMult;
            lookup(s, 1, K, IAS, K, IAS, EMult, QMult);
            benchmark::DoNotOptimize(EMult);
            lookup(s, 1, K, K, K, IAS, EMult, QMult);
            benchmark::DoNotOptimize(QMult);
        }
    }
    state.SetItemsProcessed(state.iterations() * 2 * kInterfaces);
}

void FreshScan(benchmark::State& state) { Assembly(state, &ostra::ReadFlowandEMultipliersFromFile, false); }
void ParsedOncePerUpdate(benchmark::State& state) { Assembly(state, &ostra::ReadFlowandEMultipliers, true); }

BENCHMARK(FreshScan)->Arg(0)->Arg(50)->Arg(500)->Unit(benchmark::kMillisecond);
BENCHMARK(ParsedOncePerUpdate)->Arg(0)->Arg(50)->Arg(500)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
