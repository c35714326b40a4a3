// transport_copy_test.cpp -- the transport part of a time step taken over
// from the last step while its inputs stand gives the files that forming it
// anew at every step gives, byte for byte; a multipliers file rewritten
// during the run is noticed.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <string>

#include "app/compartment_model_files.h"
#include "app/run_driver.h"
#include "app/silent_display.h"
#include "bench/bench_models.h"
#include "support/test_support.h"

namespace ostra::testing {
namespace {

namespace fs = std::filesystem;

// Rewrites "FlowandEMultipliers.csv" with `text` when time step `step` starts
// (nothing when `text` is empty), as a user or another program may.
class RewritingDisplay : public SilentDisplay {
public:
    RewritingDisplay(fs::path dir, int step, std::string text)
        : dir_(std::move(dir)), step_("Time Step " + std::to_string(step)), text_(std::move(text)) {}
    void SetCounterText(int counter, const std::string& text) override {
        if (counter == 1 && text == step_ && !text_.empty()) WriteModelFile(dir_, "FlowandEMultipliers.csv", text_);
    }

private:
    fs::path dir_;
    std::string step_, text_;
};

struct Outcome {
    std::map<std::string, std::string> files;  // every file the run left, by name
    long assemblies = 0, copies = 0;
};

Outcome RunIn(const fs::path& dir, bool allowed, const std::string& rewrite) {
    RewritingDisplay display(dir, 6, rewrite);
    ModelState s(dir, display);
    s.work.transport.allowed = allowed;
    FormLoad(s);
    EXPECT_EQ(RunOstraClick(s), 0) << dir;
    Outcome r{{}, s.work.transport.assemblies, s.work.transport.copies};
    for (const auto& e : fs::directory_iterator(dir)) r.files[e.path().filename().string()] = ReadFileText(e.path());
    return r;
}

void CopyRiverNetwork(const fs::path& dir) {
    for (const auto& e : fs::directory_iterator(fs::path(OSTRA_SOURCE_DIR) / "examples" / "river-network"))
        fs::copy_file(e.path(), dir / e.path().filename());
}

TEST(TransportCopy, StepsGiveTheFilesOfAssemblingAnewEveryStep) {
    const std::string halved = "State variable,row,column,I,J,exchange multiplier,flow multiplier\n"
                               "1,2,4,2,4,0.5,1\n-999\n";
    struct Case {
        const char* name;
        std::function<void(const fs::path&)> write;
        std::string rewrite;  // multipliers written at step 6
        bool copies;          // the copy may be taken at all
    };
    ControlFile implicit;
    implicit.DELT = "0.5", implicit.NumTimeSteps = "20", implicit.DynType = 3;
    ControlFile crank = implicit, varying = implicit;
    crank.DynType = 4;
    varying.TimeVarFlows = true;
    const Case cases[] = {
        {"river-network", CopyRiverNetwork, "", true},
        {"river-network, multipliers rewritten", CopyRiverNetwork, halved, true},
        {"chain of 30, Crank-Nicolson", [&](const fs::path& d) { bench::Chain(30).Write(d, crank); }, "", true},
        {"grid 8 x 6", [&](const fs::path& d) { bench::Grid(8, 6).Write(d, implicit); }, "", true},
        {"chain of 12, flows vary", [&](const fs::path& d) {
             bench::Chain(12).Write(d, varying);
             bench::AlternatingFlowsCompanion(d, bench::Chain(12, 1), bench::Chain(12, 1.5), varying);
         }, "", false},
    };
    for (const Case& c : cases) {
        TempDir kept, anew;
        c.write(kept.Path());
        c.write(anew.Path());
        const Outcome k = RunIn(kept.Path(), true, c.rewrite), a = RunIn(anew.Path(), false, c.rewrite);
        EXPECT_EQ(a.copies, 0) << c.name;
        EXPECT_EQ(k.copies > 0, c.copies) << c.name;
        // The rewritten file is parsed anew: the step after it assembles again.
        EXPECT_EQ(k.assemblies, c.rewrite.empty() ? (c.copies ? 1 : a.assemblies) : 2) << c.name;
        ASSERT_EQ(k.files.size(), a.files.size()) << c.name;
        for (const auto& [name, text] : a.files) EXPECT_EQ(k.files.at(name), text) << c.name << ": " << name;
    }
    // The rewrite changes the results, so noticing it matters.
    TempDir plain, rewritten;
    CopyRiverNetwork(plain.Path());
    CopyRiverNetwork(rewritten.Path());
    EXPECT_NE(RunIn(plain.Path(), true, "").files.at("AllTimeSeries.csv"),
              RunIn(rewritten.Path(), true, halved).files.at("AllTimeSeries.csv"));
}

}  // namespace
}  // namespace ostra::testing
