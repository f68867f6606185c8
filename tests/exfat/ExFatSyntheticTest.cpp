// Hostile and rare cases the formatting tools do not make: broken checksums, cyclic chains,
// sets that run past their folder, the longest name, data past the valid length.
#include <gtest/gtest.h>

#include <cstring>

#include "exfat/KExFatFileSystem.h"
#include "format/exfat/ExFatBootSector.h"
#include "format/exfat/ExFatChain.h"
#include "format/exfat/ExFatEntrySet.h"
#include "fs/KNodeTree.h"
#include "support/TestFiles.h"
#include "support/TestTrees.h"
#include "format/FileSystemType.h"
#include "support/MemoryMedia.h"
#include "volume/VolumeTypes.h"

namespace {

// An entry set for `name` (as written by a driver): File, Stream Extension, name entries.
std::vector<uint8_t> MakeSet(const std::u16string& name, uint16_t attributes, uint32_t first, uint64_t length,
                             uint64_t valid, bool contiguous)
{
    const size_t nameEntries = (name.size() + 14) / 15;
    std::vector<uint8_t> s((2 + nameEntries) * 32, 0);
    s[0] = 0x85;
    s[1] = static_cast<uint8_t>(1 + nameEntries);
    PutLE(s, 4, attributes, 2);
    PutLE(s, 12, 0x52CF6000, 4); // 2021-06-15 12:00:00
    s[32] = 0xC0;
    s[33] = contiguous ? 3 : 1;
    s[35] = static_cast<uint8_t>(name.size());
    PutLE(s, 40, valid, 8);
    PutLE(s, 52, first, 4);
    PutLE(s, 56, length, 8);
    for (size_t k = 0; k < nameEntries; ++k)
    {
        s[(2 + k) * 32] = 0xC1;
        for (size_t j = 0; j < 15 && k * 15 + j < name.size(); ++j)
            PutLE(s, (2 + k) * 32 + 2 + 2 * j, name[k * 15 + j], 2);
    }
    PutLE(s, 2, ExFatSetChecksum(s, static_cast<uint32_t>(2 + nameEntries)), 2);
    return s;
}

// A small volume: 512-byte sectors and clusters, FAT at 24, heap at 32, 200 clusters; root in
// cluster 2, bitmap in cluster 3. Both boot regions carry their checksum.
struct ExFatBuilder
{
    static constexpr uint32_t kHeap = 32, kClusters = 200;
    std::vector<uint8_t> Image = std::vector<uint8_t>((kHeap + kClusters) * 512, 0);
    size_t RootUsed = 0;

    ExFatBuilder()
    {
        std::memcpy(Image.data(),
                    "\xEB\x76\x90"
                    "EXFAT   ",
                    11);
        PutLE(Image, 72, kHeap + kClusters, 8);
        PutLE(Image, 80, 24, 4);
        PutLE(Image, 84, 8, 4);
        PutLE(Image, 88, kHeap, 4);
        PutLE(Image, 92, kClusters, 4);
        PutLE(Image, 96, 2, 4);
        PutLE(Image, 100, 0x12345678, 4);
        Image[108] = 9; // 512-byte sectors
        Image[110] = 1; // one FAT
        PutLE(Image, 510, 0xAA55, 2);
        SetFat(2, 0xFFFFFFFF);
        SetFat(3, 0xFFFFFFFF);
        Image[Cluster(3)] = 0x0F; // clusters 2-5 in use
        uint8_t bitmap[32] = {0x81};
        std::vector<uint8_t> e(bitmap, bitmap + 32);
        PutLE(e, 20, 3, 4);
        PutLE(e, 24, (kClusters + 7) / 8, 8);
        AddToRoot(e);
        Seal();
    }
    size_t Cluster(uint32_t c) const { return (kHeap + c - 2) * 512; }
    void SetFat(uint32_t c, uint32_t next) { PutLE(Image, 24 * 512 + c * 4, next, 4); }
    void AddToRoot(const std::vector<uint8_t>& e)
    {
        std::memcpy(Image.data() + Cluster(2) + RootUsed, e.data(), std::min<size_t>(e.size(), 512 - RootUsed));
        RootUsed += e.size();
    }
    void Seal()
    {
        const uint32_t sum = ExFatBootChecksum(ByteView(Image).first(11 * 512), 512);
        for (size_t off = 11 * 512; off < 12 * 512; off += 4) PutLE(Image, off, sum, 4);
        std::memcpy(Image.data() + 12 * 512, Image.data(), 12 * 512);
    }
};

} // namespace

// The checksum covers the boot region except the flags and percent-in-use bytes; a damaged
// main region gives way to the backup, two damaged ones to nothing. A FAT or NTFS sector is
// not taken for exFAT, nor exFAT for NTFS.
TEST(ExFatBoot, ChecksumAndBackupRegion)
{
    ExFatBuilder v;
    ExFatBoot boot;
    EXPECT_EQ(ChooseExFatBootRegion(v.Image, 512, &boot), 0);
    EXPECT_EQ(boot.ClusterCount, 200u);
    EXPECT_EQ(FileSystemTypeFromBoot(ByteView(v.Image).first(512)), FS_TYPE_EXFAT);
    v.Image[106] ^= 2; // volume dirty: not summed
    v.Image[112] = 77; // percent in use: not summed
    EXPECT_EQ(ChooseExFatBootRegion(v.Image, 512, &boot), 0);
    v.Image[5 * 512 + 9] ^= 1; // an extended boot sector of the main region
    EXPECT_EQ(ChooseExFatBootRegion(v.Image, 512, &boot), 1);
    v.Image[12 * 512 + 300] ^= 1;
    EXPECT_EQ(ChooseExFatBootRegion(v.Image, 512, &boot), -1);

    ExFatBuilder bad;
    bad.Image[13] = 8; // a FAT parameter block where zeros must be
    EXPECT_FALSE(ParseExFatBootSector(ByteView(bad.Image).first(512), &boot));
    ExFatBuilder root;
    PutLE(root.Image, 96, 500, 4); // root cluster past the heap
    EXPECT_FALSE(ParseExFatBootSector(ByteView(root.Image).first(512), &boot));
}

// The longest name (17 name entries), a deleted set, a broken checksum, mixed states and a
// count that runs past the bytes of the folder.
TEST(ExFatEntrySetParse, NamesChecksumsAndCounts)
{
    const std::u16string longName(255, u'Ж');
    std::vector<uint8_t> s = MakeSet(longName, 0x20, 9, 100, 100, true);
    ExFatEntrySet set;
    ASSERT_EQ(ParseExFatEntrySet(s, 0, &set), ExFatSetStatus::Ok);
    EXPECT_EQ(set.EntryCount, 19u);
    EXPECT_EQ(std::u16string(set.Name, set.NameLength), longName);
    char utf8[1024];
    size_t n = 0;
    ExFatNameToUtf8(set.Name, set.NameLength, utf8, sizeof(utf8), &n);
    EXPECT_EQ(n, 510u);

    for (size_t i = 0; i < s.size(); i += 32) s[i] &= 0x7F; // deleted: the sum still holds
    ASSERT_EQ(ParseExFatEntrySet(s, 0, &set), ExFatSetStatus::Ok);
    EXPECT_TRUE(set.Deleted);
    s[32] |= 0x80;
    EXPECT_EQ(ParseExFatEntrySet(s, 0, &set), ExFatSetStatus::Malformed);
    s[32] &= 0x7F;
    s[100] ^= 1;
    EXPECT_EQ(ParseExFatEntrySet(s, 0, &set), ExFatSetStatus::BadChecksum);
    EXPECT_EQ(ParseExFatEntrySet(ByteView(s).first(18 * 32), 0, &set), ExFatSetStatus::Truncated);
    std::vector<uint8_t> longer = MakeSet(u"a", 0x20, 9, 100, 200, true); // valid past length
    EXPECT_EQ(ParseExFatEntrySet(longer, 0, &set), ExFatSetStatus::Malformed);
}

// Chains that loop, leave the heap or end early: each cluster is listed once, and the walk ends.
TEST(ExFatChainWalk, CyclesAndBreaks)
{
    std::vector<uint8_t> fat(64 * 4, 0);
    auto link = [&](uint32_t c, uint32_t next) { PutLE(fat, c * 4, next, 4); };
    link(2, 3);
    link(3, 4);
    link(4, 3); // 2 -> 3 -> 4 -> 3 ...
    link(10, 11);
    link(11, 0xFFFFFFFF); // ends after two
    link(20, 21);
    link(21, 22);
    link(22, 500); // leaves the heap
    link(30, 30);  // points at itself
    std::vector<ExFatRun> runs;
    EXPECT_EQ(WalkExFatChain(fat, 60, 2, 1000000, &runs, 100), ExFatChainEnd::Cycle);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].Count, 3u);
    runs.clear();
    EXPECT_EQ(WalkExFatChain(fat, 60, 10, 5, &runs, 100), ExFatChainEnd::Ended);
    EXPECT_EQ(runs[0].Count, 2u);
    runs.clear();
    EXPECT_EQ(WalkExFatChain(fat, 60, 20, 5, &runs, 100), ExFatChainEnd::Broken);
    EXPECT_EQ(runs[0].Count, 3u);
    runs.clear();
    EXPECT_EQ(WalkExFatChain(fat, 60, 30, UINT64_MAX, &runs, 100), ExFatChainEnd::Cycle);
    EXPECT_EQ(runs[0].Count, 1u);
    runs.clear();
    EXPECT_EQ(WalkExFatChain(fat, 60, 2, 2, &runs, 100), ExFatChainEnd::Complete);
    EXPECT_EQ(WalkExFatChain(fat, 60, 61, 2, &runs, 100), ExFatChainEnd::Broken);
}

// A listing over hostile folders: a sub-folder whose chain loops on itself, a set whose count
// runs past the root's only cluster; the file with a valid length short of its size reads as
// zeros past it.
TEST(ExFatVolume, HostileFoldersAndValidLength)
{
    ExFatBuilder v;
    v.AddToRoot(MakeSet(u"v.bin", 0x20, 4, 1500, 700, true));
    std::memset(v.Image.data() + v.Cluster(4), 0xAB, 3 * 512);
    v.AddToRoot(MakeSet(u"loop", 0x10, 7, 0, 0, false));
    v.SetFat(7, 7);
    std::memcpy(v.Image.data() + v.Cluster(7), MakeSet(u"inner.txt", 0x20, 8, 10, 10, true).data(), 96);
    std::vector<uint8_t> tail = MakeSet(std::u16string(255, u'x'), 0x20, 9, 1, 1, true);
    v.RootUsed = 512 - 64; // its File entry and stream entry fit; its name entries do not
    v.AddToRoot(tail);
    MemoryVolume volume(v.Image);
    KExFatFileSystem fs;
    fs.SetVolume(&volume);
    ASSERT_EQ(fs.SelectCandidate(FS_CANDIDATE_VOLUME), 0u);
    KNodeTree tree;
    ASSERT_EQ(fs.BuildTree(&tree), 0u);
    const auto paths = TreePaths(tree);
    ASSERT_TRUE(paths.count("loop/inner.txt"));
    EXPECT_EQ(paths.size(), 3u);

    TempDir dir;
    ASSERT_EQ(fs.SaveFile(paths.at("v.bin"), dir.File("v")), 0u);
    std::vector<uint8_t> expected(1500, 0);
    std::fill_n(expected.begin(), 700, 0xAB);
    EXPECT_EQ(ReadFileBytes(dir.File("v")), expected);
}

// A deleted chained file whose chain was freed, written around a file that stays (clusters 8,
// 9, then 12, 13 past the kept file's 10 and 11): its rest is read through the free clusters,
// and the copy is only called a guess.
TEST(ExFatVolume, DeletedChainedFileReadThroughFreeClusters)
{
    ExFatBuilder v;
    v.AddToRoot(MakeSet(u"kept.bin", 0x20, 10, 1024, 1024, true));
    std::vector<uint8_t> gone = MakeSet(u"gone.jpg", 0x20, 8, 2048, 2048, false);
    for (size_t i = 0; i < gone.size(); i += 32) gone[i] &= 0x7F;
    v.AddToRoot(gone);
    v.Image[v.Cluster(3) + 1] = 0x03; // clusters 10 and 11 in use
    const uint8_t fill[] = {'A', 'B', 'K', 'K', 'C', 'D'};
    for (uint32_t c = 8; c < 14; ++c) std::memset(v.Image.data() + v.Cluster(c), fill[c - 8], 512);
    MemoryVolume volume(v.Image);
    KExFatFileSystem fs;
    fs.SetVolume(&volume);
    ASSERT_EQ(fs.SelectCandidate(FS_CANDIDATE_VOLUME), 0u);
    KNodeTree tree;
    ASSERT_EQ(fs.BuildTree(&tree), 0u);
    const auto paths = TreePaths(tree);
    ASSERT_TRUE(paths.count("gone.jpg"));
    EXPECT_EQ(paths.at("gone.jpg")->byCondition, FN_COND_UNKNOWN);
    TempDir dir;
    ASSERT_EQ(fs.SaveFile(paths.at("gone.jpg"), dir.File("g")), 0u);
    std::vector<uint8_t> expected;
    for (const uint8_t b : {'A', 'B', 'C', 'D'}) expected.insert(expected.end(), 512, b);
    EXPECT_EQ(ReadFileBytes(dir.File("g")), expected);
}

// Two deleted files over the same free clusters (one was written over the other after it was
// deleted): neither is called intact; a deleted file apart from them still is.
TEST(ExFatVolume, DeletedFilesOverOneAnotherAreNotIntact)
{
    ExFatBuilder v;
    for (const auto& [name, first] : {std::pair{u"old.jpg", 8u}, {u"new.jpg", 9u}, {u"apart.bin", 20u}})
    {
        std::vector<uint8_t> set = MakeSet(name, 0x20, first, 1024, 1024, true);
        for (size_t i = 0; i < set.size(); i += 32) set[i] &= 0x7F;
        v.AddToRoot(set);
    }
    MemoryVolume volume(v.Image);
    KExFatFileSystem fs;
    fs.SetVolume(&volume);
    ASSERT_EQ(fs.SelectCandidate(FS_CANDIDATE_VOLUME), 0u);
    KNodeTree tree;
    ASSERT_EQ(fs.BuildTree(&tree), 0u);
    const auto paths = TreePaths(tree);
    EXPECT_EQ(paths.at("old.jpg")->byCondition, FN_COND_UNKNOWN);
    EXPECT_EQ(paths.at("new.jpg")->byCondition, FN_COND_UNKNOWN);
    EXPECT_EQ(paths.at("apart.bin")->byCondition, FN_COND_INTACT);
}
