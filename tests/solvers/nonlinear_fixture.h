// nonlinear_fixture.h -- small nonlinear models set up as a run sets them up,
// and deterministic companion scripts, for the tests of the residual, the
// Jacobian and Newton iteration.
//
// Exports: Control, NonlinearModel, Ended, WriteEqns, WriteColumn, the
// companion writers SquareVarn, ConstantDfdc, RationalTelm, RampBoundary.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/run_options.h"
#include "app/run_setup.h"
#include "model/error.h"
#include "model/parm_update.h"
#include "sources/linear_sources.h"
#include "sources/loads.h"
#include "support/test_support.h"
#include "transport/transport.h"

namespace ostra::testing {

// The 36 value lines of "Control.csv"; by default an EQNS steady nonlinear
// run of 3 equations with a finite-difference Jacobian and no companions.
struct Control {
    std::vector<std::string> v = {"EQNS", "N", "Y", "3", "1,3,0", "2", "2", "1", "3", "1", "2",
                                  "0", "3", "0", "1,1", "N", "N", "1E-06", "N", "Y", "2,0",
                                  "1E-20", "20,2,3", "N", "N", "N", "N", "N", "N", "N", "N",
                                  "N", "N", "N", "N", "N"};
    Control& Set(int pair, const std::string& value) {
        v[static_cast<std::size_t>(pair - 1)] = value;
        return *this;
    }
    std::string Text() const {
        std::string t;
        for (std::size_t i = 0; i < v.size(); ++i) t += "pair " + std::to_string(i + 1) + "\n" + v[i] + "\n";
        return Crlf(t);
    }
};

// Status of RunEnded thrown by `f`, or -1 when it returned.
inline int Ended(const std::function<void()>& f) {
    try {
        f();
    } catch (const RunEnded& e) {
        return e.status;
    }
    return -1;
}

// A model directory read by the run's own set-up: options, sizes, guesses;
// dynamic runs also the tables at time 0 and the initial c; steady runs A
// and B as the steady-state path assembles them.
struct NonlinearModel {
    TempDir dir;
    TestState t{dir.Path()};
    ModelState& s = t.s;

    void Load(const Control& control) {
        dir.Write("Control.csv", control.Text());
        ReadControl(s);
        s.opt.LinearMethod = LINEAR_METHOD_GAUSS_JORDAN;
        s.opt.XScale = 1;
        SetupRun(s);
        if (s.opt.Dynamic) {
            PrepareDynamicRun(s);
            InitialConcentrations(s);
            return;
        }
        ParmUpdate(s, 0, s.sys.A);
        if (!s.opt.EquationSolver) LoadATrans(s, s.sys.A, s.sys.BBC);
        ForceFn(s, 0, s.sys.BBC, s.sys.B);
        if (!s.opt.EquationSolver) LoadALinearSrcSnk(s, s.sys.A);
    }
    std::string ErrorText() const { return dir.Exists("Error.dng") ? dir.Read("Error.dng") : ""; }
};

inline std::string Lines(const std::vector<double>& values) {
    std::string t;
    for (double x : values) t += std::to_string(x) + "\n";
    return Crlf(t);
}

// Equation-solver files: A by rows, B, the storage diagonal, and one vector
// used both as Newton's guess and as the initial values.
inline void WriteEqns(const TempDir& dir, const std::vector<std::vector<double>>& A,
                      const std::vector<double>& B, const std::vector<double>& RV,
                      const std::vector<double>& start) {
    std::string a;
    for (const auto& row : A) {
        for (std::size_t j = 0; j < row.size(); ++j) a += (j ? "," : "") + std::to_string(row[j]);
        a += "\n";
    }
    dir.Write("AEqnSolver.csv", Crlf(a));
    dir.Write("BEqnSolver.csv", Lines(B));
    dir.Write("RVEqnSolver.csv", Lines(RV));
    dir.Write("GuessEqnSolver.csv", Lines(start));
    dir.Write("InitialEqnSolver.csv", Lines(start));
}

// A column of n interior compartments (2..n+1) between the inflow boundary 1
// (concentration cb) and the exit n+2: flow .5, exchange .05, volume 1 + .5 I
// so that no two storages are equal; initial values and guesses 1 + .25 I.
// Control pairs to use: ENVS, "1,<n+2>,0", NAS 2, mixing-length option 2.
inline void WriteColumn(const TempDir& dir, int n, double cb) {
    const int NT = n + 2;
    std::string comp = "h\n", inf = "h\n", flo = "h\n", eco = "h\n", kd = "h\n", bnd = "h\n",
                ini = "h\n", map = "h\n1";
    for (int k = 1; k <= NT; ++k) {
        const bool first = k == 1, last = k == NT;
        const std::string K = std::to_string(k);
        comp += K + "," + (first || last ? "1," : "2,") + (first ? "2" : last ? "3" : "0") + "," +
                std::to_string(k) + ",0,0," + std::to_string(1 + .5 * k) + ",20,.5,2\n";
        std::string i = K, f = "1," + K, e = "1," + K;
        if (!first) i += "," + std::to_string(k - 1) + ",1,.5,1,1", f += "," + std::to_string(k - 1) + ",.5", e += "," + std::to_string(k - 1) + ",.05";
        if (!last) i += "," + std::to_string(k + 1) + ",1,.5,1,1", f += "," + std::to_string(k + 1) + ",-.5", e += "," + std::to_string(k + 1) + ",.05";
        inf += i + "\n", flo += f + "\n", eco += e + "\n";
        kd += "1," + K + ",.1,1\n";
        bnd += "1," + K + "," + (first ? std::to_string(cb) : "-999") + "\n";
        ini += "1," + K + "," + std::to_string(1 + .25 * k) + "\n";
        map += (first || last) ? ",0" : ",1";
    }
    for (auto [name, text] : {std::pair{"Compartments.csv", comp}, {"Interfaces.csv", inf},
                              {"Flows.csv", flo}, {"ECoefficients.csv", eco},
                              {"linearKdandTempCoef.csv", kd}, {"BOUNDARY.csv", bnd},
                              {"INITIAL.CSV", ini}, {"Guess.CSV", ini}, {"SVCompmap.csv", map + "\n"},
                              {"VolumeSrcSnks.csv", std::string("h\n-999\n")},
                              {"AreaSrcSnks.csv", std::string("h\n-999\n")},
                              {"FlowandEMultipliers.csv", std::string("h\n-999\n")},
                              {"Loads.csv", std::string("-999\n")}})
        dir.Write(name, Crlf(text));
}

inline Control ColumnControl(int n) {
    Control c;
    c.Set(1, "ENVS").Set(5, "1," + std::to_string(n + 2) + ",0");
    return c;
}

// f(C) = C^2 ("varn.exe") and df/dC = diag(2 C) ("dfdc.exe"); the time line
// of a dynamic request is skipped. Values are written to 17 digits.
inline void SquareVarn(const TempDir& dir, bool dynamic) {
    const std::string skip = dynamic ? "1" : "0";
    dir.WriteExecutable("varn.exe", "#!/bin/sh\nawk 'NR > " + skip +
                                        " { printf \"%.17g\\n\", $1 * $1 }' Shellvarn.csv > varn.csv\n");
    dir.WriteExecutable(
        "dfdc.exe", "#!/bin/sh\nawk 'NR > " + skip +
                        " { x[++n] = $1 } END { for (i = 1; i <= n; i++) for (j = 1; j <= n; j++) "
                        "printf \"%.17g\\n\", (i == j ? 2 * x[i] : 0) }' Shelldfdc.csv > dfdc.csv\n");
}

// A "dfdc.exe" whose every derivative is `value`, whatever the state.
inline void ConstantDfdc(const TempDir& dir, const std::string& value, int count) {
    std::string body = "#!/bin/sh\n: > dfdc.csv\n";
    for (int k = 0; k < count; ++k) body += "echo " + value + " >> dfdc.csv\n";
    dir.WriteExecutable("dfdc.exe", body);
}

// R(C) = 1 + 1 / (1 + C) ("Telm.exe", as Singles) and dR/dC = -1 / (1 + C)^2 ("Pask.exe").
inline void RationalTelm(const TempDir& dir) {
    dir.WriteExecutable("Telm.exe", "#!/bin/sh\nawk 'NR > 1 { printf \"%.9g\\n\", 1 + 1 / (1 + $1) }' "
                                    "ShellTelm.csv > Telm.csv\n");
    dir.WriteExecutable("Pask.exe", "#!/bin/sh\nawk 'NR > 1 { printf \"%.17g\\n\", -1 / ((1 + $1) * (1 + $1)) }' "
                                    "ShellPask.csv > Pask.csv\n");
}

// "Boundary.exe" for a column of n interior compartments: inflow
// concentration 10 + time, every other row -999.
inline void RampBoundary(const TempDir& dir, int n) {
    dir.WriteExecutable(
        "Boundary.exe",
        "#!/bin/sh\nawk -v nt=" + std::to_string(n + 2) +
            " 'NR == 1 { printf \"h\\r\\n1,1,%.17g\\r\\n\", 10 + $1; for (k = 2; k <= nt; k++) "
            "printf \"1,%d,-999\\r\\n\", k }' ShellBoundary.csv > BOUNDARY.csv\n");
}

}  // namespace ostra::testing
