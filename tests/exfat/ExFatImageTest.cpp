// Listing, undelete and full-scan rebuild on exFAT images made by mkfs.exfat and exfat-fuse.
#include <gtest/gtest.h>

#include <algorithm>

#include "exfat/KExFatFileSystem.h"
#include "engine/KFileSystemMgr.h"
#include "fs/KNodeTree.h"
#include "os/OsDeviceTable.h"
#include "os/OsTime.h"
#include "support/FullScan.h"
#include "support/MemoryStorage.h"
#include "support/TestFiles.h"
#include "support/TestImages.h"
#include "support/TestTrees.h"
#include "format/FileSystemType.h"
#include "support/MemoryMedia.h"
#include "volume/KVolumeManager.h"
#include "volume/VolumeTypes.h"

namespace {

struct Outcome
{
    int Exact = 0;
    std::vector<std::string> Missing, Wrong;
};

// Every manifest file in `states` is found by its path (or, with `byLeaf`, by its name anywhere
// in the tree: a folder whose own entry set was overwritten comes back under "Lost Files") and
// copies out byte for byte.
Outcome CheckFiles(KExFatFileSystem& fs, const KNodeTree& tree, const std::string& image,
                   const std::vector<std::string>& states, bool byLeaf)
{
    Outcome out;
    const auto paths = TreePaths(tree);
    TempDir dir;
    int n = 0;
    for (const ManifestFile& file : LoadManifest(image).Files)
    {
        if (std::find(states.begin(), states.end(), file.State) == states.end()) continue;
        const tagFileNode* record = nullptr;
        if (const auto it = paths.find(file.Path); it != paths.end()) record = it->second;
        const std::string leaf = "/" + file.Path.substr(file.Path.rfind('/') + 1);
        for (const auto& [path, r] : paths)
            if (!record && byLeaf && ("/" + path).ends_with(leaf)) record = r;
        if (!record)
        {
            out.Missing.push_back(file.Path);
            continue;
        }
        // A set that was in use when the volume was formatted over is still marked in use.
        EXPECT_EQ(record->byKind & 0x0F, file.State == "deleted" ? FN_KIND_DELETED : FN_KIND_PRESENT) << file.Path;
        EXPECT_EQ(record->s64Size, file.Size) << file.Path;
        const std::string target = dir.File("f" + std::to_string(n++));
        fs.ClearUnreadBytes();
        if (fs.SaveFile(record, target) == 0 && Sha256OfFile(target) == file.Sha256)
            ++out.Exact;
        else
            out.Wrong.push_back(file.Path);
    }
    return out;
}

void ScanAll(KExFatFileSystem& fs, MemoryVolume& volume)
{
    uint32_t rc = 0;
    RunFullScan(fs, volume, 256, &rc);
    ASSERT_EQ(rc, 0u);
}

} // namespace

// The card: every present and deleted contiguous file comes back whole under its folder, with
// its long Unicode name and its time; the deleted fragmented one is listed but not called
// intact; the label is read and the volume is told apart from NTFS.
TEST(ExFatImage, CardListsEveryFileAndDeletedOnesCopyExactly)
{
    std::vector<uint8_t> image = LoadFixtureImage("exfat-card");
    ASSERT_FALSE(image.empty());
    EXPECT_EQ(FileSystemTypeFromBoot(ByteView(image).first(512)), FS_TYPE_EXFAT);
    MemoryVolume volume(image);
    KExFatFileSystem fs;
    fs.SetVolume(&volume);
    ASSERT_EQ(fs.SelectCandidate(FS_CANDIDATE_VOLUME), 0u);
    EXPECT_EQ(fs.BootRegionUsed(), 0);
    EXPECT_EQ(fs.Label(), "CARD");
    // Every name (Cyrillic, CJK, accented Latin) hashes as the driver hashed it, through the
    // volume's own upcase table.
    EXPECT_TRUE(fs.UpcaseLoaded());
    EXPECT_EQ(fs.HashMismatches(), 0u);
    KNodeTree tree;
    ASSERT_EQ(fs.BuildTree(&tree), 0u);
    const Outcome o = CheckFiles(fs, tree, "exfat-card", {"present", "deleted"}, false);
    EXPECT_EQ(o.Exact, 50);
    EXPECT_TRUE(o.Missing.empty()) << o.Missing.front();
    EXPECT_TRUE(o.Wrong.empty()) << o.Wrong.front();

    const auto paths = TreePaths(tree);
    const tagFileNode* readme = paths.at("readme.txt");
    int64_t utc = 0;
    ASSERT_TRUE(FileTimeLocalToUtc(static_cast<int64_t>(readme->ftModified), &utc));
    EXPECT_EQ(utc, kFileTimeUnixEpoch + int64_t{1623750000} * kFileTimeTicksPerSecond);
    EXPECT_EQ(readme->byCondition, FN_COND_INTACT);
    EXPECT_EQ(paths.at("DCIM/100PHOTO/IMG_0007.JPG")->byCondition, FN_COND_INTACT);
    const tagFileNode* frag = paths.at("Fragmented deleted.bin");
    EXPECT_EQ(frag->byKind & 0x0F, FN_KIND_DELETED);
    EXPECT_NE(frag->byCondition, FN_COND_INTACT) << "its chain is gone: the copy is a guess";

    // A damaged main boot region: the backup one stands in.
    image[200] ^= 0xFF;
    MemoryVolume damaged(image);
    KExFatFileSystem again;
    again.SetVolume(&damaged);
    ASSERT_EQ(again.SelectCandidate(FS_CANDIDATE_VOLUME), 0u);
    EXPECT_EQ(again.BootRegionUsed(), 1);
    EXPECT_GT(again.Store().GetCount(), 50);
}

// Both boot regions wiped: the full scan infers the cluster size and heap start from where
// the folders' first clusters hold folder data, and the rebuild finds the files by their sets
// (the root's own name is lost: its sets come back under "Lost Files").
TEST(ExFatImage, CardWithoutBootRegionsInferred)
{
    std::vector<uint8_t> image = LoadFixtureImage("exfat-card");
    ASSERT_FALSE(image.empty());
    std::fill_n(image.begin(), 24 * 512, uint8_t{0});
    MemoryVolume volume(image);
    KExFatFileSystem fs;
    fs.SetVolume(&volume);
    EXPECT_NE(fs.SelectCandidate(FS_CANDIDATE_VOLUME), 0u);
    ScanAll(fs, volume);
    ASSERT_EQ(fs.Candidates().size(), 1u);
    EXPECT_EQ(fs.Candidates()[0].FromBackup, 2);
    EXPECT_EQ(fs.Candidates()[0].Head.wSectorsPerCluster, 8);
    ASSERT_EQ(fs.SelectCandidate(0), 0u);
    KNodeTree tree;
    ASSERT_EQ(fs.BuildTree(&tree), 0u);
    const Outcome o = CheckFiles(fs, tree, "exfat-card", {"present", "deleted"}, true);
    std::printf("without boot regions: %d of 50 files byte-exact\n", o.Exact);
    // Only the fragmented file needs the FAT, whose place went with the boot region.
    EXPECT_EQ(o.Exact, 49);
    EXPECT_EQ(o.Wrong, std::vector<std::string>{"Fragmented kept.bin"});
}

// 4096-byte sectors, read as such and through 512-byte sectors.
TEST(ExFatImage, BigSectorVolume)
{
    for (uint32_t bps : {4096u, 512u})
    {
        MemoryVolume volume(LoadFixtureImage("exfat-4k"), bps);
        KExFatFileSystem fs;
        fs.SetVolume(&volume);
        ASSERT_EQ(fs.SelectCandidate(FS_CANDIDATE_VOLUME), 0u) << bps;
        KNodeTree tree;
        ASSERT_EQ(fs.BuildTree(&tree), 0u);
        const Outcome o = CheckFiles(fs, tree, "exfat-4k", {"present", "deleted"}, false);
        EXPECT_EQ(o.Exact, 4) << bps;
    }
}

// The re-formatted volume: a full scan finds the file system, its rebuild brings back the old
// files whose entry sets survived, byte for byte (101PHOTO's files under "Lost Files"); the stored state lists the same after a
// reload.
TEST(ExFatImage, ReformattedVolumeRebuiltFromFullScan)
{
    MemoryVolume volume(LoadFixtureImage("exfat-reformatted"));
    KExFatFileSystem fs;
    fs.SetVolume(&volume);
    ScanAll(fs, volume);
    ASSERT_FALSE(fs.Candidates().empty());
    EXPECT_EQ(fs.Candidates()[0].Head.s64FirstSector, 0);
    EXPECT_EQ(fs.Candidates()[0].Head.dwType, static_cast<uint32_t>(FS_TYPE_EXFAT));
    EXPECT_STREQ(fs.Candidates()[0].Head.szLabel, "NEWCARD");
    ASSERT_EQ(fs.SelectCandidate(0), 0u);
    KNodeTree tree;
    ASSERT_EQ(fs.BuildTree(&tree), 0u);
    const Outcome old = CheckFiles(fs, tree, "exfat-reformatted", {"formatted"}, true);
    const Outcome now = CheckFiles(fs, tree, "exfat-reformatted", {"present"}, false);
    std::printf("re-formatted: %d of 10 old files, %d of 2 new ones byte-exact\n", old.Exact, now.Exact);
    // The new root, "New" and its file took the clusters of DCIM and 100PHOTO: the sets of
    // 100PHOTO's four files are gone. Every other old file's set survived.
    EXPECT_EQ(old.Exact, 6);
    EXPECT_TRUE(old.Wrong.empty());
    EXPECT_EQ(now.Exact, 2);

    MemoryStorage stored;
    ASSERT_EQ(fs.SaveTo(&stored), 1);
    KExFatFileSystem loaded;
    ASSERT_EQ(loaded.LoadFrom(&stored), 1);
    loaded.SetVolume(&volume);
    EXPECT_EQ(loaded.Candidates().size(), fs.Candidates().size());
    KNodeTree again;
    ASSERT_EQ(loaded.BuildTree(&again), 0u);
    EXPECT_EQ(CheckFiles(loaded, again, "exfat-reformatted", {"formatted"}, true).Exact, old.Exact);
    // A stored state cut short loads nothing.
    MemoryStorage cut;
    cut.Bytes.assign(stored.Bytes.begin(), stored.Bytes.begin() + static_cast<std::ptrdiff_t>(stored.Bytes.size() / 2));
    KExFatFileSystem broken;
    EXPECT_EQ(broken.LoadFrom(&cut), 0);
    EXPECT_TRUE(broken.Candidates().empty());
}

// A disk whose exFAT partition entry was removed: the gap search finds the volume by its boot
// region, the device list calls it exFAT, and its files (the deleted one too) come back.
TEST(ExFatImage, ErasedPartitionFoundInGap)
{
    TempDir dir;
    const std::string path = dir.File("disk.img");
    ASSERT_TRUE(UnpackFixtureImage("exfat-erased", path));
    OsDeviceTable::Instance().ClearImages();
    OsDeviceTable::Instance().RegisterImage(path);
    KVolumeManager().ScanVolumes();
    const tagVolumeInfo* lost = nullptr;
    for (const tagVolumeInfo& v : KVolumeManager().Records())
        if (v.VolumeType == VOLUME_DELETED && !v.Extents.empty() && v.Extents[0].DeviceStart == 34816) lost = &v;
    ASSERT_NE(lost, nullptr);
    EXPECT_EQ(lost->PartitionType, FS_TYPE_EXFAT);
    EXPECT_EQ(lost->SectorCount, 65536u);
    KFileSystemMgr mgr;
    auto* fs = dynamic_cast<KExFatFileSystem*>(mgr.CreateForVolume(lost->VolumeIO));
    ASSERT_NE(fs, nullptr);
    fs->SetVolume(lost->VolumeIO);
    ASSERT_EQ(fs->SelectCandidate(FS_CANDIDATE_VOLUME), 0u);
    EXPECT_EQ(fs->Label(), "LOSTEXFAT");
    KNodeTree tree;
    ASSERT_EQ(fs->BuildTree(&tree), 0u);
    // The manifest's paths carry the partition's label.
    int exact = 0;
    const auto paths = TreePaths(tree);
    for (const ManifestFile& file : LoadManifest("exfat-erased").Files)
    {
        if (file.Path.rfind("lost-exfat/", 0) != 0) continue;
        const auto it = paths.find(file.Path.substr(11));
        ASSERT_NE(it, paths.end()) << file.Path;
        const std::string target = dir.File("f" + std::to_string(exact));
        if (fs->SaveFile(it->second, target) == 0 && Sha256OfFile(target) == file.Sha256) ++exact;
    }
    EXPECT_EQ(exact, 4);
    mgr.DeleteAll();
    KVolumeManager().ClearVolumes();
    OsDeviceTable::Instance().ClearImages();
}
