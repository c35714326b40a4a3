// result_files.cpp -- "AllTimeSeries.csv", "OneCompTimeSeries.csv", "ProfileSnapshot.csv".
//
// Exports: OpenAllTimeSeries, OpenOneCompTimeSeries, AllTimeSeries,
// OneCompTimeSeries, ProfileSnapshot.
//
// Every item is written in the general number format (a leading blank for a
// non-negative number, a trailing blank after it) and every comma is an item
// of its own, so a number is followed by its blank and then the comma. The
// time-series files stay open in s.files.TimeSeries for the whole run; the
// snapshot is rewritten at each call. The value of an equation is c(i) in a
// linear or explicitly nonlinear run and c(i) / XScale for a Newton result.
// A value that is not a finite number is never written: the run ends with a
// message naming the equation and the time.
#include "app/result_files.h"

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "model/equation_names.h"
#include "model/error.h"
#include "textio/errors.h"
#include "textio/number_format.h"
#include "textio/text_writer.h"

namespace ostra {
namespace {

const char* const ALL_TIME_SERIES = "AllTimeSeries.csv";
const char* const ONE_COMP_TIME_SERIES = "OneCompTimeSeries.csv";
const char* const PROFILE_SNAPSHOT = "ProfileSnapshot.csv";

Double ResultValue(const ModelState& s, const DVector& c, int i) {
    if (s.opt.Linear || s.setup.ExplicitNonlinear) return c(i);
    return c(i) / s.opt.XScale;
}

// Ends the run when the value of equation i is an overflow or not a number.
void CheckFinite(ModelState& s, const char* file, int i, Double value) {
    if (std::isfinite(value)) return;
    Error(s, "the value of " + EquationName(s, i) + " at time " + textio::NumberInText(s.sys.CurrentTime) + " is " +
                 textio::NumberInText(value) + ", not a finite number: the solution has overflowed or failed, and \"" +
                 file + "\" gets no row for this time");
}

// The compartment followed by "OneCompTimeSeries.csv" must exist; one that
// holds no state variable gives rows that hold only the time.
void CheckPrintCompartment(ModelState& s, Integer N) {
    if (N >= 1 && N <= s.setup.NT) return;
    Error(s, "file \"Control.csv\", line 30 (pair 15): NumSectnPrint = " + std::to_string(N) +
                 " is not a compartment of the model (1 to " + std::to_string(s.setup.NT) +
                 "); \"OneCompTimeSeries.csv\" follows the state variables of that compartment");
}

[[noreturn]] void OneCompNotForEquationSolver(ModelState& s) {
    Error(s, "OneCompTimeSeries not coded for EquationSolver = true");
}

// The equations of the state variables computed in compartment N, in state-variable order.
std::vector<int> OneCompEquations(ModelState& s, Integer N) {
    std::vector<int> eqns;
    int offset = 0;
    for (int ISV = 1; ISV <= s.opt.NSV; ++ISV) {
        if (s.setup.SVCompMap(ISV, N) == 1) {
            const int local = s.eq.SectnToEqn(ISV, N);
            if (local < 1)
                Error(s, "state variable " + std::to_string(ISV) + " is computed in compartment " +
                             std::to_string(N) + " (\"SVCompmap.csv\") but has no equation there; "
                             "\"OneCompTimeSeries.csv\" cannot be written");
            eqns.push_back(offset + local);
        }
        offset += s.eq.NEQNsm(ISV);
    }
    return eqns;
}

}  // namespace

void OpenAllTimeSeries(ModelState& s) {
    auto w = std::make_unique<textio::TextWriter>(s.Dir, ALL_TIME_SERIES);
    NoteResultFile(s, ALL_TIME_SERIES);
    w->Text("Time").Text(",");
    if (s.opt.EquationSolver) {
        for (int i = 1; i <= s.opt.NEQN; ++i) w->Text("Equation").Integer(i).Text(",");
    } else {
        for (int ISV = 1; ISV <= s.opt.NSV; ++ISV)
            for (int K = 1; K <= s.setup.NT; ++K)
                if (s.setup.SVCompMap(ISV, K) == 1)
                    w->Text("SV").Integer(ISV).Text("in Compartment").Integer(K).Text(",");
    }
    w->EndLine();
    s.files.TimeSeries = std::move(w);
}

void OpenOneCompTimeSeries(ModelState& s) {
    if (s.opt.EquationSolver) OneCompNotForEquationSolver(s);
    const Integer N = s.opt.NumSectnPrint;
    CheckPrintCompartment(s, N);
    auto w = std::make_unique<textio::TextWriter>(s.Dir, ONE_COMP_TIME_SERIES);
    NoteResultFile(s, ONE_COMP_TIME_SERIES);
    w->Text("Time").Text(",");
    for (int ISV = 1; ISV <= s.opt.NSV; ++ISV)
        if (s.setup.SVCompMap(ISV, N) == 1) w->Text("SV ").Integer(ISV).Text(",");
    w->EndLine();
    s.files.TimeSeries = std::move(w);
}

void CheckResultChoice(ModelState& s) {
    const RunOptions& o = s.opt;
    if (!o.Dynamic || o.EquationSolver) return;
    if (o.DynPrint == 2) {
        const Integer N = o.NumSectnPrint;
        CheckPrintCompartment(s, N);
        bool any = false;
        for (int ISV = 1; ISV <= o.NSV; ++ISV) any = any || s.setup.SVCompMap(ISV, N) == 1;
        if (!any)
            AddWarning(s, "NumSectnPrint = " + std::to_string(N) + " (\"Control.csv\", line 30, pair 15): "
                          "compartment " + std::to_string(N) + " holds no state variable (\"SVCompmap.csv\" has "
                          "no 1 for it), so \"" + ONE_COMP_TIME_SERIES + "\" holds only the times");
    }
    // The steps are 1, 2, ... while Step <= NumTimeSteps; the snapshot is
    // written at the one equal to ProfileStep.
    const Double last = o.NumTimeSteps >= 1 ? std::floor(o.NumTimeSteps) : 0;
    const Double p = o.ProfileStep;
    if (o.DynPrint == 1 && !(p >= 1 && p <= last && p == std::floor(p)))
        AddWarning(s, "ProfileStep = " + textio::NumberInText(p) + " (\"Control.csv\", line 28, pair 14) is no "
                      "time step of the run (" + (last >= 1 ? "1 to " + textio::NumberInText(last) : std::string("none")) +
                      "), so \"" + PROFILE_SNAPSHOT + "\" is not written");
}

void AllTimeSeries(ModelState& s, const DVector& c) {
    const Integer NEQN = s.opt.NEQN;
    for (int i = 1; i <= NEQN; ++i) CheckFinite(s, ALL_TIME_SERIES, i, ResultValue(s, c, i));
    if (!s.files.TimeSeries) throw textio::DataError(std::string("\"") + ALL_TIME_SERIES + "\" is not open");
    textio::TextWriter& w = *s.files.TimeSeries;
    w.Double(s.sys.CurrentTime).Text(",");
    for (int i = 1; i <= NEQN; ++i) w.Double(ResultValue(s, c, i)).Text(",");
    w.EndLine();
}

void OneCompTimeSeries(ModelState& s, Integer NumSectnPrint, const DVector& c) {
    if (s.opt.EquationSolver) OneCompNotForEquationSolver(s);
    CheckPrintCompartment(s, NumSectnPrint);
    const std::vector<int> eqns = OneCompEquations(s, NumSectnPrint);
    for (int e : eqns) CheckFinite(s, ONE_COMP_TIME_SERIES, e, ResultValue(s, c, e));
    if (!s.files.TimeSeries) throw textio::DataError(std::string("\"") + ONE_COMP_TIME_SERIES + "\" is not open");
    textio::TextWriter& w = *s.files.TimeSeries;
    w.Double(s.sys.CurrentTime).Text(",");
    for (int e : eqns) w.Double(ResultValue(s, c, e)).Text(",");
    w.EndLine();
}

void CheckConcentrations(ModelState& s, const DVector& c) {
    const Double* v = c.Data();
    for (int i = 1; i <= s.opt.NEQN; ++i) {
        if (std::isfinite(v[i])) continue;
        Error(s, "the concentration of " + EquationName(s, i) + " is " + textio::NumberInText(v[i]) +
                     " " + TimeInText(s.sys.CurrentTime) +
                     ", not a finite number: the step overflowed or met an invalid operation (see the "
                     "stability of the time step, and the values of the tables), so the run stops here");
    }
}

void ProfileSnapshot(ModelState& s, const DVector& c) {
    const Integer NEQN = s.opt.NEQN;
    const Double t = s.sys.CurrentTime;
    for (int i = 1; i <= NEQN; ++i) CheckFinite(s, PROFILE_SNAPSHOT, i, ResultValue(s, c, i));
    textio::TextWriter w(s.Dir, PROFILE_SNAPSHOT);
    NoteResultFile(s, PROFILE_SNAPSHOT);
    if (s.opt.EquationSolver) {
        w.Text("TIME").Text(",").Text("VARIABLE").Text(",").Text("VALUE").EndLine();
        for (int i = 1; i <= NEQN; ++i)
            w.Double(t).Text(",").Integer(i).Text(",").Double(ResultValue(s, c, i)).EndLine();
        w.Close();
        return;
    }
    w.Text("TIME").Text(",").Text("VARIABLE").Text(",").Text("Compartment").Text(",");
    w.Text("X").Text(",").Text("Y").Text(",").Text("Z").Text(",").Text("CONC").EndLine();
    int n = 0;
    for (int ISV = 1; ISV <= s.opt.NSV; ++ISV) {
        for (int k = 1; k <= s.eq.NEQNsm(ISV); ++k) {
            if (++n > NEQN) Error(s, "IC <> NEQN in ProfileSnapShot");
            const Integer K = s.eq.EqnToSectn(ISV, k);
            const SMatrix& comp = s.tables.Compartment;
            w.Double(t).Text(",").Integer(ISV).Text(",").Integer(K).Text(",");
            w.Single(comp(K, 4)).Text(",").Single(comp(K, 5)).Text(",").Single(comp(K, 6)).Text(",");
            w.Double(ResultValue(s, c, n)).EndLine();
        }
    }
    if (n != NEQN) Error(s, "IC <> NEQN in ProfileSnapShot");
    w.Close();
}

}  // namespace ostra
