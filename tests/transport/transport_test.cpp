// transport_test.cpp -- transport coefficients by neighbour kind, the checks of
// the tables, the flow balance, multipliers and the block layout of A.
#include <cstring>

#include "transport_model.h"

namespace ostra::testing {
namespace {

// Feed 1 (fixed concentration 5) -> 2 -> 3 -> flow exit 4; flow 2, water
// content 0.5, conductances 0.3 x 2 / 4 = 0.15 and 0.4 x 1 / 2 = 0.2.
void BuildChain(Model& m, float a) {
    m.Comp(1, 2), m.Comp(2, 0, 0, 0.5f), m.Comp(3, 0, 0, 0.5f), m.Comp(4, 3);
    m.Link(2, 1, 2, 0.3f, a, 2, 4), m.Link(2, 3, -2, 0.4f, a, 1, 2);
    m.Link(3, 2, 2, 0.4f, a, 1, 2), m.Link(3, 4, -2, 0.6f, a);  // no dispersion into a flow exit
    m.s.tables.Boundary(m.Row(1, 1), 3) = 5;
}

TEST(Transport, ChainCoefficientsByUpwindWeight) {
    for (float a : {1.0f, 0.5f}) {
        SCOPED_TRACE(a);
        Model m(4, 1, 2);
        BuildChain(m, a);
        m.Number(true);
        m.Assemble();
        const float q = 2 / 0.5f;  // Q / WCk
        // Inflow weights the upstream neighbour by ALPHA; outflow weights K itself by ALPHA.
        EXPECT_FLOAT_EQ(m.B(2), (0.15f + q * a) * 5);
        EXPECT_FLOAT_EQ(m.A(2, 2), -0.15f + q * (1 - a) - 0.2f - q * a);
        EXPECT_FLOAT_EQ(m.A(2, 3), 0.2f - q * (1 - a));
        EXPECT_FLOAT_EQ(m.A(3, 2), 0.2f + q * a);
        EXPECT_FLOAT_EQ(m.A(3, 3), -0.2f + q * (1 - a) - q);
        const DMatrix& r = m.s.mb.MBBoundary;
        ASSERT_EQ(m.s.mb.MBBoundaryRowCount, 2);
        EXPECT_EQ(r(1, 1) + r(1, 2) * 10 + r(1, 3) * 100, 121);
        EXPECT_FLOAT_EQ(r(1, 4), 0.5f * (0.15f + q * a));
        EXPECT_FLOAT_EQ(r(1, 5), 0.5f * (-0.15f + q * (1 - a)));
        EXPECT_EQ(r(2, 3), 4);
        EXPECT_EQ(r(2, 4), 0);
        EXPECT_EQ(r(2, 5), -2);  // the whole flow leaves through the exit
    }
}

TEST(Transport, DispersionOnlyWithCentroidMixingLengths) {
    Model m(3, 1, 2);
    m.Comp(1, 0, 0), m.Comp(2, 0, 5), m.Comp(3, 1, -2);
    m.s.opt.MixLengthOption = 1;
    m.Link(1, 2, 0, 10, 1, 2, 99), m.Link(1, 3, 0, 3, 1, 2, 99), m.Link(2, 1, 0, 10, 1, 2, 99);
    m.Number(true);
    m.Assemble();
    EXPECT_FLOAT_EQ(m.A(1, 2), 10 * 2 / 5.0f);
    EXPECT_FLOAT_EQ(m.A(2, 1), 10 * 2 / 5.0f);
    EXPECT_FLOAT_EQ(m.A(1, 1), -4 - 3);
    EXPECT_FLOAT_EQ(m.A(2, 2), -4);
    EXPECT_EQ(m.B(1), 0);
    EXPECT_FLOAT_EQ(m.s.mb.MBBoundary(1, 4), 3);  // a zero-concentration neighbour keeps its record
    EXPECT_FLOAT_EQ(m.s.mb.MBBoundary(1, 5), -3);
}

TEST(Transport, NoDispersionNeedsNoAreaOrMixingLength) {
    Model m(3, 1, 2);
    m.Comp(1, 2), m.Comp(3, 3);
    m.Link(2, 1, 1, 0, 1, -999, -999), m.Link(2, 3, -1, -999, 1, -999, -999);
    m.s.tables.Boundary(m.Row(1, 1), 3) = 3;
    m.Number();
    m.Assemble();
    EXPECT_FLOAT_EQ(m.A(2, 2), -1);
    EXPECT_FLOAT_EQ(m.B(2), 3);
    m.s.tables.ECoef(m.Row(1, 2), 4) = 2;
    EXPECT_PRED2(BeginsWith, Fatal(m, [&] { m.Assemble(); }), "Area = -999 in Transport: ");
    m.Iface(2, 1, 1) = 1;
    EXPECT_PRED2(BeginsWith, Fatal(m, [&] { m.Assemble(); }), "MixLength = -999 in Transport: ");
    m.Iface(2, 1, 3) = 0;
    EXPECT_EQ(Fatal(m, [&] { m.Assemble(); }).rfind("MixLength = 0 in Transport", 0), 0u);
}

TEST(Transport, FlowBalanceToleranceIsStrict) {
    Model m(3, 1, 2);
    m.Comp(1, 2), m.Comp(3, 3);
    m.Link(2, 1, 10, 0), m.Link(2, 3, -9, 0);
    m.Number();
    m.s.opt.FlowBalanceTol = 5;
    EXPECT_PRED2(BeginsWith, Fatal(m, [&] { m.Assemble(); }), "Flow Balance error: compartment 2, state variable 1: inflow 10, outflow 9 (10 % > FlowBalanceTol 5 %");
    m.s.opt.FlowBalanceTol = 10;
    m.Assemble();  // 10 percent is not above 10
    m.s.tables.Flow(m.Row(1, 2), 4) = 0;
    const std::string msg = Fatal(m, [&] { m.Assemble(); });
    EXPECT_EQ(msg.rfind("Flow Balance error: compartment 2 of state variable 1 has an outflow of 9 ", 0), 0u)
        << msg;
}

TEST(Transport, FixedConcentrationFromTheFirstMatchingBoundaryRow) {
    Model m(3, 1, 1);
    m.Comp(1, 2), m.Comp(3, 1);
    m.Link(2, 1, 0, 4);
    m.Number();
    SMatrix& b = m.s.tables.Boundary;
    b(1, 2) = 9, b(3, 2) = 1, b(3, 3) = 0.5f;  // compartment 1's row stands third
    m.Assemble();
    EXPECT_FLOAT_EQ(m.B(2), 4 * 0.5f);
    b(3, 3) = -999;
    EXPECT_PRED2(BeginsWith, Fatal(m, [&] { m.Assemble(); }), "Boundary(JJ, NColBoundary) = -999 in Transport: ");
    b(3, 2) = 9;
    EXPECT_NE(Fatal(m, [&] { m.Assemble(); }).find("no row of BOUNDARY.csv for state variable 1 in compartment 1"),
              std::string::npos);
}

// Compartment 2 (x = 0, WCk 0.8) flows out to the extrapolated boundary 4
// (x = 2), listed first, and takes in from interior 1 (x = -1) and 3 (x = 3),
// which a fixed-concentration compartment 5 feeds: r = 2 / ((1 + 3) / 2) = 1.
void BuildExtrapolated(Model& m) {
    m.Comp(1, 0, -1), m.Comp(2, 0, 0, 0.8f), m.Comp(3, 0, 3), m.Comp(4, 4, 2), m.Comp(5, 2, 10);
    m.Link(2, 4, -3, 1, 0.5f), m.Link(2, 1, 1, 0.5f), m.Link(2, 3, 2, 0.25f);
    m.Link(1, 5, 1, 0), m.Link(1, 2, -1, 0.5f), m.Link(3, 5, 2, 0), m.Link(3, 2, -2, 0.25f);
}

TEST(Transport, ExtrapolatedBoundaryAndItsMassBalanceRecord) {
    Model m(5, 1, 3);
    BuildExtrapolated(m);
    m.Number(true);
    m.Assemble();
    const float N4 = 1 - 3 * 0.5f / 0.8f, K4 = -1 - 3 * 0.5f / 0.8f, r = 1;
    EXPECT_FLOAT_EQ(m.A(2, 2), K4 + (1 + r) * N4 - 0.5f - 0.25f);
    EXPECT_FLOAT_EQ(m.A(2, 1), 0.5f + 1 / 0.8f - N4 * r / 2);
    EXPECT_FLOAT_EQ(m.A(2, 3), 0.25f + 2 / 0.8f - N4 * r / 2);

    // The record, applied to the extrapolated concentration as the mass
    // balance applies it, gives WCk times the interface's share of the row.
    const DMatrix& rec = m.s.mb.MBBoundary;
    ASSERT_EQ(rec(2, 2) * 10 + rec(2, 3), 24);
    const double col4 = rec(2, 4), col5 = rec(2, 5), c[4] = {0, 1, 2, 4.5};
    const double full[4] = {0, m.A(2, 1), m.A(2, 2), m.A(2, 3)};
    m.s.tables.Flow(m.Row(1, 2), 4) = 0, m.s.tables.ECoef(m.Row(1, 2), 4) = 0, m.s.opt.FlowBalanceTol = 1000;
    m.Assemble();
    double share = 0;
    for (int j = 1; j <= 3; ++j) share += (full[j] - m.A(2, j)) * c[j];
    const double extrapolated = (r + 1) * c[2] - r * (c[1] + c[3]) / 2;
    EXPECT_NEAR(col5 * c[2] + col4 * extrapolated, 0.8 * share, 1e-5);

    m.s.setup.SVCompMap(1, 3) = 0;
    m.Number();
    EXPECT_NE(Fatal(m, [&] { m.Assemble(); }).find("does not hold state variable 1"), std::string::npos);
    Model lone(2, 1, 1);
    lone.Comp(2, 4, 1), lone.Link(1, 2, 0, 1), lone.Number();
    EXPECT_PRED2(BeginsWith, Fatal(lone, [&] { lone.Assemble(); }), "NASINT = 0 in Transport: ");
}

TEST(Transport, MultipliersOfNeighbourAndOwnEntries) {
    Model m(4, 1, 2);
    m.Comp(1, 2), m.Comp(4, 3);
    m.Link(2, 1, 2, 0), m.Link(2, 3, -2, 3, 0.5f), m.Link(3, 2, 2, 3, 0.5f), m.Link(3, 4, -2, 0);
    m.s.setup.UseMultipliers = true;
    m.dir.Write("FlowandEMultipliers.csv",
                Crlf("ISV,Row,Col,I,J,EMult,QMult\n1,2,3,2,3,0.5,2\n1,2,2,3,2,4,0.25\n-999\n"));
    m.Number();
    m.Assemble();
    EXPECT_FLOAT_EQ(m.A(2, 3), 3 * 0.5f - 2 * (1 - 0.5f) * 2);
    EXPECT_FLOAT_EQ(m.A(2, 2), -3 * 4 - 2 * 0.25f * 0.5f);
    EXPECT_FLOAT_EQ(m.A(3, 2), 3 + 2 * 0.5f);  // no record for compartment 3's entries
    EXPECT_FLOAT_EQ(m.A(3, 3), -3 + 2 * 0.5f - 2);
}

TEST(Transport, TableChecksInProcessingOrder) {
    const std::pair<const char*, void (*)(Model&)> cases[] = {
        {"-999 data error for number adjacent compartments in Transport", [](Model& m) { m.s.tables.Compartment(2, 2) = -999; }},
        {"-999 data error for adjacent compartment number in Transport", [](Model& m) { m.Iface(2, 2, 0) = -999; }},
        {"IAS = K in Transport", [](Model& m) { m.Iface(2, 2, 0) = 2; }},
        {"Flow(RowCount, ICFlow) <> IAS in Transport", [](Model& m) { m.s.tables.Flow(m.Row(1, 2), 5) = 4; }},
        {"Inface(K,ICInface) <> IAS in Transport", [](Model& m) { m.Iface(2, 2, 0) = 3.2f; }},
        {"ECoef(RowCount, ICEcoef) <> IAS in Transport", [](Model& m) { m.s.tables.ECoef(m.Row(1, 2), 5) = 4; }},
        {"Q = -999 in Transport", [](Model& m) { m.s.tables.Flow(m.Row(1, 2), 6) = -999; }},
        {"WCk = -999 in Transport", [](Model& m) { m.s.tables.Compartment(2, 9) = -999; }},
        {"WCk = 0 in Transport", [](Model& m) { m.s.tables.Compartment(2, 9) = 0; }},
        {"adjacent compartment 9 of interface 2 of compartment 2 is not a compartment number", [](Model& m) {
             m.Iface(2, 2, 0) = m.s.tables.Flow(m.Row(1, 2), 5) = m.s.tables.ECoef(m.Row(1, 2), 5) = 9;
         }},
        {"adjacent compartment of interface 2 of compartment 2 in \"Interfaces.csv\" = 40000 is not a compartment number",
         [](Model& m) {
             m.Iface(2, 2, 0) = m.s.tables.Flow(m.Row(1, 2), 5) = m.s.tables.ECoef(m.Row(1, 2), 5) = 40000;
         }},
    };
    for (const auto& [message, spoil] : cases) {
        Model m(4, 1, 2);
        BuildChain(m, 1);
        spoil(m);
        m.Number();
        EXPECT_EQ(Fatal(m, [&] { m.Assemble(); }).substr(0, std::strlen(message)), message);
    }
}

TEST(LoadATrans, BlocksOfTwoStateVariablesOnTheDiagonal) {
    // Feed 4 -> 1 -> 2 -> 3 -> exit 5; state variable 1 in 1, 2, 3, state variable 2 in 1, 2.
    Model m(5, 2, 2);
    m.Comp(4, 2), m.Comp(5, 3);
    m.Link(1, 4, 1, 0.5f), m.Link(1, 2, -1, 0.5f), m.Link(2, 1, 1, 0.5f);
    m.Link(2, 3, -1, 0.5f), m.Link(3, 2, 1, 0.5f), m.Link(3, 5, -1, 0.5f);
    m.s.setup.SVCompMap(2, 3) = 0;
    m.s.tables.Boundary(m.Row(1, 4), 3) = 2, m.s.tables.Boundary(m.Row(2, 4), 3) = 3;
    m.Number(true);
    DSparse& A = m.s.sys.A;
    for (int i = 1; i <= A.Rows(); ++i)
        for (int j = 1; j <= A.Cols(); ++j) A.At(i, j) = 7;
    m.s.sys.BBC.Fill(7);
    for (int pass = 0; pass < 2; ++pass) LoadATrans(m.s, A, m.s.sys.BBC);  // records counted afresh
    EXPECT_EQ(m.s.eq.NEQNsm(1), 3);
    EXPECT_EQ(m.s.eq.NEQNsm(2), 2);
    EXPECT_EQ(m.s.mb.MBBoundaryRowCount, 3);

    DMatrix expected(5, 5);
    DVector bbc(5);
    for (int ISV = 1, offset = 0; ISV <= 2; offset += m.Asm.Rows(), ++ISV) {
        m.Assemble(ISV);
        for (int i = 1; i <= m.Asm.Rows(); ++i) {
            bbc(offset + i) = m.Bsm(i);
            for (int j = 1; j <= m.Asm.Rows(); ++j) expected(offset + i, offset + j) = m.Asm(i, j);
        }
    }
    ASSERT_NE(expected(4, 5), 0);
    ASSERT_NE(bbc(4), bbc(1));
    for (int i = 1; i <= 5; ++i) {
        EXPECT_EQ(m.s.sys.BBC(i), bbc(i)) << i;
        for (int j = 1; j <= 5; ++j) EXPECT_EQ(A(i, j), expected(i, j)) << i << "," << j;
    }
}

TEST(LoadATrans, StateVariableWithoutEquationsAndRecordCount) {
    Model m(2, 2, 1);
    m.Link(1, 2, 0, 1), m.Link(2, 1, 0, 1);
    m.s.setup.SVCompMap(2, 1) = m.s.setup.SVCompMap(2, 2) = 0;
    m.Number();
    EXPECT_PRED2(BeginsWith, Fatal(m, [&] { LoadATrans(m.s, m.s.sys.A, m.s.sys.BBC); }), "NEQNsm = 0 in LoadATrans: ");
    m.s.setup.SVCompMap(2, 1) = m.s.setup.SVCompMap(2, 2) = 1;
    m.Number(false);
    m.s.mb.MBBoundaryRowCount = 42;
    LoadATrans(m.s, m.s.sys.A, m.s.sys.BBC);
    EXPECT_EQ(m.s.mb.MBBoundaryRowCount, 42);  // untouched without mass balance
    m.s.mb.MassBalanceOn = true, m.s.mb.MBBoundaryLength = 1;
    EXPECT_PRED2(BeginsWith, Fatal(m, [&] { LoadATrans(m.s, m.s.sys.A, m.s.sys.BBC); }),
              "MBBoundaryRowCount <> MBBoundaryLength in LoadATrans: ");
}

}  // namespace
}  // namespace ostra::testing
