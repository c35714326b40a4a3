// Tests of the checked 1-based arrays, Integer conversions and the fatal-error path.
#include <gtest/gtest.h>

#include "model/arrays.h"
#include "model/error.h"
#include "support/test_support.h"

namespace {

using namespace ostra;
using ostra::testing::TempDir;
using ostra::testing::TestState;

TEST(Arrays, OneBasedRowMajorAndZeroFilled) {
    DMatrix A(2, 3, "A");
    A(1, 1) = 1;
    A(2, 3) = 6;
    EXPECT_EQ(A.Row(2)[3], 6);
    EXPECT_EQ(A.Row(1)[1], 1);
    EXPECT_EQ(A.Row(2) - A.Row(1), 4);  // rows are contiguous, stride Cols() + 1
    EXPECT_EQ(A(1, 2), 0);
    A.Resize(3, 3);
    EXPECT_EQ(A(1, 1), 0);
}

TEST(Arrays, IndexOutsideEndsWithAMessage) {
    DVector c(4, "c");
    SMatrix Compartment(10, 10, "Compartment");
    try {
        c(5) = 1;
        FAIL();
    } catch (const textio::DataError& e) {
        EXPECT_STREQ(e.what(), "index outside its array: c(5) of a vector of 4 entries");
    }
    try {
        Compartment(57, 3) = 1;
        FAIL();
    } catch (const textio::DataError& e) {
        EXPECT_STREQ(e.what(), "index outside its array: Compartment(57, 3) of a 10 x 10 table");
    }
    EXPECT_THROW(c(0), textio::DataError);
}

TEST(Arrays, RoundToIntegerHalvesToEvenAndChecksRange) {
    EXPECT_EQ(RoundToInteger(2.5), 2);
    EXPECT_EQ(RoundToInteger(3.5), 4);
    EXPECT_EQ(RoundToInteger(-2.5), -2);
    EXPECT_EQ(RoundToInteger(-999.0), -999);
    EXPECT_EQ(RoundToInteger(32767.4), 32767);
    EXPECT_THROW(RoundToInteger(32767.5), textio::DataError);
    EXPECT_EQ(CheckedInteger(300L * 100L, "MaxNSVxNT"), 30000);
    try {
        CheckedInteger(300L * 200L, "MaxNSVxNT");
        FAIL();
    } catch (const textio::DataError& e) {
        EXPECT_STREQ(e.what(), "MaxNSVxNT = 60000 is outside the Integer range -32768 to 32767");
    }
}

TEST(Arrays, OneToCountsUpToTheLargestInteger) {
    for (const Integer n : {Integer{-1}, Integer{0}, Integer{1}, Integer{7}, Integer{32767}}) {
        int count = 0, last = 0;
        for (Integer i : OneTo(n)) {
            ++count;
            ASSERT_EQ(i, count);
            last = i;
        }
        EXPECT_EQ(count, n < 0 ? 0 : n);
        EXPECT_EQ(last, n < 0 ? 0 : n);
    }
}

TEST(Error, WritesErrorFileShowsTheBoxAndEndsTheRun) {
    TempDir dir;
    TestState t(dir.Path());
    dir.Write("error.DNG", "old");
    try {
        Error(t.s, "DynType not equal to 1,2,3, or 4");
        FAIL();
    } catch (const RunEnded& ended) {
        EXPECT_EQ(ended.status, EXIT_FATAL_DATA);
    }
    EXPECT_EQ(dir.Read("Error.dng"), "Error:  DynType not equal to 1,2,3, or 4\r\n");
    EXPECT_FALSE(dir.Exists("error.DNG"));
    ASSERT_EQ(t.display.messages.size(), 1u);
    EXPECT_EQ(t.display.messages[0], "Fatal Error Detected -- see Error.dng file");
}

TEST(Error, TwoRunsLiveInOneProcess) {
    TempDir a, b;
    TestState ta(a.Path()), tb(b.Path());
    ta.s.opt.NEQN = 3;
    tb.s.opt.NEQN = 5;
    EXPECT_THROW(Error(ta.s, "first"), RunEnded);
    EXPECT_EQ(tb.s.opt.NEQN, 5);
    EXPECT_FALSE(b.Exists("Error.dng"));
    EXPECT_TRUE(tb.display.messages.empty());
}

}  // namespace
