// flow_tables.cpp -- flows, exchange coefficients and their multipliers.
//
// Exports: ReadFlows, ReadECoef, ReadFlowandEMultipliers,
// ReadFlowandEMultipliersFromFile, InvalidateMultipliers, CheckMultipliersAgain,
// LookAtMultipliers.
//
// "Flows.csv" and "ECoefficients.csv" hold one record per state variable and
// compartment (state variable major): state variable, compartment, then
// NAS(I) pairs of adjacent compartment and value. "FlowandEMultipliers.csv"
// holds 7-field records ended by a record whose first field is -999; a lookup
// returns the multipliers of the first matching record. The records are
// parsed once and kept; the first lookup of every assembly looks at the file
// (a stat, and a comparison of its bytes after a companion program ran) and
// parses it anew when it has changed, so the parsed lookup answers exactly
// as a fresh scan of the file that stops at the first match.
#include <string>
#include <vector>

#include "model/count_notes.h"
#include "model/error.h"
#include "model/table_readers.h"
#include "model/table_records.h"
#include "textio/errors.h"
#include "textio/number_format.h"
#include "textio/text_reader.h"

namespace ostra {

namespace {
constexpr const char* FLOWS_FILE = "Flows.csv";
constexpr const char* ECOEF_FILE = "ECoefficients.csv";
constexpr const char* MULTIPLIERS_FILE = "FlowandEMultipliers.csv";

bool Matches(const MultiplierRecord& r, Integer ISV, Integer CompRow, Integer CompCol, Integer IntI,
             Integer IntJ) {
    if (r.ISV != ISV || r.CompRow != CompRow || r.CompCol != CompCol) return false;
    return (r.IntI == IntI && r.IntJ == IntJ) || (r.IntI == IntJ && r.IntJ == IntI);
}

// Reads the next multiplier record into `r`. Returns false at the -999
// terminator and at a clean end of the file (a file without its terminator
// has no further record); a record cut short or unparsable throws
// textio::DataError naming the line and the record.
bool NextMultiplierRecord(textio::TextReader& in, int number, MultiplierRecord& r) {
    try {
        if (in.AtEnd()) return false;
        r.ISV = in.ReadInteger("state variable");
        if (r.ISV == MISSING) return false;
        r.CompRow = in.ReadInteger("row compartment");
        r.CompCol = in.ReadInteger("column compartment");
        r.IntI = in.ReadInteger("first interface compartment");
        r.IntJ = in.ReadInteger("second interface compartment");
        r.EMult = in.ReadSingle("exchange multiplier");
        r.QMult = in.ReadSingle("flow multiplier");
        return true;
    } catch (const textio::DataError& e) {
        throw textio::DataError(std::string(e.what()) + " -- multiplier record " + std::to_string(number));
    }
}

// Parses every record of the multiplier file into s.tables.multipliers and
// marks it loaded. When a record cannot be read, the records before it still
// answer a lookup that matches one of them (a scan would never have reached
// the bad record); otherwise the read error ends the run. The list is then
// not kept, so each later lookup meets the same error at the same place.
bool LoadMultipliers(ModelState& s, Integer ISV, Integer CompRow, Integer CompCol, Integer IntI,
                     Integer IntJ, Single& EMult, Single& QMult) {
    std::vector<MultiplierRecord>& list = s.tables.multipliers;
    list.clear();
    try {
        textio::TextReader in =
            textio::TextReader::FromContent(MULTIPLIERS_FILE, s.inputs.multipliers.Bytes());
        in.ReadLine("header line");
        MultiplierRecord r{};
        while (NextMultiplierRecord(in, static_cast<int>(list.size()) + 1, r)) list.push_back(r);
    } catch (const textio::DataError&) {
        for (const MultiplierRecord& r : list) {
            if (Matches(r, ISV, CompRow, CompCol, IntI, IntJ)) {
                EMult = r.EMult;
                QMult = r.QMult;
                list.clear();
                return true;
            }
        }
        list.clear();
        throw;
    }
    s.tables.multipliersLoaded = true;
    return false;
}

// Reads a per-state-variable table of adjacent-compartment/value pairs
// (flows or exchange coefficients). The compartment number in column 2 is
// checked right after it is read (`checkEarly`) or after the whole record.
// The message of a record whose column 2 is not its compartment.
[[noreturn]] void WrongCompartment(ModelState& s, const char* file, const char* message,
                                   const std::vector<int>& lines, int row, Integer ISV, Integer I,
                                   Single found) {
    Error(s, std::string(message) + ": " + RecordWhere(file, lines, row, ISV, I) + " holds" +
                 textio::FormatSingle(found) + "in column 2 where compartment " + std::to_string(I) +
                 " was expected; records come state variable by state variable, compartment by "
                 "compartment, each 2 + 2 x NAS(I) values long, NAS(I) from column 2 of "
                 "\"Compartments.csv\" (a wrong count there shifts every later record)");
}

void ReadPairTable(ModelState& s, const char* file, SMatrix& table, std::vector<int>& lines,
                   int perInterface, bool checkEarly, const char* message) {
    textio::TextReader in(s.Dir, file);
    in.SetCountNote(TableCountNote(s, 0, "NSV x NT = " + std::to_string(long{s.opt.NSV} * s.setup.NT) +
                                             " records, each 2 + 2 x NAS(I) values long, NAS(I) from column "
                                             "2 of \"Compartments.csv\""));
    in.ReadLine("header line");
    int row = 0;
    for (Integer ISV : OneTo(s.opt.NSV)) {
        for (Integer I : OneTo(s.setup.NT)) {
            ++row;
            const RecordPlace at{file, ISV, I};
            const int length = RecordLength(s, at, 2, perInterface);
            for (int J = 1; J <= length; ++J) {
                table(row, J) = ReadTableValue(in, at, J);
                if (J == 1) NoteRecordLine(lines, row, in);
                if (checkEarly && J == 2 && table(row, 2) != I)
                    WrongCompartment(s, file, message, lines, row, ISV, I, table(row, 2));
            }
            // A compartment without a record (negative NAS(I)) has nothing to check.
            if (!checkEarly && length > 0 && table(row, 2) != I)
                WrongCompartment(s, file, message, lines, row, ISV, I, table(row, 2));
        }
    }
}

}  // namespace

void ReadFlows(ModelState& s) {
    ReadPairTable(s, FLOWS_FILE, s.tables.Flow, s.tables.lines.Flow, NCOL_FLOW, true,
                  "J = 2 And Flow(RowCount, J) <> I in ReadFlows");
}

void ReadECoef(ModelState& s) {
    ReadPairTable(s, ECOEF_FILE, s.tables.ECoef, s.tables.lines.ECoef, NCOL_ECOEF, false,
                  "ECoef(counter, 2) <> J in ReadECoef");
}

void ReadFlowandEMultipliers(ModelState& s, Integer ISV, Integer CompRow, Integer CompCol,
                             Integer IntI, Integer IntJ, Single& EMult, Single& QMult) {
    EMult = 1;
    QMult = 1;
    LookAtMultipliers(s);
    if (!s.tables.multipliersLoaded &&
        LoadMultipliers(s, ISV, CompRow, CompCol, IntI, IntJ, EMult, QMult))
        return;
    for (const MultiplierRecord& r : s.tables.multipliers) {
        if (Matches(r, ISV, CompRow, CompCol, IntI, IntJ)) {
            EMult = r.EMult;
            QMult = r.QMult;
            return;
        }
    }
}

void ReadFlowandEMultipliersFromFile(ModelState& s, Integer ISV, Integer CompRow, Integer CompCol,
                                     Integer IntI, Integer IntJ, Single& EMult, Single& QMult) {
    EMult = 1;
    QMult = 1;
    textio::TextReader in(s.Dir, MULTIPLIERS_FILE);
    in.ReadLine("header line");
    MultiplierRecord r{};
    for (int number = 1; NextMultiplierRecord(in, number, r); ++number) {
        if (Matches(r, ISV, CompRow, CompCol, IntI, IntJ)) {
            EMult = r.EMult;
            QMult = r.QMult;
            return;
        }
    }
}

void InvalidateMultipliers(ModelState& s) {
    s.tables.multipliersLoaded = false;
    s.tables.multipliers.clear();
}

void CheckMultipliersAgain(ModelState& s) { s.inputs.multipliersChecked = false; }

bool LookAtMultipliers(ModelState& s) {
    // Once per assembly: has the file changed since its records were parsed?
    if (s.inputs.multipliersChecked) return true;
    s.inputs.multipliersChecked = true;
    if (!s.inputs.multipliers.Refresh(s.Dir, MULTIPLIERS_FILE, s.companions.starts)) return true;
    InvalidateMultipliers(s);
    return false;
}

}  // namespace ostra
