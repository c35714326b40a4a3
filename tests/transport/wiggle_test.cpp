// wiggle_test.cpp -- the positivity/wiggle criterion: which interfaces are
// tested, the largest wiggle-free length, report and prompt timing.
#include "textio/number_format.h"
#include "transport/wiggle.h"
#include "transport_model.h"

namespace ostra::testing {
namespace {

using textio::FormatInteger;

const std::string PROMPT = "input: Positivity/wiggle criterion violated.  Enter 'C' if you want to continue anyway.";

// Interior compartment 1 (WCk 0.4) sends Q = -1 across area 2 to compartment 2
// at distance x, weight 0.5, E = 2, distance weight 0.5:
// LMax = 2 x 0.4 / ((1 - 0.5) x 1 / 2) = 3.2.
void Build(Model& m, float x) {
    m.Comp(1, 0, 0, 0.4f), m.Comp(2, 1, x);
    m.Link(1, 2, -1, 2, 0.5f, 2);
    m.s.tables.ALPHAweighted(1, 2) = 2, m.s.tables.ALPHAweighted(1, 3) = 0.5f;
    m.s.opt.NSV = 1, m.s.opt.Dynamic = true, m.s.opt.DELT = 1;
}

const float LMAX = 2 * 0.4f / ((1 - 0.5f) * (1 / 2.0f));

std::string ReportTail() {
    return FormatInteger(1) + "and " + FormatInteger(2) + " Maximum length is " + textio::FormatSingle(LMAX) + "\r\n";
}

TEST(Wiggle, CentroidDistanceAgainstLargestWiggleFreeLength) {
    Model m(2, 1, 1);
    Build(m, 3.2f);
    Wiggle(m.s, 0);
    EXPECT_FALSE(m.dir.Exists("Wiggle.dng"));
    m.Comp(2, 1, 3.3f);
    m.t.display.answers = {"c"};
    Wiggle(m.s, 0);
    EXPECT_EQ(m.dir.Read("Wiggle.dng"),
              "Positivity/wiggle criterion violated at all timesteps between compartments" + ReportTail());
    EXPECT_EQ(m.t.display.events, std::vector<std::string>{PROMPT});
}

TEST(Wiggle, OnlyCentralWeightsWithOutflowAreTested) {
    for (auto [ALPHA, Q] : {std::pair{1.0f, -1.0f}, {0.3f, -1.0f}, {0.5f, 0.0f}, {0.5f, 1.0f}}) {
        Model m(2, 1, 1);
        Build(m, 100);
        m.Iface(1, 1, 4) = ALPHA, m.s.tables.Flow(1, 4) = Q;
        Wiggle(m.s, 0);
        EXPECT_FALSE(m.dir.Exists("Wiggle.dng")) << ALPHA << " " << Q;
    }
}

TEST(Wiggle, ReportsAndPromptsAtTheStartOfADynamicRun) {
    Model m(2, 1, 1);
    Build(m, 4);
    m.t.display.answers = {"c"};
    Wiggle(m.s, 0);  // reported, prompted
    Wiggle(m.s, 1);  // reported only
    Wiggle(m.s, 2);  // neither
    const std::string line = "Positivity/wiggle criterion violated at all timesteps between compartments" + ReportTail();
    EXPECT_EQ(m.dir.Read("Wiggle.dng"), line + line);
    EXPECT_EQ(m.t.display.events.size(), 1u);

    m.s.opt.TimeVarParms = true;  // every call reports, with its time
    Wiggle(m.s, 2);
    EXPECT_EQ(m.dir.Read("Wiggle.dng"), line + line + "For State Variable " + FormatInteger(1) + ",At time " +
                                            textio::FormatDouble(2) +
                                            "positivity/wiggle criterion violated between compartments" + ReportTail());
    EXPECT_EQ(m.t.display.events.size(), 1u);

    m.s.opt.Dynamic = false;  // a steady run always asks; an empty answer ends the run
    try {
        Wiggle(m.s, -999);
        ADD_FAILURE() << "the run went on";
    } catch (const RunEnded& end) {
        EXPECT_EQ(end.status, EXIT_USER_STOPPED);
    }
    EXPECT_EQ(m.t.display.events.size(), 2u);
}

TEST(Wiggle, DivisionsOfATestedInterfaceAreChecked) {
    Model m(2, 1, 1);
    Build(m, 4);
    m.s.tables.ALPHAweighted(1, 3) = 1;
    EXPECT_EQ(Fatal(m, [&] { Wiggle(m.s, 0); }).rfind("(1 - Aw) * Velocity = 0 in Wiggle", 0), 0u);
    m.s.tables.ALPHAweighted(1, 3) = 0.5f, m.Iface(1, 1, 1) = 0;
    EXPECT_EQ(Fatal(m, [&] { Wiggle(m.s, 0); }).rfind("Area = 0 in Wiggle", 0), 0u);
    m.Iface(1, 1, 1) = 2, m.s.tables.ALPHAweighted(1, 2) = 0;
    EXPECT_EQ(Fatal(m, [&] { Wiggle(m.s, 0); }), "Alpha not found in Wiggle");
}

}  // namespace
}  // namespace ostra::testing
