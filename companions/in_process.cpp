// in_process.cpp -- the example companion programs' answer functions by folder.
//
// Exports (in_process.h): companions::RunInProcess.
#include "companions/in_process.h"

#include <stdexcept>

#include "companions/pask/answer.h"
#include "companions/telm/answer.h"
#include "companions/varn-kinetics/answer.h"
#include "companions/varn-quadratic/answer.h"
#include "textio/companion_io.h"

namespace companions {
namespace {

struct Program {
    const char* folder;  // under companions/
    const char* name;    // the program's name in its messages (main.cpp)
    void (*answer)(const std::filesystem::path& dir);
};

constexpr Program PROGRAMS[] = {
    {"telm", "telm", telm::Answer},
    {"pask", "pask", pask::Answer},
    {"varn-kinetics", "varn", varn_kinetics::Answer},
    {"varn-quadratic", "varn", varn_quadratic::Answer},
};

}  // namespace

int RunInProcess(const std::string& folder, const std::filesystem::path& dir) {
    for (const Program& p : PROGRAMS)
        if (folder == p.folder) return textio::CompanionMain(p.name, [&] { p.answer(dir); });
    throw std::invalid_argument("no example companion program is built from companions/" + folder);
}

}  // namespace companions
