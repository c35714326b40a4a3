// table_readers_test.cpp -- the readers of the compartment-mode model tables.
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "model/error.h"
#include "model/table_readers.h"
#include "support/test_support.h"
#include "textio/errors.h"

namespace ostra {
namespace {

using testing::TempDir;
using testing::TestState;
using Record = std::vector<std::string>;

// How the values of a table are spread over lines; all layouts must read alike.
enum class Layout { RecordPerLine, ValuePerLine, OneLine };
const Layout kLayouts[] = {Layout::RecordPerLine, Layout::ValuePerLine, Layout::OneLine};

std::string Csv(const std::vector<Record>& records, Layout layout) {
    std::string text = "\"header, of the table\"\r\n";
    bool first = true;
    for (const Record& r : records) {
        for (std::size_t k = 0; k < r.size(); ++k) {
            if (layout == Layout::ValuePerLine) {
                text += r[k] + "\r\n";
            } else {
                if (!first && (layout == Layout::OneLine || k > 0)) text += ",";
                text += r[k];
                first = false;
            }
        }
        if (layout == Layout::RecordPerLine) {
            text += "\r\n";
            first = true;
        }
    }
    if (layout == Layout::OneLine) text += "\r\n";
    return text;
}

std::string Str(int v) { return std::to_string(v); }

class TableReaders : public ::testing::Test {
protected:
    TempDir dir;
    TestState ts{dir.Path()};
    ModelState& s = ts.s;
    std::mt19937 rng{20240611};

    void Size(Integer NSV, Integer NT, Integer NAS) {
        s.opt.NSV = NSV;
        s.opt.NAS = NAS;
        s.setup.NT = NT;
        s.setup.MaxNSVxNT = static_cast<Integer>(NSV * NT);
        ModelTables& t = s.tables;
        t.Compartment.Resize(NT, NCOL_COMPARTMENT);
        t.Inface.Resize(NT, 1 + NCOL_INFACE * NAS);
        t.Flow.Resize(s.setup.MaxNSVxNT, 2 + NCOL_FLOW * NAS);
        t.ECoef.Resize(s.setup.MaxNSVxNT, 2 + NCOL_ECOEF * NAS);
        t.KdTempCoef.Resize(s.setup.MaxNSVxNT, NCOL_KD);
        t.Boundary.Resize(s.setup.MaxNSVxNT, NCOL_BOUNDARY);
    }

    // A decimal value that is not exact in binary, so parsing into Single matters.
    std::string Value() {
        std::uniform_int_distribution<int> d(-99999, 99999);
        return std::to_string(d(rng) / 1000.0);
    }

    // Compartment records with the given NAS(I) and random other columns.
    std::vector<Record> CompartmentRecords(const std::vector<int>& nas) {
        std::vector<Record> recs;
        for (std::size_t i = 0; i < nas.size(); ++i) {
            Record r{Str(static_cast<int>(i) + 1), Str(nas[i]), "0"};
            while (r.size() < NCOL_COMPARTMENT) r.push_back(Value());
            recs.push_back(r);
        }
        return recs;
    }

    void LoadCompartments(const std::vector<int>& nas) {
        dir.Write("Compartments.csv", Csv(CompartmentRecords(nas), Layout::RecordPerLine));
        ReadCompartments(s);
    }

    // Runs f, which must end the run through Error; returns the message of "Error.dng".
    std::string Fatal(const std::function<void()>& f) {
        try {
            f();
        } catch (const RunEnded& e) {
            EXPECT_EQ(e.status, EXIT_FATAL_DATA);
            EXPECT_EQ(ts.display.messages.back(), FATAL_ERROR_BOX);
            const std::string text = dir.Read("Error.dng");
            EXPECT_EQ(text.substr(0, 8), "Error:  ");
            EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
            return text.substr(8, text.size() - 10);
        }
        ADD_FAILURE() << "the run did not end";
        return "";
    }

    // Runs f, which must fail with a data error; returns its message.
    static std::string DataErrorOf(const std::function<void()>& f) {
        try {
            f();
        } catch (const textio::DataError& e) {
            return e.what();
        }
        ADD_FAILURE() << "no data error";
        return "";
    }
};

// ---- Compartments and interfaces --------------------------------------------

TEST_F(TableReaders, CompartmentsReadAlikeInEveryLayout) {
    Size(1, 4, 3);
    const std::vector<Record> recs = CompartmentRecords({3, 1, 0, 2});
    for (Layout layout : kLayouts) {
        s.tables.Compartment.Fill(0);
        dir.Write("compartments.CSV", Csv(recs, layout));  // names match without regard to case
        ReadCompartments(s);
        for (int I = 1; I <= 4; ++I)
            for (int J = 1; J <= NCOL_COMPARTMENT; ++J)
                ASSERT_EQ(s.tables.Compartment(I, J), std::stof(recs[I - 1][J - 1]))
                    << "layout " << static_cast<int>(layout) << " (" << I << ", " << J << ")";
    }
}

TEST_F(TableReaders, CompartmentOutOfPlaceEndsTheRun) {
    Size(1, 3, 1);
    std::vector<Record> recs = CompartmentRecords({1, 1, 1});
    recs[1][0] = "3";
    dir.Write("Compartments.csv", Csv(recs, Layout::RecordPerLine));
    EXPECT_EQ(Fatal([&] { ReadCompartments(s); }),
              "Compartment(I, 1) <> I in ReadCompartments: file \"Compartments.csv\", line 3: record 2 "
              "starts with 3 where compartment number 2 was expected (one record of 10 values per "
              "compartment, in compartment order)");
}

TEST_F(TableReaders, InterfaceRecordsFollowNASAndLeaveTheRestOfARow) {
    Size(1, 4, 2);
    LoadCompartments({2, 0, -999, 1});
    std::vector<Record> recs;
    for (int I : {1, 2, 4}) {  // compartment 3 has no record at all
        Record r{Str(I)};
        const int groups = I == 1 ? 2 : (I == 4 ? 1 : 0);
        for (int g = 0; g < groups; ++g) {
            r.push_back(Str(I == 4 ? 1 : 2 + g * 2));
            for (int k = 0; k < 3; ++k) r.push_back(Value());
            r.push_back("1");
        }
        recs.push_back(r);
    }
    for (Layout layout : kLayouts) {
        s.tables.Inface.Fill(77);
        dir.Write("Interfaces.csv", Csv(recs, layout));
        ReadInterfaces(s);
        const int rows[] = {1, 2, 4};
        for (std::size_t k = 0; k < recs.size(); ++k) {
            const int I = rows[k];
            for (int J = 1; J <= s.tables.Inface.Cols(); ++J) {
                const float expected = J <= static_cast<int>(recs[k].size()) ? std::stof(recs[k][J - 1]) : 77.0f;
                ASSERT_EQ(s.tables.Inface(I, J), expected) << "(" << I << ", " << J << ")";
            }
        }
        for (int J = 1; J <= s.tables.Inface.Cols(); ++J) EXPECT_EQ(s.tables.Inface(3, J), 77.0f);
    }
    EXPECT_FALSE(s.tables.VariableAlpha);
}

TEST_F(TableReaders, InterfaceCountRoundsHalvesToEven) {
    Size(1, 3, 2);
    dir.Write("Compartments.csv", testing::Crlf("h\n1,2.5,0,0,0,0,1,20,1,0\n2,1.5,0,0,0,0,1,20,1,0\n"
                                                "3,0.5,0,0,0,0,1,20,1,0\n"));
    ReadCompartments(s);
    EXPECT_EQ(CompartmentNAS(s, 1), 2);
    EXPECT_EQ(CompartmentNAS(s, 2), 2);
    EXPECT_EQ(CompartmentNAS(s, 3), 0);
    // Two groups for compartments 1 and 2, none for 3; anything else misaligns the records.
    dir.Write("Interfaces.csv", testing::Crlf("h\n1, 2,1,1,1,1, 3,1,1,1,1\n2, 1,1,1,1,1, 3,1,1,1,1\n3\n"));
    ReadInterfaces(s);
    EXPECT_EQ(s.tables.Inface(2, 7), 3.0f);
    EXPECT_EQ(s.tables.Inface(3, 1), 3.0f);
}

TEST_F(TableReaders, InterfaceNumberIsCheckedAtTheFirstValue) {
    Size(1, 2, 1);
    LoadCompartments({1, 1});
    // Record 2 starts with the wrong number and the file ends there: the check comes first.
    dir.Write("Interfaces.csv", testing::Crlf("h\n1,2,1,1,1,1\n5\n"));
    EXPECT_PRED2(ostra::testing::BeginsWith, Fatal([&] { ReadInterfaces(s); }),
                 "J = 1 And Inface(I, J) <> I in ReadInterfaces: file \"Interfaces.csv\", line 3: the "
                 "record of compartment 2 starts with 5 where 2 was expected");
}

TEST_F(TableReaders, AWeightingFactorOtherThanOneSetsVariableAlphaForGood) {
    Size(1, 2, 2);
    LoadCompartments({2, 1});
    // Every value other than the weighting factors is 0.5: none of them counts.
    const std::string allOnes = "h\n1, 2,.5,.5,.5,1, 2,.5,.5,.5,1\n2, 1,.5,.5,.5,1\n";
    dir.Write("Interfaces.csv", testing::Crlf(allOnes));
    ReadInterfaces(s);
    EXPECT_FALSE(s.tables.VariableAlpha);

    dir.Write("Interfaces.csv", testing::Crlf("h\n1, 2,1,1,1,1, 2,1,1,1,0.5\n2, 1,1,1,1,1\n"));
    ReadInterfaces(s);
    EXPECT_TRUE(s.tables.VariableAlpha);

    dir.Write("Interfaces.csv", testing::Crlf(allOnes));
    ReadInterfaces(s);
    EXPECT_TRUE(s.tables.VariableAlpha) << "a later re-read never resets it";
}

TEST_F(TableReaders, ARecordLongerThanTheTableEndsTheRun) {
    Size(2, 2, 1);
    LoadCompartments({1, 3});
    dir.Write("Interfaces.csv", testing::Crlf("h\n1,2,1,1,1,1\n2,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1\n"));
    std::string msg = Fatal([&] { ReadInterfaces(s); });
    EXPECT_NE(msg.find("NAS(I) = 3 > NAS = 1"), std::string::npos) << msg;
    EXPECT_NE(msg.find("compartment 2"), std::string::npos) << msg;
    EXPECT_NE(msg.find("\"Interfaces.csv\""), std::string::npos) << msg;

    dir.Write("Flows.csv", testing::Crlf("h\n1,1,2,0\n"));
    msg = Fatal([&] { ReadFlows(s); });
    EXPECT_NE(msg.find("state variable 1, compartment 2"), std::string::npos) << msg;
    EXPECT_NE(msg.find("\"Flows.csv\""), std::string::npos) << msg;
}

TEST_F(TableReaders, AShortFileNamesFileLineAndRecord) {
    Size(2, 3, 1);
    LoadCompartments({1, 1, 1});
    dir.Write("Interfaces.csv", testing::Crlf("h\n1,2,1,1,1,1\n2,1,1,1,1,1\n3,2,1\n"));
    std::string msg = DataErrorOf([&] { ReadInterfaces(s); });
    EXPECT_NE(msg.find("\"Interfaces.csv\", line 4"), std::string::npos) << msg;
    EXPECT_NE(msg.find("end of the file"), std::string::npos) << msg;
    EXPECT_NE(msg.find("value 4 of the record of compartment 3"), std::string::npos) << msg;

    dir.Write("ECoefficients.csv", testing::Crlf("h\n1,1,2,0\n1,2,1,0\n1,3,2,0\n2,1,2\n"));
    msg = DataErrorOf([&] { ReadECoef(s); });
    EXPECT_NE(msg.find("state variable 2, compartment 1"), std::string::npos) << msg;

    dir.Write("BOUNDARY.csv", testing::Crlf("h\n1,1,0\n1,2,x\n"));
    msg = DataErrorOf([&] { ReadBoundary(s); });
    EXPECT_NE(msg.find("line 3, field 3"), std::string::npos) << msg;
    EXPECT_NE(msg.find("\"x\""), std::string::npos) << msg;
    EXPECT_NE(msg.find("state variable 1, compartment 2"), std::string::npos) << msg;
}

// ---- Flows and exchange coefficients -----------------------------------------

class PairTables : public TableReaders, public ::testing::WithParamInterface<bool> {
protected:
    bool flows() const { return GetParam(); }
    const char* file() const { return flows() ? "Flows.csv" : "ECoefficients.csv"; }
    SMatrix& table() { return flows() ? s.tables.Flow : s.tables.ECoef; }
    void Read() { flows() ? ReadFlows(s) : ReadECoef(s); }
};

TEST_P(PairTables, RowsAreStateVariableMajorAndSizedByNAS) {
    Size(2, 3, 1);
    LoadCompartments({1, 0, -999});
    // Column 1 is never tested: 9 stands where the state variable belongs.
    const std::vector<Record> recs = {{"1", "1", "2", Value()}, {"1", "2"},
                                      {"9", "1", "2", Value()}, {"2", "2"}};
    const int rows[] = {1, 2, 4, 5};
    for (Layout layout : kLayouts) {
        table().Fill(55);
        dir.Write(file(), Csv(recs, layout));
        Read();
        for (std::size_t k = 0; k < recs.size(); ++k)
            for (int J = 1; J <= 4; ++J) {
                const float expected = J <= static_cast<int>(recs[k].size()) ? std::stof(recs[k][J - 1]) : 55.0f;
                ASSERT_EQ(table()(rows[k], J), expected) << "row " << rows[k] << " column " << J;
            }
        for (int J = 1; J <= 4; ++J) {
            EXPECT_EQ(table()(3, J), 55.0f);
            EXPECT_EQ(table()(6, J), 55.0f);
        }
    }
}

TEST_P(PairTables, WrongCompartmentNumberEndsTheRun) {
    Size(1, 2, 1);
    LoadCompartments({1, 1});
    dir.Write(file(), testing::Crlf("h\n1,1,2,0.5\n1,3,1,0.5\n"));
    EXPECT_PRED2(ostra::testing::BeginsWith, Fatal([&] { Read(); }),
                 std::string(flows() ? "J = 2 And Flow(RowCount, J) <> I in ReadFlows: file \"Flows.csv\""
                                     : "ECoef(counter, 2) <> J in ReadECoef: file \"ECoefficients.csv\"") +
                     ", record on line 3 (state variable 1, compartment 2) holds 3 in column 2 where "
                     "compartment 2 was expected");
}

TEST_P(PairTables, CompartmentCheckComesRightAfterColumnTwoOnlyForFlows) {
    Size(1, 2, 1);
    LoadCompartments({1, 1});
    // The second record names the wrong compartment and the file ends after it.
    dir.Write(file(), testing::Crlf("h\n1,1,2,0.5\n1,3\n"));
    if (flows()) {
        EXPECT_PRED2(ostra::testing::BeginsWith, Fatal([&] { Read(); }), "J = 2 And Flow(RowCount, J) <> I in ReadFlows: ");
    } else {
        const std::string msg = DataErrorOf([&] { Read(); });
        EXPECT_NE(msg.find("end of the file"), std::string::npos) << msg;
        EXPECT_FALSE(dir.Exists("Error.dng"));
    }
}

INSTANTIATE_TEST_SUITE_P(FlowsAndECoefficients, PairTables, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& p) {
                             return p.param ? std::string("Flows") : std::string("ECoefficients");
                         });

// ---- Partitioning and boundary tables ----------------------------------------

TEST_F(TableReaders, PartitionAndBoundaryRowsReadAlikeInEveryLayout) {
    Size(2, 3, 1);
    for (const bool kd : {true, false}) {
        const int cols = kd ? NCOL_KD : NCOL_BOUNDARY;
        std::vector<Record> recs;
        for (int row = 1; row <= 6; ++row) {
            // No checks: the compartment column may hold anything.
            Record r{Str((row - 1) / 3 + 1), Str(row == 2 ? 7 : (row - 1) % 3 + 1)};
            while (static_cast<int>(r.size()) < cols) r.push_back(Value());
            recs.push_back(r);
        }
        for (Layout layout : kLayouts) {
            SMatrix& table = kd ? s.tables.KdTempCoef : s.tables.Boundary;
            table.Fill(0);
            dir.Write(kd ? "LinearKdandTempCoef.csv" : "boundary.csv", Csv(recs, layout));
            kd ? ReadKdandTempCoef(s) : ReadBoundary(s);
            for (int row = 1; row <= 6; ++row)
                for (int J = 1; J <= cols; ++J) ASSERT_EQ(table(row, J), std::stof(recs[row - 1][J - 1]));
            if (kd) {
                EXPECT_EQ(table(4, 3), std::stof(recs[3][2])) << "state variable 2, compartment 1";
            }
        }
    }
}

// ---- Multipliers -------------------------------------------------------------

using Lookup = void (*)(ModelState&, Integer, Integer, Integer, Integer, Integer, Single&, Single&);

class Multipliers : public TableReaders, public ::testing::WithParamInterface<Lookup> {
protected:
    std::pair<float, float> Find(Integer ISV, Integer row, Integer col, Integer i, Integer j) {
        Single e = -1, q = -1;
        GetParam()(s, ISV, row, col, i, j, e, q);
        return {e, q};
    }
    void WriteFile(const std::string& body) { dir.Write("FlowandEMultipliers.csv", testing::Crlf("h\n" + body)); }
    const std::pair<float, float> none{1.0f, 1.0f};
};

TEST_P(Multipliers, CompartmentPairInOrderInterfacePairEitherWay) {
    WriteFile("1,4,7,7,4,0.5,2\n-999\n");
    EXPECT_EQ(Find(1, 4, 7, 4, 7), std::make_pair(0.5f, 2.0f));
    EXPECT_EQ(Find(1, 4, 7, 7, 4), std::make_pair(0.5f, 2.0f));
    EXPECT_EQ(Find(1, 7, 4, 4, 7), none);
    EXPECT_EQ(Find(2, 4, 7, 4, 7), none);
    EXPECT_EQ(Find(1, 4, 4, 4, 7), none);
    EXPECT_EQ(Find(1, 4, 7, 4, 8), none);
}

TEST_P(Multipliers, FirstMatchWins) {
    WriteFile("1,4,4,4,7,3,5\n1,4,7,4,7,0.25,0.75\n1,4,7,7,4,0.5,2\n-999\n");
    EXPECT_EQ(Find(1, 4, 7, 7, 4), std::make_pair(0.25f, 0.75f));
    EXPECT_EQ(Find(1, 4, 4, 7, 4), std::make_pair(3.0f, 5.0f));
}

TEST_P(Multipliers, TerminatorOnlyFileGivesOne) {
    WriteFile("-999\nnothing here is read\n");
    EXPECT_EQ(Find(1, 1, 2, 1, 2), none);
    EXPECT_EQ(Find(1, 1, 1, 1, 2), none);
}

TEST_P(Multipliers, RecordsAfterTheTerminatorAreNotRead) {
    WriteFile("1,1,2,1,2,4,4\n-999\n1,2,1,2,1,9,9\n");
    EXPECT_EQ(Find(1, 2, 1, 2, 1), none);
}

TEST_P(Multipliers, MissingTerminatorMeansNoFurtherRecord) {
    WriteFile("1,1,2,1,2,4,8\n2,1,2,1,2,3,6\n");
    EXPECT_EQ(Find(1, 1, 2, 1, 2), std::make_pair(4.0f, 8.0f));
    EXPECT_EQ(Find(2, 1, 2, 2, 1), std::make_pair(3.0f, 6.0f));
    EXPECT_EQ(Find(3, 1, 2, 1, 2), none);
}

TEST_P(Multipliers, ABadRecordMattersOnlyBeforeTheFirstMatch) {
    WriteFile("1,1,2,1,2,4,8\n1,2,x,2,1,1,1\n1,3,2,3,2,5,5\n-999\n");
    EXPECT_EQ(Find(1, 1, 2, 2, 1), std::make_pair(4.0f, 8.0f));
    for (int repeat = 0; repeat < 2; ++repeat) {  // the same failure every time
        const std::string msg = DataErrorOf([&] { Find(1, 3, 2, 3, 2); });
        EXPECT_NE(msg.find("\"FlowandEMultipliers.csv\", line 3, field 3"), std::string::npos) << msg;
        EXPECT_NE(msg.find("multiplier record 2"), std::string::npos) << msg;
    }
    EXPECT_EQ(Find(1, 1, 2, 1, 2), std::make_pair(4.0f, 8.0f));
}

TEST_P(Multipliers, ARecordCutShortIsAnError) {
    WriteFile("1,1,2,1,2,4,8\n1,4,7\n");
    const std::string msg = DataErrorOf([&] { Find(1, 2, 1, 2, 1); });
    EXPECT_NE(msg.find("end of the file"), std::string::npos) << msg;
    EXPECT_NE(msg.find("multiplier record 2"), std::string::npos) << msg;
}

INSTANTIATE_TEST_SUITE_P(Lookups, Multipliers,
                         ::testing::Values(&ReadFlowandEMultipliers, &ReadFlowandEMultipliersFromFile),
                         [](const ::testing::TestParamInfo<Lookup>& p) {
                             return p.index == 0 ? std::string("Parsed") : std::string("FreshScan");
                         });

TEST_F(TableReaders, ParsedMultipliersAgreeWithAFreshScan) {
    // Few distinct values, so repeated and reversed records are common.
    std::uniform_int_distribution<int> small(1, 3);
    std::string body;
    for (int k = 0; k < 80; ++k) {
        for (int f = 0; f < 5; ++f) body += Str(small(rng)) + ",";
        body += Value() + "," + Value() + "\n";
    }
    dir.Write("FlowandEMultipliers.csv", testing::Crlf("h\n" + body + "-999\n"));
    int matched = 0;
    for (int k = 0; k < 400; ++k) {
        Integer a[5];
        for (Integer& v : a) v = static_cast<Integer>(small(rng));
        Single e1, q1, e2, q2;
        ReadFlowandEMultipliers(s, a[0], a[1], a[2], a[3], a[4], e1, q1);
        ReadFlowandEMultipliersFromFile(s, a[0], a[1], a[2], a[3], a[4], e2, q2);
        ASSERT_EQ(e1, e2);
        ASSERT_EQ(q1, q2);
        matched += (e1 != 1 || q1 != 1);
    }
    EXPECT_GT(matched, 100);
}

// A new assembly sees a rewritten file, also one rewritten at once with
// the same size (its stamp may not show the change).
TEST_F(TableReaders, RewrittenMultipliersAreReadAgainByTheNextAssembly) {
    dir.Write("FlowandEMultipliers.csv", testing::Crlf("h\n1,1,2,1,2,4,8\n-999\n"));
    Single e, q;
    ReadFlowandEMultipliers(s, 1, 1, 2, 1, 2, e, q);
    EXPECT_EQ(e, 4.0f);
    for (const char* value : {"2", "0.5,0.25"}) {
        dir.Write("FlowandEMultipliers.csv",
                  testing::Crlf(std::string("h\n1,1,2,1,2,") + value + (value[1] ? "" : ",8") + "\n-999\n"));
        CheckMultipliersAgain(s);
        ReadFlowandEMultipliers(s, 1, 1, 2, 1, 2, e, q);
        EXPECT_EQ(e, value[1] ? 0.5f : 2.0f);
    }
    EXPECT_EQ(q, 0.25f);
}

}  // namespace
}  // namespace ostra
