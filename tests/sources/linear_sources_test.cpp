// Tests of the volume- and area-based sources and sinks added to A.
#include <gtest/gtest.h>

#include <cmath>

#include "sources/linear_sources.h"
#include "sources/mass_balance.h"
#include "sources/small_model.h"

namespace ostra::testing {
namespace {

const char* const NO_AREA_TERMS = "ISV,K,J,v\n-999\n";
const char* const NO_VOLUME_TERMS = "K,SR,SC,k\n-999\n";

// Sum of |A(i, j)| over every entry except (row, col).
double OtherEntries(const DSparse& A, int row, int col) {
    double sum = 0;
    for (int i = 1; i <= A.Rows(); ++i)
        for (int j = 1; j <= A.Cols(); ++j)
            if (i != row || j != col) sum += std::fabs(A(i, j));
    return sum;
}

TEST(LinearSourcesVolume, SinkIsTemperatureCorrectedAddedAndRecorded) {
    SmallModel m({0, 0, 1}, 1);
    m.s.mb.MassBalanceOn = true;
    MassBalanceSetup(m.s);
    m.s.tables.KdTempCoef(2, 4) = 1.047f;
    m.s.tables.Compartment(2, 9) = 0.5f;
    m.Write("VolumeSrcSnks.csv", "K,SR,SC,k\n2,1,1,-0.1\n-999\n");
    m.Write("AreaSrcSnks.csv", NO_AREA_TERMS);
    const int e = m.Eqn(1, 2);
    m.s.sys.A.At(e, e) = 2;  // terms are added to what transport put there

    LoadALinearSrcSnk(m.s, m.s.sys.A);
    EXPECT_NEAR(m.s.sys.A(e, e), 2 - 10, 1e-5);
    EXPECT_EQ(OtherEntries(m.s.sys.A, e, e), 0);
    ASSERT_EQ(m.s.mb.MBExtVolSinksRowCount, 1);
    EXPECT_EQ(m.s.mb.MBExtVolSinks(1, 1), 1);
    EXPECT_EQ(m.s.mb.MBExtVolSinks(1, 2), 2);
    EXPECT_NEAR(m.s.mb.MBExtVolSinks(1, 3), -5, 1e-5);  // term x WC
    EXPECT_EQ(m.s.mb.MBExtVolSinks(2, 1), MISSING);

    // Ten degrees warmer: the rate grows by 1.047^10, and the records are
    // rebuilt rather than appended.
    m.s.tables.Compartment(2, 8) = 30;
    m.s.sys.A.At(e, e) = 0;
    LoadALinearSrcSnk(m.s, m.s.sys.A);
    EXPECT_NEAR(m.s.sys.A(e, e) / -10, std::pow(1.047, 10), 1e-6);
    EXPECT_EQ(m.s.mb.MBExtVolSinksRowCount, 1);
    EXPECT_EQ(m.s.mb.MBExtVolSinks(2, 1), MISSING);
}

TEST(LinearSourcesVolume, TransformationProductAndCrossSinkUseReceivingStateVariable) {
    SmallModel m({0, 0, 1}, 2);
    m.s.mb.MassBalanceOn = true;
    MassBalanceSetup(m.s);
    // theta is taken from the receiving state variable's row (2, 2).
    m.s.tables.KdTempCoef(3 + 2, 4) = 2;
    m.s.tables.KdTempCoef(2, 4) = 3;
    m.s.tables.Compartment(2, 8) = 21;
    m.Write("VolumeSrcSnks.csv", "K,SR,SC,k\n2,2,1,0.05\n2,2,1,-0.05\n-999\n");
    m.Write("AreaSrcSnks.csv", NO_AREA_TERMS);

    LoadALinearSrcSnk(m.s, m.s.sys.A);
    const int row = m.Eqn(2, 2);
    EXPECT_NEAR(m.s.sys.A(row, m.Eqn(1, 2)), 0.05 * 2 * 100, 1e-5);
    EXPECT_NEAR(m.s.sys.A(row, row), -0.05 * 2 * 100, 1e-5);
    EXPECT_EQ(m.s.sys.A(m.Eqn(1, 2), m.Eqn(1, 2)), 0);
    // Different state variables: nothing for the mass balance.
    EXPECT_EQ(m.s.mb.MBExtVolSinksRowCount, 0);
    EXPECT_EQ(m.s.mb.MBExtVolSinks(1, 1), MISSING);
}

TEST(LinearSourcesVolume, RecordsOutsideInteriorOrWithoutEquationAreHandled) {
    SmallModel m({0, 0, 1}, 2);
    m.Remove(2, 1);
    m.Write("AreaSrcSnks.csv", NO_AREA_TERMS);

    // A record for a boundary compartment is skipped without a message.
    m.Write("VolumeSrcSnks.csv", "K,SR,SC,k\n3,1,1,-0.1\n-999\n");
    LoadALinearSrcSnk(m.s, m.s.sys.A);
    EXPECT_EQ(OtherEntries(m.s.sys.A, 0, 0), 0);

    // A sink ignores its driving state variable, even one absent there.
    m.Write("VolumeSrcSnks.csv", "K,SR,SC,k\n1,1,2,-0.1\n-999\n");
    LoadALinearSrcSnk(m.s, m.s.sys.A);
    EXPECT_NEAR(m.s.sys.A(1, 1), -10, 1e-5);

    m.Write("VolumeSrcSnks.csv", "K,SR,SC,k\n1,1,2,0.1\n-999\n");
    EXPECT_EQ(ErrorMessage(m, [&] { LoadALinearSrcSnk(m.s, m.s.sys.A); }),
              "file \"VolumeSrcSnks.csv\", line 2: state variable 2 has no equation in "
              "compartment 1 (SectnToEqn = -999) in LoadALinearSrcSnk");

    m.Write("VolumeSrcSnks.csv", "K,SR,SC,k\n2,1,1,-0.1\n\n7,1,1,-0.1\n-999\n");
    EXPECT_EQ(ErrorMessage(m, [&] { LoadALinearSrcSnk(m.s, m.s.sys.A); }),
              "file \"VolumeSrcSnks.csv\", line 4: compartment 7 is not a compartment number "
              "from 1 to 3 in LoadALinearSrcSnk");

    m.Write("VolumeSrcSnks.csv", "K,SR,SC,k\n2,3,3,-0.1\n-999\n");
    EXPECT_EQ(ErrorMessage(m, [&] { LoadALinearSrcSnk(m.s, m.s.sys.A); }),
              "file \"VolumeSrcSnks.csv\", line 2: state variable 3 (compartment 2) is not a "
              "state variable number from 1 to 2 in LoadALinearSrcSnk");
}

TEST(LinearSourcesVolume, MissingTemperatureDataEndsTheRunUnlessNotNeeded) {
    SmallModel m({0, 1}, 1);
    m.Write("AreaSrcSnks.csv", NO_AREA_TERMS);
    m.Write("VolumeSrcSnks.csv", "K,SR,SC,k\n1,1,1,-0.1\n-999\n");
    m.s.tables.KdTempCoef(1, 4) = MISSING;
    LoadALinearSrcSnk(m.s, m.s.sys.A);  // at 20 degrees theta is not used
    EXPECT_NEAR(m.s.sys.A(1, 1), -10, 1e-5);

    m.s.tables.Compartment(1, 8) = 25;
    EXPECT_EQ(ErrorMessage(m, [&] { LoadALinearSrcSnk(m.s, m.s.sys.A); }),
              "file \"VolumeSrcSnks.csv\", line 2: the temperature coefficient of state variable 1 in compartment 1 "
              "(column 4 of \"linearKdandTempCoef.csv\", record 1) is -999, but the compartment's temperature 25 "
              "differs from 20 in LoadALinearSrcSnk");

    m.s.tables.Compartment(1, 8) = MISSING;
    EXPECT_EQ(ErrorMessage(m, [&] { LoadALinearSrcSnk(m.s, m.s.sys.A); }),
              "file \"VolumeSrcSnks.csv\", line 2: temperature Compartment(1, 8) = -999 for the "
              "volume term of state variable 1 in LoadALinearSrcSnk");
}

TEST(LinearSourcesVolume, FileWithoutTerminatorNamesFileAndLine) {
    SmallModel m({0, 1}, 1);
    m.Write("AreaSrcSnks.csv", NO_AREA_TERMS);
    m.Write("VolumeSrcSnks.csv", "K,SR,SC,k\n1,1,1,-0.1\n");
    try {
        LoadALinearSrcSnk(m.s, m.s.sys.A);
        FAIL() << "a file without its -999 was accepted";
    } catch (const textio::DataError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "file \"VolumeSrcSnks.csv\", line 2 (compartment of a volume term, or -999 "
                  "ending the list): expected a whole number, found the end of the file");
    }
}

// Compartments 1 and 2 interior, 3 a boundary. Each side lists its own area
// of a shared interface, and the lists differ so the tests see whose list
// was used.
void ConnectAreaModel(SmallModel& m) {
    m.Connect(1, 2, 8);
    m.Connect(2, 1, 10);
    m.Connect(2, 3, 4);
    m.Connect(3, 2, 6);
    m.Write("VolumeSrcSnks.csv", NO_VOLUME_TERMS);
}

TEST(LinearSourcesArea, SinkToBoundaryUsesAdjacentListingAndIsRecorded) {
    SmallModel m({0, 0, 1}, 1);
    ConnectAreaModel(m);
    m.s.mb.MassBalanceOn = true;
    MassBalanceSetup(m.s);
    m.s.tables.Compartment(2, 9) = 2;
    m.Write("AreaSrcSnks.csv", "ISV,K,J,v\n1,2,3,-0.5\n1,2,1,-0.25\n1,2,1,0.25\n-999\n");

    LoadALinearSrcSnk(m.s, m.s.sys.A);
    const int e1 = m.Eqn(1, 1), e2 = m.Eqn(1, 2);
    // Sink to the boundary: 6 x -0.5; sink to the interior neighbour: 8 x -0.25.
    EXPECT_EQ(m.s.sys.A(e2, e2), -3 - 2);
    // Source from the interior neighbour, driven by its concentration.
    EXPECT_EQ(m.s.sys.A(e2, e1), 2);
    EXPECT_EQ(m.s.sys.A(e1, e1), 0);
    EXPECT_EQ(m.s.sys.A(e1, e2), 0);
    // Only the sink to the boundary is an external loss.
    ASSERT_EQ(m.s.mb.MBExtAreaSinksRowCount, 1);
    EXPECT_EQ(m.s.mb.MBExtAreaSinks(1, 1), 1);
    EXPECT_EQ(m.s.mb.MBExtAreaSinks(1, 2), 2);
    EXPECT_EQ(m.s.mb.MBExtAreaSinks(1, 3), 3);
    EXPECT_EQ(m.s.mb.MBExtAreaSinks(1, 4), -6);
    EXPECT_EQ(m.s.mb.MBExtAreaSinks(2, 1), MISSING);
}

TEST(LinearSourcesArea, SourceFromBoundaryMissingAreaAndUnknownNeighbourEndTheRun) {
    SmallModel m({0, 0, 1}, 1);
    ConnectAreaModel(m);
    m.Write("AreaSrcSnks.csv", "ISV,K,J,v\n1,2,3,0.5\n-999\n");
    EXPECT_PRED2(ostra::testing::BeginsWith, ErrorMessage(m, [&] { LoadALinearSrcSnk(m.s, m.s.sys.A); }), "Ostra not yet set up to accept an area-based source from a boundary/dummy compartment to an interior compartment, user should specify as external loading instead in Loads.csv: ");

    m.s.tables.Inface(3, 3) = MISSING;
    m.Write("AreaSrcSnks.csv", "ISV,K,J,v\n1,2,3,-0.5\n-999\n");
    EXPECT_PRED2(ostra::testing::BeginsWith, ErrorMessage(m, [&] { LoadALinearSrcSnk(m.s, m.s.sys.A); }), "Interface Area = -999 in LoadALinearSrcSnk: ");

    m.Write("AreaSrcSnks.csv", "ISV,K,J,v\n1,1,3,-0.5\n-999\n");
    EXPECT_PRED2(ostra::testing::BeginsWith, ErrorMessage(m, [&] { LoadALinearSrcSnk(m.s, m.s.sys.A); }), "can't find adjacent compartment in GetArea: ");

    m.Write("AreaSrcSnks.csv", "ISV,K,J,v\n1,3,2,-0.5\n-999\n");
    EXPECT_EQ(ErrorMessage(m, [&] { LoadALinearSrcSnk(m.s, m.s.sys.A); }),
              "file \"AreaSrcSnks.csv\", line 2: state variable 1 has no equation in compartment 3 "
              "(SectnToEqn = -999) in LoadALinearSrcSnk");
}

TEST(LinearSourcesMassBalance, EmptyListsResetRecordsAndOverfullListsEndTheRun) {
    SmallModel m({0, 0, 1}, 1);  // MaxNSVxNT = 3
    ConnectAreaModel(m);
    m.s.mb.MassBalanceOn = true;
    MassBalanceSetup(m.s);
    m.s.mb.MBExtVolSinks(1, 1) = 1;
    m.s.mb.MBExtVolSinksRowCount = 1;
    m.s.mb.MBExtAreaSinks(1, 1) = 1;
    m.s.mb.MBExtAreaSinksRowCount = 1;
    m.Write("AreaSrcSnks.csv", NO_AREA_TERMS);
    LoadALinearSrcSnk(m.s, m.s.sys.A);
    EXPECT_EQ(m.s.mb.MBExtVolSinks(1, 1), MISSING);
    EXPECT_EQ(m.s.mb.MBExtAreaSinks(1, 1), MISSING);
    EXPECT_EQ(m.s.mb.MBExtVolSinksRowCount, 0);
    EXPECT_EQ(m.s.mb.MBExtAreaSinksRowCount, 0);

    m.Write("VolumeSrcSnks.csv", "K,SR,SC,k\n1,1,1,-1\n1,1,1,-1\n2,1,1,-1\n2,1,1,-1\n-999\n");
    EXPECT_PRED2(ostra::testing::BeginsWith, ErrorMessage(m, [&] { LoadALinearSrcSnk(m.s, m.s.sys.A); }), "number of records in mass balance array MBExtVolSinks exceeds dimensioned length of array: ");

    m.Write("VolumeSrcSnks.csv", NO_VOLUME_TERMS);
    m.Write("AreaSrcSnks.csv",
            "ISV,K,J,v\n1,2,3,-1\n1,2,3,-1\n1,2,3,-1\n1,2,3,-1\n-999\n");
    EXPECT_PRED2(ostra::testing::BeginsWith, ErrorMessage(m, [&] { LoadALinearSrcSnk(m.s, m.s.sys.A); }), "number of records in mass balance array MBExtAreaSinks exceeds dimensioned length of array: ");
}

}  // namespace
}  // namespace ostra::testing
