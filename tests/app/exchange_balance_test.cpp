// exchange_balance_test.cpp -- `ostra --check` warns of interfaces whose two
// sides do not carry the same mass, and the run summary's balance note names
// them; sides written by the bulk-coefficient convention pass silently.
#include <gtest/gtest.h>

#include <string>

#include "app/compartment_model_files.h"
#include "app/ostra_process.h"

namespace ostra::testing {
namespace {

// Fixed boundary 1 -> interior 2 -> interior 3 -> flow exit 4, a flow of 1
// and an exchange coefficient of .5 on every interface, centroids 1 apart.
// `ecoefs` and `flows` replace the records of state variable 1 in
// compartments 2 and 3 when given.
void WriteChain(const TempDir& dir, double water2, double water3, const std::string& ecoefs = "",
                const std::string& flows = "") {
    CompartmentModel m;
    Compartment inflow, c2, c3, exit;
    inflow.kind = 2, exit.kind = 3;
    c2.x = 1, c2.water = water2, c3.x = 2, c3.water = water3, exit.x = 3;
    const int b = m.Add(inflow), k2 = m.Add(c2), k3 = m.Add(c3), e = m.Add(exit);
    m.Connect({b, k2, 1, 1, 0.5});
    m.Connect({k2, k3, 1, 1, 0.5});
    m.Connect({k3, e, 1, 1, 0.5});
    m.boundary[0][b - 1] = 1;
    ControlFile control;
    control.NumTimeSteps = "4";
    m.Write(dir.Path(), control);
    auto replace = [&](const char* file, const std::string& records) {
        if (records.empty()) return;
        std::string text;
        for (char ch : dir.Read(file))
            if (ch != '\r') text += ch;
        const std::size_t from = text.find("\n1,2,");
        const std::size_t to = text.find("\n1,4,");
        text.replace(from + 1, to - from, records);
        WriteModelFile(dir.Path(), file, text);
    };
    replace("ECoefficients.csv", ecoefs);
    replace("Flows.csv", flows);
}

const char* const CONDUCTANCE_WARNING =
    "Warning: state variable 1: the two sides of 1 interface use different dispersive conductances (water "
    "content x E x area / mixing length), so mass is not conserved across it: compartments 2 and 3 (.25 = .5 x "
    ".5 x 1 / 1 in 2's equation, .4 = .8 x .5 x 1 / 1 in 3's) -- for a bulk exchange coefficient D give each "
    "side E = D / its own water content (docs/transport.md)\n";

TEST(ExchangeBalance, TheCheckNamesEveryInterfaceWhoseSidesDiffer) {
    struct Case {
        const char* name;
        double water2, water3;
        std::string ecoefs, flows;
        std::string warnings;  // standard error of the check
    };
    const Case cases[] = {
        {"water contents .5 and .8, the same E on both sides", 0.5, 0.8, "", "", CONDUCTANCE_WARNING},
        // D = .4: E = .4 / .5 in compartment 2, .4 / .8 in compartment 3.
        {"E = bulk coefficient / own water content", 0.5, 0.8, "1,2,1,.5,3,.8\n1,3,2,.5,4,.5\n", "", ""},
        {"flows of -1 and .9 across one interface", 1, 1, "", "1,2,1,1,3,-1\n1,3,2,.9,4,-.9\n",
         "Warning: state variable 1: the two sides of 1 interface give flows that are not equal and opposite "
         "within FlowBalanceTol 1 %, so mass is not conserved across it: compartments 2 and 3 (-1 into 2 in "
         "\"Flows.csv\", .9 into 3)\n"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        WriteChain(dir, c.water2, c.water3, c.ecoefs, c.flows);
        const OstraRun run = RunOstraWith({"--check", dir.Path().string()});
        EXPECT_EQ(run.status, 0) << c.name << "\n" << run.err;
        EXPECT_EQ(run.err, c.warnings) << c.name;
        EXPECT_EQ(Flat(run.out).find("Warnings: none") != std::string::npos, c.warnings.empty()) << c.name;
    }
}

TEST(ExchangeBalance, TheBalanceNoteNamesTheCause) {
    const std::string note =
        "note: mass is not conserved across 1 interface of state variable 1 (different dispersive conductances; "
        "the first between compartments 2 and 3), so the balance error includes the mass created or lost there; "
        "`ostra --check` lists them";
    for (const bool scaled : {false, true}) {
        TempDir dir;
        WriteChain(dir, 0.5, 0.8, scaled ? "1,2,1,.5,3,.8\n1,3,2,.5,4,.5\n" : "");
        const OstraRun run = RunOstraWith({dir.Path().string()});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(Flat(run.out).find(note) != std::string::npos, !scaled) << run.out;
        EXPECT_EQ(run.err, "") << "a run itself warns of nothing";
    }
}

}  // namespace
}  // namespace ostra::testing
