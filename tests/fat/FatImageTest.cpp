// Undelete and full-scan recovery on images made by the real formatting tools.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>

#include "FatTestSupport.h"
#include "device/IDeviceIO.h"
#include "fat/KFatFileSystem.h"
#include "fs/KNodeTree.h"
#include "os/OsDeviceTable.h"
#include "support/FullScan.h"
#include "support/TestFiles.h"
#include "volume/KBasicVolumeIO.h"
#include "support/MemoryMedia.h"
#include "volume/VolumeTypes.h"

namespace {

struct RecoveryResult
{
    int Listed = 0;
    int Exact = 0;
    uint32_t FilesInTree = 0;
    uint32_t FilePaths = 0; // distinct paths of files: a file listed twice in a folder has one
    std::vector<std::string> Missing;
    std::vector<std::string> Wrong;
};

// Copies the record out and compares it with the manifest's hash.
bool CopiesExactly(KFatFileSystem& fs, const tagFileNode* record, const ManifestFile& file, const TempDir& dir, int n)
{
    const std::string target = dir.File("out" + std::to_string(n));
    fs.ClearUnreadBytes();
    if (fs.SaveFile(record, target) != 0) return false;
    EXPECT_EQ(fs.GetUnreadBytes(), 0u) << file.Path << ": a whole copy is not damaged";
    return Sha256OfFile(target) == file.Sha256;
}

// Feeds volume sectors [first, first + count) to a full scan, as the scan driver does.
void ScanSectors(KFatFileSystem& fs, IVolumeIO& volume, uint64_t first, uint64_t count, ScanStats* stats)
{
    uint32_t rc = 0;
    *stats = RunFullScan(fs, volume, 512, &rc, first, count);
    ASSERT_EQ(rc, 0u);
}

enum class Listing
{
    Volume,
    FullScan
};

// Lists the image's file system the ordinary way (undelete) or as the best candidate of a full
// scan of the image's `count` sectors from `first` on: every present file and every deleted
// file whose clusters were not reused is listed under its folder and copies out byte for
// byte, and the tree holds no file twice.
RecoveryResult Recover(const std::string& image, IVolumeIO& volume, Listing how, uint64_t first, uint64_t count)
{
    RecoveryResult result;
    KFatFileSystem fs;
    fs.SetVolume(&volume);
    if (how == Listing::Volume)
    {
        EXPECT_EQ(fs.SelectCandidate(FS_CANDIDATE_VOLUME), 0u);
    }
    else
    {
        ScanStats stats{};
        ScanSectors(fs, volume, first, count, &stats);
        EXPECT_FALSE(fs.Candidates().empty());
        if (fs.Candidates().empty()) return result;
        EXPECT_EQ(fs.Candidates()[0].FirstSector, static_cast<int64_t>(first));
        FileSystemCandidate head{};
        EXPECT_EQ(fs.GetCandidate(0, &head), 1);
        EXPECT_EQ(head.s64FirstSector, static_cast<int64_t>(first));
        EXPECT_EQ(fs.SelectCandidate(0), 0u);
    }
    KNodeTree tree;
    EXPECT_EQ(fs.BuildTree(&tree), 0u);
    uint64_t treeBytes = 0;
    tree.CountFiles(&treeBytes, &result.FilesInTree);
    const auto paths = TreePaths(tree);
    for (const auto& [path, record] : paths)
        if (!(record->wAttributes & FN_ATTR_FOLDER)) ++result.FilePaths;
    TempDir dir;
    int n = 0;
    for (const ManifestFile& file : LoadManifest(image).Files)
    {
        if (file.State != "present" && file.State != "deleted") continue;
        const tagFileNode* record = FindManifestPath(paths, file.Path);
        if (!record)
        {
            result.Missing.push_back(file.Path);
            continue;
        }
        ++result.Listed;
        const uint8_t kind = file.State == "deleted" ? 0x22 : 0x21;
        EXPECT_EQ(record->byKind, kind) << file.Path;
        EXPECT_EQ(record->s64Size, static_cast<int64_t>(file.Size)) << file.Path;
        const std::string name = fs.Store().GetName(record);
        const std::string leaf = file.Path.substr(file.Path.rfind('/') + 1);
        if (file.State == "deleted" && name != leaf)
        {
            EXPECT_EQ(name[0], '_') << "a deleted short name starts with '_': " << name;
        }
        if (CopiesExactly(fs, record, file, dir, n++))
            ++result.Exact;
        else
            result.Wrong.push_back(file.Path);
    }
    return result;
}

RecoveryResult Recover(const std::string& image, const std::vector<uint8_t>& bytes, Listing how)
{
    EXPECT_FALSE(bytes.empty()) << image;
    if (bytes.empty()) return {};
    MemoryVolume volume(bytes);
    const RecoveryResult result = Recover(image, volume, how, 0, bytes.size() / 512);
    EXPECT_TRUE(volume.Image() == bytes) << "the image was changed";
    return result;
}

void ExpectAll(const std::string& image, const RecoveryResult& r, const char* where)
{
    for (const std::string& p : r.Missing) ADD_FAILURE() << image << " (" << where << "): not listed: " << p;
    for (const std::string& p : r.Wrong) ADD_FAILURE() << image << " (" << where << "): not byte-exact: " << p;
    std::printf("[ %s, %s ] %d files at their path, %u files in the tree\n", image.c_str(), where, r.Listed,
                r.FilesInTree);
    EXPECT_GT(r.Listed, 0);
    EXPECT_EQ(r.Exact, r.Listed);
    EXPECT_EQ(r.FilesInTree, r.FilePaths) << "no file is listed twice";
}

void ExpectAllRecovered(const std::string& image, const std::vector<uint8_t>& bytes, Listing how)
{
    ExpectAll(image, Recover(image, bytes, how), how == Listing::Volume ? "volume" : "full scan");
}

// The undelete listing, and the full scan's where `scan` is set, of one image.
void ExpectAllRecovered(const std::string& image, bool scan = false)
{
    const std::vector<uint8_t> bytes = LoadFixtureImage(image);
    ExpectAllRecovered(image, bytes, Listing::Volume);
    if (scan) ExpectAllRecovered(image, bytes, Listing::FullScan);
}

} // namespace

TEST(FatImages, Fat12FloppyUndelete) { ExpectAllRecovered("fat12-floppy"); }
TEST(FatImages, Fat16NestedUndelete) { ExpectAllRecovered("fat16-nested"); }
TEST(FatImages, Fat32ManyUndelete) { ExpectAllRecovered("fat32-many"); }
// A camera card: empty files (present and deleted) are listed and saved, and a deleted picture
// written fragmented around a document that stays is read through the free clusters.
TEST(FatImages, Fat16CardUndelete) { ExpectAllRecovered("fat16-card", true); }
// A deleted tree of folders many clusters long, copied by mtools as a tree: the folders' later
// clusters lie after their data and after their subfolders'.
TEST(FatImages, Fat32DeletedTreeUndelete) { ExpectAllRecovered("fat32-deleted-tree"); }
// One folder of 20,000 files, its entries in 1,251 clusters of 512 bytes: the whole chain is
// followed, on the volume and in a full scan's rebuild.
TEST(FatImages, Fat32BigFolder) { ExpectAllRecovered("fat32-big-folder", true); }
// 80 folders in a FAT32 root of 4 KB clusters: the root's later sectors, recorded by the scan
// as folder parts of their own, are read once with the root cluster.
TEST(FatImages, Fat32RootFolders) { ExpectAllRecovered("fat32-root-folders", true); }

// A quick format left the old folders and data: a full scan finds the old file system as the
// best candidate and its rebuild lists the old folders and files.
TEST(FatImages, Fat32ReformattedFullScan)
{
    const std::vector<uint8_t> bytes = LoadFixtureImage("fat32-reformatted");
    ASSERT_FALSE(bytes.empty());
    const std::string before = Sha256Hex(bytes.data(), bytes.size());
    MemoryVolume volume(bytes);
    KFatFileSystem fs;
    fs.SetVolume(&volume);
    ScanStats stats{};
    ScanSectors(fs, volume, 0, bytes.size() / 512, &stats);
    EXPECT_GE(stats.dwFatBootRecords, 1u);
    EXPECT_GT(stats.dwFatFolders, 5u);

    uint32_t count = 0;
    fs.GetCandidateCount(&count);
    ASSERT_GE(count, 1u);
    FileSystemCandidate top{};
    ASSERT_EQ(fs.GetCandidate(0, &top), 1);
    EXPECT_EQ(top.dwType, 11u);
    EXPECT_EQ(top.wSectorsPerCluster, 1u);
    EXPECT_EQ(top.s64FirstSector, 0);
    EXPECT_GT(top.dwFolderMatch, 5u);
    for (const FatCandidate& c : fs.Candidates())
        EXPECT_NE(c.FirstSector, 6) << "the backup boot sector read as a primary finds nothing and is dropped";

    ASSERT_EQ(fs.SelectCandidate(0), 0u);
    KNodeTree tree;
    ASSERT_EQ(fs.BuildTree(&tree), 0u);
    const auto paths = TreePaths(tree);
    for (const char* folder : {"100PHOTO", "Letters", "Reports", "Album"})
        EXPECT_TRUE(std::any_of(paths.begin(), paths.end(), [&](const auto& p) {
            return p.first.size() >= std::strlen(folder) && p.first.ends_with(std::string("/") + folder);
        })) << folder;

    // Old files come back under their old folder when its first cluster leads to them, and
    // in made-up folders under "Lost Files" when they lie in a later cluster of a folder whose
    // chain the new, empty table no longer holds.
    TempDir dir;
    int exact = 0, underFolder = 0, wanted = 0, n = 0;
    for (const ManifestFile& file : LoadManifest("fat32-reformatted").Files)
    {
        if (file.State != "formatted") continue;
        ++wanted;
        const size_t cut = file.Path.rfind('/');
        const std::string leaf = cut == std::string::npos ? file.Path : file.Path.substr(cut + 1);
        const size_t up = cut == std::string::npos || cut == 0 ? std::string::npos : file.Path.rfind('/', cut - 1);
        const std::string parentAndLeaf = up == std::string::npos ? file.Path : file.Path.substr(up + 1);
        for (const auto& [path, record] : paths)
            if (path.ends_with("/" + leaf) && record->s64Size == static_cast<int64_t>(file.Size))
            {
                if (path.ends_with("/" + parentAndLeaf)) ++underFolder;
                if (CopiesExactly(fs, record, file, dir, n++)) ++exact;
                break;
            }
    }
    std::printf("[ reformatted ] %d of %d files byte-exact, %d under their own folder\n", exact, wanted, underFolder);
    // The table the rebuild read is the new, empty one: it tells nothing about the old files.
    for (const auto& [path, record] : paths) EXPECT_EQ(record->byCondition, FN_COND_UNKNOWN) << path;
    EXPECT_GE(exact, wanted - 1); // the root's own file went with the root cluster
    EXPECT_GE(underFolder, wanted / 2);
    EXPECT_EQ(Sha256Hex(volume.Image().data(), volume.Image().size()), before);
}

// FAT file systems beyond 2 TiB of their disk: each image written at sector 2^32 + 2048 of a
// sparse disk-image file (a 32-bit sector number would place it at 2048). The full scan of its
// sectors finds it and rebuilds its tree (a FAT16 fixed root, a FAT32 root cluster); the
// partition opened where it lies lists it the ordinary way; both copy every file out byte for
// byte through the device's reads, and the image is unchanged.
TEST(FatImages, FileSystemBeyondTwoTebibytes)
{
    const uint64_t base = (uint64_t{1} << 32) + 2048;
    for (const std::string image : {"fat16-nested", "fat32-many"})
    {
        const std::vector<uint8_t> bytes = LoadFixtureImage(image);
        ASSERT_FALSE(bytes.empty()) << image;
        const uint64_t sectors = bytes.size() / 512;
        TempDir dir;
        const std::string disk = dir.File("far.img");
        {
            std::ofstream out(disk, std::ios::binary | std::ios::trunc);
            out.seekp(static_cast<std::streamoff>(base * 512));
            out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
            if (!out) GTEST_SKIP() << "the temporary folder holds no 2 TiB sparse file";
        }
        OsDeviceTable::Instance().ClearImages();
        OsDeviceTable::Instance().RegisterImage(disk);
        auto open = [&](KBasicVolumeIO& volume, uint64_t start, uint64_t count) {
            tagVolumeInfo record;
            record.VolumeType = VOLUME_BASIC;
            record.SectorCount = count;
            record.Extents.push_back({0, DEVICE_HARDDISK, 0, start, 0, count});
            return volume.Open(&record, 0);
        };
        {
            KBasicVolumeIO whole;
            ASSERT_TRUE(open(whole, 0, base + sectors));
            ExpectAll(image, Recover(image, whole, Listing::FullScan, base, sectors), "full scan beyond 2 TiB");
            KBasicVolumeIO partition;
            ASSERT_TRUE(open(partition, base, sectors));
            ExpectAll(image, Recover(image, partition, Listing::Volume, 0, sectors), "volume beyond 2 TiB");
        }
        OsDeviceTable::Instance().ClearImages();

        std::ifstream in(disk, std::ios::binary);
        in.seekg(0, std::ios::end);
        EXPECT_EQ(static_cast<uint64_t>(in.tellg()), (base + sectors) * 512) << image;
        std::vector<uint8_t> after(bytes.size());
        in.seekg(static_cast<std::streamoff>(base * 512));
        in.read(reinterpret_cast<char*>(after.data()), static_cast<std::streamsize>(after.size()));
        EXPECT_TRUE(after == bytes) << image << ": the image was changed";
    }
}
