// Tests of the mass-balance account: the boundary count, each kind of flux
// of a step, and "MassBalance.csv".
#include <gtest/gtest.h>

#include "sources/mass_balance.h"
#include "sources/small_model.h"

namespace ostra::testing {
namespace {

void SetRecord(ModelState& s, int r, int ISV, int K, int B, double col4, double col5) {
    s.mb.MBBoundary(r, 1) = ISV;
    s.mb.MBBoundary(r, 2) = K;
    s.mb.MBBoundary(r, 3) = B;
    s.mb.MBBoundary(r, 4) = col4;
    s.mb.MBBoundary(r, 5) = col5;
}

// Switches the account on and sizes it; `records` boundary records.
void StartAccount(SmallModel& m, int records) {
    m.s.mb.MassBalanceOn = true;
    MassBalanceSetup(m.s);
    m.s.mb.MBBoundaryLength = static_cast<Integer>(records);
    m.s.mb.MBBoundary.Resize(records, 5);
}

TEST(MassBalanceCount, CountsInteriorToBoundaryInterfacesPerStateVariable) {
    SmallModel m({0, 0, 1, 2}, 2);
    m.Remove(2, 2);
    m.Connect(1, 2, 1);
    m.Connect(1, 3, 1);
    m.Connect(2, 1, 1);
    m.Connect(2, 4, 1);
    m.Connect(2, 3, 1);
    m.Connect(3, 1, 1);  // boundary compartments' own lists do not count
    m.s.mb.MassBalanceOn = true;
    MassBalanceSetup(m.s);
    MassBalanceCountBoundaries(m.s);
    // State variable 1: 1 in compartment 1, 2 in compartment 2; state variable 2: 1.
    EXPECT_EQ(m.s.mb.MBBoundaryLength, 4);
    EXPECT_EQ(m.s.mb.MBBoundary.Rows(), 4);
    EXPECT_EQ(m.s.mb.MBBoundary.Cols(), 5);

    m.s.tables.Inface(2, 2) = 9;
    EXPECT_EQ(ErrorMessage(m, [&] { MassBalanceCountBoundaries(m.s); }),
              "adjacent compartment 9 of compartment 2 (interface 1 in \"Interfaces.csv\") is not a "
              "compartment number from 1 to 4 in mass balance checking code");
}

TEST(MassBalanceStep, ZeroConcentrationBoundariesCountOnlyTheOwnCoefficient) {
    // Compartments 1, 2 interior; 3 of kind 1, 4 of kind 3 (flow exit).
    SmallModel m({0, 0, 1, 3}, 1);
    StartAccount(m, 2);
    m.s.tables.Boundary(3, 3) = 100;  // not a kind-2 boundary: never read
    m.s.tables.Boundary(4, 3) = 100;
    m.s.opt.DELT = 0.5f;
    m.s.eq.EqnRetard(1) = 2;
    SetRecord(m.s, 1, 1, 1, 3, 7, -2);
    SetRecord(m.s, 2, 1, 2, 4, 9, -3);
    m.s.sys.c(1) = 2;
    m.s.sys.c(2) = 4;
    MassBalanceStep(m.s, m.s.sys.c);
    // (-2 x 2) x 0.5 / 2 = -1 and (-3 x 4) x 0.5 / 1 = -6 leave by transport.
    EXPECT_EQ(m.s.mb.MBOut(1, 1), 7);
    EXPECT_EQ(m.s.mb.MBIn(1), 0);
    // A second step adds to the account.
    MassBalanceStep(m.s, m.s.sys.c);
    EXPECT_EQ(m.s.mb.MBOut(1, 1), 14);
}

TEST(MassBalanceStep, FixedBoundaryUsesRowOfItsStateVariable) {
    SmallModel m({0, 2}, 2);
    StartAccount(m, 1);
    m.s.tables.Boundary(2, 3) = 10;      // state variable 1, compartment 2
    m.s.tables.Boundary(2 + 2, 3) = 50;  // state variable 2, compartment 2
    m.s.sys.c(2) = 4;                    // state variable 2 in compartment 1
    SetRecord(m.s, 1, 2, 1, 2, 0.5, -0.5);
    MassBalanceStep(m.s, m.s.sys.c);
    EXPECT_EQ(m.s.mb.MBIn(2), -0.5 * 4 + 50 * 0.5);
    EXPECT_EQ(m.s.mb.MBIn(1), 0);
    EXPECT_EQ(m.s.mb.MBOut(2, 1), 0);

    m.s.tables.Boundary(2 + 2, 3) = MISSING;
    EXPECT_PRED2(ostra::testing::BeginsWith, ErrorMessage(m, [&] { MassBalanceStep(m.s, m.s.sys.c); }), "BoundaryConc = -999 in mass balance checking code: ");

    m.s.tables.Boundary(2 + 2, 2) = 1;
    EXPECT_EQ(ErrorMessage(m, [&] { MassBalanceStep(m.s, m.s.sys.c); }),
              "no row of BOUNDARY.csv for state variable 2 in boundary compartment 2 (neighbour "
              "of compartment 1) in mass balance checking code");

    m.s.tables.Compartment(2, 3) = 5;
    EXPECT_EQ(ErrorMessage(m, [&] { MassBalanceStep(m.s, m.s.sys.c); }),
              "boundary compartment 2 (neighbour of compartment 1, state variable 2) has kind 5 in "
              "Compartment column 3; only kinds 1 to 4 have a boundary concentration in mass "
              "balance checking code");
}

TEST(MassBalanceStep, ExtrapolatedBoundaryFromInteriorNeighbours) {
    // Compartment 4 (kind 4) at x = 0; compartment 1 at x = 1 with interior
    // neighbours 2 (x = 2) and 3 (x = 3): Lb = 1, Lm = 1.5.
    SmallModel m({0, 0, 0, 4}, 1);
    m.s.tables.Compartment(4, 4) = 0;
    m.Connect(1, 4, 1);
    m.Connect(1, 2, 1);
    m.Connect(1, 3, 1);
    StartAccount(m, 1);
    m.s.sys.c(1) = 3;
    m.s.sys.c(2) = 2;
    m.s.sys.c(3) = 1;
    // Extrapolated: (1/1.5 + 1) x 3 - (1/1.5) x 1.5 = 4.
    SetRecord(m.s, 1, 1, 1, 4, 0.5, -1);
    MassBalanceStep(m.s, m.s.sys.c);
    EXPECT_NEAR(m.s.mb.MBOut(1, 1), 1, 1e-6);  // -1 x 3 + 4 x 0.5
    EXPECT_EQ(m.s.mb.MBIn(1), 0);

    m.Remove(1, 3);
    EXPECT_EQ(ErrorMessage(m, [&] { MassBalanceStep(m.s, m.s.sys.c); }),
              "state variable 1 has no equation in compartment 3 (interior neighbour of "
              "compartment 1 used to extrapolate the concentration of boundary compartment 4) in "
              "mass balance checking code");
}

TEST(MassBalanceStep, ExtrapolationNeedsInteriorNeighbours) {
    SmallModel m({0, 4, 1}, 1);
    m.Connect(1, 2, 1);
    m.Connect(1, 3, 1);
    StartAccount(m, 1);
    SetRecord(m.s, 1, 1, 1, 2, 0.5, -1);
    EXPECT_PRED2(ostra::testing::BeginsWith, ErrorMessage(m, [&] { MassBalanceStep(m.s, m.s.sys.c); }), "NASINT =0 in mass balance checking code: ");
    m.s.tables.Inface(1, 7) = MISSING;
    EXPECT_PRED2(ostra::testing::BeginsWith, ErrorMessage(m, [&] { MassBalanceStep(m.s, m.s.sys.c); }), "IADJ = -999 in mass balance checking code: ");
}

TEST(MassBalanceStep, LoadsAndSourceSinkRecordsBySign) {
    SmallModel m({0, 1, 0}, 2);
    m.Remove(2, 3);  // equations: (1,1) = 1, (1,3) = 2, (2,1) = 3
    StartAccount(m, 0);
    m.s.opt.DELT = 0.5f;
    m.s.eq.EqnRetard(2) = 2;
    for (int e = 1; e <= 3; ++e) m.s.mb.MBLoads(e) = 4;
    m.s.sys.c(1) = 1;
    m.s.sys.c(2) = 3;
    m.s.sys.c(3) = 5;
    // A positive volume coefficient is an input, a negative one an output.
    m.s.mb.MBExtVolSinks(1, 1) = 1;
    m.s.mb.MBExtVolSinks(1, 2) = 3;
    m.s.mb.MBExtVolSinks(1, 3) = 2;
    m.s.mb.MBExtVolSinks(2, 1) = 2;
    m.s.mb.MBExtVolSinks(2, 2) = 1;
    m.s.mb.MBExtVolSinks(2, 3) = -3;
    m.s.mb.MBExtAreaSinks(1, 1) = 1;
    m.s.mb.MBExtAreaSinks(1, 2) = 1;
    m.s.mb.MBExtAreaSinks(1, 3) = 2;
    m.s.mb.MBExtAreaSinks(1, 4) = -4;
    MassBalanceStep(m.s, m.s.sys.c);
    // Loads: 0.5 x 4 / 1 + 0.5 x 4 / 2; volume source 3 x 2 x 0.5 / 2.
    EXPECT_EQ(m.s.mb.MBIn(1), 2 + 1 + 1.5);
    EXPECT_EQ(m.s.mb.MBIn(2), 2);
    EXPECT_EQ(m.s.mb.MBOut(2, 2), 3 * 5 * 0.5);
    EXPECT_EQ(m.s.mb.MBOut(1, 3), 4 * 1 * 0.5);
    EXPECT_EQ(m.s.mb.MBOut(1, 2), 0);
    EXPECT_EQ(m.s.mb.MBOut(2, 3), 0);

    m.s.mb.MBExtAreaSinks(1, 4) = 1;
    EXPECT_EQ(ErrorMessage(m, [&] { MassBalanceStep(m.s, m.s.sys.c); }),
              "external area-based source not currently allowed, user should specify as external "
              "load");

    m.s.mb.MBExtAreaSinks(1, 1) = MISSING;
    m.s.opt.NEQN = 2;
    EXPECT_EQ(ErrorMessage(m, [&] { MassBalanceStep(m.s, m.s.sys.c); }),
              "Eqn <> NEQN in mass balance checking code");
}

TEST(MassBalanceReport, FileLayoutByteForByte) {
    SmallModel m({0, 0}, 1);
    StartAccount(m, 0);
    auto& C = m.s.tables.Compartment;
    C(1, 7) = 10;
    C(1, 9) = 0.5f;
    C(2, 7) = 20;
    m.s.setup.Initial(1, 3) = 4;  // initial mass 10 x 4 x 0.5 + 20 x 3 = 80
    m.s.setup.Initial(2, 3) = 3;
    m.s.sys.c(1) = 2;  // final mass 10 x 2 x 0.5 + 20 x 3.5 = 80
    m.s.sys.c(2) = 3.5;
    m.s.mb.MBIn(1) = 6;
    m.s.mb.MBOut(1, 1) = 1.5;
    m.s.mb.MBOut(1, 2) = 2;
    m.s.mb.MBOut(1, 3) = 0.25;
    MassBalanceReport(m.s, m.s.sys.c);
    EXPECT_EQ(m.dir.Read("MassBalance.csv"),
              "State Variable,Initial,In,Transport Out,Volume-Based Sinks Out,Area-Based Sinks "
              "Out,Residual,Balance Error\r\n"
              " 1 , 80 , 6 , 1.5 , 2 , .25 , 80 , 2.25 \r\n"
              "Mass balance error across state variables as a percentage of initial and total "
              "input mass =  2.61627906976744  %\r\n");
}

TEST(MassBalanceReport, InitialRowsSkipBoundariesAndErrorsCancelAcrossStateVariables) {
    SmallModel m({0, 1, 0}, 2);
    StartAccount(m, 0);
    for (int row = 1; row <= 6; ++row) m.s.setup.Initial(row, 3) = 1000;  // boundary rows
    m.s.setup.Initial(1, 3) = 1;  // (1, 1)
    m.s.setup.Initial(3, 3) = 2;  // (1, 3)
    m.s.setup.Initial(4, 3) = 3;  // (2, 1)
    m.s.setup.Initial(6, 3) = 4;  // (2, 3)
    // Initial masses 300 and 700; final 200 and 800.
    m.s.sys.c(1) = 1;
    m.s.sys.c(2) = 1;
    m.s.sys.c(3) = 4;
    m.s.sys.c(4) = 4;
    MassBalanceReport(m.s, m.s.sys.c);
    EXPECT_EQ(m.dir.Read("MassBalance.csv"),
              "State Variable,Initial,In,Transport Out,Volume-Based Sinks Out,Area-Based Sinks "
              "Out,Residual,Balance Error\r\n"
              " 1 , 300 , 0 , 0 , 0 , 0 , 200 , 100 \r\n"
              " 2 , 700 , 0 , 0 , 0 , 0 , 800 ,-100 \r\n"
              "Mass balance error across state variables as a percentage of initial and total "
              "input mass =  0  %\r\n");
}

TEST(MassBalanceReport, NothingToCompareWithEndsRunAfterRows) {
    SmallModel m({0}, 1);
    StartAccount(m, 0);
    EXPECT_PRED2(BeginsWith, ErrorMessage(m, [&] { MassBalanceReport(m.s, m.s.sys.c); }),
                 "pending division by zero in MassBalance.csv file calculation: the initial mass and "
                 "the input of every state variable are 0");
    EXPECT_EQ(m.dir.Read("MassBalance.csv"),
              "State Variable,Initial,In,Transport Out,Volume-Based Sinks Out,Area-Based Sinks "
              "Out,Residual,Balance Error\r\n"
              " 1 , 0 , 0 , 0 , 0 , 0 , 0 , 0 \r\n");

    m.s.opt.NEQN = 2;
    EXPECT_EQ(ErrorMessage(m, [&] { MassBalanceReport(m.s, m.s.sys.c); }),
              "Count <> NEQN in mass balance checking code");
}

}  // namespace
}  // namespace ostra::testing
