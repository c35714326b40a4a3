// error.cpp -- "Error.dng", the fatal-error box and the ends of a run.
#include "model/error.h"

#include <fstream>

#include "model/model_state.h"
#include "textio/file_names.h"

namespace ostra {

void ReportFatal(ModelState& s, const std::string& ErrorString) {
    {
        // Written directly and closed at once, before anything else can fail.
        std::ofstream out(textio::OutputPath(s.Dir, "Error.dng"), std::ios::binary | std::ios::trunc);
        out << "Error:  " << ErrorString << "\r\n";
    }
    s.display.MessageBox(FATAL_ERROR_BOX);
}

void Error(ModelState& s, const std::string& ErrorString) {
    ReportFatal(s, ErrorString);
    throw RunEnded{EXIT_FATAL_DATA};
}

void EndRun(int status) { throw RunEnded{status}; }

}  // namespace ostra
