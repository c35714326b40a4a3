// Not yet built: each entry is removed when its procedure is written; the file goes with the last one.
#include "sources/linear_sources.h"
#include "sources/loads.h"
#include "sources/mass_balance.h"
#include "textio/errors.h"

namespace ostra {
namespace {
[[noreturn]] void NotBuilt(const char* name) { throw textio::DataError(std::string(name) + " is not built yet"); }
}  // namespace

void LoadALinearSrcSnk(ModelState&, DMatrix&) { NotBuilt("LoadALinearSrcSnk"); }
Single GetArea(ModelState&, Integer, Integer) { NotBuilt("GetArea"); }
void ForceFn(ModelState&, Double, DVector&, DVector&) { NotBuilt("ForceFn"); }
void MassBalanceSetup(ModelState&) { NotBuilt("MassBalanceSetup"); }
void MassBalanceCountBoundaries(ModelState&) { NotBuilt("MassBalanceCountBoundaries"); }
void MassBalanceStep(ModelState&, const DVector&) { NotBuilt("MassBalanceStep"); }
void MassBalanceReport(ModelState&, const DVector&) { NotBuilt("MassBalanceReport"); }

}  // namespace ostra
