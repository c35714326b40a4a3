// Not yet built: each entry is removed when its procedure is written; the file goes with the last one.
#include "solvers/lu.h"
#include "solvers/linear_solver.h"
#include "solvers/dumps.h"
#include "textio/errors.h"

namespace ostra {
namespace {
[[noreturn]] void NotBuilt(const char* name) { throw textio::DataError(std::string(name) + " is not built yet"); }
}  // namespace

void LUDCMP(DMatrix&, IVector&) { NotBuilt("LUDCMP"); }
void LUBKSB(const DMatrix&, const IVector&, DVector&) { NotBuilt("LUBKSB"); }
void LinearSolver(DMatrix&, DVector&) { NotBuilt("LinearSolver"); }
void Solve(ModelState&, DMatrix&, DVector&) { NotBuilt("Solve"); }
void Aout(ModelState&, const DMatrix&) { NotBuilt("Aout"); }
void Bout(ModelState&, const DVector&) { NotBuilt("Bout"); }
void RVout(ModelState&) { NotBuilt("RVout"); }

}  // namespace ostra
