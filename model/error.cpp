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
        out.close();
        s.control.errorFileWritten = static_cast<bool>(out);
    }
    s.display.FatalError(ErrorString, s.control.errorFileWritten);
    s.display.MessageBox(FATAL_ERROR_BOX);
}

void Error(ModelState& s, const std::string& ErrorString) {
    ReportFatal(s, ErrorString);
    throw RunEnded{EXIT_FATAL_DATA};
}

void EndRun(int status) { throw RunEnded{status}; }

void CheckStop(ModelState& s) {
    if (s.display.StopRequested()) Error(s, STOPPED_BY_USER);
}

void AddWarning(ModelState& s, const std::string& text) { s.control.warnings.push_back(text); }

void AddWarningOnce(ModelState& s, const std::string& text) {
    for (const std::string& known : s.control.warnings)
        if (known == text) return;
    AddWarning(s, text);
}

void NoteResultFile(ModelState& s, const std::string& name) {
    for (const std::string& known : s.control.resultFiles)
        if (known == name) return;
    s.control.resultFiles.push_back(name);
}

}  // namespace ostra
