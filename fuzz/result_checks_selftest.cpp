// result_checks_selftest.cpp -- shows that the checks of a run's result files
// catch what they are meant to catch, before a campaign relies on them.
//
// Exports: main (exit status 0 when every check behaves, 1 otherwise).
//
// Runs examples/river-network (dynamic, every equation written, mass
// balance) and examples/river-network-steady in the scratch directory, in
// process, and expects CheckRunResults to accept what the runs wrote; then
// spoils one file at a time -- a non-finite number in a result file and in a
// dump, a line without CR LF, a row missing, a row cut short, an
// "Incomplete:" line in a finished run's file, a stray "Error.dng", a failed
// run's file with an "Incomplete:" line, a fatal error without "Error.dng" --
// and expects each to be
// reported. Also expects InternalFault to tell a program fault from a data
// error that merely quotes the same words.
#include <cstdio>
#include <functional>
#include <string>

#include "app/run_driver.h"
#include "app/silent_display.h"
#include "model/model_state.h"
#include "support/result_checks.h"
#include "support/scratch_model.h"

namespace {

namespace fs = std::filesystem;
using namespace ostra;

int failures = 0;

std::string Read(const fs::path& p) {
    std::string bytes;
    fuzz::ReadFileBytes(p, bytes);
    return bytes;
}

void Expect(bool ok, const std::string& what) {
    std::printf("%s  %s\n", ok ? "ok  " : "FAIL", what.c_str());
    if (!ok) ++failures;
}

// Runs `example` and hands the finished state to `test`.
void WithRun(const char* example, const std::function<void(ModelState&, int)>& test) {
    const fs::path& dir = fuzz::WriteModel(fuzz::FindExample(example), {});
    SilentDisplay display;
    ModelState s(dir, display);
    FormLoad(s);
    const int status = RunOstraClick(s);
    test(s, status);
}

// Spoils `file` with `spoil` (an absent file: from nothing), expects a
// report naming it, and leaves the file as it was.
void ExpectReported(ModelState& s, int status, const std::string& file,
                    const std::function<std::string(std::string)>& spoil, const std::string& what) {
    const fs::path p = s.Dir / file;
    const bool existed = fs::exists(p);
    const std::string good = Read(p);
    fuzz::WriteFileBytes(p, spoil(good));
    const std::string problem = fuzz::CheckRunResults(s, status);
    Expect(!problem.empty(), what + " is reported" + (problem.empty() ? "" : ": " + problem.substr(0, 100)));
    // A file the run did not write goes again.
    if (existed)
        fuzz::WriteFileBytes(p, good);
    else
        fs::remove(p);
}

std::string ReplaceFirstNumber(std::string text, std::size_t afterLine, const std::string& by) {
    std::size_t p = 0;
    for (std::size_t k = 0; k < afterLine; ++k) p = text.find('\n', p) + 1;
    const std::size_t start = text.find_first_of("0123456789.", p);
    const std::size_t end = text.find_first_not_of("0123456789.E+-", start);
    return text.replace(start, end - start, by);
}

}  // namespace

int main() {
    WithRun("river-network", [](ModelState& s, int status) {
        Expect(status == EXIT_DONE, "river-network runs to \"Done!\"");
        const std::string problem = fuzz::CheckRunResults(s, status);
        Expect(problem.empty(), "its result files are accepted" + (problem.empty() ? "" : ": " + problem));
        auto nan = [](const std::string& t) { return ReplaceFirstNumber(t, 3, "-NAN"); };
        ExpectReported(s, status, "AllTimeSeries.csv", nan, "a -NAN in AllTimeSeries.csv");
        ExpectReported(s, status, "MassBalance.csv", [](const std::string& t) { return ReplaceFirstNumber(t, 1, "INF"); },
                       "an INF in MassBalance.csv");
        ExpectReported(s, status, "AllTimeSeries.csv",
                       [](const std::string& t) { return t.substr(0, t.rfind('\n', t.size() - 2) + 1); },
                       "a missing last row of AllTimeSeries.csv");
        ExpectReported(s, status, "AllTimeSeries.csv",
                       [](const std::string& t) { return t.substr(0, t.size() - 12); }, "a last row cut short");
        ExpectReported(s, status, "AllTimeSeries.csv",
                       [](const std::string& t) { return t + "Incomplete: the run ended early, see Error.dng\r\n"; },
                       "an \"Incomplete:\" line in a finished run");
        ExpectReported(s, status, "MassBalance.csv",
                       [](std::string t) { return t.replace(t.find("\r\n"), 2, "\n"); }, "a line ending LF only");
        ExpectReported(s, status, "Error.dng", [](const std::string&) { return "Error:  x\r\n"; },
                       "an \"Error.dng\" after \"Done!\"");
        fuzz::WriteFileBytes(s.Dir / "Wiggle.dng", "Positivity/wiggle criterion violated at all timesteps between compartments 1 and 2 Maximum length is  INF \r\n");
        Expect(!fuzz::CheckRunResults(s, status).empty(), "an INF in a \".dng\" file is reported");
        fs::remove(s.Dir / "Wiggle.dng");
        Expect(!fuzz::CheckRunResults(s, EXIT_FATAL_DATA).empty(),
               "a fatal data error without \"Error.dng\" is reported");
        fuzz::WriteFileBytes(s.Dir / "Error.dng", "Error:  x\r\n");
        Expect(fuzz::CheckRunResults(s, EXIT_FATAL_DATA).empty(), "a failed run's rows and its \"Error.dng\" are accepted");
        {
            std::string series;
            fuzz::ReadFileBytes(s.Dir / "AllTimeSeries.csv", series);
            fuzz::WriteFileBytes(s.Dir / "AllTimeSeries.csv", series + "Incomplete: the run ended early\r\n");
            Expect(!fuzz::CheckRunResults(s, EXIT_FATAL_DATA).empty(),
                   "a failed run's result file with an \"Incomplete:\" line is reported");
            fuzz::WriteFileBytes(s.Dir / "AllTimeSeries.csv", series);
        }
        fs::remove(s.Dir / "Error.dng");
        Expect(!fuzz::CheckRunResults(s, 9).empty(), "an undocumented exit status is reported");
        fuzz::WriteFileBytes(s.Dir / "Error.dng", "Error:  index outside its array: Flow(17, 3) of a 16 x 8 table\r\n");
        Expect(!fuzz::InternalFault(s.Dir).empty(), "an index fault is a program fault");
        fuzz::WriteFileBytes(s.Dir / "Error.dng", "Error:  file \"Flows.csv\", line 2, field 3: expected a number, found "
                                   "\"index outside its array\"\r\n");
        Expect(fuzz::InternalFault(s.Dir).empty(), "a data error quoting those words is not");
    });
    WithRun("river-network-steady", [](ModelState& s, int status) {
        Expect(status == EXIT_DONE, "river-network-steady runs to \"Done!\"");
        const std::string problem = fuzz::CheckRunResults(s, status);
        Expect(problem.empty(), "its result files are accepted" + (problem.empty() ? "" : ": " + problem));
        ExpectReported(s, status, "ProfileSnapshot.csv",
                       [](const std::string& t) { return ReplaceFirstNumber(t, 2, "1.#INF"); },
                       "a 1.#INF in ProfileSnapshot.csv");
        ExpectReported(s, status, "A.dng", [](const std::string& t) { return ReplaceFirstNumber(t, 1, "nan"); },
                       "a nan in A.dng");
    });
    std::printf("%s\n", failures == 0 ? "result checks: all behave" : "result checks: FAILURES");
    return failures == 0 ? 0 : 1;
}
