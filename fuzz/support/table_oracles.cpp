// table_oracles.cpp -- second opinions on the tables that are kept as parsed.
//
// Exports (table_oracles.h): PrepareTimeZero, CheckMultiplierLookups,
// CheckLoadsReading, CheckSourcesReading.
#include "support/table_oracles.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "app/run_options.h"
#include "app/run_setup.h"
#include "model/error.h"
#include "model/parm_update.h"
#include "model/table_readers.h"
#include "sources/linear_sources.h"
#include "sources/loads.h"
#include "support/scratch_model.h"
#include "textio/errors.h"
#include "textio/file_names.h"
#include "transport/transport.h"

namespace ostra::fuzz {
namespace {

// What one call produced: the numbers it left, or how it ended.
struct Outcome {
    bool ended = false;
    std::string message;           // of the read error or of "Error.dng"
    std::vector<double> values;    // compared bit for bit
    bool operator==(const Outcome& o) const {
        if (ended != o.ended || message != o.message || values.size() != o.values.size()) return false;
        return values.empty() || std::memcmp(values.data(), o.values.data(), values.size() * sizeof(double)) == 0;
    }
};

std::string ErrorFileText(const ModelState& s) {
    std::string text;
    ReadFileBytes(textio::FindFile(s.Dir, "Error.dng"), text);
    return text;
}

template <class F>
Outcome Try(ModelState& s, F call) {
    Outcome o;
    try {
        call(o.values);
    } catch (const RunEnded& e) {
        // A fatal error has just written its message to "Error.dng".
        o.ended = true;
        o.message = "status " + std::to_string(e.status);
        if (e.status == EXIT_FATAL_DATA) o.message += ": " + ErrorFileText(s);
    } catch (const textio::DataError& e) {
        o.ended = true;
        o.message = e.what();
    }
    return o;
}

std::string Describe(const Outcome& o) {
    if (o.ended) return "ended: " + o.message.substr(0, 300);
    std::string text = std::to_string(o.values.size()) + " values:";
    for (std::size_t i = 0; i < o.values.size() && i < 12; ++i) {
        char buf[40];
        std::snprintf(buf, sizeof buf, " %.17g", o.values[i]);
        text += buf;
    }
    return text;
}

void Compare(const std::string& what, const Outcome& kept, const Outcome& fresh) {
    if (kept == fresh) return;
    Finding(what + ": the kept reading gives [" + Describe(kept) + "], a fresh reading [" + Describe(fresh) + "]");
}

void Append(std::vector<double>& out, const DSparse& A) {
    for (int i = 1; i <= A.Rows(); ++i)
        for (const auto& e : A.Row(i)) {
            out.push_back(i);
            out.push_back(e.col);
            out.push_back(e.value);
        }
}

void Append(std::vector<double>& out, const DVector& v) {
    for (int i = 1; i <= v.Size(); ++i) out.push_back(v(i));
}

void Append(std::vector<double>& out, const DMatrix& m) {
    for (int i = 1; i <= m.Rows(); ++i)
        for (int j = 1; j <= m.Cols(); ++j) out.push_back(m(i, j));
}

}  // namespace

bool PrepareTimeZero(ModelState& s) {
    s.control.check = true;  // no result file is created
    try {
        ReadControl(s);
        s.opt.LinearMethod = LINEAR_METHOD_GAUSS_JORDAN;
        s.opt.XScale = 1;
        SetupRun(s);
        if (s.opt.Dynamic)
            PrepareDynamicRun(s);
        else
            ParmUpdate(s, 0, s.sys.A);
    } catch (const RunEnded&) {
        return false;
    } catch (const std::exception&) {
        return false;
    }
    if (s.opt.Dynamic) {
        try {
            InitialConcentrations(s);
        } catch (const RunEnded&) {
        } catch (const std::exception&) {
        }
    }
    return true;
}

void CheckMultiplierLookups(ModelState& s) {
    if (s.opt.EquationSolver) return;
    struct Query {
        Integer ISV, row, col, I, J;
        bool operator<(const Query& o) const {
            return std::tie(ISV, row, col, I, J) < std::tie(o.ISV, o.row, o.col, o.I, o.J);
        }
    };
    std::set<Query> unique;
    const int NT = s.setup.NT;
    for (int ISV = 1; ISV <= s.opt.NSV; ++ISV)
        for (int K = 1; K <= NT; ++K) {
            int NAS = 0;
            try {
                NAS = CompartmentNAS(s, static_cast<Integer>(K));
            } catch (...) {
                continue;
            }
            for (int n = 1; n <= NAS && n <= s.opt.NAS; ++n) {
                Integer J = 0;
                try {
                    J = AdjacentCompartment(s, static_cast<Integer>(K), n);
                } catch (...) {
                    continue;
                }
                const auto k = static_cast<Integer>(K), v = static_cast<Integer>(ISV);
                unique.insert({v, k, J, k, J});
                unique.insert({v, k, k, k, J});
                unique.insert({v, k, k, J, k});
                unique.insert({v, J, k, J, k});
            }
        }
    unique.insert({0, 0, 0, 0, 0});
    unique.insert({MISSING, 1, 1, 1, 1});
    unique.insert({1, 1, 1, 1, 1});
    const std::vector<Query> queries(unique.begin(), unique.end());
    {
        // The first lookup parses the file; the others answer from the records kept.
        InvalidateMultipliers(s);
        CheckMultipliersAgain(s);
        for (const Query& q : queries) {
            auto lookup = [&](bool kept) {
                return Try(s, [&](std::vector<double>& out) {
                    Single E = -1, Q = -1;
                    if (kept)
                        ReadFlowandEMultipliers(s, q.ISV, q.row, q.col, q.I, q.J, E, Q);
                    else
                        ReadFlowandEMultipliersFromFile(s, q.ISV, q.row, q.col, q.I, q.J, E, Q);
                    out = {E, Q};
                });
            };
            const Outcome kept = lookup(true);
            const Outcome fresh = lookup(false);
            Compare("multiplier lookup (" + std::to_string(q.ISV) + ", " + std::to_string(q.row) + ", " +
                        std::to_string(q.col) + ", " + std::to_string(q.I) + ", " + std::to_string(q.J) + ")",
                    kept, fresh);
        }
    }
}

void CheckLoadsReading(ModelState& s) {
    const bool envs = !s.opt.EquationSolver;
    // The boundary contributions of the transport assembly enter B too.
    if (envs) {
        try {
            LoadATrans(s, s.sys.A, s.sys.BBC);
        } catch (const RunEnded&) {
            return;
        } catch (const textio::DataError&) {
            return;
        }
    }
    const DVector BBC = s.sys.BBC;
    const double steps = s.opt.Dynamic ? std::min(s.opt.NumTimeSteps, 400.0) : 0;
    LoadsCache keptLoads;
    EquationLoadsCache keptEquationLoads;
    Double t = 0;
    for (double step = 0; step <= steps; step = step + 1) {
        auto loads = [&](std::vector<double>& out) {
            DVector bbc = BBC;
            ForceFn(s, t, bbc, s.sys.B);
            Append(out, s.sys.B);
            if (s.mb.MassBalanceOn) Append(out, s.mb.MBLoads);
        };
        std::swap(keptLoads, s.inputs.loads);
        std::swap(keptEquationLoads, s.inputs.equationLoads);
        const Outcome kept = Try(s, loads);
        std::swap(keptLoads, s.inputs.loads);
        std::swap(keptEquationLoads, s.inputs.equationLoads);
        s.inputs.loads = LoadsCache{};
        s.inputs.equationLoads = EquationLoadsCache{};
        const Outcome fresh = Try(s, loads);
        Compare("the loads at time " + std::to_string(t), kept, fresh);
        if (kept.ended) return;
        t = t + static_cast<Double>(s.opt.DELT);
    }
}

void CheckSourcesReading(ModelState& s) {
    if (s.opt.EquationSolver) return;
    auto assemble = [&](std::vector<double>& out) {
        LoadATrans(s, s.sys.A, s.sys.BBC);
        LoadALinearSrcSnk(s, s.sys.A);
        Append(out, s.sys.A);
        if (s.mb.MassBalanceOn) {
            out.push_back(s.mb.MBExtVolSinksRowCount);
            out.push_back(s.mb.MBExtAreaSinksRowCount);
            Append(out, s.mb.MBExtVolSinks);
            Append(out, s.mb.MBExtAreaSinks);
        }
    };
    const Outcome first = Try(s, assemble);
    const Outcome again = Try(s, assemble);
    Compare("the sources and sinks assembled twice", first, again);
    s.inputs.volumeTerms = ParsedRecords<VolumeTermRecord>{};
    s.inputs.areaTerms = ParsedRecords<AreaTermRecord>{};
    const Outcome fresh = Try(s, assemble);
    Compare("the sources and sinks", again, fresh);
}

}  // namespace ostra::fuzz
