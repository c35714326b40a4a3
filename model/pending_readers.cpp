// Not yet built: each entry is removed when its procedure is written; the file goes with the last one.
#include "model/table_readers.h"
#include "textio/errors.h"

namespace ostra {
namespace {
[[noreturn]] void NotBuilt(const char* name) { throw textio::DataError(std::string(name) + " is not built yet"); }
}  // namespace

void ReadCompartments(ModelState&) { NotBuilt("ReadCompartments"); }
void ReadInterfaces(ModelState&) { NotBuilt("ReadInterfaces"); }
void ReadFlows(ModelState&) { NotBuilt("ReadFlows"); }
void ReadECoef(ModelState&) { NotBuilt("ReadECoef"); }
void ReadKdandTempCoef(ModelState&) { NotBuilt("ReadKdandTempCoef"); }
void ReadBoundary(ModelState&) { NotBuilt("ReadBoundary"); }
void ReadFlowandEMultipliers(ModelState&, Integer, Integer, Integer, Integer, Integer, Single&, Single&) { NotBuilt("ReadFlowandEMultipliers"); }
void InvalidateMultipliers(ModelState&) { NotBuilt("InvalidateMultipliers"); }

}  // namespace ostra
