// A disk with bad sectors: the full scan and the deep scan lose only the sectors that cannot
// be read, and a file copied over one is saved, but named as damaged, never as recovered.
#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

#include "FakeUserPort.h"
#include "TestRawTypes.h"
#include "base/ByteView.h"
#include "base/VlmErrors.h"
#include "core/CScanDriver.h"
#include "core/SaveWalker.h"
#include "fat/KFatFileSystem.h"
#include "fs/KNodeTree.h"
#include "ntfs/KNtfsFileSystem.h"
#include "raw/KRawFileSystem.h"
#include "support/TestFiles.h"
#include "support/TestImages.h"
#include "support/MemoryMedia.h"

namespace {

// The NTFS volume of the sample disk starts here (its manifest).
constexpr uint64_t kSampleNtfs = 108544;

// The disk sector of the first in-use FILE record of a file (not a folder) past the system
// records: losing it loses one file at most.
uint64_t UserFileRecordSector(const std::vector<uint8_t>& disk)
{
    const size_t boot = kSampleNtfs * 512;
    const uint64_t mft = kSampleNtfs + PeekU64LE(&disk[boot + 0x30]) * disk[boot + 0x0D];
    for (uint64_t record = 24; record < 256; ++record)
    {
        const size_t at = static_cast<size_t>((mft + record * 2) * 512);
        if (std::memcmp(disk.data() + at, "FILE", 4) == 0 && PeekU16LE(&disk[at + 0x16]) == 1) return mft + record * 2;
    }
    return 0;
}

struct ScanOutcome
{
    std::vector<std::tuple<uint32_t, int64_t, int64_t>> Candidates; // type, first sector, sectors
    std::vector<uint32_t> Files;                                    // files of each candidate's tree
    uint64_t ReadErrors = 0;
};

ScanOutcome FullScan(MemoryVolume& disk)
{
    FakeUserPort port;
    SteppingClock clock(1);
    KFatFileSystem fat;
    KNtfsFileSystem ntfs;
    CScanDriver driver(EScanWindow::Device, &port, &clock);
    EXPECT_EQ(driver.Run(&disk, {&fat, &ntfs}), EScanResult::Ok);
    ScanOutcome out;
    out.ReadErrors = driver.ReadErrors();
    for (IFileSystem* fs : {static_cast<IFileSystem*>(&fat), static_cast<IFileSystem*>(&ntfs)})
    {
        uint32_t count = 0;
        fs->GetCandidateCount(&count);
        for (uint32_t i = 0; i < count; ++i)
        {
            FileSystemCandidate c{};
            fs->GetCandidate(static_cast<int>(i), &c);
            out.Candidates.emplace_back(c.dwType, c.s64FirstSector, c.s64SectorCount);
            KNodeTree tree;
            uint32_t files = 0;
            uint64_t bytes = 0;
            if (fs->SelectCandidate(i) == ERROR_SUCCESS && fs->BuildTree(&tree) == ERROR_SUCCESS)
                tree.CountFiles(&bytes, &files);
            out.Files.push_back(files);
        }
    }
    return out;
}

} // namespace

TEST(UnreadableSectors, FullScanOverABadMftSectorFindsTheSameVolumesAndFiles)
{
    const std::vector<uint8_t> image = LoadFixtureImage("sample-disk");
    ASSERT_FALSE(image.empty());
    const uint64_t bad = UserFileRecordSector(image);
    ASSERT_NE(bad, 0u);

    MemoryVolume clean(image);
    const ScanOutcome whole = FullScan(clean);
    ASSERT_GE(whole.Candidates.size(), 2u);

    // One sector of one file record: before, the whole 256 KiB read around it was dropped with
    // the MFT in it, and the NTFS volume and nearly all its files went with it.
    MemoryVolume damaged(image);
    damaged.SetBadRange(bad, 1);
    const ScanOutcome hurt = FullScan(damaged);
    EXPECT_EQ(hurt.ReadErrors, 1u);
    EXPECT_EQ(hurt.Candidates, whole.Candidates);
    ASSERT_EQ(hurt.Files.size(), whole.Files.size());
    for (size_t i = 0; i < whole.Files.size(); ++i)
    {
        EXPECT_GE(hurt.Files[i] + 1, whole.Files[i]) << "candidate " << i;
        EXPECT_LE(hurt.Files[i], whole.Files[i]) << "candidate " << i;
    }
    EXPECT_EQ(damaged.Image(), image);
}

TEST(UnreadableSectors, DeepScanOverABadSectorFindsEveryFileAroundIt)
{
    ScopedRawTypes types({{"tst", "Tagged test file", "VLMTEST0", 2048}}, true);
    ASSERT_EQ(types.Added, 1);
    std::vector<uint8_t> image(4096 * 512, 0);
    const std::vector<uint64_t> starts = {10, 100, 300, 700, 1500, 3000};
    for (uint64_t s : starts) std::memcpy(image.data() + s * 512, "VLMTEST0", 8);
    MemoryVolume volume(image);
    volume.SetBadRange(200, 1); // inside the first chunk, which holds three of the files
    KRawFileSystem raw;
    FakeUserPort port;
    SteppingClock clock(1);
    CScanDriver driver(EScanWindow::Deep, &port, &clock);
    ASSERT_EQ(driver.Run(&volume, {&raw}), EScanResult::Ok);
    EXPECT_EQ(driver.ReadErrors(), 1u);
    ASSERT_EQ(driver.Unreadable().Ranges().size(), 1u);
    EXPECT_EQ(driver.Unreadable().Ranges()[0].first, 200u);
    KNodeTree tree;
    ASSERT_EQ(raw.SelectCandidate(0), 0u);
    ASSERT_EQ(raw.BuildTree(&tree), 0u);
    uint32_t files = 0;
    uint64_t bytes = 0;
    tree.CountFiles(&bytes, &files);
    EXPECT_EQ(files, starts.size());
}

namespace {

class QuietObserver final : public ISaveObserver
{
public:
    void OnCurrentFile(const std::string&) override {}
    void OnCounts(uint32_t, uint32_t) override {}
    void OnFileProgress(int64_t, int64_t) override {}
    bool IsCanceled() override { return false; }
};

} // namespace

TEST(UnreadableSectors, AFileCopiedOverABadSectorIsSavedAndNamedDamaged)
{
    const std::vector<uint8_t> disk = LoadFixtureImage("sample-disk");
    ASSERT_FALSE(disk.empty());
    // The FAT32 volume of the sample, on its own.
    const std::vector<uint8_t> image(disk.begin() + 2048 * 512, disk.begin() + (2048 + 106496) * 512);
    MemoryVolume volume(image);
    KFatFileSystem fs;
    fs.SetVolume(&volume);
    ASSERT_EQ(fs.SelectCandidate(FS_CANDIDATE_VOLUME), 0u);
    KNodeTree tree;
    ASSERT_EQ(fs.BuildTree(&tree), 0u);

    // IMG_0001.JPG (present, 47865 bytes): its third sector goes bad.
    tagTreeNode* photo = nullptr;
    for (tagTreeNode* n = tree.GetRoot()->pFirstChild; n; n = n->pNext)
    {
        if (std::string(tree.GetName(n)) != "DCIM") continue;
        for (tagTreeNode* d = n->pFirstChild; d; d = d->pNext)
            for (tagTreeNode* f = d->pFirstChild; f; f = f->pNext)
                if (std::string(tree.GetName(f)) == "IMG_0001.JPG") photo = f;
    }
    ASSERT_NE(photo, nullptr);
    const auto* record = static_cast<const tagFatFileNode*>(photo->pRecord);
    const uint64_t dataStart = PeekU16LE(&image[0x0E]) + uint64_t{image[0x10]} * PeekU32LE(&image[0x24]);
    const uint64_t first = dataStart + (record->dwFirstCluster - 2) * uint64_t{image[0x0D]};
    volume.SetBadRange(first + 2, 1);
    tree.SetCheck(photo, true);

    TempDir dir;
    QuietObserver observer;
    const tagSaveOutcome outcome = CSaveWalker(tree, fs, observer).Run(dir.Path());
    EXPECT_TRUE(outcome.bCompleted);
    EXPECT_EQ(outcome.dwSaved, 1u);
    EXPECT_FALSE(outcome.IsWhole());
    ASSERT_EQ(outcome.Damaged.size(), 1u);
    EXPECT_EQ(outcome.Damaged[0].u64UnreadBytes, 512u);
    EXPECT_EQ(outcome.Damaged[0].strPath, dir.File("DCIM/100CAMERA/IMG_0001.JPG"));

    // Every readable byte is the photo's own; the bad sector reads as zeros.
    const std::vector<uint8_t> saved = ReadFileBytes(dir.File("DCIM/100CAMERA/IMG_0001.JPG"));
    ASSERT_EQ(saved.size(), 47865u);
    const size_t off = static_cast<size_t>(first * 512);
    std::vector<uint8_t> expected(image.begin() + static_cast<std::ptrdiff_t>(off),
                                  image.begin() + static_cast<std::ptrdiff_t>(off + saved.size()));
    std::fill(expected.begin() + 1024, expected.begin() + 1536, 0);
    EXPECT_EQ(saved, expected);
    EXPECT_EQ(HashTree(dir.Path()).size(), 1u); // no temporary file left
    EXPECT_EQ(volume.Image(), image);
}
