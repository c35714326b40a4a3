// geometry_test.cpp -- centroid distances and distance-weighted upwind factors.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "model/error.h"
#include "support/test_support.h"
#include "transport/geometry.h"

namespace ostra {
namespace {

using testing::TempDir;
using testing::TestState;

// One interface group: adjacent compartment and centroid-to-interface distance.
struct Face {
    float adj;
    float distance;
};

class Geometry : public ::testing::Test {
protected:
    TempDir dir;
    TestState ts{dir.Path()};
    ModelState& s = ts.s;

    void Size(Integer NT, Integer NAS) {
        s.setup.NT = NT;
        s.opt.NAS = NAS;
        s.tables.Compartment.Resize(NT, NCOL_COMPARTMENT);
        s.tables.Inface.Resize(NT, 1 + NCOL_INFACE * NAS);
        s.tables.ALPHAweighted.Resize(NT, 2 * NAS + 1);
        for (int I = 1; I <= NT; ++I) s.tables.Compartment(I, 1) = static_cast<float>(I);
    }

    void Centroid(int I, float x, float y, float z) {
        s.tables.Compartment(I, 4) = x;
        s.tables.Compartment(I, 5) = y;
        s.tables.Compartment(I, 6) = z;
    }

    // Compartment I of the given kind with its interface groups (area, mixing
    // length and weighting factor filled with values that must not matter).
    void Faces(int I, float kind, const std::vector<Face>& faces) {
        s.tables.Compartment(I, 2) = static_cast<float>(faces.size());
        s.tables.Compartment(I, 3) = kind;
        s.tables.Inface(I, 1) = static_cast<float>(I);
        for (std::size_t n = 0; n < faces.size(); ++n) {
            const int c = 2 + NCOL_INFACE * static_cast<int>(n);
            s.tables.Inface(I, c) = faces[n].adj;
            s.tables.Inface(I, c + 1) = 100;
            s.tables.Inface(I, c + 2) = faces[n].distance;
            s.tables.Inface(I, c + 3) = 7;
            s.tables.Inface(I, c + 4) = 0.5f;
        }
    }

    std::string Fatal(const std::function<void()>& f) {
        try {
            f();
        } catch (const RunEnded& e) {
            EXPECT_EQ(e.status, EXIT_FATAL_DATA);
            const std::string text = dir.Read("Error.dng");
            return text.substr(8, text.size() - 10);  // without "Error:  " and CR LF
        }
        ADD_FAILURE() << "the run did not end";
        return "";
    }
};

// ---- GetLength -------------------------------------------------------------

TEST_F(Geometry, LengthBetweenCentroids) {
    Size(4, 1);
    Centroid(1, 0, 0, 0);
    Centroid(2, 3, 4, 0);
    Centroid(3, 1, -2, 2);
    Centroid(4, 3, 4, 0);
    EXPECT_EQ(GetLength(s, 1, 1, 2), 5.0f);
    EXPECT_EQ(GetLength(s, 1, 2, 1), 5.0f);
    EXPECT_EQ(GetLength(s, 1, 1, 3), 3.0f);
    EXPECT_EQ(GetLength(s, 1, 2, 4), 0.0f) << "equal centroids are no error here";
}

TEST_F(Geometry, LengthIsSummedInSingle) {
    Size(2, 1);
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> d(-1000.0f, 1000.0f);
    int differsFromDouble = 0;
    for (int k = 0; k < 2000; ++k) {
        const float a[3] = {d(rng), d(rng), d(rng)};
        Centroid(1, a[0], a[1], a[2]);
        Centroid(2, 0, 0, 0);
        float single = 0;
        double wide = 0;
        for (float v : a) {
            single = single + v * v;
            wide = wide + static_cast<double>(v) * v;
        }
        const float expected = std::sqrt(single);
        ASSERT_EQ(GetLength(s, 1, 1, 2), expected) << k;
        differsFromDouble += expected != static_cast<float>(std::sqrt(wide));
    }
    EXPECT_GT(differsFromDouble, 0) << "the samples must tell Single from Double sums apart";
}

TEST_F(Geometry, MissingCoordinateEndsTheRunNamingTheFirstMissingColumn) {
    Size(3, 1);
    for (int col = 4; col <= 6; ++col) {
        for (int which : {1, 2}) {
            Centroid(1, 0, 0, 0);
            Centroid(2, 3, 4, 0);
            s.tables.Compartment(which, col) = -999;
            EXPECT_EQ(Fatal([&] { GetLength(s, 1, 1, 2); }),
                      "-999 data error in Compartment(*," + std::to_string(col) + ") in GetLength: the centroid "
                      "coordinate in column " + std::to_string(col) + " of \"Compartments.csv\" is -999 for "
                      "compartment " + std::to_string(which) + ", but the distance between compartments 1 and 2 "
                      "is needed (a mixing length, an extrapolated boundary or the positivity criterion)");
        }
    }
    Centroid(1, 0, 0, 0);
    Centroid(2, 0, -999, -999);
    EXPECT_PRED2(ostra::testing::BeginsWith, Fatal([&] { GetLength(s, 1, 2, 1); }), "-999 data error in Compartment(*,5) in GetLength: ");
    // A missing centroid of a compartment not involved is no error.
    Centroid(2, 3, 4, 0);
    Centroid(3, -999, -999, -999);
    EXPECT_EQ(GetLength(s, 1, 1, 2), 5.0f);
    EXPECT_EQ(Fatal([&] { GetLength(s, 2, 1, 2); }), "MixLengthOption <> 1 or 2");
}

// ---- UpdateALPHA -----------------------------------------------------------

TEST_F(Geometry, WeightsFollowTheNeighboursDistance) {
    Size(4, 3);
    Faces(1, 0, {{2, 1}, {3, 2}});
    Faces(2, 0, {{1, 3}});
    Faces(3, 0, {{4, 5}, {1, 2}, {1, 99}});  // the first interface naming 1 counts
    Faces(4, 1, {{3, 1}});                   // a boundary: no weights of its own
    s.tables.ALPHAweighted.Fill(9);
    UpdateALPHA(s);
    const SMatrix& a = s.tables.ALPHAweighted;
    EXPECT_EQ(a(1, 1), 1.0f);
    EXPECT_EQ(a(1, 2), 2.0f);
    EXPECT_EQ(a(1, 3), 0.75f);
    EXPECT_EQ(a(1, 4), 3.0f);
    EXPECT_EQ(a(1, 5), 0.5f);
    EXPECT_EQ(a(2, 3), 0.25f);
    EXPECT_EQ(a(3, 2), 4.0f);
    EXPECT_EQ(a(3, 3), 1.0f / 6.0f);
    EXPECT_EQ(a(3, 5), 0.5f);
    EXPECT_EQ(a(4, 1), 4.0f);
    for (int J = 2; J <= 7; ++J) EXPECT_EQ(a(4, J), 9.0f) << "column " << J;
    EXPECT_EQ(a(2, 4), 9.0f) << "beyond the interfaces nothing is written";
}

TEST_F(Geometry, InconsistentInterfacesEndTheRun) {
    struct Case {
        std::vector<Face> one, two;
        std::string message;
    };
    const std::vector<Case> cases = {
        {{{1, 1}}, {{1, 1}}, "AdjSectnNum = I in UpdateAlpha"},
        {{{2, -999}}, {{1, 1}}, "distance from centroid to interface = -999 in UpdateAlpha"},
        {{{2, 1}}, {{1, -999}}, "distance from centroid to interface = -999 in UpdateAlpha"},
        {{{2, 3}}, {{1, -1}}, "ALPHAweighted(I, 2 * K + 1) < 0 in UpdateAlpha"},
        {{{2, -1}}, {{1, 3}}, "ALPHAweighted(I, 2 * K + 1) > 1 in UpdateAlpha"},
    };
    for (const Case& c : cases) {
        Size(2, 1);
        Faces(1, 0, c.one);
        Faces(2, 0, c.two);
        EXPECT_PRED2(ostra::testing::BeginsWith, Fatal([&] { UpdateALPHA(s); }), c.message + ": ");
    }
}

TEST_F(Geometry, UnresolvableInterfacesEndTheRunNamingTheCompartments) {
    Size(3, 2);
    Faces(1, 0, {{2, 1}, {3, 1}});
    Faces(2, 0, {{1, 1}});
    Faces(3, 0, {{2, 1}});  // does not list compartment 1
    std::string msg = Fatal([&] { UpdateALPHA(s); });
    EXPECT_NE(msg.find("compartment 3 lists no interface to compartment 1"), std::string::npos) << msg;
    EXPECT_NE(msg.find("interface 2"), std::string::npos) << msg;

    Faces(3, 0, {{1, -1}});
    msg = Fatal([&] { UpdateALPHA(s); });
    EXPECT_NE(msg.find("dI + dJ = 0"), std::string::npos) << msg;
    EXPECT_NE(msg.find("compartments 1 and 3"), std::string::npos) << msg;

    Faces(1, 0, {{2, 1}, {5, 1}});
    msg = Fatal([&] { UpdateALPHA(s); });
    EXPECT_NE(msg.find("AdjSectnNum = 5 of interface 2 of compartment 1"), std::string::npos) << msg;
}

}  // namespace
}  // namespace ostra
