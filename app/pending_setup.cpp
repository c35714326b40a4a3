// Not yet built: each entry is removed when its procedure is written; the file goes with the last one.
#include "app/run_options.h"
#include "app/run_setup.h"
#include "app/result_files.h"
#include "textio/errors.h"

namespace ostra {
namespace {
[[noreturn]] void NotBuilt(const char* name) { throw textio::DataError(std::string(name) + " is not built yet"); }
}  // namespace

void ReadControl(ModelState&) { NotBuilt("ReadControl"); }
void SetupRun(ModelState&) { NotBuilt("SetupRun"); }
void PrepareDynamicRun(ModelState&) { NotBuilt("PrepareDynamicRun"); }
void InitialConcentrations(ModelState&) { NotBuilt("InitialConcentrations"); }
void OpenAllTimeSeries(ModelState&) { NotBuilt("OpenAllTimeSeries"); }
void OpenOneCompTimeSeries(ModelState&) { NotBuilt("OpenOneCompTimeSeries"); }
void AllTimeSeries(ModelState&, const DVector&) { NotBuilt("AllTimeSeries"); }
void OneCompTimeSeries(ModelState&, Integer, const DVector&) { NotBuilt("OneCompTimeSeries"); }
void ProfileSnapshot(ModelState&, const DVector&) { NotBuilt("ProfileSnapshot"); }

}  // namespace ostra
