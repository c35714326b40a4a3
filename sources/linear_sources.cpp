// linear_sources.cpp -- first-order sources and sinks added to the coefficient
// matrix: volume-based terms of "VolumeSrcSnks.csv" (decay, transformation of
// one state variable into another, temperature-corrected) and area-based
// terms of "AreaSrcSnks.csv" (losses across an interface, transfer from an
// adjacent interior compartment).
//
// Exports: LoadALinearSrcSnk, GetArea.
//
// Arithmetic. The tables hold Single values, and a product of Single values
// is formed in Single (the area term Area x v and its mass-balance
// coefficient). The temperature correction theta^(T - 20) is a power
// function, whose result is a Double: the exponent T - 20 is formed in
// Single, the power is taken in Double from the Single theta and exponent,
// and the volume term is the Double product (theta^(T - 20) x k) x EqnVolume,
// left to right.
//
// Both files are read at every call, as far as the result goes: their
// records are parsed again only when their bytes have changed, and applied,
// with every check, at every call.
#include "sources/linear_sources.h"

#include <cmath>
#include <string>

#include "model/equation_names.h"
#include "model/error.h"
#include "sources/equation_numbers.h"
#include "textio/number_format.h"
#include "textio/errors.h"
#include "textio/text_reader.h"

namespace ostra {
namespace {

const char* const PROC = "LoadALinearSrcSnk";

// Empties both mass-balance lists: every element of their columns is -999.
void ResetMassBalanceLists(ModelState& s) {
    s.mb.MBExtVolSinksRowCount = 0;
    s.mb.MBExtAreaSinksRowCount = 0;
    s.mb.MBExtVolSinks.Fill(MISSING_VALUE);
    s.mb.MBExtAreaSinks.Fill(MISSING_VALUE);
}

// theta^(T - 20) for the receiving state variable sr in compartment K. A
// missing temperature, or a missing theta where the exponent is not zero,
// would turn the term into garbage; both end the run with a message.
double TemperatureCorrection(ModelState& s, const RecordAt& in, int sr, int K) {
    const Single T = s.tables.Compartment(K, 8);
    const int row = (sr - 1) * s.setup.NT + K;
    const Single theta = s.tables.KdTempCoef(row, 4);
    if (T == MISSING)
        Error(s, in.Where() + ": temperature Compartment(" + std::to_string(K) +
                     ", 8) = -999 for the volume term of state variable " + std::to_string(sr) +
                     " in " + PROC);
    const Single exponent = T - REFERENCE_TEMPERATURE;
    if (theta == MISSING && exponent != 0)
        Error(s, in.Where() + ": the temperature coefficient of state variable " + std::to_string(sr) +
                     " in compartment " + std::to_string(K) + " (column 4 of \"linearKdandTempCoef.csv\", record " +
                     std::to_string(row) + ") is -999, but the compartment's temperature" +
                     textio::FormatSingle(T) + "differs from 20 in " + PROC);
    const double correction = std::pow(static_cast<double>(theta), static_cast<double>(exponent));
    // A negative theta to a fractional power, or an overflow, is no factor.
    if (!std::isfinite(correction))
        Error(s, in.Where() + ": the temperature correction theta^(T - 20) of the volume term of state "
                 "variable " + std::to_string(sr) + " in compartment " + std::to_string(K) + " is " +
                 textio::NumberInText(correction) + " with theta =" + textio::FormatSingle(theta) +
                 "(KdTempCoef(" + std::to_string(row) + ", 4), \"linearKdandTempCoef.csv\") and T =" +
                 textio::FormatSingle(T) + "(Compartment(" + std::to_string(K) + ", 8)), tables " +
                 TimeInText(s.sys.TablesTime) + ", in " + PROC + "; theta must be positive");
    return correction;
}

// One record (K, sr, sc, k) of "VolumeSrcSnks.csv".
void AddVolumeTerm(ModelState& s, DSparse& A, const RecordAt& in, int K, int sr, int sc, Single k) {
    CheckRecordCompartment(s, in, PROC, K);
    if (s.tables.Compartment(K, 3) != 0) return;  // only interior compartments carry terms
    const int row = RecordEquation(s, in, PROC, sr, K);
    // A sink always acts on the receiving state variable's own concentration.
    const int col = (k >= 0) ? RecordEquation(s, in, PROC, sc, K) : row;
    const double term =
        TemperatureCorrection(s, in, sr, K) * k * static_cast<double>(s.eq.EqnVolume(row));
    A.Add(row, col, term);

    if (s.mb.MassBalanceOn && sr == sc) {
        const int n = ++s.mb.MBExtVolSinksRowCount;
        if (n > s.setup.MaxNSVxNT)
            Error(s, "number of records in mass balance array MBExtVolSinks exceeds dimensioned "
                     "length of array: " + in.Where() + " is volume term number " + std::to_string(n) +
                     " whose receiving and driving state variable agree, more than the NSV x NT = " +
                     std::to_string(s.setup.MaxNSVxNT) + " the account holds");
        s.mb.MBExtVolSinks(n, 1) = sr;
        s.mb.MBExtVolSinks(n, 2) = K;
        s.mb.MBExtVolSinks(n, 3) = term * s.tables.Compartment(K, 9);
    }
}

// Parses the records of `file` up to its -999, or up to the first field that
// cannot be read: after the header, `readRecord` reads one record (returning
// false at the -999 that ends the list).
template <class Record, class ReadRecord>
void ParseRecords(ParsedRecords<Record>& p, const char* file, ReadRecord readRecord) {
    p.records.clear();
    p.failed = false;
    textio::TextReader in = textio::TextReader::FromContent(file, p.file.Bytes());
    try {
        in.ReadLine("header line");
        Record r{};
        while (readRecord(in, r)) {
            r.line = in.Line();
            p.records.push_back(r);
        }
    } catch (const textio::DataError& e) {
        p.failed = true;
        p.error = e.what();
    }
}

bool ReadVolumeRecord(textio::TextReader& in, VolumeTermRecord& r) {
    r.K = in.ReadInteger("compartment of a volume term, or -999 ending the list");
    if (r.K == MISSING) return false;
    r.sr = in.ReadInteger("state variable receiving the volume term");
    r.sc = in.ReadInteger("state variable driving the volume term");
    r.k = in.ReadSingle("rate constant of the volume term");
    return true;
}

bool ReadAreaRecord(textio::TextReader& in, AreaTermRecord& r) {
    r.ISV = in.ReadInteger("state variable of an area term, or -999 ending the list");
    if (r.ISV == MISSING) return false;
    r.K = in.ReadInteger("compartment receiving the area term");
    r.J = in.ReadInteger("adjacent compartment of the area term");
    r.v = in.ReadSingle("rate per unit area of the area term");
    return true;
}

void LoadVolumeTerms(ModelState& s, DSparse& A) {
    ParsedRecords<VolumeTermRecord>& p = s.inputs.volumeTerms;
    if (p.file.Refresh(s.Dir, VOLUME_SRC_SNK_FILE, s.companions.starts))
        ParseRecords(p, VOLUME_SRC_SNK_FILE, ReadVolumeRecord);
    for (const VolumeTermRecord& r : p.records)
        AddVolumeTerm(s, A, RecordAt{VOLUME_SRC_SNK_FILE, r.line}, r.K, r.sr, r.sc, r.k);
    if (p.failed) throw textio::DataError(p.error);
}

// One record (ISV, K, J, v) of "AreaSrcSnks.csv".
void AddAreaTerm(ModelState& s, DSparse& A, const RecordAt& in, int ISV, int K, int J, Single v) {
    const int row = RecordEquation(s, in, PROC, ISV, K);
    CheckRecordCompartment(s, in, PROC, J);
    const bool interiorJ = s.tables.Compartment(J, 3) == 0;
    int col = row;
    if (v >= 0) {
        if (!interiorJ)
            Error(s, "Ostra not yet set up to accept an area-based source from a boundary/dummy "
                     "compartment to an interior compartment, user should specify as external "
                     "loading instead in Loads.csv: " + in.Where() + ": state variable " + std::to_string(ISV) +
                     ", rate" + textio::FormatSingle(v) + "from compartment " + std::to_string(J) + " (kind " +
                     textio::SingleInText(s.tables.Compartment(J, 3)) + ") into compartment " +
                     std::to_string(K));
        col = RecordEquation(s, in, PROC, ISV, J);
    }
    const Single Area = GetArea(s, static_cast<Integer>(J), static_cast<Integer>(K), &in);
    if (Area == MISSING)
        Error(s, "Interface Area = -999 in LoadALinearSrcSnk: " + in.Where() + ": the interface of compartment " +
                     std::to_string(J) + " to compartment " + std::to_string(K) +
                     " in \"Interfaces.csv\" gives no area, but the area term of state variable " +
                     std::to_string(ISV) + " acts across it");
    const Single rate = Area * v;
    A.Add(row, col, rate);

    if (s.mb.MassBalanceOn && !interiorJ && v < 0) {
        const int n = ++s.mb.MBExtAreaSinksRowCount;
        if (n > s.setup.MaxNSVxNT)
            Error(s, "number of records in mass balance array MBExtAreaSinks exceeds dimensioned "
                     "length of array: " + in.Where() + " is area sink number " + std::to_string(n) +
                     ", more than the NSV x NT = " + std::to_string(s.setup.MaxNSVxNT) + " the account holds");
        const Single coefficient = rate * s.tables.Compartment(K, 9);
        s.mb.MBExtAreaSinks(n, 1) = ISV;
        s.mb.MBExtAreaSinks(n, 2) = K;
        s.mb.MBExtAreaSinks(n, 3) = J;
        s.mb.MBExtAreaSinks(n, 4) = coefficient;
    }
}

void LoadAreaTerms(ModelState& s, DSparse& A) {
    ParsedRecords<AreaTermRecord>& p = s.inputs.areaTerms;
    if (p.file.Refresh(s.Dir, AREA_SRC_SNK_FILE, s.companions.starts))
        ParseRecords(p, AREA_SRC_SNK_FILE, ReadAreaRecord);
    for (const AreaTermRecord& r : p.records)
        AddAreaTerm(s, A, RecordAt{AREA_SRC_SNK_FILE, r.line}, r.ISV, r.K, r.J, r.v);
    if (p.failed) throw textio::DataError(p.error);
}

}  // namespace

void LoadALinearSrcSnk(ModelState& s, DSparse& A) {
    if (s.mb.MassBalanceOn) ResetMassBalanceLists(s);
    LoadVolumeTerms(s, A);
    LoadAreaTerms(s, A);
}

Single GetArea(ModelState& s, Integer I, Integer J, const RecordAt* at) {
    const Integer NAS = RoundToInteger(s.tables.Compartment(I, 2), "number of adjacent compartments");
    const int stride = s.setup.NColInface;
    for (int n = 1; n <= NAS; ++n) {
        const int c = 2 + (n - 1) * stride;
        if (s.tables.Inface(I, c) == J) return s.tables.Inface(I, c + 1);
    }
    Error(s, "can't find adjacent compartment in GetArea: " + (at ? at->Where() + ": " : std::string()) +
                 "compartment " + std::to_string(I) + " lists no interface to compartment " + std::to_string(J) +
                 " in \"Interfaces.csv\", so the area of the area term between them is unknown");
}

}  // namespace ostra
