// input_cache.h -- tables read at every assembly, kept as parsed while their
// files stay the same.
//
// Exports: VolumeTermRecord, AreaTermRecord, ParsedRecords, LoadEvent,
// LoadBlock, LoadsCache, EquationLoadsCache, InputCache.
//
// "VolumeSrcSnks.csv", "AreaSrcSnks.csv" and "Loads.csv" (or "BEqnSolver.csv")
// are read whenever the equations are assembled, so that a companion program
// or the user may change them at any time. Parsing them again only when their
// bytes have changed (textio::FileSnapshot) gives the same result. What a
// parse produces is kept in the order the file is read, including the first
// read error: the records before it are still applied first, so that a check
// of an earlier record fails before the read error is reported, as a reading
// that checks each record when it is read would. Data only; the loaders of
// the sources folder fill and apply it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "model/constants.h"
#include "textio/file_snapshot.h"
#include "textio/text_reader.h"

namespace ostra {

// One record of "VolumeSrcSnks.csv": compartment, receiving and driving
// state variable, rate constant; `line` is where its last field stands.
struct VolumeTermRecord {
    Integer K, sr, sc;
    Single k;
    int line;
};

// One record of "AreaSrcSnks.csv": state variable, receiving compartment,
// adjacent compartment, rate per unit area.
struct AreaTermRecord {
    Integer ISV, K, J;
    Single v;
    int line;
};

// The records of a file up to its -999 terminator, or up to the first field
// that could not be read (then `error` holds the message).
template <class Record>
struct ParsedRecords {
    textio::FileSnapshot file;
    std::vector<Record> records;
    bool failed = false;
    std::string error;
};

// What reading the records of one time block of "Loads.csv" meets, in order:
// a compartment number (checked when read) or a load (state variable and W).
struct LoadEvent {
    bool compartment;  // true: K only
    Integer K;
    Integer ISV;
    Single W;
    int line;
};

// One time block of "Loads.csv" as far as it has been needed: the outcome of
// reading its label line and window, then, once asked for, its records or
// the skip of its lines to the -999 that closes it.
struct LoadBlock {
    enum class Head { Window, EndOfFile, Failed } head = Head::Failed;
    std::string headError;
    Single t1 = 0, t2 = 0;
    textio::TextReader::Position afterWindow{};
    bool bodyRead = false;
    std::vector<LoadEvent> events;
    bool bodyFailed = false;
    std::string bodyError;
    bool skipped = false;  // the lines up to the closing -999 have been passed
    bool skipFailed = false;
    std::string skipError;
    textio::TextReader::Position afterBlock{};
};

struct LoadsCache {
    textio::FileSnapshot file;
    std::unique_ptr<textio::TextReader> reader;  // over the bytes of `file`
    std::vector<LoadBlock> blocks;
};

// "BEqnSolver.csv": the values read, in order, and the first read error.
struct EquationLoadsCache {
    textio::FileSnapshot file;
    std::vector<Double> values;
    bool failed = false;
    std::string error;
};

struct InputCache {
    ParsedRecords<VolumeTermRecord> volumeTerms;
    ParsedRecords<AreaTermRecord> areaTerms;
    LoadsCache loads;
    EquationLoadsCache equationLoads;
    textio::FileSnapshot multipliers;
    bool multipliersChecked = false;  // looked at in the current assembly
};

}  // namespace ostra
