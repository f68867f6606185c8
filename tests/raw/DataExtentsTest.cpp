// The rule that decides whether a deep-scan find is a file the file system already lists: its
// first byte lies inside the data runs of one of the file system's files.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "engine/KDataExtents.h"

TEST(DataExtents, FindsInsideRunsAreKnownAtEveryEdge)
{
    KDataExtents set;
    // A fragmented file: sectors 100..107 and 200..203; a hole between them holds no data.
    set.AddRuns({{100, 8, 0}, {-1, 16, 0}, {200, 4, 0}}, 512);
    // Two files whose runs touch (300..309, 310..314) and one that lies inside another.
    set.AddRuns({{310, 5, 0}}, 512);
    set.AddRuns({{300, 10, 0}}, 512);
    set.AddRuns({{302, 1, 0}}, 512);
    // Runs no volume has and empty runs claim nothing.
    set.AddRuns({{std::numeric_limits<int64_t>::max(), 4, 0}, {400, 0, 0}}, 512);
    set.AddRuns({{500, 4, 0}}, 0);
    set.Seal();

    EXPECT_FALSE(set.Contains(99 * 512 + 511)); // the byte before the first run
    EXPECT_TRUE(set.Contains(100 * 512));       // its first byte
    EXPECT_TRUE(set.Contains(108 * 512 - 1));   // its last byte
    EXPECT_FALSE(set.Contains(108 * 512));      // the byte after it
    EXPECT_FALSE(set.Contains(150 * 512));      // inside the hole
    EXPECT_TRUE(set.Contains(203 * 512 + 100)); // inside the second run, mid-sector
    EXPECT_FALSE(set.Contains(204 * 512));
    EXPECT_TRUE(set.Contains(310 * 512)); // where two touching files meet
    EXPECT_TRUE(set.Contains(315 * 512 - 1));
    EXPECT_FALSE(set.Contains(315 * 512));
    EXPECT_FALSE(set.Contains(400 * 512));
    EXPECT_FALSE(set.Contains(500 * 512));
    EXPECT_FALSE(set.Contains(std::numeric_limits<uint64_t>::max()));
    // Touching and nested runs merge: three extents remain.
    ASSERT_EQ(set.Extents().size(), 3u);
    EXPECT_EQ(set.Extents()[2].first, 300u * 512);
    EXPECT_EQ(set.Extents()[2].end, 315u * 512);
    // Which partition holds the files: extents are counted by where they start.
    EXPECT_EQ(set.CountStartingIn(100 * 512, 300 * 512), 2u);
    EXPECT_EQ(set.CountStartingIn(100 * 512 + 1, 300 * 512 + 1), 2u);
    EXPECT_EQ(set.CountStartingIn(300 * 512, 300 * 512), 0u);
}
