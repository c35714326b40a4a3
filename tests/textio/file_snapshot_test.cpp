// Tests of FileSnapshot: every rewrite is seen, also one within the same
// tick of the file clock, and a file older than that tick is not read again
// while its stat stays the same.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "support/test_support.h"
#include "textio/errors.h"
#include "textio/file_snapshot.h"

namespace {

using ostra::testing::TempDir;
using textio::FileSnapshot;

// Longer than one tick of the kernel's coarse clock (1 to 10 ms).
void PastOneTick() { std::this_thread::sleep_for(std::chrono::milliseconds(40)); }

TEST(FileSnapshot, RewritesOfTheSameSizeAreSeenWithinOneTickAndAfterIt) {
    TempDir dir;
    FileSnapshot snap;
    dir.Write("t.csv", "a,1\n");
    EXPECT_TRUE(snap.Refresh(dir.Path(), "T.CSV", 0));
    EXPECT_EQ(snap.Bytes(), "a,1\n");
    // At once: the times may not change, the bytes do.
    for (const char* text : {"a,2\n", "a,3\n", "a,4\n"}) {
        dir.Write("t.csv", text);
        EXPECT_TRUE(snap.Refresh(dir.Path(), "t.csv", 0)) << text;
        EXPECT_EQ(snap.Bytes(), text);
    }
    EXPECT_FALSE(snap.Refresh(dir.Path(), "t.csv", 0));
    PastOneTick();
    dir.Write("t.csv", "a,5\n");
    EXPECT_TRUE(snap.Refresh(dir.Path(), "t.csv", 0));
    EXPECT_EQ(snap.Bytes(), "a,5\n");
}

TEST(FileSnapshot, FileOlderThanOneTickIsReadOnlyWhenItsStatOrACompanionSaysSo) {
    TempDir dir;
    dir.Write("t.csv", "old\n");
    PastOneTick();
    FileSnapshot snap;
    EXPECT_TRUE(snap.Refresh(dir.Path(), "t.csv", 0));
    for (int look = 0; look < 50; ++look) EXPECT_FALSE(snap.Refresh(dir.Path(), "t.csv", 0));
    EXPECT_EQ(snap.Reads(), 1);
    // A companion program ran: read and compared, unchanged.
    EXPECT_FALSE(snap.Refresh(dir.Path(), "t.csv", 1));
    EXPECT_EQ(snap.Reads(), 2);
    EXPECT_FALSE(snap.Refresh(dir.Path(), "t.csv", 1));
    EXPECT_EQ(snap.Reads(), 2);
}

TEST(FileSnapshot, FreshFileStopsBeingReadOnceOneTickHasPassed) {
    TempDir dir;
    dir.Write("t.csv", "fresh\n");
    FileSnapshot snap;
    EXPECT_TRUE(snap.Refresh(dir.Path(), "t.csv", 0));
    PastOneTick();
    EXPECT_FALSE(snap.Refresh(dir.Path(), "t.csv", 0));  // may still read, once
    const long reads = snap.Reads();
    for (int look = 0; look < 50; ++look) EXPECT_FALSE(snap.Refresh(dir.Path(), "t.csv", 0));
    EXPECT_EQ(snap.Reads(), reads);
}

TEST(FileSnapshot, MissingFileNamesItAndTheDirectory) {
    TempDir dir;
    FileSnapshot snap;
    try {
        snap.Refresh(dir.Path(), "Loads.csv", 0);
        FAIL() << "a missing file was read";
    } catch (const textio::DataError& e) {
        EXPECT_EQ(std::string(e.what()), "cannot open input file \"Loads.csv\" in " + dir.Path().string());
    }
}

}  // namespace
