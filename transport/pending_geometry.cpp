// Not yet built: each entry is removed when its procedure is written; the file goes with the last one.
#include "transport/geometry.h"
#include "textio/errors.h"

namespace ostra {
namespace {
[[noreturn]] void NotBuilt(const char* name) { throw textio::DataError(std::string(name) + " is not built yet"); }
}  // namespace

Single GetLength(ModelState&, Integer, Integer, Integer) { NotBuilt("GetLength"); }
void UpdateALPHA(ModelState&) { NotBuilt("UpdateALPHA"); }

}  // namespace ostra
