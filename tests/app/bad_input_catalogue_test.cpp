// bad_input_catalogue_test.cpp -- the catalogue of bad model directories.
//
// Every case copies one of the good examples and changes one file: a line
// replaced, a text replaced, the file truncated, emptied, removed or
// rewritten. The real `ostra` then runs on it. A case states the exact first
// line of "Error.dng" and the exit status; the same text must reach standard
// error, and no result file may be left that looks complete. A second test
// holds the catalogue against "docs/messages.md": every line the catalogue
// expects begins with a message the manual lists, and every message the
// manual lists is provoked here unless the manual says no model directory
// can provoke it.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/ostra_process.h"
#include "support/test_support.h"

namespace ostra::testing {
namespace {

namespace fs = std::filesystem;

// The model directory of one case, with the edits a case may make.
class Model {
public:
    explicit Model(const TempDir& dir) : dir_(dir) {}

    // Replaces line `n` (counted from 1) of `file`, keeping its line end.
    void ReplaceLine(const std::string& file, int n, const std::string& text) const {
        std::vector<std::string> lines = Lines(file);
        ASSERT_LE(n, static_cast<int>(lines.size())) << file << " has no line " << n;
        std::string& line = lines[static_cast<std::size_t>(n - 1)];
        const bool cr = !line.empty() && line.back() == '\r';
        line = text + (cr ? "\r" : "");
        Join(file, lines);
    }
    // Replaces the first `from` in `file` by `to`.
    void Replace(const std::string& file, const std::string& from, const std::string& to) const {
        std::string text = dir_.Read(file);
        const std::size_t at = text.find(from);
        ASSERT_NE(at, std::string::npos) << file << " holds no \"" << from << "\"";
        dir_.Write(file, text.replace(at, from.size(), to));
    }
    // Keeps the first `n` lines of `file`.
    void KeepLines(const std::string& file, int n) const {
        std::vector<std::string> lines = Lines(file);
        ASSERT_LT(n, static_cast<int>(lines.size())) << file << " is no longer than " << n << " lines";
        lines.resize(static_cast<std::size_t>(n));
        Join(file, lines);
    }
    void Write(const std::string& file, const std::string& text) const { dir_.Write(file, text); }
    void WriteProgram(const std::string& file, const std::string& script) const {
        dir_.WriteExecutable(file, script);
    }
    void Remove(const std::string& file) const { ASSERT_TRUE(fs::remove(dir_.Path() / file)) << file; }
    // Takes the permission to execute `file` away.
    void NotExecutable(const std::string& file) const {
        fs::permissions(dir_.Path() / file, fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec,
                        fs::perm_options::remove);
    }
    // Makes `file` a symbolic link to `target` (a device, say).
    void Link(const std::string& file, const fs::path& target) const {
        fs::remove(dir_.Path() / file);
        fs::create_symlink(target, dir_.Path() / file);
    }

private:
    std::vector<std::string> Lines(const std::string& file) const {
        std::vector<std::string> lines;
        std::istringstream in(dir_.Read(file));
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }
    void Join(const std::string& file, const std::vector<std::string>& lines) const {
        std::string text;
        for (const std::string& line : lines) text += line + "\n";
        dir_.Write(file, text);
    }

    const TempDir& dir_;
};

struct Case {
    const char* name;
    const char* base;  // the example under examples/
    std::function<void(const Model&)> change;
    // Status 1: the exact first line of "Error.dng" ("{dir}" stands for the
    // model directory). Other statuses write no "Error.dng"; the text is
    // then what the terminal shows.
    std::string expected;
    int status = 1;
};

const char* const RIVER = "river-network";
const char* const EQNS = "equation-solver";
const char* const SORPTION = "nonlinear-sorption";

// Result files a run may have begun; none of them may look complete.
const char* const RESULT_FILES[] = {"AllTimeSeries.csv", "OneCompTimeSeries.csv", "ProfileSnapshot.csv",
                                    "MassBalance.csv"};

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

std::string FirstLine(const std::string& text) {
    std::string line = text.substr(0, text.find('\n'));
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

// The lines of a result file that are neither its header nor one of its
// rows (a row starts with a number: a blank or a minus sign, then a digit or
// the decimal point); the percentage line closes "MassBalance.csv".
std::vector<std::string> NotRows(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> odd;
    std::string line;
    std::getline(in, line);  // the header
    while (std::getline(in, line)) {
        const bool number = line.size() >= 2 && (line[0] == ' ' || line[0] == '-') &&
                            (std::isdigit(static_cast<unsigned char>(line[1])) || line[1] == '.');
        if (!number && !BeginsWith(line, "Mass balance error across state variables")) odd.push_back(line);
    }
    return odd;
}

// A term file: a header line, `count` copies of `record`, and the closing -999.
std::string Records(const std::string& record, int count) {
    std::string text = "header\n";
    for (int i = 0; i < count; ++i) text += record + "\n";
    return text + "-999\n";
}

// Control.csv holds each pair as a label line and a value line: pair p has its value on line 2p.
int ValueLine(int pair) { return 2 * pair; }

std::vector<Case> Catalogue() {
    const auto line = [](const char* file, int n, std::string text) {
        return [=](const Model& m) { m.ReplaceLine(file, n, text); };
    };
    const auto replace = [](const char* file, std::string from, std::string to) {
        return [=](const Model& m) { m.Replace(file, from, to); };
    };
    const auto keep = [](const char* file, int n) { return [=](const Model& m) { m.KeepLines(file, n); }; };
    const auto write = [](const char* file, std::string text) {
        return [=](const Model& m) { m.Write(file, text); };
    };
    const auto remove = [](const char* file) { return [=](const Model& m) { m.Remove(file); }; };
    const auto program = [](const char* file, std::string script) {
        return [=](const Model& m) { m.WriteProgram(file, script); };
    };
    const char* C = "Control.csv";
    return {
        // "Control.csv": words, numbers and their ranges, layout.
        {"unknown mode word", RIVER, line(C, ValueLine(1), "ENV"),
         "EquationSolver neither true nor false: file \"Control.csv\", line 2 (pair 1, mode word): "
         "found \"ENV\"; accepted are \"ENVS\" (compartments) and \"EQNS\" (equations from files), "
         "in any letter case"},
        {"Linear neither Y nor N", RIVER, line(C, ValueLine(2), "yes"),
         "Linear neither true nor false: file \"Control.csv\", line 4 (pair 2, Linear): found "
         "\"yes\"; accepted are \"Y\" (linear) and \"N\" (nonlinear), in any letter case"},
        {"steady state neither Y nor N", RIVER, line(C, ValueLine(3), "0"),
         "Dynamic neither true nor false: file \"Control.csv\", line 6 (pair 3, steady state): "
         "found \"0\"; accepted are \"Y\" (steady state) and \"N\" (time stepping), in any letter "
         "case"},
        {"empty mode word", RIVER, line(C, ValueLine(1), ""),
         "EquationSolver neither true nor false: file \"Control.csv\", line 2 (pair 1, mode word): "
         "found an empty value; accepted are \"ENVS\" (compartments) and \"EQNS\" (equations from "
         "files), in any letter case"},
        {"DynType 0 in a dynamic run", RIVER, line(C, ValueLine(9), "0"),
         "DynType not equal to 1,2,3, or 4: file \"Control.csv\", line 18 (pair 9, DynType): found "
         "0; a time-stepping run (pair 3 = N) takes 1 (explicit Euler), 2 (MacCormack), 3 "
         "(implicit Euler) or 4 (Crank-Nicolson)"},
        {"DynType 5 in a dynamic run", EQNS, line(C, ValueLine(9), "5"),
         "DynType not equal to 1,2,3, or 4: file \"Control.csv\", line 18 (pair 9, DynType): found "
         "5; a time-stepping run (pair 3 = N) takes 1 (explicit Euler), 2 (MacCormack), 3 "
         "(implicit Euler) or 4 (Crank-Nicolson)"},
        {"DynType written as a word", RIVER, line(C, ValueLine(9), "implicit"),
         "file \"Control.csv\", line 18, field 1 (pair 9, DynType): expected a whole number, found "
         "\"implicit\""},
        {"DynPrint 4 in a dynamic run", RIVER, line(C, ValueLine(13), "4"),
         "DynPrint neither 1, 2, or 3: file \"Control.csv\", line 26 (pair 13, DynPrint): found 4; "
         "a time-stepping run (pair 3 = N) takes 1 (profile snapshot), 2 (one compartment) or 3 "
         "(all equations)"},
        {"DynPrint 0 in a dynamic run", EQNS, line(C, ValueLine(13), "0"),
         "DynPrint neither 1, 2, or 3: file \"Control.csv\", line 26 (pair 13, DynPrint): found 0; "
         "a time-stepping run (pair 3 = N) takes 1 (profile snapshot), 2 (one compartment) or 3 "
         "(all equations)"},
        {"NEQN beyond the 16-bit range", EQNS, line(C, ValueLine(4), "40000"),
         "file \"Control.csv\", line 8, field 1 (pair 4, NEQN): expected a whole number from "
         "-32768 to 32767, found \"40000\""},
        {"NEQN negative", EQNS, line(C, ValueLine(4), "-3"),
         "file \"Control.csv\", line 8 (pair 4): NEQN = -3; the number of equations cannot be "
         "negative"},
        {"NEQN larger than the equation files", EQNS, line(C, ValueLine(4), "4"),
         "file \"InitialEqnSolver.csv\", line 3 (initial value of equation 4): expected a number, "
         "found the end of the file; \"Control.csv\" pair 4 (line 8) gives NEQN = 4 equations, so the "
         "file needs 4 values"},
        {"NEQN empty", EQNS, line(C, ValueLine(4), ""),
         "file \"Control.csv\", line 8 (pair 4, NEQN): the value line ends before this value; each "
         "value line holds all the values of its pair"},
        {"NT beyond the 16-bit range", RIVER, line(C, ValueLine(5), "2,30000,30000"),
         "NT (NTCount1 + NTCount2 of \"Control.csv\") = 60000 is outside the Integer range -32768 "
         "to 32767"},
        {"NSV x NT beyond the 16-bit range", RIVER, line(C, ValueLine(5), "200,200,0"),
         "MaxNSVxNT (NSV x NT of \"Control.csv\") = 40000 is outside the Integer range -32768 to "
         "32767"},
        {"nonlinear equation-solver run without its guesses", EQNS, line(C, ValueLine(2), "N"),
         "cannot open input file \"GuessEqnSolver.csv\" in {dir}"},
        {"storage factor R(C) in equation-solver mode", EQNS,
         [](const Model& m) {
             m.ReplaceLine("Control.csv", ValueLine(2), "N");
             m.ReplaceLine("Control.csv", ValueLine(16), "Y");
             m.Write("GuessEqnSolver.csv", "1\n1\n1\n");
         },

         "a concentration-dependent storage factor (Control.csv pair 16 = Y) needs the compartment "
         "mode ENVS; in EQNS mode the storage is read from \"RVEqnSolver.csv\""},
        {"NSV negative", RIVER, line(C, ValueLine(5), "-2,8,0"),
         "file \"Control.csv\", line 10 (pair 5): NSV = -2; the number of state variables cannot "
         "be negative"},
        {"NT negative", RIVER, line(C, ValueLine(5), "2,-8,0"),
         "file \"Control.csv\", line 10 (pair 5): NT = NTCount1 + NTCount2 = -8; the number of "
         "compartments cannot be negative"},
        {"NAS negative", RIVER, line(C, ValueLine(6), "-1"),
         "file \"Control.csv\", line 12 (pair 6): NAS = -1; the number of adjacent compartments "
         "cannot be negative"},
        {"NAS smaller than a compartment's interfaces", RIVER, line(C, ValueLine(6), "2"),
         "NAS(I) = 3 > NAS = 2 for compartment 4 (column 2 of \"Compartments.csv\"): the record of "
         "compartment 4 in \"Interfaces.csv\" does not fit the table"},
        {"value line with a value too few", RIVER, line(C, ValueLine(5), "2,8"),
         "file \"Control.csv\", line 10 (pair 5, NTCount2): the value line ends before this value; "
         "each value line holds all the values of its pair"},
        {"value line with a value too many", RIVER, line(C, ValueLine(6), "3,4"),
         "file \"Control.csv\", line 12 (pair 6, NAS): extra value \"4\" on the value line; each "
         "value line holds only the values of its pair"},
        {"decimal comma in the time step", RIVER, line(C, ValueLine(10), "0,25"),
         "file \"Control.csv\", line 20 (pair 10, DELT): extra value \"25\" on the value line; "
         "each value line holds only the values of its pair"},
        {"time step beyond the Single range", RIVER, line(C, ValueLine(10), "1E40"),
         "file \"Control.csv\", line 20, field 1 (pair 10, DELT): expected a number within the "
         "Single range, found \"1E40\""},
        {"semicolons between the values", RIVER, line(C, ValueLine(5), "2;8;0"),
         "file \"Control.csv\", line 10, field 1 (pair 5, NSV): expected a whole number, found "
         "\"2;8;0\"; fields are separated by commas, not semicolons"},
        {"NumSectnPrint outside the model", RIVER,
         [](const Model& m) {
             m.ReplaceLine("Control.csv", ValueLine(13), "2");
             m.ReplaceLine("Control.csv", ValueLine(15), "9,1");
         },

         "file \"Control.csv\", line 30 (pair 15): NumSectnPrint = 9 is not a compartment of the "
         "model (1 to 8); \"OneCompTimeSeries.csv\" follows the state variables of that "
         "compartment"},
        {"MaxNewtonIteration -999", SORPTION, line(C, ValueLine(23), "-999,5,10"),
         "MaxNewtonIteration parameter = -999: file \"Control.csv\", line 46 (pair 23, "
         "MaxNewtonIteration): a nonlinear run needs the largest number of Newton iterations of "
         "one randomizing cycle, a whole number of 1 or more"},
        {"unknown linear solver", RIVER,
         replace(C, "RVEqnSolver.csv (Y/N)\nN\n", "RVEqnSolver.csv (Y/N)\nN\nLinear solver\nQR\n"),
         "file \"Control.csv\", line 74 (pair 37, linear solver): \"QR\" is no linear solver; the "
         "value line holds \"GAUSS-JORDAN\" or \"SPARSE-LU\" (or nothing, for Gauss-Jordan)"},
        {"linear solver after an empty field", RIVER,
         replace(C, "RVEqnSolver.csv (Y/N)\nN\n", "RVEqnSolver.csv (Y/N)\nN\nLinear solver\n,SPARSE-LU\n"),
         "file \"Control.csv\", line 74 (pair 37, linear solver): an empty field stands before "
         "\"SPARSE-LU\"; the value line holds \"GAUSS-JORDAN\" or \"SPARSE-LU\" (or nothing, for "
         "Gauss-Jordan)"},
        {"linear solver with an extra value", RIVER,
         replace(C, "RVEqnSolver.csv (Y/N)\nN\n", "RVEqnSolver.csv (Y/N)\nN\nLinear solver\nGAUSS-JORDAN,fast\n"),

         "file \"Control.csv\", line 74 (pair 37, linear solver): extra value \"fast\" after "
         "\"GAUSS-JORDAN\"; the value line holds \"GAUSS-JORDAN\" or \"SPARSE-LU\" (or nothing, "
         "for Gauss-Jordan)"},
        {"Control.csv missing", RIVER,
         remove(C), "ostra: {dir} holds no \"Control.csv\"; it is not a model directory",
         64},
        {"Control.csv ends after pair 10", RIVER, keep(C, 20),
         "file \"Control.csv\", line 20 (label line of pair 11): expected a line, found the end of "
         "the file"},
        {"Control.csv ends after a label line", RIVER, keep(C, 23),
         "file \"Control.csv\", line 23 (pair 12, DumpStep): expected a whole number, found the "
         "end of the file"},
        {"Control.csv empty", RIVER, write(C, ""),
         "file \"Control.csv\", line 1 (label line of pair 1): expected a line, found the end of "
         "the file: the file is empty"},
        {"MacCormack in equation-solver mode", EQNS, line(C, ValueLine(9), "2"),
         "MacCormack Method Not Applicable to Equation Solver Mode", 2},
        {"MacCormack for a nonlinear model", SORPTION, line(C, ValueLine(9), "2"),
         "MacCormack method inappropriate for nonlinear systems", 2},
        {"MacCormack with a nonlinear storage factor", RIVER,
         [](const Model& m) {
             m.ReplaceLine("Control.csv", ValueLine(9), "2");
             m.ReplaceLine("Control.csv", ValueLine(16), "Y");
         },

         "nonlinear not supported by MacCormack method: \"Control.csv\" chooses MacCormack "
         "(DynType 2, line 18, pair 9) and a concentration-dependent storage factor R(C) (Y on "
         "line 32, pair 16); choose DynType 1, 3 or 4, or N in pair 16"},

        // "SVCompmap.csv".
        {"map row numbered out of order", RIVER, line("SVCompmap.csv", 3, "1,0,1,0,1,1,1,0,0"),
         "data error in SVCompMap.csv: file \"SVCompmap.csv\", line 3: the row of state variable 2 "
         "starts with 1 where 2 was expected (each row is the state variable's number and one 0 or "
         "1 for each of the NT = 8 compartments of \"Control.csv\" pair 5)"},
        {"map entry neither 0 nor 1", RIVER, line("SVCompmap.csv", 2, "1,0,2,0,1,1,1,0,0"),
         "data error in SVCompMap.csv: file \"SVCompmap.csv\", line 2: the entry of state variable "
         "1 in compartment 2 is 2; it must be 1 (computed there) or 0"},
        {"one compartment too many in Control.csv", RIVER, line(C, ValueLine(5), "2,9,0"),
         "data error in SVCompMap.csv: file \"SVCompmap.csv\", line 3: the entry of state variable 1 in "
         "compartment 9 is 2; it must be 1 (computed there) or 0; the row of state variable 1 (line 2) "
         "holds fewer entries than the NT = NTCount1 + NTCount2 = 9 compartments of \"Control.csv\" "
         "pair 5 (line 10)"},
        {"a result file on a full disk", RIVER, [](const Model& m) { m.Link("AllTimeSeries.csv", "/dev/full"); },
         "could not write file \"AllTimeSeries.csv\": No space left on device"},
        {"map row short of compartments", RIVER, line("SVCompmap.csv", 3, "2,0,1,0,1,1"),
         "file \"SVCompmap.csv\", line 3 (state variable 2, compartment 6): expected a whole "
         "number, found the end of the file; \"Control.csv\" pair 5 (line 10) gives NSV = 2 state variables and NT = NTCount1 + NTCount2 = 8 compartments, so the file needs 2 rows of 1 + 8 values"},
        {"map entry as a word", RIVER, line("SVCompmap.csv", 2, "1,0,yes,0,1,1,1,0,0"),
         "file \"SVCompmap.csv\", line 2, field 3 (state variable 1, compartment 2): expected a "
         "whole number, found \"yes\""},
        {"map marks a boundary compartment", RIVER, line("SVCompmap.csv", 2, "1,1,1,0,1,1,1,0,0"),
         "Compartment(*,3) data error in Compartments.csv: compartment 1 has kind 2 (column 3 of "
         "its record, line 2), a boundary or dummy compartment, but \"SVCompmap.csv\" has a 1 for "
         "state variable 1 in it: equations are formed only for interior compartments (kind 0), so "
         "either the 1 in \"SVCompmap.csv\" or the kind is wrong"},
        {"map file missing", RIVER, remove("SVCompmap.csv"),
         "cannot open input file \"SVCompmap.csv\" in {dir}"},
        {"map file empty", RIVER, write("SVCompmap.csv", ""),
         "file \"SVCompmap.csv\", line 1 (header line): expected a line, found the end of the "
         "file: the file is empty"},
        {"map entry beyond the 16-bit range", RIVER, line("SVCompmap.csv", 2, "1,0,70000,0,1,1,1,0,0"),
         "file \"SVCompmap.csv\", line 2, field 3 (state variable 1, compartment 2): expected a "
         "whole number from -32768 to 32767, found \"70000\""},

        // "Compartments.csv".
        {"compartment record out of order", RIVER, line("Compartments.csv", 3, "1,2,0,1000,0,0,20000,20,1,0"),
         "Compartment(I, 1) <> I in ReadCompartments: file \"Compartments.csv\", line 3: record 2 "
         "starts with 1 where compartment number 2 was expected (one record of 10 values per "
         "compartment, in compartment order)"},
        {"more interfaces than NAS", RIVER, line("Compartments.csv", 6, "5,4,0,3500,0,0,500000,20,1,0"),
         "NAS(I) = 4 > NAS = 3 for compartment 5 (column 2 of \"Compartments.csv\"): the record of "
         "compartment 5 in \"Interfaces.csv\" does not fit the table"},
        {"number of interfaces beyond the 16-bit range", RIVER,
         line("Compartments.csv", 3, "2,1E5,0,1000,0,0,20000,20,1,0"),
         "NAS(I) = Compartment(2, 2) = 100000 in \"Compartments.csv\" is outside the Integer range "
         "-32768 to 32767"},
        {"number of interfaces -999", RIVER, line("Compartments.csv", 3, "2,-999,0,1000,0,0,20000,20,1,0"),
         "J = 1 And Inface(I, J) <> I in ReadInterfaces: file \"Interfaces.csv\", line 3: the "
         "record of compartment 3 starts with 2 where 3 was expected; each record is the "
         "compartment number and NAS(I) groups of 5 values, NAS(I) from column 2 of "
         "\"Compartments.csv\" (a wrong count there shifts every later record)"},
        {"compartment kind -999", RIVER, line("Compartments.csv", 3, "2,2,-999,1000,0,0,20000,20,1,0"),
         "Compartment(*,3) data error in Compartments.csv: compartment 2 has kind -999 (column 3 "
         "of its record, line 3), a boundary or dummy compartment, but \"SVCompmap.csv\" has a 1 "
         "for state variable 1 in it: equations are formed only for interior compartments (kind "
         "0), so either the 1 in \"SVCompmap.csv\" or the kind is wrong"},
        {"water content 0", RIVER, line("Compartments.csv", 3, "2,2,0,1000,0,0,20000,20,0,0"),
         "Compartment(2, 9) = 0 in Compartments.csv: the water content of compartment 2 divides "
         "the retardation factor of state variable 1 in ParmUpdate"},
        {"water content -999", RIVER, line("Compartments.csv", 3, "2,2,0,1000,0,0,20000,20,-999,0"),
         "WCk = -999 in Transport: the water content of compartment 2 (column 9 of the "
         "\"Compartments.csv\" record of compartment 2 on line 3) is -999; an interior compartment "
         "needs it (state variable 1, compartment 2, adjacent compartment 1)"},
        {"volume 0 of an interior compartment", RIVER,
         [](const Model& m) {
             m.ReplaceLine("Control.csv", ValueLine(9), "1");
             m.ReplaceLine("Compartments.csv", 3, "2,2,0,1000,0,0,0,20,1,0");
         },

         "storage = 0 for equation 1 (state variable 1 in compartment 2) at time 0 in the explicit "
         "Euler update: volume (Compartments.csv column 7) times retardation factor must not be 0"},
        {"partition coefficient that cancels the storage", RIVER,
         [](const Model& m) {
             m.ReplaceLine("Compartments.csv", 3, "2,2,0,1000,0,0,20000,20,1,2");
             m.ReplaceLine("linearKdandTempCoef.csv", 3, "1,2,-0.5,1");
         },

         "the retardation factor EqnRetard of equation 1 (state variable 1 in compartment 2) is 0 "
         "at time .25, so the mass balance cannot divide the step's fluxes by it (1 + Kd x solids "
         "/ water content from \"linearKdandTempCoef.csv\" column 3 and \"Compartments.csv\" "
         "columns 10 and 9; or R(C) asked for in \"Control.csv\" pair 16 with no R(C) program, "
         "pair 25) in mass balance checking code"},
        {"centroid -999", RIVER, line("Compartments.csv", 3, "2,2,0,-999,0,0,20000,20,1,0"),
         "-999 data error in Compartment(*,4) in GetLength: the centroid coordinate in column 4 of "
         "\"Compartments.csv\" is -999 for compartment 2, but the distance between compartments 2 "
         "and 1 is needed (a mixing length, an extrapolated boundary or the positivity criterion)"},
        {"temperature -999", RIVER, line("Compartments.csv", 3, "2,2,0,1000,0,0,20000,-999,1,0"),
         "file \"VolumeSrcSnks.csv\", line 2: temperature Compartment(2, 8) = -999 for the volume "
         "term of state variable 1 in LoadALinearSrcSnk"},
        {"two centroids in one place", RIVER, line("Compartments.csv", 3, "2,2,0,0,0,0,20000,20,1,0"),
         "MixLength = 0 in Transport: the exchange coefficient 5000 cannot be divided by a zero "
         "mixing length; with MixLengthOption 1 (\"Control.csv\" pair 7) it is the distance "
         "between the centroids of compartments 2 and 1 (columns 4 to 6 of \"Compartments.csv\"), "
         "which coincide (state variable 1, compartment 2, adjacent compartment 1)"},
        {"compartment record as words", RIVER,
         line("Compartments.csv", 4, "3,1,boundary,2000,1000,0,0,20,1,0"),
         "file \"Compartments.csv\", line 4, field 3: expected a number, found \"boundary\" -- "
         "value 3 of the record of compartment 3"},
        {"interior compartment without a volume", RIVER, line("Compartments.csv", 3, "2,2,0,1000,0,0,-999,20,1,0"),
         "Compartment(2, 7) = -999 in Compartments.csv: compartment 2 (record on line 3) gives no volume, but "
         "state variable 1 is computed there"},
        {"compartments file truncated", RIVER, keep("Compartments.csv", 5),
         "file \"Compartments.csv\", line 5: expected a number, found the end of the file -- value "
         "1 of the record of compartment 5; \"Control.csv\" pair 5 gives NT = NTCount1 + NTCount2 "
         "= 8 compartments, so the file needs 8 records of 10 values"},
        {"compartments file missing", RIVER, remove("Compartments.csv"),
         "cannot open input file \"Compartments.csv\" in {dir}"},

        // "Interfaces.csv".
        {"interface record out of order", RIVER, line("Interfaces.csv", 3, "3,1,50,500,0,1,4,50,500,0,1"),
         "J = 1 And Inface(I, J) <> I in ReadInterfaces: file \"Interfaces.csv\", line 3: the "
         "record of compartment 2 starts with 3 where 2 was expected; each record is the "
         "compartment number and NAS(I) groups of 5 values, NAS(I) from column 2 of "
         "\"Compartments.csv\" (a wrong count there shifts every later record)"},
        {"neighbour that does not list its neighbour", RIVER,
         line("Interfaces.csv", 5, "4,1,50,500,0,1,3,20,500,0,1,5,60,500,0,1"),
         "Flow(RowCount, ICFlow) <> IAS in Transport: file \"Flows.csv\", record on line 5 (state "
         "variable 1, compartment 4) gives adjacent compartment 2 for interface 1 where interface "
         "1 of compartment 4 in \"Interfaces.csv\" (record on line 5) names 1; the interfaces of a "
         "compartment are listed in the same order in \"Interfaces.csv\", \"Flows.csv\" and "
         "\"ECoefficients.csv\""},
        {"neighbour that does not list its neighbour back", RIVER,
         [](const Model& m) {
             m.ReplaceLine("Interfaces.csv", 3, "2,1,50,500,0,1,4,50,500,0,0.5");
             m.ReplaceLine("Interfaces.csv", 5, "4,1,50,500,0,1,3,20,500,0,1,5,60,500,0,1");
         },

         "compartment 4 lists no interface to compartment 2 in \"Interfaces.csv\", so the distance "
         "from its centroid to interface 2 of compartment 2 is unknown in UpdateAlpha"},
        {"neighbour outside the model", RIVER, line("Interfaces.csv", 3, "2,9,50,500,0,1,4,50,500,0,1"),
         "adjacent compartment 9 of compartment 2 (interface 1 in \"Interfaces.csv\") is not a "
         "compartment number from 1 to 8 in mass balance checking code"},
        {"neighbour outside the model in every table of a steady state", "river-network-steady",
         [](const Model& m) {
             m.ReplaceLine("Interfaces.csv", 3, "2,9,50,500,0,1,4,50,500,0,1");
             m.ReplaceLine("Flows.csv", 3, "1,2,9,43200,4,-43200");
             m.ReplaceLine("ECoefficients.csv", 3, "1,2,9,5000,4,5000");
         },
         "adjacent compartment 9 of interface 1 of compartment 2 is not a compartment number 1 to 8 in "
         "Transport (state variable 1; \"Interfaces.csv\", record on line 3)"},
        {"neighbour outside the model in a steady state", "river-network-steady",
         line("Interfaces.csv", 3, "2,9,50,500,0,1,4,50,500,0,1"),
         "Flow(RowCount, ICFlow) <> IAS in Transport: file \"Flows.csv\", record on line 3 (state "
         "variable 1, compartment 2) gives adjacent compartment 1 for interface 1 where interface "
         "1 of compartment 2 in \"Interfaces.csv\" (record on line 3) names 9; the interfaces of a "
         "compartment are listed in the same order in \"Interfaces.csv\", \"Flows.csv\" and "
         "\"ECoefficients.csv\""},
        {"compartment its own neighbour", RIVER, line("Interfaces.csv", 3, "2,2,50,500,0,1,4,50,500,0,1"),
         "IAS = K in Transport: interface 1 of compartment 2 in \"Interfaces.csv\" (record on line "
         "3) names compartment 2 itself as its neighbour"},
        {"neighbour -999", RIVER, line("Interfaces.csv", 3, "2,-999,50,500,0,1,4,50,500,0,1"),
         "-999 data error for adjacent compartment number in Transport: interface 1 of compartment "
         "2 in \"Interfaces.csv\" (record on line 3) names -999 (state variable 1)"},
        {"own neighbour with upwind weights", RIVER,
         line("Interfaces.csv", 3, "2,2,50,500,0,0.5,4,50,500,0,1"),
         "AdjSectnNum = I in UpdateAlpha: interface 1 of compartment 2 in \"Interfaces.csv\" names "
         "compartment 2 itself"},
        {"neighbour outside the model with upwind weights", RIVER,
         line("Interfaces.csv", 3, "2,9,50,500,0,0.5,4,50,500,0,1"),
         "AdjSectnNum = 9 of interface 1 of compartment 2 in \"Interfaces.csv\" is not a "
         "compartment 1 to 8 in UpdateAlpha"},
        {"neighbour beyond the 16-bit range", RIVER,
         line("Interfaces.csv", 3, "2,1E6,50,500,0,1,4,50,500,0,1"),
         "adjacent compartment of interface 1 of compartment 2 in \"Interfaces.csv\" = 1000000 is "
         "not a compartment number (outside the Integer range -32768 to 32767)"},
        {"neighbour number with a fraction", RIVER,
         line("Interfaces.csv", 3, "2,1.4,50,500,0,1,4,50,500,0,1"),
         "Inface(K,ICInface) <> IAS in Transport: interface 1 of compartment 2 in "
         "\"Interfaces.csv\" (record on line 3) gives 1.4, not a whole compartment number"},
        {"interface area -999", RIVER, line("Interfaces.csv", 3, "2,1,-999,500,0,1,4,50,500,0,1"),
         "Area = -999 in Transport: interface 1 of compartment 2 in \"Interfaces.csv\" (record on "
         "line 3) gives no area, but file \"ECoefficients.csv\", record on line 3 (state variable "
         "1, compartment 2) gives the exchange coefficient 5000 for it, which needs the area "
         "(state variable 1, compartment 2, adjacent compartment 1)"},
        {"interface distance -999", RIVER, line("Interfaces.csv", 3, "2,1,50,-999,0,0.5,4,50,500,0,1"),
         "distance from centroid to interface = -999 in UpdateAlpha: interface 1 of compartment 2 "
         "in \"Interfaces.csv\" (to compartment 1) gives no distance; weighting factors other than "
         "1 need it"},
        {"neighbour's interface distance -999", RIVER,
         [](const Model& m) {
             m.ReplaceLine("Interfaces.csv", 2, "1,2,50,-999,0,1");
             m.ReplaceLine("Interfaces.csv", 3, "2,1,50,500,0,0.5,4,50,500,0,1");
         },

         "distance from centroid to interface = -999 in UpdateAlpha: the interface of compartment "
         "1 to compartment 2 in \"Interfaces.csv\" gives no distance; weighting factors other than "
         "1 need it"},
        {"interface distances that add up to 0", RIVER,
         [](const Model& m) {
             m.ReplaceLine("Interfaces.csv", 2, "1,2,50,0,0,1");
             m.ReplaceLine("Interfaces.csv", 3, "2,1,50,0,0,0.5,4,50,500,0,1");
         },

         "dI + dJ = 0 in UpdateAlpha: the distances from the centroids of compartments 2 and 1 to "
         "their interface (interface 1 of compartment 2 in \"Interfaces.csv\") add up to 0"},
        {"interface mixing length -999", RIVER,
         [](const Model& m) {
             m.ReplaceLine("Control.csv", ValueLine(7), "2");
             m.ReplaceLine("Interfaces.csv", 3, "2,1,50,500,-999,1,4,50,500,0,1");
         },

         "MixLength = -999 in Transport: interface 1 of compartment 2 in \"Interfaces.csv\" "
         "(record on line 3) gives no mixing length (\"Control.csv\" pair 7, MixLengthOption 2, "
         "takes it from there), but the exchange coefficient 5000 needs it (state variable 1, "
         "compartment 2, adjacent compartment 1)"},
        {"mixing length 0", RIVER, line(C, ValueLine(7), "2"),
         "MixLength = 0 in Transport: the exchange coefficient 5000 cannot be divided by a zero "
         "mixing length; with MixLengthOption 2 (\"Control.csv\" pair 7) it is value 4 of the "
         "group of interface 1 of compartment 2 in \"Interfaces.csv\" (record on line 3) (state "
         "variable 1, compartment 2, adjacent compartment 1)"},
        {"interface without area where the positivity criterion needs a velocity", RIVER,
         line("Interfaces.csv", 3, "2,1,50,500,0,1,4,0,500,0,0.5"),
         "Area = 0 in Wiggle: the flow -43200 has no velocity, because interface 2 of compartment "
         "2 in \"Interfaces.csv\" has area 0; the positivity criterion (upwind weight .5) needs it "
         "(state variable 1, compartments 2 and 4)"},
        {"interface at the centroid where the positivity criterion needs a distance", RIVER,
         line("Interfaces.csv", 3, "2,1,50,500,0,1,4,50,0,0,0.5"),
         "(1 - Aw) * Velocity = 0 in Wiggle: distance weight Aw = 1, Velocity = 864 (state "
         "variable 1, compartments 2 and 4); Aw is 1 when the distance from the centroid of "
         "compartment 2 to interface 2 in \"Interfaces.csv\" is 0"},
        {"negative distance making a weight above 1", RIVER,
         line("Interfaces.csv", 3, "2,1,50,-100,0,0.5,4,50,500,0,1"),
         "ALPHAweighted(I, 2 * K + 1) > 1 in UpdateAlpha: the distances -100 (compartment 2) and "
         "500 (compartment 1) to their interface in \"Interfaces.csv\" give the weight 1.25; "
         "distances must not be negative"},
        {"negative distance making a weight below 0", RIVER,
         [](const Model& m) {
             m.ReplaceLine("Interfaces.csv", 2, "1,2,50,-100,0,1");
             m.ReplaceLine("Interfaces.csv", 3, "2,1,50,500,0,0.5,4,50,500,0,1");
         },

         "ALPHAweighted(I, 2 * K + 1) < 0 in UpdateAlpha: the distances 500 (compartment 2) and "
         "-100 (compartment 1) to their interface in \"Interfaces.csv\" give the weight -.25; "
         "distances must not be negative"},
        {"interfaces file truncated", RIVER, keep("Interfaces.csv", 4),
         "file \"Interfaces.csv\", line 4: expected a number, found the end of the file -- value 1 "
         "of the record of compartment 4; \"Control.csv\" pair 5 (line 10) gives NT = NTCount1 + "
         "NTCount2 = 8 compartments, so the file needs a record for each, 1 + 5 x NAS(I) values long, "
         "NAS(I) from column 2 of \"Compartments.csv\""},
        {"interface area as a word", RIVER, line("Interfaces.csv", 3, "2,1,wide,500,0,1,4,50,500,0,1"),
         "file \"Interfaces.csv\", line 3, field 3: expected a number, found \"wide\" -- value 3 "
         "of the record of compartment 2"},

        // "Flows.csv", "ECoefficients.csv", "FlowandEMultipliers.csv".
        {"flows that do not balance", RIVER, line("Flows.csv", 3, "1,2,1,43200,4,-40000"),
         "Flow Balance error: compartment 2, state variable 1: inflow 43200, outflow 40000 "
         "(7.407407 % > FlowBalanceTol 1 %; file \"Flows.csv\", record on line 3 (state variable "
         "1, compartment 2), tables at time 0)"},
        {"flow -999", RIVER, line("Flows.csv", 3, "1,2,1,-999,4,-43200"),
         "Q = -999 in Transport: file \"Flows.csv\", record on line 3 (state variable 1, "
         "compartment 2) gives no flow for interface 1 (to compartment 1); give 0 for no flow"},
        {"flow record naming another neighbour", RIVER, line("Flows.csv", 3, "1,2,1,43200,5,-43200"),
         "Flow(RowCount, ICFlow) <> IAS in Transport: file \"Flows.csv\", record on line 3 (state "
         "variable 1, compartment 2) gives adjacent compartment 5 for interface 2 where interface "
         "2 of compartment 2 in \"Interfaces.csv\" (record on line 3) names 4; the interfaces of a "
         "compartment are listed in the same order in \"Interfaces.csv\", \"Flows.csv\" and "
         "\"ECoefficients.csv\""},
        {"flow record of another compartment", RIVER, line("Flows.csv", 3, "1,3,1,43200,4,-43200"),
         "J = 2 And Flow(RowCount, J) <> I in ReadFlows: file \"Flows.csv\", record on line 3 "
         "(state variable 1, compartment 2) holds 3 in column 2 where compartment 2 was expected; "
         "records come state variable by state variable, compartment by compartment, each 2 + 2 x "
         "NAS(I) values long, NAS(I) from column 2 of \"Compartments.csv\" (a wrong count there "
         "shifts every later record)"},
        {"flows file truncated", RIVER, keep("Flows.csv", 9),
         "file \"Flows.csv\", line 9: expected a number, found the end of the file -- value 1 of "
         "the record of state variable 2, compartment 1; \"Control.csv\" pair 5 (line 10) gives NSV = 2 state variables and NT = NTCount1 + NTCount2 = 8 compartments, so the file needs NSV x NT = 16 records, each "
         "2 + 2 x NAS(I) values long, NAS(I) from column 2 of \"Compartments.csv\""},
        {"flow as a word", RIVER, line("Flows.csv", 2, "1,1,2,fast"),
         "file \"Flows.csv\", line 2, field 4: expected a number, found \"fast\" -- value 4 of the "
         "record of state variable 1, compartment 1"},
        {"exchange record naming another neighbour", RIVER, line("ECoefficients.csv", 3, "1,2,1,5000,5,5000"),
         "ECoef(RowCount, ICEcoef) <> IAS in Transport: file \"ECoefficients.csv\", record on line "
         "3 (state variable 1, compartment 2) gives adjacent compartment 5 for interface 2 where "
         "interface 2 of compartment 2 in \"Interfaces.csv\" (record on line 3) names 4; the "
         "interfaces of a compartment are listed in the same order in \"Interfaces.csv\", "
         "\"Flows.csv\" and \"ECoefficients.csv\""},
        {"exchange coefficients file truncated", RIVER, keep("ECoefficients.csv", 12),
         "file \"ECoefficients.csv\", line 12: expected a number, found the end of the file -- "
         "value 1 of the record of state variable 2, compartment 4; \"Control.csv\" pair 5 (line 10) gives NSV = 2 state variables and NT = NTCount1 + NTCount2 = 8 compartments, so the file needs NSV x NT = 16 "
         "records, each 2 + 2 x NAS(I) values long, NAS(I) from column 2 of \"Compartments.csv\""},
        {"multiplier as a word", RIVER, write("FlowandEMultipliers.csv", "h\n1,2,4,2,4,double,1\n-999\n"),
         "file \"FlowandEMultipliers.csv\", line 2, field 6 (exchange multiplier): expected a "
         "number, found \"double\" -- multiplier record 1"},
        {"multiplier record cut short", RIVER, write("FlowandEMultipliers.csv", "h\n1,2,4\n"),
         "file \"FlowandEMultipliers.csv\", line 2 (first interface compartment): expected a whole "
         "number, found the end of the file -- multiplier record 1"},

        // "linearKdandTempCoef.csv", "BOUNDARY.csv", "INITIAL.CSV".
        {"temperature coefficient -999 away from 20 degrees", RIVER,
         [](const Model& m) {
             m.ReplaceLine("Compartments.csv", 3, "2,2,0,1000,0,0,20000,25,1,0");
             m.ReplaceLine("linearKdandTempCoef.csv", 3, "1,2,0,-999");
         },

         "file \"VolumeSrcSnks.csv\", line 2: the temperature coefficient of state variable 1 in "
         "compartment 2 (column 4 of \"linearKdandTempCoef.csv\", record 2) is -999, but the "
         "compartment's temperature 25 differs from 20 in LoadALinearSrcSnk"},
        {"negative temperature coefficient at 25.5 degrees", RIVER,
         [](const Model& m) {
             m.ReplaceLine("Compartments.csv", 3, "2,2,0,1000,0,0,20000,25.5,1,0");
             m.ReplaceLine("linearKdandTempCoef.csv", 3, "1,2,0,-1.05");
         },

         "file \"VolumeSrcSnks.csv\", line 2: the temperature correction theta^(T - 20) of the "
         "volume term of state variable 1 in compartment 2 is -NAN with theta =-1.05 "
         "(KdTempCoef(2, 4), \"linearKdandTempCoef.csv\") and T = 25.5 (Compartment(2, 8)), tables "
         "at time 0, in LoadALinearSrcSnk; theta must be positive"},
        {"partition coefficient as a word", RIVER, line("linearKdandTempCoef.csv", 3, "1,2,none,1"),
         "file \"linearKdandTempCoef.csv\", line 3, field 3: expected a number, found \"none\" -- "
         "value 3 of the record of state variable 1, compartment 2"},
        {"partition file truncated", RIVER, keep("linearKdandTempCoef.csv", 10),
         "file \"linearKdandTempCoef.csv\", line 10: expected a number, found the end of the file "
         "-- value 1 of the record of state variable 2, compartment 2; \"Control.csv\" pair 5 (line 10) gives NSV = 2 state variables and NT = NTCount1 + NTCount2 = 8 compartments, so the file needs NSV x NT = 2 x "
         "8 = 16 records of 4 values"},
        {"boundary concentration -999", RIVER, line("BOUNDARY.csv", 2, "1,1,-999"),
         "Boundary(JJ, NColBoundary) = -999 in Transport: file \"BOUNDARY.csv\", record on line 2 "
         "(state variable 1, compartment 1) gives no concentration, but compartment 1 is a "
         "fixed-concentration boundary (kind 2) next to compartment 2"},
        {"boundary file truncated", RIVER, keep("BOUNDARY.csv", 12),
         "file \"BOUNDARY.csv\", line 12: expected a number, found the end of the file -- value 1 "
         "of the record of state variable 2, compartment 4; \"Control.csv\" pair 5 (line 10) gives NSV = 2 state variables and NT = NTCount1 + NTCount2 = 8 compartments, so the file needs NSV x NT = 2 x 8 = 16 "
         "records of 3 values"},
        {"boundary record of another compartment", RIVER, line("BOUNDARY.csv", 2, "1,2,0.2"),
         "no row of BOUNDARY.csv for state variable 1 in compartment 1, the fixed-concentration "
         "neighbour of compartment 2, in Transport"},
        {"boundary of an unknown kind", RIVER, line("Compartments.csv", 2, "1,1,5,0,0,0,0,20,1,0"),
         "boundary compartment 1 (neighbour of compartment 2, state variable 1) has kind 5 in "
         "Compartment column 3; only kinds 1 to 4 have a boundary concentration in mass balance "
         "checking code"},
        {"initial value -999", RIVER, line("INITIAL.CSV", 3, "1,2,-999"),
         "-999 data error initializing c vector: \"INITIAL.CSV\" row 2 (state variable 1, "
         "compartment 2) gives no initial concentration, but the state variable is computed there"},
        {"initial file truncated", RIVER, keep("INITIAL.CSV", 8),
         "file \"INITIAL.CSV\", line 8 (row 8, column 1): expected a number, found the end of the "
         "file; \"Control.csv\" pair 5 (line 10) gives NSV = 2 state variables and NT = NTCount1 + NTCount2 = 8 compartments, so the file needs NSV x NT = 2 x 8 = 16 records of 3 values"},
        {"initial file empty", RIVER, write("INITIAL.CSV", ""),
         "file \"INITIAL.CSV\", line 1 (header line): expected a line, found the end of the file: "
         "the file is empty"},
        {"initial value as a word", RIVER, line("INITIAL.CSV", 6, "1,5,high"),
         "file \"INITIAL.CSV\", line 6, field 3 (row 5, column 3): expected a number, found "
         "\"high\""},

        // "VolumeSrcSnks.csv", "AreaSrcSnks.csv", "Loads.csv".
        {"volume term in a compartment outside the model", RIVER, line("VolumeSrcSnks.csv", 2, "9,1,1,-0.05"),
         "file \"VolumeSrcSnks.csv\", line 2: compartment 9 is not a compartment number from 1 to "
         "8 in LoadALinearSrcSnk"},
        {"volume term of an unknown state variable", RIVER, line("VolumeSrcSnks.csv", 2, "2,3,1,-0.05"),
         "file \"VolumeSrcSnks.csv\", line 2: state variable 3 (compartment 2) is not a state "
         "variable number from 1 to 2 in LoadALinearSrcSnk"},
        {"volume term rate as a word", RIVER, line("VolumeSrcSnks.csv", 2, "2,1,1,slow"),
         "file \"VolumeSrcSnks.csv\", line 2, field 4 (rate constant of the volume term): expected "
         "a number, found \"slow\""},
        {"state variable computed nowhere", RIVER, line("SVCompmap.csv", 3, "2,0,0,0,0,0,0,0,0"),
         "NEQNsm = 0 in LoadATrans: state variable 2 is computed in no interior compartment (its "
         "row of \"SVCompmap.csv\" has no 1 for a compartment of kind 0)"},
        {"volume terms without the closing -999", RIVER, keep("VolumeSrcSnks.csv", 13),
         "file \"VolumeSrcSnks.csv\", line 13 (compartment of a volume term, or -999 ending the "
         "list): expected a whole number, found the end of the file"},
        {"more volume terms than NSV x NT", RIVER,
         [](const Model& m) { m.Write("VolumeSrcSnks.csv", Records("2,1,1,-0.001", 17)); },
         "number of records in mass balance array MBExtVolSinks exceeds dimensioned length of "
         "array: file \"VolumeSrcSnks.csv\", line 18 is volume term number 17 whose receiving and "
         "driving state variable agree, more than the NSV x NT = 16 the account holds"},
        {"area term of a compartment without equations", RIVER, line("AreaSrcSnks.csv", 2, "1,8,5,-0.1"),
         "file \"AreaSrcSnks.csv\", line 2: state variable 1 has no equation in compartment 8 "
         "(SectnToEqn = -999) in LoadALinearSrcSnk"},
        {"area term across no interface", RIVER, line("AreaSrcSnks.csv", 2, "1,5,2,-0.1"),
         "can't find adjacent compartment in GetArea: file \"AreaSrcSnks.csv\", line 2: "
         "compartment 2 lists no interface to compartment 5 in \"Interfaces.csv\", so the area of "
         "the area term between them is unknown"},
        {"area term as a source from a boundary", RIVER, line("AreaSrcSnks.csv", 2, "1,5,8,0.1"),
         "Ostra not yet set up to accept an area-based source from a boundary/dummy compartment to "
         "an interior compartment, user should specify as external loading instead in Loads.csv: "
         "file \"AreaSrcSnks.csv\", line 2: state variable 1, rate .1 from compartment 8 (kind 1) "
         "into compartment 5"},
        {"area term across an interface of area -999", RIVER, line("Interfaces.csv", 9, "8,5,-999,0.1,0,1"),
         "Interface Area = -999 in LoadALinearSrcSnk: file \"AreaSrcSnks.csv\", line 2: the "
         "interface of compartment 8 to compartment 5 in \"Interfaces.csv\" gives no area, but the "
         "area term of state variable 1 acts across it"},
        {"more area terms than NSV x NT", RIVER,
         [](const Model& m) { m.Write("AreaSrcSnks.csv", Records("1,5,8,-0.001", 17)); },
         "number of records in mass balance array MBExtAreaSinks exceeds dimensioned length of "
         "array: file \"AreaSrcSnks.csv\", line 18 is area sink number 17, more than the NSV x NT "
         "= 16 the account holds"},
        {"load into a boundary compartment", RIVER, line("Loads.csv", 4, "1,1,2000,-999"),
         "file \"Loads.csv\", line 4: state variable 1 has no equation in compartment 1 "
         "(SectnToEqn = -999) in ForceFn"},
        {"load of an unknown state variable", RIVER, line("Loads.csv", 4, "2,3,2000,-999"),
         "file \"Loads.csv\", line 4: state variable 3 (compartment 2) is not a state variable "
         "number from 1 to 2 in ForceFn"},
        {"load window as a word", RIVER, line("Loads.csv", 2, "0,five"),
         "file \"Loads.csv\", line 2, field 2 (end t2 of the time window): expected a number, "
         "found \"five\""},
        {"loads without the closing -999", RIVER, keep("Loads.csv", 10),
         "file \"Loads.csv\", line 10 (label line of a time block, or -999 ending the file): "
         "expected a line, found the end of the file"},
        {"a load record without its closing -999", RIVER, line("Loads.csv", 4, "2,1,2000"),
         "file \"Loads.csv\", line 6, field 1 (compartment of a load record, or -999 ending the block): "
         "expected a whole number, found \"Discharge into the lake from day 20 to day 30\"; the load record "
         "of compartment 2 begins on line 4 and is closed by the -999 on line 5: if that -999 was meant to "
         "close the time block, the record lacks its own closing -999"},
        {"loads file missing", RIVER, remove("Loads.csv"),
         "cannot open input file \"Loads.csv\" in {dir}"},

        // Equation-solver mode.
        {"matrix row short of a value", EQNS, line("AEqnSolver.csv", 3, "0,0.3"),
         "file \"AEqnSolver.csv\", line 3 (A(3, 3)): expected a number, found the end of the file; "
         "\"Control.csv\" pair 4 (line 8) gives NEQN = 3 equations, so the file needs NEQN x NEQN = 9 "
         "values"},
        {"matrix entry as a word", EQNS, line("AEqnSolver.csv", 2, "0.4,minus,0.2"),
         "file \"AEqnSolver.csv\", line 2, field 2 (A(2, 2)): expected a number, found \"minus\""},
        {"right-hand side missing", EQNS, remove("BEqnSolver.csv"),
         "cannot open input file \"BEqnSolver.csv\" in {dir}"},
        {"storage factor 0 with explicit Euler", EQNS,
         [](const Model& m) {
             m.ReplaceLine("Control.csv", ValueLine(9), "1");
             m.ReplaceLine("RVEqnSolver.csv", 2, "0");
         },

         "storage = 0 for equation 2 at time 0 in the explicit Euler update: its value in "
         "RVEqnSolver.csv must not be 0"},
        {"storage factors truncated", EQNS, keep("RVEqnSolver.csv", 2),
         "file \"RVEqnSolver.csv\", line 2 (RVDiag(3)): expected a number, found the end of the "
         "file; \"Control.csv\" pair 4 (line 8) gives NEQN = 3 equations, so the file needs 3 values"},
        {"initial values truncated", EQNS, keep("InitialEqnSolver.csv", 2),
         "file \"InitialEqnSolver.csv\", line 2 (initial value of equation 3): expected a number, "
         "found the end of the file; \"Control.csv\" pair 4 (line 8) gives NEQN = 3 equations, so the "
         "file needs 3 values"},
        {"singular steady state", EQNS,
         [](const Model& m) {
             m.ReplaceLine("Control.csv", ValueLine(3), "Y");
             m.Write("AEqnSolver.csv", "0,0,0\n0.4,-0.6,0.2\n0,0.3,-0.4\n");
         },

         "LinearSolver fixed the solution of equation 3 at 0 at steady state: every pivot "
         "candidate of its column is below 1E-10 (the largest is 0), so the system has no usable "
         "pivot there; if the equation is not meant to be singular, give the model's volumes, "
         "flows and rates in units that make these coefficients larger"},
        {"singular steady state with the sparse LU solver", EQNS,
         [](const Model& m) {
             m.ReplaceLine("Control.csv", ValueLine(3), "Y");
             m.Replace("Control.csv", "RVEqnSolver.csv (Y/N)\nN\n",
                       "RVEqnSolver.csv (Y/N)\nN\nLinear solver\nSPARSE-LU\n");
             m.Write("AEqnSolver.csv", "0,0,0\n0.4,-0.6,0.2\n0,0.3,-0.4\n");
         },
         "the sparse LU solver found the system matrix singular at steady state: no pivot is left "
         "for the solution of equation 3, which the equations do not determine; an equation with "
         "no term in the matrix (no interface, sink or outflow, and in a time step no storage "
         "either) or a group of equations with no way out has no solution"},
        {"a solution that overflows", EQNS, line("BEqnSolver.csv", 1, "1E308"),
         "invalid floating-point operation in LinearSolver while solving 3 equations: the solution "
         "of equation 1 is not a number"},

        // Nonlinear runs: "Guess.CSV" and the companion programs.
        {"guess -999", SORPTION, line("Guess.CSV", 3, "1,2,-999"),
         "data error in Guess.csv: file \"Guess.CSV\", line 3: record 2 (state variable 1, "
         "compartment 2) gives the guess -999, but the state variable is computed there"},
        {"guess file truncated", SORPTION, keep("Guess.CSV", 4),
         "file \"Guess.CSV\", line 4 (state variable of record 4): expected a whole number, found "
         "the end of the file; \"Control.csv\" pair 5 (line 10) gives NSV = 1 state variable and NT = "
         "NTCount1 + NTCount2 = 100 compartments, so the file needs NSV x NT = 1 x 100 = 100 records of 3 "
         "values"},
        {"guess outside the model", SORPTION, line("Guess.CSV", 3, "1,200,0"),
         "data error in Guess.csv: file \"Guess.CSV\", line 3: record 2 names state variable 1, "
         "compartment 200, outside the model (NSV = 1, NT = 100)"},
        {"guess file missing", SORPTION, remove("Guess.CSV"),
         "cannot open input file \"Guess.CSV\" in {dir}"},
        {"companion program missing", SORPTION, remove("Telm.exe"),
         "Companion program \"Telm.exe\" not found in the model directory {dir} (no file named "
         "\"Telm.exe\" or \"Telm\" in any letter case)"},
        {"companion program that fails", SORPTION, program("Telm.exe", "#!/bin/sh\nexit 3\n"),
         "Companion program \"Telm.exe\" ended with exit status 3"},
        {"companion program that answers nothing", SORPTION, program("Telm.exe", "#!/bin/sh\nexit 0\n"),
         "Telm.exe left no answer file \"Telm.csv\" in Telm"},
        {"companion program answering too few values", SORPTION,
         program("Telm.exe", "#!/bin/sh\necho 1 > Telm.csv\n"),
         "\"Telm.csv\" written by Telm.exe holds 1 values where 98 are needed in Telm"},
        {"companion program killed by a signal", SORPTION, program("Telm.exe", "#!/bin/sh\nkill -9 $$\n"),
         "Companion program \"Telm.exe\" ended by signal SIGKILL"},
        {"companion program answering words", SORPTION,
         program("Telm.exe", "#!/bin/sh\nfor i in $(seq 98); do echo wet; done > Telm.csv\n"),
         "file \"Telm.csv\", line 1, field 1 (R of equation 1): expected a number, found \"wet\""},
        {"companion program without permission to run", SORPTION, [](const Model& m) { m.NotExecutable("Telm.exe"); },
         "Companion program \"Telm.exe\" in the model directory {dir} is not executable"},
        {"companion program that is not executable", SORPTION, write("Telm.exe", "no program\n"),
         "Companion program \"Telm.exe\" in the model directory {dir} could not be started: Exec "
         "format error"},
    };
}

TEST(BadInputCatalogue, EachBadDirectoryEndsWithItsMessageAndNoCompleteResult) {
    const std::vector<Case> cases = Catalogue();
    EXPECT_GE(cases.size(), 80u);
    std::set<std::string> names;
    int begun = 0;  // result files the failed runs had begun
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        EXPECT_TRUE(names.insert(k.name).second) << "two cases are named " << k.name;
        TempDir dir;
        CopyExampleWithCompanions(dir, k.base);
        k.change(Model(dir));
        const OstraRun run = RunOstraWith({"--quiet", dir.Path().string()});
        const std::string expected = Replaced(k.expected, "{dir}", dir.Path().string());
        EXPECT_EQ(run.status, k.status) << run.err;
        if (k.status == 1) {
            if (!dir.Exists("Error.dng")) {
                ADD_FAILURE() << "no \"Error.dng\"\n" << run.out << run.err;
                continue;
            }
            const std::string first = FirstLine(dir.Read("Error.dng"));
            EXPECT_EQ(first, "Error:  " + expected);
            EXPECT_NE(run.err.find("Error:  " + expected + "\n"), std::string::npos) << run.err;
        } else {
            EXPECT_FALSE(dir.Exists("Error.dng"));
            EXPECT_NE((run.out + run.err).find(expected), std::string::npos) << run.out << run.err;
        }
        for (const char* file : RESULT_FILES) {
            if (!dir.Exists(file) || fs::is_symlink(dir.Path() / file)) continue;
            ++begun;
            // Header and rows only, whole or ended early.
            EXPECT_EQ(NotRows(dir.Read(file)), std::vector<std::string>{}) << file;
        }
    }
    // Faults found while stepping leave begun result files behind.
    EXPECT_GE(begun, 5);
}

// The messages "docs/messages.md" lists: the code span that opens each row
// of its tables. Rows after the heading of the messages no model directory
// provokes go to `unprovoked`.
void ReadManual(std::vector<std::string>& provoked, std::vector<std::string>& unprovoked) {
    std::ifstream in(fs::path(OSTRA_SOURCE_DIR) / "docs" / "messages.md");
    ASSERT_TRUE(in) << "docs/messages.md";
    bool exempt = false;
    for (std::string line; std::getline(in, line);) {
        if (BeginsWith(line, "## ")) exempt = line == "## Messages the catalogue does not provoke";
        if (!BeginsWith(line, "| `")) continue;
        const std::size_t close = line.find('`', 3);
        ASSERT_NE(close, std::string::npos) << line;
        (exempt ? unprovoked : provoked).push_back(line.substr(3, close - 3));
    }
}

// True when `line` begins with `message`, where each "…" of the message
// stands for any text.
bool Matches(const std::string& line, const std::string& message) {
    const std::string gap = "\xE2\x80\xA6";  // …
    std::size_t at = 0, from = 0;
    for (bool first = true;; first = false) {
        const std::size_t end = message.find(gap, from);
        const std::string piece = message.substr(from, end == std::string::npos ? end : end - from);
        const std::size_t found = first ? (BeginsWith(line, piece) ? 0 : std::string::npos) : line.find(piece, at);
        if (found == std::string::npos) return false;
        at = found + piece.size();
        if (end == std::string::npos) return true;
        from = end + gap.size();
    }
}

TEST(BadInputCatalogue, MessagesOfTheManualAndOfTheCatalogueAgree) {
    std::vector<std::string> provoked, unprovoked;
    ReadManual(provoked, unprovoked);
    ASSERT_GE(provoked.size(), 60u);
    ASSERT_FALSE(unprovoked.empty());
    EXPECT_TRUE(Matches("file \"A.csv\", line 3: expected a number",
                        "file \"\xE2\x80\xA6\", line \xE2\x80\xA6: expected"));
    EXPECT_FALSE(Matches("the file \"A.csv\"", "file \"\xE2\x80\xA6\""));
    EXPECT_FALSE(Matches("Flow Balance", "Flow Balance error: \xE2\x80\xA6"));

    std::set<std::string> shown;
    for (const Case& k : Catalogue()) {
        bool listed = false;
        for (const std::string& message : provoked) {
            if (!Matches(k.expected, message)) continue;
            listed = true;
            shown.insert(message);
        }
        EXPECT_TRUE(listed) << k.name << ": \"" << k.expected << "\" begins with no message of docs/messages.md";
        for (const std::string& message : unprovoked)
            EXPECT_FALSE(Matches(k.expected, message))
                << k.name << " provokes \"" << message << "\", listed as not provoked";
    }
    for (const std::string& message : provoked)
        EXPECT_TRUE(shown.count(message)) << "no case of the catalogue provokes \"" << message << "\"";
}

}  // namespace
}  // namespace ostra::testing
