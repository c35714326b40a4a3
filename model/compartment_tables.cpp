// compartment_tables.cpp -- the compartment table and the interface table.
//
// Exports: CompartmentNAS, AdjacentCompartment, ReadCompartments, ReadInterfaces.
//
// "Compartments.csv" holds one 10-value record per compartment; its column 2,
// NAS(I), sizes the record of compartment I in "Interfaces.csv" (I, then NAS(I)
// groups of adjacent compartment, area, distance, mixing length, weighting
// factor). A compartment whose NAS(I) is negative (-999) has no interface
// record at all.
#include <cmath>
#include <string>

#include "model/count_notes.h"
#include "model/error.h"
#include "model/table_readers.h"
#include "model/table_records.h"
#include "textio/errors.h"
#include "textio/number_format.h"
#include "textio/text_reader.h"

namespace ostra {

namespace {
constexpr const char* COMPARTMENTS_FILE = "Compartments.csv";
constexpr const char* INTERFACES_FILE = "Interfaces.csv";
}  // namespace

Integer CompartmentNAS(ModelState& s, Integer I) {
    const Single value = s.tables.Compartment(I, 2);
    const double r = std::nearbyint(static_cast<double>(value));  // halves to even
    if (!(r >= -32768.0 && r <= 32767.0)) {
        Error(s, "NAS(I) = Compartment(" + std::to_string(I) + ", 2) =" + textio::FormatSingle(value) +
                     "in \"" + COMPARTMENTS_FILE + "\" is outside the Integer range -32768 to 32767");
    }
    return static_cast<Integer>(r);
}

Integer AdjacentCompartment(ModelState& s, Integer I, int n) {
    const Single value = s.tables.Inface(I, 2 + (n - 1) * NCOL_INFACE);
    const double r = std::nearbyint(static_cast<double>(value));  // halves to even
    if (!(r >= -32768.0 && r <= 32767.0)) {
        Error(s, "adjacent compartment of interface " + std::to_string(n) + " of compartment " +
                     std::to_string(I) + " in \"" + INTERFACES_FILE + "\" = " + textio::NumberInText(value) +
                     " is not a compartment number (outside the Integer range -32768 to 32767)");
    }
    return static_cast<Integer>(r);
}

namespace {

std::string CompartmentCount(const ModelState& s) {
    return "\"Control.csv\" pair 5 gives NT = NTCount1 + NTCount2 = " + std::to_string(s.setup.NT) +
           " compartments";
}

// A read error at the end of the file means fewer records than NT says.
Single ReadCompartmentValue(ModelState& s, textio::TextReader& in, const RecordPlace& at, int J) {
    try {
        return ReadTableValue(in, at, J);
    } catch (const textio::DataError& e) {
        const std::string what = e.what();
        if (what.find("found the end of the file") == std::string::npos) throw;
        throw textio::DataError(what + "; " + CompartmentCount(s) + ", so the file needs " +
                                std::to_string(s.setup.NT) + " records of 10 values");
    }
}

}  // namespace

std::string CompartmentCountHint(ModelState& s, int K) {
    if (K >= 1 && K <= s.setup.NT) return "";
    long records = 0;
    try {
        textio::TextReader in(s.Dir, COMPARTMENTS_FILE);
        in.ReadLine("header line");
        long values = 0;
        while (!in.AtEnd()) {
            in.ReadString("value");
            ++values;
        }
        records = values / NCOL_COMPARTMENT;
    } catch (const textio::DataError&) {
        return "";
    }
    if (records <= s.setup.NT) return "";
    return "; \"" + std::string(COMPARTMENTS_FILE) + "\" holds " + std::to_string(records) +
           " records, but " + CompartmentCount(s) + ", so the records beyond " +
           std::to_string(s.setup.NT) + " are not read: is the count in \"Control.csv\" too small?";
}

void ReadCompartments(ModelState& s) {
    textio::TextReader in(s.Dir, COMPARTMENTS_FILE);
    in.ReadLine("header line");
    SMatrix& table = s.tables.Compartment;
    for (Integer I : OneTo(s.setup.NT)) {
        const RecordPlace at{COMPARTMENTS_FILE, 0, I};
        for (int J = 1; J <= NCOL_COMPARTMENT; ++J) {
            table(I, J) = ReadCompartmentValue(s, in, at, J);
            if (J == 1) NoteRecordLine(s.tables.lines.Compartment, I, in);
        }
        if (table(I, 1) != I)
            Error(s, "Compartment(I, 1) <> I in ReadCompartments: file \"" + std::string(COMPARTMENTS_FILE) +
                         "\", line " + std::to_string(s.tables.lines.Compartment[static_cast<std::size_t>(I)]) +
                         ": record " + std::to_string(I) + " starts with" + textio::FormatSingle(table(I, 1)) +
                         "where compartment number " + std::to_string(I) +
                         " was expected (one record of 10 values per compartment, in compartment order)");
    }
}

void ReadInterfaces(ModelState& s) {
    textio::TextReader in(s.Dir, INTERFACES_FILE);
    in.SetCountNote(CompartmentCountNote(s, "a record for each, 1 + 5 x NAS(I) values long, NAS(I) from "
                                            "column 2 of \"Compartments.csv\""));
    in.ReadLine("header line");
    SMatrix& table = s.tables.Inface;
    for (Integer I : OneTo(s.setup.NT)) {
        const RecordPlace at{INTERFACES_FILE, 0, I};
        const int length = RecordLength(s, at, 1, NCOL_INFACE);
        for (int J = 1; J <= length; ++J) {
            table(I, J) = ReadTableValue(in, at, J);
            if (J == 1) NoteRecordLine(s.tables.lines.Inface, I, in);
            if (J == 1 && table(I, J) != I)
                Error(s, "J = 1 And Inface(I, J) <> I in ReadInterfaces: file \"" + std::string(INTERFACES_FILE) +
                             "\", line " + std::to_string(in.Line()) + ": the record of compartment " +
                             std::to_string(I) + " starts with" + textio::FormatSingle(table(I, J)) +
                             "where " + std::to_string(I) + " was expected; each record is the compartment " +
                             "number and NAS(I) groups of 5 values, NAS(I) from column 2 of \"" +
                             COMPARTMENTS_FILE + "\" (a wrong count there shifts every later record)");
            // The fifth value of each group is the advective weighting factor.
            const bool weightingFactor = J > 1 && (J - 1) % NCOL_INFACE == 0;
            if (weightingFactor && table(I, J) != 1) s.tables.VariableAlpha = true;
        }
    }
}

}  // namespace ostra
