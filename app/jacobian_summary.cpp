// jacobian_summary.cpp -- the summary lines on companion starts and on how a
// run forms its Jacobian.
//
// Exports (jacobian_summary.h): CompanionAndJacobianLines, JacobianCheckLine.
//
// Description only: the counts are those the exchange (s.companions) and
// the finite-difference Jacobian (s.fdJacobian) kept during the run.
#include "app/jacobian_summary.h"

#include <string>

#include "app/run_summary.h"
#include "solvers/fd_jacobian.h"

namespace ostra {
namespace {

bool NewtonRun(const ModelState& s) { return !s.opt.Linear && !s.setup.ExplicitNonlinear; }

std::string Count(long n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// "analytic (dR/dC from "Pask.exe")": the programs the analytic Jacobian asks.
std::string AnalyticText(const ModelState& s) {
    std::string programs;
    if (s.opt.UseDfdc) programs = "df/dC from \"dfdc.exe\"";
    if (s.opt.UsePask && s.opt.Dynamic)
        programs += (programs.empty() ? "" : ", ") + std::string("dR/dC from \"Pask.exe\"");
    return "analytic" + (programs.empty() ? std::string() : " (" + programs + ")");
}

std::string ColumnsText(int columns) {
    return "column by column (" + Count(columns, "column", "columns") + ") as " + FD_JACOBIAN_VARIABLE +
           "=" + FD_JACOBIAN_COLUMNS + " asks";
}

// How the finite-difference Jacobians of the run were formed, and how many.
std::string FiniteDifferenceText(const ModelState& s) {
    const FdJacobianRecord& r = s.fdJacobian;
    const int columns = r.columns > 0 ? r.columns : s.opt.NEQN;
    std::string text = "finite differences, ";
    if (r.mode == FdJacobianMode::Columns) {
        text += ColumnsText(columns);
    } else if (r.grouped > 0) {
        text += Count(r.lastGroups, "group", "groups") + " of " + std::to_string(columns) + " columns";
        if (r.fewestGroups != r.mostGroups)
            text += " (" + std::to_string(r.fewestGroups) + " to " + std::to_string(r.mostGroups) +
                    " in the run)";
    } else {
        text += "column by column (" + Count(columns, "column", "columns") + "), no grouped Jacobian yet";
    }
    if (r.jacobians == 0) return text + "; no Jacobian was needed";
    text += "; " + Count(r.jacobians, "Jacobian", "Jacobians");
    if (r.mode != FdJacobianMode::Columns) {
        text += ": " + std::to_string(r.byColumns) + " column by column (the first finds the pattern";
        if (r.formedAgain > 0)
            text += "; " + std::to_string(r.formedAgain) +
                    " formed again after a row outside a group's pattern changed";
        text += "), " + std::to_string(r.grouped) + " grouped";
    }
    return text + "; " + Count(r.evaluations, "residual evaluation", "residual evaluations") + ", " +
           Count(r.starts, "companion start", "companion starts");
}

}  // namespace

std::string CompanionAndJacobianLines(const ModelState& s) {
    std::string starts = "Companion programs started: " + std::to_string(s.companions.starts);
    if (!s.companions.startsByProgram.empty()) {
        std::string each;
        for (const auto& [program, count] : s.companions.startsByProgram)
            each += (each.empty() ? "" : ", ") + program + " " + std::to_string(count);
        starts += " (" + each + ")";
    }
    std::string text = SummaryLine(2, starts);
    if (NewtonRun(s))
        text += SummaryLine(2, "Jacobian: " + (s.opt.AnalyticJacobian ? AnalyticText(s) : FiniteDifferenceText(s)));
    return text;
}

std::string JacobianCheckLine(ModelState& s) {
    if (!NewtonRun(s)) return "";
    if (s.opt.AnalyticJacobian) return SummaryLine(2, "Jacobian: " + AnalyticText(s));
    const int columns = s.opt.NEQN;
    if (FdJacobianModeOf(s) == FdJacobianMode::Columns)
        return SummaryLine(2, "Jacobian: finite differences, " + ColumnsText(columns));
    const int groups = KnownPatternGroups(s, s.sys.A);
    // Explicit Euler takes the rate at the start of the step: only the storage depends on the state.
    const bool storageOnly = s.opt.Dynamic && s.opt.DynType == 1;
    return SummaryLine(2, "Jacobian: finite differences, " + Count(groups, "group", "groups") + " of " +
                              std::to_string(columns) + " columns by the pattern of " +
                              (storageOnly ? "the storage" : "the coefficient matrix") +
                              "; the first Jacobian is formed column by column and finds what the "
                              "companion terms couple");
}

}  // namespace ostra
