// main.cpp -- `ostra [model-directory]`: one run, exactly as the run button.
//
// Runs in the current directory or the one given. Exit status 0 after
// "Done!", otherwise the status of the early end (see model/constants.h and
// the README). After a fatal data error the message of "Error.dng" is also
// printed on standard error.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "app/run_driver.h"
#include "app/terminal_display.h"
#include "model/constants.h"
#include "model/model_state.h"
#include "textio/file_names.h"

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    if (argc > 2 || (argc == 2 && (std::string(argv[1]) == "-h" || std::string(argv[1]) == "--help"))) {
        std::cerr << "usage: ostra [model-directory]\n"
                     "Runs the model whose tables are in the directory (default: the current one).\n";
        return argc > 2 ? ostra::EXIT_USAGE : 0;
    }
    const fs::path dir = argc == 2 ? fs::path(argv[1]) : fs::current_path();
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) {
        std::cerr << "ostra: " << dir.string() << " is not a directory\n";
        return ostra::EXIT_USAGE;
    }
    ostra::TerminalDisplay display;
    ostra::ModelState state(dir, display);
    ostra::FormLoad(state);
    return ostra::RunOstraClick(state);
}
