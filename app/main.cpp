// main.cpp -- `ostra [options] [model-directory]`: one run, exactly as the run button.
//
// Runs (or, with --check, checks) the model in the current directory or the
// one given. Exit status 0 after "Done!" or a check without fault, otherwise
// the status of the early end (see model/constants.h and --help). A fatal
// error's message also goes to standard error, and so do the warnings of a
// run whose results need a second look; the summary goes to standard output.
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

constexpr const char* HELP =
    "\n"
    "Runs the model in model-directory (default: the current directory): deletes\n"
    "its old \".dng\" files, reads \"Control.csv\" and the tables, solves, and\n"
    "writes the results and diagnostics there. A directory without \"Control.csv\"\n"
    "is refused before anything in it is touched.\n"
    "\n"
    "Options:\n"
    "  --check      check the model up to its first step: no results, just a summary\n"
    "  --strict     end with status 5 when the run or check gave warnings\n"
    "  -q, --quiet  no status line and no summary; messages, warnings, errors stay\n"
    "  -h, --help   print this help and end\n"
    "  --version    print the version and end\n"
    "  --           what follows is the model directory, even if it starts with -\n"
    "\n"
    "Exit statuses:\n"
    "  0   the run finished (\"Done!\"), or the check found no fault\n"
    "  1   fatal data error: the message is in \"Error.dng\" and on standard error\n"
    "  2   the set-up stopped at a scheme or mode that cannot work (message shown)\n"
    "  3   Newton iteration gave up after all randomizing cycles\n"
    "  4   the positivity/wiggle criterion was violated and the answer was not \"C\"\n"
    "  5   --strict: finished, but with warnings about the results\n"
    "  64  bad command line, or the directory is not a model directory\n"
    "  75  another run is going in the model directory (nothing was touched)\n"
    "\n"
    "Environment:\n"
    "  OSTRA_FD_JACOBIAN=columns   form finite-difference Jacobians column by column\n"
    "                              instead of by groups of columns (same results)\n"
    "\n"
    "Manual: the docs/ folder of the Ostra repository; start with docs/running.md.\n";

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
        std::cout << USAGE << HELP;
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
    ostra::TerminalDisplay::Options shown;
    shown.statusLine = !cl.quiet;
    shown.summary = !cl.quiet;
    ostra::TerminalDisplay display(shown);
    ostra::ModelState state(dir, display);
    state.control.check = cl.check;
    state.control.strict = cl.strict;
    ostra::FormLoad(state);
    return ostra::RunOstraClick(state);
}
