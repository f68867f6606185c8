// The scanner on hand-made volumes: inferred candidates, damaged tables, bounded folder walks,
// saving and loading, and copy-out failures.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "FatTestSupport.h"
#include "format/fat/FatDirEntry.h"
#include "fat/KFatFileSystem.h"
#include "fs/KNodeTree.h"
#include "os/OsFile.h"
#include "support/FullScan.h"
#include "support/MemoryStorage.h"
#include "support/TestFiles.h"
#include "support/MemoryMedia.h"

namespace {

void FullScan(KFatFileSystem& fs, MemoryVolume& volume, ScanStats* stats)
{
    uint32_t rc = 0;
    const ScanStats got = RunFullScan(fs, volume, 512, &rc);
    ASSERT_EQ(rc, 0u);
    if (stats) *stats = got;
}

// Records of the store whose parent id is `parent`.
std::vector<std::string> ChildrenOf(KFatFileSystem& fs, uint32_t parent)
{
    std::vector<std::string> out;
    for (int i = 2; i < fs.Store().GetCount(); ++i)
    {
        auto* r = fs.Store().Get<tagFatFileNode>(i);
        if (r->dwParentId == parent) out.push_back(fs.Store().GetName(r));
    }
    return out;
}

// A FAT16 volume with `count` folders under the root, each with two files of data.
FatImageBuilder ThreeFolders(uint32_t count = 3)
{
    FatImageBuilder b;
    const char* folders[] = {"ALPHA      ", "BETA       ", "GAMMA      ", "DELTA      "};
    for (uint32_t i = 0; i < count; ++i)
    {
        const uint32_t c = 10 + 10 * i;
        b.PutEntry(b.RootEntry(i), folders[i], 0x10, c, 0);
        b.SetFat(c, 0xFFFF);
        b.PutDotEntries(c, 0);
        for (uint32_t f = 0; f < 2; ++f)
        {
            char name[12];
            std::snprintf(name, sizeof(name), "FILE%u%u  BIN", i, f);
            const uint32_t data = c + 1 + 3 * f;
            b.PutEntry(b.ClusterEntry(c, 2 + f), name, 0x20, data, 5000);
            b.SetFat(data, uint16_t(data + 1));
            b.SetFat(data + 1, 0xFFFF);
            b.Fill(data, 2, uint8_t(i * 2 + f + 1));
        }
    }
    return b;
}

// The scan state of `b` matches that of `a`: candidates, folder sectors, geometry, table and
// records.
void ExpectSameState(KFatFileSystem& a, KFatFileSystem& b)
{
    ASSERT_EQ(b.Candidates().size(), a.Candidates().size());
    EXPECT_EQ(0,
              std::memcmp(b.Candidates().data(), a.Candidates().data(), a.Candidates().size() * sizeof(FatCandidate)));
    ASSERT_EQ(b.DirSectors().size(), a.DirSectors().size());
    EXPECT_EQ(0,
              std::memcmp(b.DirSectors().data(), a.DirSectors().data(), a.DirSectors().size() * sizeof(FatDirSector)));
    EXPECT_EQ(b.Geometry().DataStart, a.Geometry().DataStart);
    EXPECT_EQ(b.Geometry().ClusterCount, a.Geometry().ClusterCount);
    EXPECT_EQ(b.Table().Bytes(), a.Table().Bytes());
    ASSERT_EQ(b.Store().GetCount(), a.Store().GetCount());
    for (int i = 0; i < a.Store().GetCount(); ++i)
    {
        const auto* x = a.Store().Get<tagFatFileNode>(i);
        const auto* y = b.Store().Get<tagFatFileNode>(i);
        EXPECT_STREQ(a.Store().GetName(x), b.Store().GetName(y));
        EXPECT_EQ(0, std::memcmp(reinterpret_cast<const uint8_t*>(x) + 6, reinterpret_cast<const uint8_t*>(y) + 6, 40));
    }
}

class CancelAfter final : public IProgress_Client
{
public:
    explicit CancelAfter(int polls) : m_Left(polls) {}
    int IsCanceled() override { return --m_Left < 0; }

private:
    int m_Left;
};

} // namespace

// Without a boot sector the folders alone place the data area; the right cluster size
// collects every folder and the others die out.
TEST(FatScan, InferredCandidateFromFolders)
{
    FatImageBuilder b = ThreeFolders(4);
    std::memset(b.Image.data(), 0, 512);
    // A later cluster of some folder with only two files left in it: found as a folder part.
    b.PutEntry(b.ClusterEntry(17, 0), "LATE1   BIN", 0x20, 18, 700);
    b.PutEntry(b.ClusterEntry(17, 1), "LATE2   BIN", 0x20, 19, 900);
    b.Fill(18, 2, 9);
    const std::string before = Sha256Hex(b.Image.data(), b.Image.size());
    MemoryVolume volume(b.Image);
    KFatFileSystem fs;
    fs.SetVolume(&volume);
    ScanStats stats{};
    FullScan(fs, volume, &stats);
    EXPECT_EQ(stats.dwFatBootRecords, 0u);
    EXPECT_EQ(stats.dwFatFolders, 4u);
    ASSERT_EQ(fs.Candidates().size(), 1u);
    const FatCandidate& c = fs.Candidates()[0];
    EXPECT_EQ(c.SectorsPerCluster, 4);
    EXPECT_EQ(c.DataStart, int64_t(b.DataStart()));
    EXPECT_EQ(c.FoldersMatched, 4u);
    EXPECT_EQ(c.FilesMatched, 8u);
    EXPECT_EQ(c.FatType, 1) << "more than two root children on a small volume";

    ASSERT_EQ(fs.SelectCandidate(0), 0u);
    KNodeTree tree;
    ASSERT_EQ(fs.BuildTree(&tree), 0u);
    const auto paths = TreePaths(tree);
    TempDir dir;
    for (const char* p : {"ALPHA/FILE00.BIN", "BETA/FILE11.BIN", "GAMMA/FILE21.BIN"})
    {
        auto it = paths.find(p);
        ASSERT_NE(it, paths.end()) << p;
        ASSERT_EQ(fs.SaveFile(it->second, dir.File("x")), 0u);
        const std::vector<uint8_t> got = ReadFileBytes(dir.File("x"));
        ASSERT_EQ(got.size(), 5000u);
        const uint32_t data = static_cast<const tagFatFileNode*>(it->second)->dwFirstCluster;
        EXPECT_EQ(0, std::memcmp(got.data(), b.Image.data() + uint64_t(b.ClusterSector(data)) * 512, 5000)) << p;
        std::remove(dir.File("x").c_str());
    }
    for (const auto& late : {std::pair<std::string, uint32_t>{"/LATE1.BIN", 700}, {"/LATE2.BIN", 900}})
    {
        auto it =
            std::find_if(paths.begin(), paths.end(), [&](const auto& p) { return p.first.ends_with(late.first); });
        ASSERT_NE(it, paths.end()) << late.first;
        EXPECT_EQ(it->second->s64Size, int64_t(late.second)) << late.first;
    }
    EXPECT_EQ(Sha256Hex(volume.Image().data(), volume.Image().size()), before);
}

// A cross-linked first table gives way to a clean second; with both bad there is no table,
// the ordinary read refuses, and the rebuild still lists the files.
TEST(FatScan, DamagedTables)
{
    FatImageBuilder b = ThreeFolders();
    b.SetFatCopy(0, 100, 12); // cluster 100 joins the chain of ALPHA's first file
    {
        MemoryVolume volume(b.Image);
        KFatFileSystem fs;
        fs.SetVolume(&volume);
        ASSERT_EQ(fs.SelectCandidate(FS_CANDIDATE_VOLUME), 0u);
        EXPECT_EQ(fs.Table().Entry(100), 0u) << "the second copy is used";
        EXPECT_EQ(ChildrenOf(fs, 10).size(), 2u);
    }
    b.SetFatCopy(1, 50, 50); // the second copy loops on itself
    MemoryVolume volume(b.Image);
    KFatFileSystem fs;
    fs.SetVolume(&volume);
    EXPECT_EQ(fs.SelectCandidate(FS_CANDIDATE_VOLUME), 87u);
    EXPECT_TRUE(fs.Table().Empty());
    FullScan(fs, volume, nullptr);
    ASSERT_FALSE(fs.Candidates().empty());
    EXPECT_EQ(fs.Candidates()[0].FirstSector, 0) << "the boot sector's candidate leads";
    ASSERT_EQ(fs.SelectCandidate(0), 0u);
    EXPECT_TRUE(fs.Table().Empty());
    EXPECT_EQ(ChildrenOf(fs, 20).size(), 2u);
    EXPECT_EQ(ChildrenOf(fs, 0).size(), 3u);
}

// Folders that point back at their ancestors, and a folder chain longer than any real one,
// end the walk instead of running it forever.
TEST(FatScan, BoundedFolderWalks)
{
    FatImageBuilder b(8192, 1, 32);
    b.PutEntry(b.RootEntry(0), "OUTER      ", 0x10, 10, 0);
    b.SetFat(10, 0xFFFF);
    b.PutDotEntries(10, 0);
    b.PutEntry(b.ClusterEntry(10, 2), "INNER      ", 0x10, 11, 0);
    b.SetFat(11, 0xFFFF);
    b.PutDotEntries(11, 10);
    b.PutEntry(b.ClusterEntry(11, 2), "BACK       ", 0x10, 10, 0); // leads to OUTER again
    b.PutEntry(b.ClusterEntry(11, 3), "SELF       ", 0x10, 11, 0);

    // A chain longer than the 2 MiB of entries a folder can hold (4096 clusters of 512 bytes).
    b.PutEntry(b.RootEntry(1), "LONG       ", 0x10, 100, 0);
    b.PutDotEntries(100, 0);
    for (uint32_t i = 0; i < 4200; ++i)
    {
        const uint32_t c = 100 + i;
        b.SetFat(c, i + 1 < 4200 ? uint16_t(c + 1) : 0xFFFF);
        char name[12];
        std::snprintf(name, sizeof(name), "F%04u   BIN", i);
        b.PutEntry(b.ClusterEntry(c, i == 0 ? 2 : 0), name, 0x20, 3000, 10);
    }
    MemoryVolume volume(b.Image);
    KFatFileSystem fs;
    fs.SetVolume(&volume);
    testing::internal::CaptureStderr();
    ASSERT_EQ(fs.SelectCandidate(FS_CANDIDATE_VOLUME), 0u);
    const std::string trace = testing::internal::GetCapturedStderr();
    EXPECT_EQ(ChildrenOf(fs, 10).size(), 1u);
    EXPECT_EQ(ChildrenOf(fs, 11).size(), 2u) << "listed once, never walked again";
    EXPECT_EQ(ChildrenOf(fs, 100).size(), 4096u) << "the chain is cut at a folder's largest size";
    EXPECT_NE(trace.find("FAT folder 100 (0 = root) cut after 4096 clusters"), std::string::npos) << trace;
    EXPECT_EQ(trace.find("FAT folder 10 "), std::string::npos) << "only the long chain is cut";
    KNodeTree tree;
    EXPECT_EQ(fs.BuildTree(&tree), 0u);
}

TEST(FatScan, SaveAndLoadWholeState)
{
    FatImageBuilder b = ThreeFolders();
    MemoryVolume volume(b.Image);
    KFatFileSystem fs;
    fs.SetVolume(&volume);
    FullScan(fs, volume, nullptr);
    ASSERT_EQ(fs.SelectCandidate(0), 0u);
    MemoryStorage stored;
    ASSERT_EQ(fs.SaveTo(&stored), 1);

    KFatFileSystem loaded;
    ASSERT_EQ(loaded.LoadFrom(&stored), 1);
    loaded.SetVolume(&volume);
    ExpectSameState(fs, loaded);
    // A loaded state copies files out again once the volume is given back.
    KNodeTree tree;
    ASSERT_EQ(loaded.BuildTree(&tree), 0u);
    const auto paths = TreePaths(tree);
    ASSERT_TRUE(paths.count("BETA/FILE10.BIN"));
    std::unique_ptr<IOutStream> s(loaded.OpenStream(paths.at("BETA/FILE10.BIN")));
    ASSERT_NE(s, nullptr);

    // Every truncation of the stream fails cleanly.
    for (size_t cut : {size_t(0), size_t(3), size_t(300), stored.Bytes.size() / 2, stored.Bytes.size() - 1})
    {
        MemoryStorage shortened;
        shortened.Bytes.assign(stored.Bytes.begin(), stored.Bytes.begin() + std::ptrdiff_t(cut));
        KFatFileSystem broken;
        EXPECT_EQ(broken.LoadFrom(&shortened), 0) << cut;
    }

    // The state is stored with its layout mark and number; an unknown layout and a negative
    // folder sector are refused, leaving no candidate.
    ASSERT_GE(stored.Bytes.size(), 12u + 212u + 13u);
    EXPECT_EQ(std::vector<uint8_t>(stored.Bytes.begin(), stored.Bytes.begin() + 8),
              (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFF, 2, 0, 0, 0}));
    for (const auto& [at, value] : {std::pair<size_t, uint8_t>{4, 3}, {12 + 212 + 4 + 8, 0x80}})
    {
        MemoryStorage forged;
        forged.Bytes = stored.Bytes;
        forged.Bytes[at] = value;
        KFatFileSystem refused;
        EXPECT_EQ(refused.LoadFrom(&forged), 0) << at;
        EXPECT_TRUE(refused.Candidates().empty()) << at;
    }
}

// A state this scan stored in layout 1, with 32-bit folder sectors and no layout mark, made by
// the scanner of that layout: it loads as it was saved, lists and copies its files, and is
// stored again in the current layout.
TEST(FatScan, LoadsStateOfLayoutOne)
{
    FatImageBuilder b = ThreeFolders();
    MemoryVolume volume(b.Image);
    KFatFileSystem fs;
    fs.SetVolume(&volume);
    FullScan(fs, volume, nullptr);
    ASSERT_EQ(fs.SelectCandidate(0), 0u);

    MemoryStorage old;
    old.Bytes = ReadFileBytes(SourcePath("tests/data/stored/fat-three-folders-layout1.bin"));
    KFatFileSystem loaded;
    ASSERT_EQ(loaded.LoadFrom(&old), 1);
    EXPECT_EQ(old.Pos, old.Bytes.size());
    ExpectSameState(fs, loaded);

    loaded.SetVolume(&volume);
    KNodeTree tree;
    ASSERT_EQ(loaded.BuildTree(&tree), 0u);
    const auto paths = TreePaths(tree);
    ASSERT_TRUE(paths.count("BETA/FILE10.BIN"));
    TempDir dir;
    ASSERT_EQ(loaded.SaveFile(paths.at("BETA/FILE10.BIN"), dir.File("f")), 0u);
    const uint8_t* data = b.Image.data() + uint64_t(b.ClusterSector(21)) * 512;
    EXPECT_EQ(Sha256OfFile(dir.File("f")), Sha256Hex(data, 5000));

    MemoryStorage again;
    ASSERT_EQ(loaded.SaveTo(&again), 1);
    EXPECT_EQ(again.Bytes[4], 2);
    KFatFileSystem reloaded;
    ASSERT_EQ(reloaded.LoadFrom(&again), 1);
    ExpectSameState(fs, reloaded);
}

TEST(FatCopyOut, FailuresAreReported)
{
    FatImageBuilder b = ThreeFolders();
    MemoryVolume volume(b.Image);
    KFatFileSystem fs;
    fs.SetVolume(&volume);
    ASSERT_EQ(fs.SelectCandidate(FS_CANDIDATE_VOLUME), 0u);
    KNodeTree tree;
    ASSERT_EQ(fs.BuildTree(&tree), 0u);
    const tagFileNode* file = TreePaths(tree).at("ALPHA/FILE00.BIN");
    TempDir dir;

    ASSERT_EQ(fs.SaveFile(file, dir.File("a")), 0u);
    EXPECT_EQ(fs.SaveFile(file, dir.File("a")), 80u) << "never overwrite";
    EXPECT_EQ(fs.SaveFile(fs.Store().GetNode(0), dir.File("root")), 1627u) << "a folder has no data";

    // An unreadable stretch comes out as zeros; the rest of the piece is intact.
    const uint32_t first = static_cast<const tagFatFileNode*>(file)->dwFirstCluster;
    volume.SetBadRange(b.ClusterSector(first + 1), 4);
    ASSERT_EQ(fs.SaveFile(file, dir.File("bad")), 0u);
    const std::vector<uint8_t> got = ReadFileBytes(dir.File("bad"));
    ASSERT_EQ(got.size(), 5000u);
    volume.SetBadRange(0, 0);
    EXPECT_EQ(0, std::memcmp(got.data(), b.Image.data() + uint64_t(b.ClusterSector(first)) * 512, 2048));
    EXPECT_TRUE(std::all_of(got.begin() + 2048, got.end(), [](uint8_t x) { return x == 0; }));

    CancelAfter cancel(0);
    fs.SetClient(&cancel);
    EXPECT_EQ(fs.SaveFile(file, dir.File("cancelled")), 1223u);
    fs.SetClient(nullptr);
    EXPECT_FALSE(OsPathExists(dir.File("cancelled")));

    // A target that runs out of room must not pass for a recovered file.
    uint32_t rc = 0;
    {
        FileSizeLimit limit(1000);
        ASSERT_TRUE(limit.Ok());
        rc = fs.SaveFile(file, dir.File("full"));
    }
    EXPECT_NE(rc, 0u);
    EXPECT_TRUE(rc == 112u || rc == 223u) << rc;
    EXPECT_FALSE(OsPathExists(dir.File("full"))) << "a half file passes for a recovered one";
}
