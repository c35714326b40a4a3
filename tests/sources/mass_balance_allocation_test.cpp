// Tests that a time step of the mass-balance account allocates no memory:
// it runs once per step over every record, so it must not build message
// texts or other heap objects unless it ends the run.
//
// This file replaces the global operator new of the test program with one
// that counts the allocations made while `counting` is set.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "sources/mass_balance.h"
#include "sources/small_model.h"

// GCC sees malloc and free through the replaced operators once they are
// inlined and takes them for a mismatched pair; they are the matching pair.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

namespace {
bool counting = false;
long allocations = 0;
}  // namespace

void* operator new(std::size_t size) {
    if (counting) ++allocations;
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace ostra::testing {
namespace {

TEST(MassBalanceStepCost, StepOverEveryKindOfRecordAllocatesNothing) {
    // Compartments 1-3 interior on the x axis; 4 fixed-concentration,
    // 5 extrapolated (at x = 0), 6 zero-concentration.
    SmallModel m({0, 0, 0, 2, 4, 1}, 1);
    m.s.tables.Compartment(5, 4) = 0;
    m.Connect(1, 5, 1);
    m.Connect(1, 2, 1);
    m.Connect(1, 3, 1);
    m.Connect(2, 4, 1);
    m.Connect(3, 6, 1);
    m.s.mb.MassBalanceOn = true;
    MassBalanceSetup(m.s);
    MassBalanceCountBoundaries(m.s);
    ASSERT_EQ(m.s.mb.MBBoundaryLength, 3);
    const int records[3][3] = {{1, 5, 0}, {2, 4, 0}, {3, 6, 0}};
    for (int r = 1; r <= 3; ++r) {
        m.s.mb.MBBoundary(r, 1) = 1;
        m.s.mb.MBBoundary(r, 2) = records[r - 1][0];
        m.s.mb.MBBoundary(r, 3) = records[r - 1][1];
        m.s.mb.MBBoundary(r, 4) = 0.5;
        m.s.mb.MBBoundary(r, 5) = -1;
    }
    m.s.tables.Boundary(4, 3) = 2;
    m.s.mb.MBExtVolSinks(1, 1) = 1;
    m.s.mb.MBExtVolSinks(1, 2) = 2;
    m.s.mb.MBExtVolSinks(1, 3) = -0.25;
    m.s.mb.MBExtAreaSinks(1, 1) = 1;
    m.s.mb.MBExtAreaSinks(1, 2) = 3;
    m.s.mb.MBExtAreaSinks(1, 3) = 6;
    m.s.mb.MBExtAreaSinks(1, 4) = -0.5;
    for (int e = 1; e <= 3; ++e) {
        m.s.sys.c(e) = e;
        m.s.mb.MBLoads(e) = 1;
    }

    allocations = 0;
    counting = true;
    MassBalanceStep(m.s, m.s.sys.c);
    counting = false;
    EXPECT_EQ(allocations, 0);
    // The step did its work: every kind of record moved mass.
    EXPECT_GT(m.s.mb.MBIn(1), 0);
    EXPECT_GT(m.s.mb.MBOut(1, 1), 0);
    EXPECT_GT(m.s.mb.MBOut(1, 2), 0);
    EXPECT_GT(m.s.mb.MBOut(1, 3), 0);
}

}  // namespace
}  // namespace ostra::testing
