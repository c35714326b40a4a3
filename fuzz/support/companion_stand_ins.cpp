// companion_stand_ins.cpp -- the example companion programs, done in the
// harness's own process.
//
// Exports (companion_stand_ins.h): StandInRunner.
#include "support/companion_stand_ins.h"

#include <string>

#include "companions/in_process.h"
#include "textio/file_names.h"

namespace ostra::fuzz {

CompanionRunner StandInRunner(const ExampleModel& example) {
    return [&example](const std::string& program, const std::filesystem::path& dir) {
        for (const auto& [folder, name] : example.companions)
            if (textio::LowerCase(name) == textio::LowerCase(program)) return companions::RunInProcess(folder, dir);
        Finding("example " + example.name + " has no companion program called \"" + program + "\"");
    };
}

}  // namespace ostra::fuzz
