// scratch_model.cpp -- the example models held in memory, and the scratch
// model directory of one fuzzing process.
//
// Exports (scratch_model.h): Examples, FindExample, TableNames, ScratchDir,
// WriteModel, Finding, ReadFileBytes, WriteFileBytes.
#include "support/scratch_model.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <system_error>

#include "textio/file_names.h"

namespace ostra::fuzz {
namespace {

namespace fs = std::filesystem;

std::string ReadBytes(const fs::path& path) {
    std::string bytes;
    if (!ReadFileBytes(path, bytes)) Finding("cannot read " + path.string());
    return bytes;
}

fs::path FromEnvironment(const char* variable, const char* compiledIn) {
    const char* value = std::getenv(variable);
    return fs::path(value != nullptr && *value != '\0' ? value : compiledIn);
}

// "companions.txt": one line per program, "<companion-folder> <name-in-model>";
// blank lines and lines starting with '#' are skipped.
std::vector<std::pair<std::string, std::string>> ReadCompanionList(const std::string& text) {
    std::vector<std::pair<std::string, std::string>> list;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::istringstream words(line);
        std::string folder, program;
        words >> folder >> program;
        if (folder.empty() || folder[0] == '#') continue;
        if (program.empty()) Finding("companions.txt line \"" + line + "\" names no program");
        list.emplace_back(folder, program);
    }
    return list;
}

ExampleModel LoadExample(const fs::path& root, const std::string& name) {
    ExampleModel m;
    m.name = name;
    const fs::path dir = root / name;
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) Finding("example folder " + dir.string() + " does not exist");
    for (const fs::directory_entry& e : fs::directory_iterator(dir)) {
        if (!e.is_regular_file()) continue;
        const std::string file = e.path().filename().string();
        if (textio::LowerCase(file) == "companions.txt") {
            m.companions = ReadCompanionList(ReadBytes(e.path()));
        } else if (textio::LowerCase(e.path().extension().string()) == ".csv") {
            m.tables[file] = ReadBytes(e.path());
        }
    }
    return m;
}

// The single executable built for companion folder `folder`.
fs::path CompanionProgram(const std::string& folder) {
    const fs::path dir = FromEnvironment("OSTRA_FUZZ_COMPANIONS", OSTRA_FUZZ_COMPANIONS) / folder;
    std::vector<fs::path> found;
    std::error_code ec;
    for (const fs::directory_entry& e : fs::directory_iterator(dir, ec))
        if (e.is_regular_file() && access(e.path().c_str(), X_OK) == 0) found.push_back(e.path());
    if (found.size() != 1)
        Finding("expected one companion program in " + dir.string() + ", found " + std::to_string(found.size()) +
                " (build the companion targets first)");
    return found[0];
}

void RemoveScratch() {
    std::error_code ec;
    fs::remove_all(ScratchDir(), ec);
}

fs::path ScratchParent() {
    std::error_code ec;
    if (const char* t = std::getenv("OSTRA_FUZZ_TMP"); t != nullptr && *t != '\0') return t;
    if (fs::is_directory("/dev/shm", ec) && access("/dev/shm", W_OK) == 0) return "/dev/shm";
    if (const char* t = std::getenv("TMPDIR"); t != nullptr && *t != '\0') return t;
    return "/tmp";
}

// A copy of the model just written, for a reproducer: its tables and a
// "companions.txt" naming the companion programs (as the examples do, so
// that tools/run-example.sh can run it).
void DumpModel(const fs::path& dir, const ExampleModel& example, const fs::path& to) {
    std::error_code ec;
    fs::create_directories(to, ec);
    for (const fs::directory_entry& e : fs::directory_iterator(dir, ec))
        if (!e.is_symlink()) fs::copy_file(e.path(), to / e.path().filename(), fs::copy_options::overwrite_existing, ec);
    if (example.companions.empty()) return;
    std::string list;
    for (const auto& [folder, program] : example.companions) list += folder + " " + program + "\n";
    WriteFileBytes(to / "companions.txt", list);
}

// The linear examples hold no starting guesses (and the steady one no
// initial values), which a fuzzed "Control.csv" that makes their run
// nonlinear or dynamic would ask for. They get them here, so that such a run
// goes on to Newton iteration or the time loop without needing a companion
// program: the two river networks are the same 2 x 8 model, so the initial
// values of the dynamic one serve both as initial values and as guesses
// (every pair with an equation has a value other than -999).
void AddStartingValues(std::vector<ExampleModel>& list) {
    auto table = [&](const char* example, const char* name) -> std::string& {
        for (ExampleModel& m : list)
            if (m.name == example) return m.tables[name];
        Finding(std::string("no example model called ") + example);
    };
    const std::string initial = table("river-network", "INITIAL.CSV");
    table("river-network", "Guess.CSV") = initial;
    table("river-network-steady", "INITIAL.CSV") = initial;
    table("river-network-steady", "Guess.CSV") = initial;
    table("equation-solver", "GuessEqnSolver.csv") = "1\n1\n1\n";
}

// The nonlinear-sorption example takes 30 time steps, each eliminating its
// dense 98 x 98 Jacobian at every Newton iteration: with the harnesses'
// instrumentation about a second a run, against some 20 ms for a run of the
// other examples. The harnesses' copy takes 5 steps ("Control.csv" line 22):
// the same procedures in a sixth of the time.
void ShortenSorptionRun(std::vector<ExampleModel>& list) {
    for (ExampleModel& m : list) {
        if (m.name != "nonlinear-sorption") continue;
        std::string& control = m.tables["Control.csv"];
        std::size_t start = 0;
        for (int line = 1; line < 22 && start != std::string::npos; ++line) {
            start = control.find('\n', start);
            if (start != std::string::npos) ++start;
        }
        const std::size_t end = start == std::string::npos ? start : control.find_first_of("\r\n", start);
        if (end == std::string::npos || control.compare(start, end - start, "30") != 0)
            Finding("nonlinear-sorption's Control.csv has no line 22 of 30 time steps to shorten");
        control.replace(start, end - start, "5");
    }
}

}  // namespace

const std::vector<ExampleModel>& Examples() {
    static const std::vector<ExampleModel> examples = [] {
        const fs::path root = FromEnvironment("OSTRA_FUZZ_EXAMPLES", OSTRA_FUZZ_EXAMPLES);
        std::vector<ExampleModel> list;
        for (const char* name : {"river-network", "river-network-steady", "equation-solver", "kinetics",
                                 "quadratic-steady", "nonlinear-sorption"})
            list.push_back(LoadExample(root, name));
        AddStartingValues(list);
        ShortenSorptionRun(list);
        return list;
    }();
    return examples;
}

const ExampleModel& FindExample(const std::string& name) {
    for (const ExampleModel& m : Examples())
        if (m.name == name) return m;
    Finding("no example model called " + name);
}

const std::vector<std::string>& TableNames() {
    static const std::vector<std::string> names = {
        "Control.csv",      "SVCompmap.csv",        "INITIAL.CSV",     "Guess.CSV",
        "Compartments.csv", "Interfaces.csv",       "Flows.csv",       "ECoefficients.csv",
        "FlowandEMultipliers.csv", "linearKdandTempCoef.csv", "BOUNDARY.csv", "VolumeSrcSnks.csv",
        "AreaSrcSnks.csv",  "Loads.csv",            "AEqnSolver.csv",  "BEqnSolver.csv",
        "RVEqnSolver.csv",  "InitialEqnSolver.csv", "GuessEqnSolver.csv"};
    return names;
}

const fs::path& ScratchDir() {
    static const fs::path dir = [] {
        std::string pattern = (ScratchParent() / "ostra-fuzz-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) Finding("cannot create a scratch directory from " + pattern);
        return fs::path(pattern);
    }();
    static const bool cleanup = [] { return std::atexit(RemoveScratch) == 0; }();
    (void)cleanup;
    return dir;
}

const fs::path& WriteModel(const ExampleModel& example, const std::map<std::string, std::string>& replaced) {
    const fs::path& dir = ScratchDir();
    std::error_code ec;
    for (const fs::directory_entry& e : fs::directory_iterator(dir, ec)) fs::remove_all(e.path(), ec);
    std::map<std::string, std::string> lowerReplaced;
    for (const auto& [name, bytes] : replaced) lowerReplaced[textio::LowerCase(name)] = name;
    for (const auto& [name, bytes] : example.tables)
        if (lowerReplaced.count(textio::LowerCase(name)) == 0) WriteFileBytes(dir / name, bytes);
    for (const auto& [name, bytes] : replaced) WriteFileBytes(dir / name, bytes);
    for (const auto& [folder, program] : example.companions) {
        static std::map<std::string, fs::path> built;
        auto it = built.find(folder);
        if (it == built.end()) it = built.emplace(folder, CompanionProgram(folder)).first;
        fs::create_symlink(it->second, dir / program, ec);
        if (ec) Finding("cannot link companion program " + it->second.string() + ": " + ec.message());
    }
    if (const char* dump = std::getenv("OSTRA_FUZZ_DUMP"); dump != nullptr && *dump != '\0') DumpModel(dir, example, dump);
    return dir;
}

bool ReadFileBytes(const fs::path& path, std::string& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

void WriteFileBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) Finding("cannot write " + path.string());
}

void Finding(const std::string& what) {
    std::fprintf(stderr, "\n==== ostra fuzz finding: %s\n", what.c_str());
    std::fflush(stderr);
    std::abort();
}

}  // namespace ostra::fuzz
