// Not yet built: each entry is removed when its procedure is written; the file goes with the last one.
#include "transport/transport.h"
#include "transport/wiggle.h"
#include "textio/errors.h"

namespace ostra {
namespace {
[[noreturn]] void NotBuilt(const char* name) { throw textio::DataError(std::string(name) + " is not built yet"); }
}  // namespace

void Transport(ModelState&, SMatrix&, SVector&, Integer) { NotBuilt("Transport"); }
void LoadATrans(ModelState&, DMatrix&, DVector&) { NotBuilt("LoadATrans"); }
void Wiggle(ModelState&, Double) { NotBuilt("Wiggle"); }

}  // namespace ostra
