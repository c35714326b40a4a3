// dumps.cpp -- the assembled equations written out for inspection.
//
// Exports: Aout, Bout, RVout.
//
// Each procedure creates its file anew in the model directory, so the file
// holds only the latest dump, stamped with CurrentTime. Numbers are in the
// general number format; lines end CR LF.
#include "solvers/dumps.h"

#include <cmath>
#include <string>

#include "model/equation_names.h"
#include "model/error.h"
#include "textio/number_format.h"
#include "textio/text_writer.h"

namespace ostra {
namespace {

// The storage of equation i in compartment mode, rounded to Single; a product
// beyond the Single range ends the run.
Single StorageProduct(ModelState& s, int i) {
    const Single volume = s.eq.EqnVolume(i);
    const Single retard = s.eq.EqnRetard(i);
    const Single product = volume * retard;
    if (!std::isfinite(product))
        Error(s, "RVout: the storage EqnVolume * EqnRetard of " + EquationName(s, i) + " is outside the Single range: EqnVolume =" +
                     textio::FormatSingle(volume) + "and EqnRetard =" + textio::FormatSingle(retard));
    return product;
}

}  // namespace

// "A.dng": a header line, then row I of A as NEQN values separated by
// commas, the elements the matrix does not hold written as 0.
void Aout(ModelState& s, const DSparse& A) {
    const int N = s.opt.NEQN;
    textio::TextWriter out(s.Dir, "A.dng");
    out.Text("At Time ").Double(s.sys.CurrentTime).Text(" ...").EndLine();
    for (int I = 1; I <= N; ++I) {
        const auto& row = A.Row(I);
        auto next = row.begin();
        for (int J = 1; J <= N; ++J) {
            Double value = 0;
            if (next != row.end() && next->col == J) value = (next++)->value;
            out.Double(value);
            if (J != N) out.Text(",");
        }
        out.EndLine();
    }
    out.Close();
}

// "B.dng": a header line, then B(1..NEQN), one per line.
void Bout(ModelState& s, const DVector& B) {
    const int N = s.opt.NEQN;
    textio::TextWriter out(s.Dir, "B.dng");
    out.Text("At time").Double(s.sys.CurrentTime).Text("...").EndLine();
    for (int I = 1; I <= N; ++I) out.Double(B(I)).EndLine();
    out.Close();
}

// "RV.dng": a header line, then the storage diagonal, one Single per line:
// RVDiag in equation-solver mode, EqnVolume * EqnRetard otherwise.
void RVout(ModelState& s) {
    const int N = s.opt.NEQN;
    textio::TextWriter out(s.Dir, "RV.dng");
    out.Text("At Time ").Double(s.sys.CurrentTime).Text(" the diagonal elements of RV matrix are ...").EndLine();
    for (int I = 1; I <= N; ++I) {
        const Single value = s.opt.EquationSolver ? s.eq.RVDiag(I) : StorageProduct(s, I);
        out.Single(value).EndLine();
    }
    out.Close();
}

}  // namespace ostra
