// partition_tables.cpp -- partition/temperature coefficients and boundary
// concentrations.
//
// Exports: ReadKdandTempCoef, ReadBoundary.
//
// Both tables hold one fixed-length record per state variable and
// compartment, state variable major: the row of state variable ISV and
// compartment I is (ISV - 1) x NT + I. The readers make no checks of their
// own; the procedures that use a value reject -999 where they need it.
#include "model/count_notes.h"
#include "model/table_readers.h"
#include "model/table_records.h"
#include "textio/text_reader.h"

namespace ostra {

namespace {

// Reads NSV x NT records of `columns` values each into `table`.
void ReadFixedTable(ModelState& s, const char* file, SMatrix& table, std::vector<int>& lines,
                    int columns) {
    textio::TextReader in(s.Dir, file);
    in.SetCountNote(TableCountNote(s, columns));
    in.ReadLine("header line");
    int row = 0;
    for (Integer ISV : OneTo(s.opt.NSV)) {
        for (Integer I : OneTo(s.setup.NT)) {
            ++row;
            const RecordPlace at{file, ISV, I};
            for (int J = 1; J <= columns; ++J) {
                table(row, J) = ReadTableValue(in, at, J);
                if (J == 1) NoteRecordLine(lines, row, in);
            }
        }
    }
}

}  // namespace

void ReadKdandTempCoef(ModelState& s) {
    ReadFixedTable(s, "linearKdandTempCoef.csv", s.tables.KdTempCoef, s.tables.lines.KdTempCoef, NCOL_KD);
}

void ReadBoundary(ModelState& s) {
    ReadFixedTable(s, "BOUNDARY.csv", s.tables.Boundary, s.tables.lines.Boundary, NCOL_BOUNDARY);
}

}  // namespace ostra
