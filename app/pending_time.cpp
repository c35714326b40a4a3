// Not yet built: each entry is removed when its procedure is written; the file goes with the last one.
#include "app/time_integration.h"
#include "textio/errors.h"

namespace ostra {
namespace {
[[noreturn]] void NotBuilt(const char* name) { throw textio::DataError(std::string(name) + " is not built yet"); }
}  // namespace

void SteadyState(ModelState&) { NotBuilt("SteadyState"); }
void TimeLoop(ModelState&) { NotBuilt("TimeLoop"); }

}  // namespace ostra
