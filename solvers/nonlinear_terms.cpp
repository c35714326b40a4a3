// nonlinear_terms.cpp -- f(C), R(C) and their derivatives from companion programs.
//
// Exports: Varn, Telm, Getdfdc, GetPask.
//
// Each term is one exchange with a user's companion program: the request
// "Shell<name>.csv" is written, any answer left from an earlier exchange is
// deleted, "<name>.exe" is started and waited for, and its answer
// "<name>.csv" is read value by value whatever its line layout (values after
// the last one needed are ignored). A term whose switch is off is zero and
// costs no file and no process.
#include "solvers/nonlinear_terms.h"

#include <filesystem>
#include <string>
#include <type_traits>

#include "model/companion_exchange.h"
#include "model/error.h"
#include "textio/file_names.h"
#include "textio/text_reader.h"
#include "textio/text_writer.h"

namespace ostra {
namespace {

// Writes the request of exchange `name`: with the time first when `withTime`.
void WriteRequest(ModelState& s, const std::string& name, bool withTime, const DVector& X) {
    if (withTime)
        WriteTimeAndStatus(s, name, s.sys.CurrentTime, X);
    else
        WriteStatus(s, name, X);
}

// Runs "<name>.exe" after removing a stale "<name>.csv", and opens the new
// answer. A program that leaves no answer ends the run.
textio::TextReader StartAndOpenAnswer(ModelState& s, const std::string& name,
                                      const char* procedure) {
    const std::string program = name + ".exe";
    const std::string answer = name + ".csv";
    textio::DeleteMatching(s.Dir, answer);
    ShellFunction(s, program);
    if (!std::filesystem::is_regular_file(textio::FindFile(s.Dir, answer)))
        Error(s, program + " left no answer file \"" + answer + "\" in " + procedure);
    return textio::TextReader(s.Dir, answer);
}

// Ends the run when the answer holds fewer than `needed` values.
void NeedValue(ModelState& s, textio::TextReader& in, const std::string& name, long got,
               long needed, const char* procedure) {
    if (!in.AtEnd()) return;
    Error(s, "\"" + name + ".csv\" written by " + name + ".exe holds " + std::to_string(got) +
                 " values where " + std::to_string(needed) + " are needed in " + procedure);
}

std::string ValueName(const char* term, int i) {
    return std::string(term) + " of equation " + std::to_string(i);
}

// The dump of the latest evaluation: time, the state, the result.
template <class T>
void WriteDump(ModelState& s, const std::string& file, const DVector& X, const char* resultLine,
               const Vec<T>& result) {
    const Integer NEQN = s.opt.NEQN;
    textio::TextWriter out(s.Dir, file);
    out.Text("At Time ").Double(s.sys.CurrentTime).Text(" ...").EndLine();
    out.Text("For following C values ...").EndLine();
    for (int I = 1; I <= NEQN; ++I) out.Double(X(I)).EndLine();
    out.Text(resultLine).EndLine();
    for (int I = 1; I <= NEQN; ++I) {
        if constexpr (std::is_same_v<T, Single>)
            out.Single(result(I)).EndLine();
        else
            out.Double(result(I)).EndLine();
    }
    out.Close();
}

}  // namespace

void Varn(ModelState& s, const DVector& X, DVector& f) {
    const Integer NEQN = s.opt.NEQN;
    for (int I = 1; I <= NEQN; ++I) f(I) = 0;
    if (!s.opt.VarnTerm) return;

    WriteRequest(s, "varn", s.opt.Dynamic, X);
    textio::TextReader in = StartAndOpenAnswer(s, "varn", "Varn");
    for (int I = 1; I <= NEQN; ++I) {
        NeedValue(s, in, "varn", I - 1, NEQN, "Varn");
        f(I) = in.ReadDouble(ValueName("f", I));
    }
    if (s.sys.DumpNow) WriteDump(s, "Varn.dng", X, "result if the following F values ...", f);
}

void Telm(ModelState& s, const DVector& X) {
    const Integer NEQN = s.opt.NEQN;
    SVector& R = s.eq.EqnRetard;
    // Only the compartment mode keeps retardation factors; the storage of
    // the equation-solver mode is the fixed diagonal of "RVEqnSolver.csv".
    if (R.Size() < NEQN)
        Error(s, "a concentration-dependent storage factor (Control.csv pair 16 = Y) needs the "
                 "compartment mode ENVS; in EQNS mode the storage is read from \"RVEqnSolver.csv\"");
    for (int I = 1; I <= NEQN; ++I) R(I) = 0;
    if (!s.opt.TelmTerm) return;

    WriteRequest(s, "Telm", true, X);
    textio::TextReader in = StartAndOpenAnswer(s, "Telm", "Telm");
    for (int I = 1; I <= NEQN; ++I) {
        NeedValue(s, in, "Telm", I - 1, NEQN, "Telm");
        R(I) = in.ReadSingle(ValueName("R", I));
    }
    if (s.sys.DumpNow) WriteDump(s, "Telm.dng", X, "result if the following R values ...", R);
}

namespace {

// Runs "dfdc.exe" and hands each of the NEQN x NEQN values of its answer,
// row by row, to store(I, J, value).
template <class Store>
void ReadDfdc(ModelState& s, const DVector& X, Store store) {
    const Integer NEQN = s.opt.NEQN;
    WriteRequest(s, "dfdc", s.opt.Dynamic, X);
    textio::TextReader in = StartAndOpenAnswer(s, "dfdc", "Getdfdc");
    const long needed = static_cast<long>(NEQN) * NEQN;
    for (int I = 1; I <= NEQN; ++I) {
        for (int J = 1; J <= NEQN; ++J) {
            NeedValue(s, in, "dfdc", static_cast<long>(I - 1) * NEQN + (J - 1), needed, "Getdfdc");
            store(I, J, in.ReadDouble("df(" + std::to_string(I) + ")/dC(" + std::to_string(J) + ")"));
        }
    }
}

}  // namespace

void Getdfdc(ModelState& s, DMatrix& dfdc, const DVector& X) {
    const Integer NEQN = s.opt.NEQN;
    for (int I = 1; I <= NEQN; ++I)
        for (int J = 1; J <= NEQN; ++J) dfdc(I, J) = 0;
    if (!s.opt.VarnTerm) return;
    ReadDfdc(s, X, [&dfdc](int I, int J, Double value) { dfdc(I, J) = value; });
}

void Getdfdc(ModelState& s, DSparse& dfdc, const DVector& X) {
    const Integer NEQN = s.opt.NEQN;
    if (dfdc.Rows() != NEQN) dfdc.Resize(NEQN, "df/dC");
    dfdc.Clear();
    if (!s.opt.VarnTerm) return;
    ReadDfdc(s, X, [&dfdc](int I, int J, Double value) {
        if (value != 0) dfdc.MutableRow(I).push_back({J, value});
    });
}

void GetPask(ModelState& s, DVector& Pask, const DVector& X) {
    const Integer NEQN = s.opt.NEQN;
    for (int I = 1; I <= NEQN; ++I) Pask(I) = 0;
    if (!s.opt.TelmTerm) return;

    WriteRequest(s, "Pask", true, X);
    textio::TextReader in = StartAndOpenAnswer(s, "Pask", "GetPask");
    for (int I = 1; I <= NEQN; ++I) {
        NeedValue(s, in, "Pask", I - 1, NEQN, "GetPask");
        Pask(I) = in.ReadDouble(ValueName("dR/dC", I));
    }
}

}  // namespace ostra
