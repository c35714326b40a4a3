// main.cpp -- `ostra [options] [model-directory]`: one run, exactly as the run button.
//
// Runs in the current directory or the one given. Exit status 0 after
// "Done!", otherwise the status of the early end (see model/constants.h and
// the README). A fatal error's message also goes to standard error, and so
// do the warnings of a run whose results need a second look.
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "app/run_driver.h"
#include "app/terminal_display.h"
#include "model/constants.h"
#include "model/model_state.h"
#include "textio/file_names.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* USAGE =
    "usage: ostra [--check] [--strict] [--quiet] [model-directory]\n"
    "       ostra --version | --help\n";

struct CommandLine {
    bool check = false, strict = false, quiet = false, help = false, version = false;
    std::vector<std::string> dirs;
    std::string unknown;  // the first option not understood
};

CommandLine Parse(int argc, char** argv) {
    CommandLine c;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (optionsEnded || a.empty() || a[0] != '-' || a == "-") {
            c.dirs.push_back(a);
        } else if (a == "--") {
            optionsEnded = true;
        } else if (a == "--check") {
            c.check = true;
        } else if (a == "--strict") {
            c.strict = true;
        } else if (a == "--quiet" || a == "-q") {
            c.quiet = true;
        } else if (a == "--help" || a == "-h") {
            c.help = true;
        } else if (a == "--version") {
            c.version = true;
        } else if (c.unknown.empty()) {
            c.unknown = a;
        }
    }
    return c;
}

}  // namespace

int main(int argc, char** argv) {
    const CommandLine cl = Parse(argc, argv);
    if (cl.help) {
        std::cout << USAGE;
        return ostra::EXIT_DONE;
    }
    if (cl.version) {
        std::cout << "ostra " << OSTRA_VERSION << "\n";
        return ostra::EXIT_DONE;
    }
    if (!cl.unknown.empty() || cl.dirs.size() > 1) {
        if (!cl.unknown.empty()) std::cerr << "ostra: unknown option " << cl.unknown << "\n";
        if (cl.dirs.size() > 1) std::cerr << "ostra: only one model directory may be given\n";
        std::cerr << USAGE;
        return ostra::EXIT_USAGE;
    }
    const fs::path dir = cl.dirs.empty() ? fs::current_path() : fs::path(cl.dirs[0]);
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) {
        std::cerr << "ostra: " << dir.string() << " is not a directory\n";
        return ostra::EXIT_USAGE;
    }
    // Nothing is deleted or written in a directory that is not a model.
    if (!fs::is_regular_file(textio::FindFile(dir, "Control.csv"), ec)) {
        std::cerr << "ostra: " << dir.string() << " holds no \"Control.csv\"; it is not a model directory\n";
        return ostra::EXIT_USAGE;
    }
    ostra::TerminalDisplay display;
    ostra::ModelState state(dir, display);
    state.control.check = cl.check;
    state.control.strict = cl.strict;
    ostra::FormLoad(state);
    return ostra::RunOstraClick(state);
}
