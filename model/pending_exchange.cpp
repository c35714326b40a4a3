// Not yet built: each entry is removed when its procedure is written; the file goes with the last one.
#include "model/companion_exchange.h"
#include "model/parm_update.h"
#include "textio/errors.h"

namespace ostra {
namespace {
[[noreturn]] void NotBuilt(const char* name) { throw textio::DataError(std::string(name) + " is not built yet"); }
}  // namespace

void ShellFunction(ModelState&, const std::string&) { NotBuilt("ShellFunction"); }
void WriteTime(ModelState&, const std::string&, Double) { NotBuilt("WriteTime"); }
void WriteStatus(ModelState&, const std::string&, const DVector&) { NotBuilt("WriteStatus"); }
void WriteTimeAndStatus(ModelState&, const std::string&, Double, const DVector&) { NotBuilt("WriteTimeAndStatus"); }
void Exchange(ModelState&, const std::string&, Double) { NotBuilt("Exchange"); }
void ParmUpdate(ModelState&, Double, DMatrix&) { NotBuilt("ParmUpdate"); }

}  // namespace ostra
