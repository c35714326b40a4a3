// Not yet built: each entry is removed when its procedure is written; the file goes with the last one.
#include "solvers/nonlinear_terms.h"
#include "solvers/residual.h"
#include "solvers/jacobian.h"
#include "solvers/newton.h"
#include "textio/errors.h"

namespace ostra {
namespace {
[[noreturn]] void NotBuilt(const char* name) { throw textio::DataError(std::string(name) + " is not built yet"); }
}  // namespace

void Varn(ModelState&, const DVector&, DVector&) { NotBuilt("Varn"); }
void Telm(ModelState&, const DVector&) { NotBuilt("Telm"); }
void Getdfdc(ModelState&, DMatrix&, const DVector&) { NotBuilt("Getdfdc"); }
void GetPask(ModelState&, DVector&, const DVector&) { NotBuilt("GetPask"); }
void EvalG(ModelState&, const DVector&, const DVector&, DVector&, Integer, DMatrix&, DVector&, DVector&, Double) { NotBuilt("EvalG"); }
void Jacobian(ModelState&, Double, const DVector&, const DVector&, DVector&, DMatrix&, DMatrix&, DVector&, DVector&, Double) { NotBuilt("Jacobian"); }
void Newton(ModelState&, DVector&, const DVector&, DVector&, DMatrix&, IVector&, Single, Double, DMatrix&, DVector&, DVector&, Double) { NotBuilt("Newton"); }
void RandomValue(ModelState&, DVector&, std::mt19937&) { NotBuilt("RandomValue"); }

}  // namespace ostra
