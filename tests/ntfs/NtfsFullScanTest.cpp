// Full scans over whole images in memory, fed in 512-sector chunks as the scan driver does:
// the committed volume with and without its boot sectors, the reformatted volume, a disk
// whose NTFS partition entry was removed, records across buffer seams and a file system that
// lies beyond 2 TiB.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "fs/KNodeTree.h"
#include "ntfs/KNtfsFileSystem.h"
#include "support/MemoryStorage.h"
#include "support/TestFiles.h"
#include "support/TestImages.h"
#include "support/TestTrees.h"
#include "tests/ntfs/NtfsScanTestSupport.h"
#include "support/MemoryMedia.h"

namespace {

std::vector<NtfsCandidate> Candidates(KNtfsFileSystem& fs)
{
    std::vector<NtfsCandidate> out;
    uint32_t count = 0;
    fs.GetCandidateCount(&count);
    for (uint32_t i = 0; i < count; ++i)
    {
        NtfsCandidate c;
        EXPECT_EQ(fs.GetCandidate(static_cast<int>(i), &c.Head), 1);
        out.push_back(c);
    }
    return out;
}

struct Recovered
{
    int listed = 0, exact = 0, wanted = 0;
};

// Lists candidate `index` (or the volume) and copies every manifest file of the wanted states
// that it shows, counting those that come back byte-exact.
Recovered ListAndCopy(KNtfsFileSystem& fs, uint32_t index, const std::string& manifest,
                      const std::vector<std::string>& states, const std::string& prefix = "")
{
    Recovered got;
    const uint32_t rc = fs.SelectCandidate(index);
    EXPECT_TRUE(rc == 0 || rc == 1627) << rc;
    KNodeTree tree;
    EXPECT_EQ(fs.BuildTree(&tree), 0u);
    TempDir out;
    for (const ManifestFile& e : LoadManifest(manifest).Files)
    {
        if (std::find(states.begin(), states.end(), e.State) == states.end() || e.Path.find(':') != std::string::npos ||
            e.Path.rfind(prefix, 0) != 0)
            continue;
        ++got.wanted;
        const tagTreeNode* node = WalkTree(tree, e.Path.substr(prefix.size()));
        if (!node) continue;
        ++got.listed;
        const std::string target = out.File("f" + std::to_string(got.listed));
        if (fs.SaveFile(node->pRecord, target) == 0 && Sha256OfFile(target) == e.Sha256) ++got.exact;
    }
    return got;
}

// Zeroes every sector that carries an NTFS boot sector; returns how many.
int WipeBootSectors(std::vector<uint8_t>& image)
{
    int wiped = 0;
    for (size_t off = 0; off + 512 <= image.size(); off += 512)
        if (std::memcmp(image.data() + off + 3, "NTFS    ", 8) == 0)
        {
            std::memset(image.data() + off, 0, 512);
            ++wiped;
        }
    return wiped;
}

} // namespace

TEST(NtfsFullScan, OneVolumeOneCandidateFromItsBootSector)
{
    const std::vector<uint8_t> image = LoadFixtureImage("ntfs-basic");
    if (image.empty()) GTEST_SKIP() << "image missing";
    MemoryVolume volume(image);
    KNtfsFileSystem fs;
    const ScanStats stats = RunFullScan(fs, volume);
    EXPECT_EQ(stats.dwNtfsBootRecords, 2u) << "the boot sector and its backup";
    EXPECT_GT(stats.dwNtfsFiles, 1000u);
    const std::vector<NtfsCandidate> found = Candidates(fs);
    ASSERT_EQ(found.size(), 1u);
    const FileSystemCandidate& c = found[0].Head;
    EXPECT_EQ(c.wLength, 222);
    EXPECT_EQ(c.dwType, 7u);
    EXPECT_EQ(c.byExtra, 1) << "found from its boot sector";
    EXPECT_EQ(c.s64FirstSector, 0);
    EXPECT_EQ(c.wSectorsPerCluster, 8);
    EXPECT_GT(c.dwFolderMatch, 3u);
    EXPECT_EQ(c.dwScore, 1000 + c.dwFilesMatch + 10 * c.dwFolderMatch);
    std::printf("basic volume: score %u, files %u, folders %u, label '%s'\n", c.dwScore, c.dwFilesMatch,
                c.dwFolderMatch, c.szLabel);

    // Scanning again after Begin_ScanFS gives the same result.
    RunFullScan(fs, volume);
    const std::vector<NtfsCandidate> again = Candidates(fs);
    ASSERT_EQ(again.size(), 1u);
    EXPECT_EQ(std::memcmp(&again[0].Head, &c, sizeof(c)), 0);
    EXPECT_EQ(volume.Image(), image);
}

TEST(NtfsFullScan, WipedBootSectorsRebuiltFromTheMftRecord)
{
    std::vector<uint8_t> image = LoadFixtureImage("ntfs-basic");
    if (image.empty()) GTEST_SKIP() << "image missing";
    ASSERT_EQ(WipeBootSectors(image), 2);
    MemoryVolume volume(image);
    KNtfsFileSystem fs;
    const ScanStats stats = RunFullScan(fs, volume);
    EXPECT_EQ(stats.dwNtfsBootRecords, 0u);
    const std::vector<NtfsCandidate> found = Candidates(fs);
    ASSERT_FALSE(found.empty());
    const FileSystemCandidate& c = found[0].Head;
    EXPECT_EQ(c.byExtra, 0);
    EXPECT_EQ(c.s64FirstSector, 0) << "cluster 0 placed from the $MFT record's first run";
    EXPECT_EQ(c.wSectorsPerCluster, 8);
    EXPECT_EQ(c.dwScore, 500 + c.dwFilesMatch + 10 * c.dwFolderMatch);
    for (size_t i = 1; i < found.size(); ++i)
        ADD_FAILURE() << "extra candidate at " << found[i].Head.s64FirstSector << " score " << found[i].Head.dwScore;

    // Its listing gives back what the intact volume gives back.
    const Recovered rebuilt = ListAndCopy(fs, 0, "ntfs-basic", {"present", "deleted"});
    MemoryVolume intactVolume(LoadFixtureImage("ntfs-basic"));
    KNtfsFileSystem intact;
    intact.SetVolume(&intactVolume);
    const Recovered normal = ListAndCopy(intact, 0xFFFFFFFF, "ntfs-basic", {"present", "deleted"});
    std::printf("wiped boot sectors: %d of %d files listed, %d byte-exact (intact volume: %d)\n", rebuilt.listed,
                rebuilt.wanted, rebuilt.exact, normal.exact);
    EXPECT_GT(rebuilt.exact, 600);
    EXPECT_EQ(rebuilt.exact, normal.exact);
}

TEST(NtfsFullScan, MirrorPlacesTheVolumeWhenTheMftRecordIsGone)
{
    // Boot sectors and the $MFT record itself destroyed: the copies in the mirror still place
    // cluster 0, although a copy cannot tell by itself whether it lies in the MFT or the mirror.
    std::vector<uint8_t> image = LoadFixtureImage("ntfs-basic");
    if (image.empty()) GTEST_SKIP() << "image missing";
    int64_t mft = -1;
    {
        MemoryVolume intactVolume(image);
        KNtfsFileSystem intact;
        intact.SetVolume(&intactVolume);
        ASSERT_EQ(intact.SelectCandidate(0xFFFFFFFF), 0u);
        mft = intact.Mft().RecordToSector(0);
    }
    ASSERT_GT(mft, 0);
    ASSERT_EQ(WipeBootSectors(image), 2);
    std::memset(image.data() + mft * 512, 0, 1024);
    MemoryVolume volume(image);
    KNtfsFileSystem fs;
    RunFullScan(fs, volume);
    const std::vector<NtfsCandidate> found = Candidates(fs);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].Head.s64FirstSector, 0);
    EXPECT_EQ(found[0].Head.dwScore, 500 + found[0].Head.dwFilesMatch + 10 * found[0].Head.dwFolderMatch);
    const Recovered got = ListAndCopy(fs, 0, "ntfs-basic", {"present", "deleted"});
    EXPECT_GT(got.exact, 600);
    EXPECT_EQ(got.exact, got.wanted);
}

TEST(NtfsFullScan, ReformattedVolumeGivesBackOldFiles)
{
    const std::vector<uint8_t> image = LoadFixtureImage("ntfs-reformatted");
    if (image.empty()) GTEST_SKIP() << "image missing";
    MemoryVolume volume(image);
    KNtfsFileSystem fs;
    RunFullScan(fs, volume);
    const std::vector<NtfsCandidate> found = Candidates(fs);
    ASSERT_FALSE(found.empty());
    // The new file system is found from its boot sector; the old records that lie behind its
    // small MFT, numbered on from it, make a second candidate that lists the old files too.
    ASSERT_GE(found.size(), 2u);
    EXPECT_EQ(found[0].Head.byExtra, 1);
    EXPECT_EQ(found[0].Head.s64FirstSector, 0);
    int oldExact = 0;
    for (size_t i = 0; i < found.size(); ++i)
    {
        const Recovered got = ListAndCopy(fs, static_cast<uint32_t>(i), "ntfs-reformatted", {"formatted"});
        std::printf("reformatted: candidate %zu at %lld (score %u, files %u, folders %u, %s): %d of %d old files "
                    "listed, %d byte-exact\n",
                    i, static_cast<long long>(found[i].Head.s64FirstSector), found[i].Head.dwScore,
                    found[i].Head.dwFilesMatch, found[i].Head.dwFolderMatch,
                    found[i].Head.byExtra ? "boot sector" : "inferred", got.listed, got.wanted, got.exact);
        EXPECT_EQ(got.wanted, 46);
        oldExact = std::max(oldExact, got.exact);
    }
    std::printf("reformatted: best candidate gives back %d old files byte-exact\n", oldExact);
    EXPECT_EQ(oldExact, 46);
}

TEST(NtfsFullScan, DeletedPartitionFoundAtItsStart)
{
    std::vector<uint8_t> image = LoadFixtureImage("mbr-deleted");
    if (image.empty()) GTEST_SKIP() << "image missing";
    int64_t start = -1;
    for (const ManifestPartition& p : LoadManifest("mbr-deleted").Partitions)
        if (p.Fs == "ntfs" && p.State == "deleted") start = p.Start;
    if (start < 0) GTEST_SKIP() << "no deleted NTFS partition in the manifest";
    MemoryVolume disk(std::move(image));
    KNtfsFileSystem fs;
    RunFullScan(fs, disk);
    const std::vector<NtfsCandidate> found = Candidates(fs);
    const auto it = std::find_if(found.begin(), found.end(),
                                 [&](const NtfsCandidate& c) { return c.Head.s64FirstSector == start; });
    ASSERT_NE(it, found.end()) << "no candidate at sector " << start;
    EXPECT_EQ(it->Head.byExtra, 1);
    EXPECT_GT(it->Head.dwFilesMatch, 0u);
}

TEST(NtfsFullScan, FileSystemBeyondTwoTebibytes)
{
    const std::vector<uint8_t> image = LoadFixtureImage("ntfs-basic");
    if (image.empty()) GTEST_SKIP() << "image missing";
    // Sector 2^32 + 2048: a 32-bit sector number would place it at 2048.
    const uint64_t base = (1ull << 32) + 2048;
    MemoryVolume volume(image);
    volume.PlaceImageAt(base); // zeros before it, without holding 2 TiB
    KNtfsFileSystem fs;
    RunFullScan(fs, volume, 512, nullptr, base);
    const std::vector<NtfsCandidate> found = Candidates(fs);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].Head.s64FirstSector, static_cast<int64_t>(base));
    EXPECT_GT(found[0].Head.dwFilesMatch, 1000u);
    const Recovered got = ListAndCopy(fs, 0, "ntfs-basic", {"present"});
    EXPECT_GT(got.exact, 600);
}

TEST(NtfsFullScan, RecordAcrossBuffersIsTakenOnce)
{
    // A FILE record in sectors 511 and 512: the seam of two 512-sector buffers.
    std::vector<uint8_t> disk(1024 * 512, 0);
    const std::vector<uint8_t> record =
        RecordBuilder().Resident(0x30, RecordBuilder::FileName("seam.txt", 5, 1, 0, 10)).Build();
    std::memcpy(disk.data() + 511 * 512, record.data(), record.size());
    const std::vector<uint8_t> index = BuildIndexRecord(0, {{64, RecordBuilder::FileName("seam.txt", 5, 1, 0, 10)}});
    std::memcpy(disk.data() + 1020 * 512, index.data(), index.size() - 4 * 512); // cut by the image end
    std::memcpy(disk.data() + 900 * 512, index.data(), index.size());
    MemoryVolume volume(disk);

    for (const uint32_t chunk : {512u, 1024u, 7u})
    {
        KNtfsFileSystem fs;
        fs.SetVolume(&volume);
        ASSERT_EQ(fs.Begin_ScanFS(), 0u);
        ScanStats stats{};
        for (uint32_t s = 0; s < 1024; s += chunk)
        {
            const uint32_t n = std::min(chunk, 1024 - s);
            fs.ScanFS(&stats, s, disk.data() + static_cast<size_t>(s) * 512, static_cast<int>(n));
        }
        EXPECT_EQ(stats.dwNtfsFiles, 1u) << chunk;
        ASSERT_EQ(fs.FullScan().FileRecords().size(), 1u) << chunk;
        EXPECT_EQ(fs.FullScan().FileRecords()[0].s64Sector, 511);
        ASSERT_EQ(fs.FullScan().FromIndex().size(), 1u) << "the cut index record is never completed";
        EXPECT_EQ(fs.FullScan().FromIndex()[0].s64Sector, 900);
    }

    // A chunk that failed to read leaves a gap: the first half is not glued to other sectors.
    KNtfsFileSystem fs;
    fs.SetVolume(&volume);
    fs.Begin_ScanFS();
    ScanStats stats{};
    fs.ScanFS(&stats, 0, disk.data(), 512);
    fs.ScanFS(&stats, 513, disk.data() + 513 * 512, 511);
    EXPECT_EQ(fs.FullScan().FileRecords().size(), 0u);
    EXPECT_EQ(fs.ScanFS(&stats, 0, nullptr, 4), 87u);
    EXPECT_EQ(fs.ScanFS(&stats, 0, disk.data(), 0), 0u);

    KNtfsFileSystem none;
    EXPECT_EQ(none.Begin_ScanFS(), 16u);
    EXPECT_EQ(none.ScanFS(&stats, 0, disk.data(), 1), 17u);
}

TEST(NtfsFullScan, HostileRecordsAtBufferEnds)
{
    // Records that claim sizes beyond anything real, at the very end of a buffer, and garbage
    // with the signatures: the scan neither reads outside the buffer nor keeps anything.
    std::vector<uint8_t> disk(64 * 512, 0);
    for (size_t s = 0; s < 64; ++s)
    {
        uint8_t* p = disk.data() + s * 512;
        std::memcpy(p, s % 2 ? "FILE" : "INDX", 4);
        RecordBuilder::Put16(disk, s * 512 + 4, 40);
        RecordBuilder::Put16(disk, s * 512 + 6, 0xFFFF);
        RecordBuilder::Put32(disk, s * 512 + 28, 0xFFFFFFF0);
        RecordBuilder::Put32(disk, s * 512 + 32, 0xFFFFFFF0);
    }
    // A boot sector with nothing behind it: counted, but its candidate has no MFT.
    std::memcpy(disk.data() + 63 * 512 + 3, "NTFS    ", 8);
    RecordBuilder::Put16(disk, 63 * 512 + 11, 512);
    disk[63 * 512 + 13] = 8;
    MemoryVolume volume(disk);
    KNtfsFileSystem fs;
    const ScanStats stats = RunFullScan(fs, volume, 3);
    EXPECT_EQ(stats.dwNtfsFiles, 0u);
    EXPECT_EQ(stats.dwNtfsBootRecords, 1u);
    uint32_t count = 9;
    fs.GetCandidateCount(&count);
    EXPECT_EQ(count, 0u) << "an empty candidate is dropped";
}

TEST(NtfsFullScan, StoredCandidateWithAHugeMftRunListsInBoundedReads)
{
    const std::vector<uint8_t> image = LoadFixtureImage("ntfs-basic");
    if (image.empty()) GTEST_SKIP() << "image missing";
    MemoryVolume volume(image);
    KNtfsFileSystem real;
    real.SetVolume(&volume);
    ASSERT_EQ(real.SelectCandidate(FS_CANDIDATE_VOLUME), 0u);
    const NtfsGeometry g = real.Mft().Geometry();
    ASSERT_FALSE(g.MftRuns.empty());

    // A saved scan result whose candidate claims an MFT run of 2^31 - 1 sectors (a billion
    // records, nearly all past the volume's end), then a hole as long, then a run far beyond.
    KNtfsFileSystem saved;
    saved.SetVolume(&volume);
    saved.Mft().Geometry().SectorsPerCluster = g.SectorsPerCluster;
    NtfsCandidate c;
    c.Head.wLength = 222;
    c.Head.dwType = 7;
    c.Head.wSectorsPerCluster = static_cast<uint16_t>(g.SectorsPerCluster);
    c.Head.s64SectorCount = static_cast<int64_t>(image.size() / 512);
    c.wSectorsPerFileRecord = static_cast<uint16_t>(g.SectorsPerFileRecord);
    c.MftRuns = {{g.MftRuns[0].s64FirstSector, 0x7FFFFFFF, 0},
                 {STREAM_HOLE_SECTOR, 0x7FFFFFFF, 0},
                 {int64_t{1} << 40, 0x7FFFFFFF, 0}};
    saved.AddCandidate(c);
    MemoryStorage store;
    ASSERT_EQ(saved.SaveTo(&store), 1);

    KNtfsFileSystem back;
    ASSERT_EQ(back.LoadFrom(&store), 1);
    back.SetVolume(&volume);
    const uint64_t before = volume.ReadCount();
    const uint32_t rc = back.SelectCandidate(0);
    EXPECT_TRUE(rc == 0 || rc == 1627) << rc;
    const uint64_t reads = volume.ReadCount() - before;
    // The volume read once in windows of records, plus the attributes its files need.
    EXPECT_LT(reads, image.size() / kNtfsWindowBytes + 2000) << reads;
    KNodeTree tree;
    ASSERT_EQ(back.BuildTree(&tree), 0u);
    EXPECT_GT(TreePaths(tree).size(), 100u) << "the records inside the volume are still listed";

    // A run that starts before sector 0 is nothing a scan stores: the result is refused.
    c.MftRuns = {{-5, 16, 0}};
    KNtfsFileSystem bad;
    bad.AddCandidate(c);
    MemoryStorage badStore;
    ASSERT_EQ(bad.SaveTo(&badStore), 1);
    EXPECT_EQ(KNtfsFileSystem().LoadFrom(&badStore), 0);
}

TEST(NtfsFullScan, CandidateOfAnMftInExtensionRecordsHasAllItsRuns)
{
    const std::vector<uint8_t> image = LoadFixtureImage("ntfs-mft-pieces");
    if (image.empty()) GTEST_SKIP() << "image missing";
    MemoryVolume volume(image);
    KNtfsFileSystem open;
    open.SetVolume(&volume);
    ASSERT_EQ(open.SelectCandidate(0xFFFFFFFF), 0u);
    KNtfsFileSystem fs;
    RunFullScan(fs, volume);
    const std::vector<NtfsCandidate> found = Candidates(fs);
    ASSERT_EQ(found.size(), 1u);
    const Recovered got = ListAndCopy(fs, 0, "ntfs-mft-pieces", {"present", "deleted"});
    EXPECT_GT(got.wanted, 700);
    EXPECT_EQ(got.listed, got.wanted);
    EXPECT_EQ(got.exact, got.wanted);
    EXPECT_EQ(fs.Mft().GetRecordCount(), open.Mft().GetRecordCount());
}
