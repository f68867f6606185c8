// The bounds of base/ResourceLimits.h hold where disk data asks for more, and real data is
// not cut by them.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "FuzzImage.h"
#include "base/ResourceLimits.h"
#include "fat/KFatEntryParser.h"
#include "fat/KFatFileSystem.h"
#include "fs/KFileNode.h"
#include "format/ntfs/NtfsRunList.h"
#include "ntfs/NtfsStateStorage.h"
#include "support/MemoryMedia.h"

namespace {

// The largest single request made through operator new in this test program since the last
// reset: a size taken from hostile data shows here even when the allocation succeeds.
std::atomic<size_t> g_LargestNew{0};

// One run of `clusters` clusters at cluster 0x100, then more runs of one cluster each.
std::vector<uint8_t> RunList(uint32_t clusters, size_t extraRuns)
{
    std::vector<uint8_t> p{0x24};
    for (int i = 0; i < 4; ++i) p.push_back(static_cast<uint8_t>(clusters >> (8 * i)));
    p.insert(p.end(), {0x00, 0x01});
    for (size_t i = 0; i < extraRuns; ++i) p.insert(p.end(), {0x11, 0x01, 0x02});
    p.push_back(0);
    return p;
}

void AppendU32(std::vector<uint8_t>& b, uint32_t v)
{
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

} // namespace

// Both single-object forms are replaced, so that every delete below frees what one of them
// allocated (the sanitizers check that each allocation is freed by its own kind).
static void* TrackedAllocation(size_t size)
{
    size_t seen = g_LargestNew.load();
    while (size > seen && !g_LargestNew.compare_exchange_weak(seen, size))
    {}
    return std::malloc(size ? size : 1);
}

void* operator new(size_t size)
{
    if (void* p = TrackedAllocation(size)) return p;
    throw std::bad_alloc();
}
void* operator new(size_t size, const std::nothrow_t&) noexcept { return TrackedAllocation(size); }
// GCC takes free() in a replacement operator delete for a mismatch with the inlined new.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

TEST(ResourceBounds, UnitWalkOverADamagedLengthHoldsOneUnit)
{
    // A damaged length of four billion clusters in a compressed file: each unit is one piece
    // of the run, given out without the run being split up in memory.
    const std::vector<uint8_t> pairs = RunList(0xFFFFFFF0u, 0);
    StreamVector runs;
    ASSERT_TRUE(DecodeRunList(pairs, 8, 0, &runs));
    NtfsUnitReader reader(runs, 128);
    NtfsCompressionUnit unit;
    for (int64_t i = 0; i < 1000; ++i)
    {
        ASSERT_TRUE(reader.Next(&unit));
        ASSERT_EQ(unit.pieces.size(), 1u);
        EXPECT_EQ(unit.pieces[0].s64FirstSector, runs[0].s64FirstSector + i * 128);
    }
}

TEST(ResourceBounds, RunListDecodeStopsAtTheRunCap)
{
    const std::vector<uint8_t> pairs = RunList(4, VlmLimits::kMaxRunsPerRunList + 10);
    StreamVector runs;
    ASSERT_TRUE(DecodeRunList(pairs, 1, 0, &runs));
    EXPECT_EQ(runs.size(), size_t{VlmLimits::kMaxRunsPerRunList});
}

TEST(ResourceBounds, StoredRecordCountIsNotTrustedForMemory)
{
    // Four billion records claimed, three bytes of them present: the load fails at once and
    // keeps nothing it could not read.
    std::vector<uint8_t> stored(4, 0xFF);
    stored.insert(stored.end(), {1, 0, 0});
    KFuzzStorage in(stored.data(), stored.size());
    KFileNode store(FN_EXTRA_FAT);
    EXPECT_EQ(store.LoadFrom(&in), 0);
    EXPECT_EQ(store.GetCount(), 0);

    // A name longer than any stored name could be.
    std::vector<uint8_t> named{1, 0, 0, 0};
    const uint32_t length = VlmLimits::kMaxLoadedNameLength + 1;
    named.resize(8);
    std::memcpy(named.data() + 4, &length, 4);
    named.resize(named.size() + length + 64, 'a');
    KFuzzStorage in2(named.data(), named.size());
    EXPECT_EQ(store.LoadFrom(&in2), 0);
    EXPECT_EQ(store.GetCount(), 0);
}

TEST(ResourceBounds, StoredTableAndRunLengthsCostOnlyWhatTheFileHolds)
{
    constexpr size_t kFewMiB = size_t{4} << 20;
    // A saved FAT state: no candidates, no folder sectors, a geometry, then a table length
    // near the 1 GiB limit with 64 bytes of table behind it.
    std::vector<uint8_t> fat;
    AppendU32(fat, 0);
    AppendU32(fat, 0);
    fat.resize(fat.size() + 60, 0);
    AppendU32(fat, VlmLimits::kMaxFatTableSectors * 512u - 512u);
    fat.resize(fat.size() + 64, 0xF8);
    KFuzzStorage fatIn(fat.data(), fat.size());
    KFatFileSystem fs;
    g_LargestNew = 0;
    EXPECT_EQ(fs.LoadFrom(&fatIn), 0);
    EXPECT_LT(g_LargestNew.load(), kFewMiB);

    // A stored candidate of no FAT type, or placed before the volume, is refused at once.
    for (const auto& [type, first] : {std::pair<int32_t, int64_t>{kFatType32, 0}, {99, 0}, {kFatType32, -1}})
    {
        FatCandidate c{};
        c.RecordLength = kFatCandidateLength;
        c.FatType = type;
        c.FirstSector = first;
        std::vector<uint8_t> one;
        AppendU32(one, 1);
        const auto* p = reinterpret_cast<const uint8_t*>(&c);
        one.insert(one.end(), p, p + sizeof c);
        AppendU32(one, 0);
        one.resize(one.size() + 60 + 4 + KFatEntryParser::kStoredSize + 4, 0);
        KFuzzStorage oneIn(one.data(), one.size());
        EXPECT_EQ(KFatFileSystem().LoadFrom(&oneIn), type == kFatType32 && first == 0 ? 1 : 0) << type;
    }

    // A saved run list claiming the most runs allowed, three of them present.
    std::vector<uint8_t> runs;
    AppendU32(runs, kNtfsMaxStoredRuns);
    runs.resize(runs.size() + 3 * sizeof(tagStreamBlock), 1);
    KFuzzStorage runsIn(runs.data(), runs.size());
    StreamVector loaded;
    g_LargestNew = 0;
    EXPECT_FALSE(LoadRuns(&runsIn, &loaded));
    EXPECT_LT(g_LargestNew.load(), kFewMiB);

    // Lengths the file does hold still load in full, across the chunks they are read in.
    std::vector<uint8_t> many;
    const uint32_t count = 200000; // 3.2 MB of runs: four chunks
    AppendU32(many, count);
    for (uint32_t i = 0; i < count; ++i)
    {
        tagStreamBlock b{int64_t{i} * 8, 8, 0};
        const auto* p = reinterpret_cast<const uint8_t*>(&b);
        many.insert(many.end(), p, p + sizeof b);
    }
    KFuzzStorage manyIn(many.data(), many.size());
    ASSERT_TRUE(LoadRuns(&manyIn, &loaded));
    ASSERT_EQ(loaded.size(), size_t{count});
    EXPECT_EQ(loaded.back().s64FirstSector, int64_t{count - 1} * 8);
}

TEST(ResourceBounds, BootSectorClaimingAGigabyteFatCostsWhatTheVolumeHolds)
{
    // A 2 GiB FAT32 volume with one FAT whose boot sector claims the largest table believed
    // (1 GiB, 256 M entries): behind it lie 1 GiB of data, 262144 clusters of 8 sectors.
    constexpr uint32_t kTotal = 0x400000;
    std::vector<uint8_t> head(64 * 512, 0);
    uint8_t* b = head.data();
    b[0] = 0xEB;
    b[1] = 0x58;
    b[2] = 0x90;
    std::memcpy(b + 3, "MSWIN4.1", 8);
    b[12] = 2;  // 512 bytes per sector
    b[13] = 8;  // sectors per cluster
    b[14] = 32; // reserved sectors
    b[16] = 1;  // one FAT
    b[21] = 0xF8;
    std::memcpy(b + 32, &kTotal, 4);
    const uint32_t fatSectors = VlmLimits::kMaxFatTableSectors;
    std::memcpy(b + 36, &fatSectors, 4);
    b[44] = 2; // root cluster
    std::memcpy(b + 82, "FAT32   ", 8);
    b[510] = 0x55;
    b[511] = 0xAA;
    // The table's first sector: media byte and the two reserved entries, root cluster ends.
    const uint8_t signature[12] = {0xF8, 0xFF, 0xFF, 0x0F, 0xFF, 0xFF, 0xFF, 0x0F, 0xFF, 0xFF, 0xFF, 0x0F};
    std::memcpy(head.data() + 32 * 512, signature, sizeof signature);

    // The boot sector describes a volume of gigabytes; past `head` it reads as zeros.
    MemoryVolume volume(head);
    volume.SetTotalSectors(kTotal);
    KFatFileSystem fs;
    fs.SetVolume(&volume);
    g_LargestNew = 0;
    EXPECT_EQ(fs.SelectCandidate(FS_CANDIDATE_VOLUME), 0u) << "an empty volume with a sound table";
    // 262146 entries of 4 bytes: the table is 1 MiB, and the chain check's marks a bit each.
    EXPECT_LE(g_LargestNew.load(), size_t{1} << 20) << g_LargestNew.load();
}
