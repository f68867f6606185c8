// The allocation map's run queries against a plain bit-by-bit reference, at every alignment.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "fs/KClusterBitmap.h"

TEST(ClusterBitmap, RunQueriesMatchABitByBitReference)
{
    constexpr uint64_t kClusters = 203; // not a whole number of bytes
    KClusterBitmap map;
    ASSERT_TRUE(map.Reset(kClusters));
    std::vector<bool> ref(kClusters, false);
    std::mt19937 rng(11);
    for (int i = 0; i < 12; ++i)
    {
        const uint64_t first = rng() % kClusters, count = rng() % 20;
        map.SetRange(first, count);
        for (uint64_t c = first; c < first + count && c < kClusters; ++c) ref[c] = true;
    }
    map.SetRange(kClusters - 2, 50); // clipped at the end of the map
    ref[kClusters - 2] = ref[kClusters - 1] = true;
    for (uint64_t first = 0; first < kClusters + 3; ++first)
        for (uint64_t count = 0; count < 40; ++count)
        {
            bool any = false, all = first + count <= kClusters;
            for (uint64_t c = first; c < first + count; ++c)
            {
                const bool set = c < kClusters && ref[c];
                any = any || set;
                all = all && set;
            }
            ASSERT_EQ(map.AnySet(first, count), any) << first << "+" << count;
            ASSERT_EQ(map.AllSet(first, count), all) << first << "+" << count;
            ASSERT_EQ(map.Covers(first, count), first + count <= kClusters);
        }
}

TEST(ClusterBitmap, AssignedBytesCoverNoMoreThanTheyHoldAndHugeMapsAreRefused)
{
    KClusterBitmap map;
    ASSERT_TRUE(map.Assign({0x01, 0x80}, 1000));
    EXPECT_EQ(map.Size(), 16u);
    EXPECT_TRUE(map.AllSet(0, 1));
    EXPECT_TRUE(map.AllSet(15, 1));
    EXPECT_FALSE(map.AnySet(1, 14));
    EXPECT_FALSE(map.Covers(15, 2));
    EXPECT_FALSE(map.Reset(UINT64_MAX));
    EXPECT_TRUE(map.Empty());
}
