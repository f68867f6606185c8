#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "DynamicImages.h"
#include "base/VlmErrors.h"
#include "os/OsDeviceTable.h"
#include "support/TestFiles.h"
#include "support/TestImages.h"
#include "volume/DriveMatch.h"
#include "volume/GapSearch.h"
#include "volume/KVolumeManager.h"
#include "format/fat/FatDirEntry.h"
#include "volume/VolumeLabel.h"
#include "volume/VolumeTypes.h"
#include "os/OsMounts.h"

namespace {

// A disk image under construction, sector addressed.
struct Disk
{
    explicit Disk(uint64_t sectors) : Bytes(sectors * 512, 0) {}
    uint8_t* At(uint64_t sector) { return Bytes.data() + sector * 512; }
    void Entry(uint64_t sector, int slot, uint8_t boot, uint8_t type, uint32_t first, uint32_t count)
    {
        uint8_t* e = At(sector) + 446 + 16 * slot;
        e[0] = boot;
        e[4] = type;
        std::memcpy(e + 8, &first, 4);
        std::memcpy(e + 12, &count, 4);
        At(sector)[510] = 0x55;
        At(sector)[511] = 0xAA;
    }
    void Label(uint64_t sector, size_t off, const char* text) { std::memcpy(At(sector) + off, text, 8); }
    void Put(uint64_t sector, const std::vector<uint8_t>& image)
    {
        std::copy(image.begin(), image.end(), Bytes.begin() + static_cast<long>(sector * 512));
    }
    std::vector<uint8_t> Bytes;
};

class BasicDiscovery : public ::testing::Test
{
protected:
    void TearDown() override
    {
        KVolumeManager().ClearVolumes();
        OsDeviceTable::Instance().ClearImages();
    }
    void Scan(const std::vector<Disk*>& disks)
    {
        OsDeviceTable::Instance().ClearImages();
        for (size_t i = 0; i < disks.size(); ++i)
        {
            const std::string path = m_Dir.File("disk" + std::to_string(i));
            WriteSparse(path, disks[i]->Bytes);
            OsDeviceTable::Instance().RegisterImage(path);
        }
        KVolumeManager().ScanVolumes();
    }
    // "type:partition-type:device:start:count" per record, for whole-list comparisons.
    static std::vector<std::string> Listing()
    {
        std::vector<std::string> out;
        for (const tagVolumeInfo& v : KVolumeManager().Records())
            out.push_back(std::to_string(v.VolumeType) + ":" + std::to_string(v.PartitionType) + ":" +
                          std::to_string(v.Extents[0].DeviceNumber) + ":" + std::to_string(v.Extents[0].DeviceStart) +
                          ":" + std::to_string(v.SectorCount));
        return out;
    }
    static std::vector<uint8_t> MakeFs(const std::string& cmd, const std::string& path)
    {
        if (std::system((cmd + " >/dev/null 2>&1").c_str()) != 0) return {};
        return ReadFileBytes(path);
    }
    TempDir m_Dir;
};

} // namespace

// The disk partitioned by sfdisk: its primary partitions and the logical ones of its extended
// chain, each where its table entry puts it, with the size the entry gives and the type its
// boot sector shows.
TEST_F(BasicDiscovery, CommittedDiskListsEveryPartitionOfItsChain)
{
    const std::string path = m_Dir.File("mbr-basic.img");
    ASSERT_TRUE(UnpackFixtureImage("mbr-basic", path));
    std::vector<std::string> expected = {"256:-1:0:0:" + std::to_string(ReadFileBytes(path).size() / 512)};
    for (const ManifestPartition& p : LoadManifest("mbr-basic").Partitions)
    {
        const int type = p.Fs == "ntfs" ? FS_TYPE_NTFS
            : p.Fs == "fat32"           ? FS_TYPE_FAT32
            : p.Fs == "fat16"           ? FS_TYPE_FAT16
                                        : FS_TYPE_FAT12;
        expected.push_back("1:" + std::to_string(type) + ":0:" + std::to_string(p.Start) + ":" +
                           std::to_string(p.EntrySectors));
    }
    ASSERT_EQ(expected.size(), 7u);
    OsDeviceTable::Instance().ClearImages();
    OsDeviceTable::Instance().RegisterImage(path);
    KVolumeManager().ScanVolumes();
    EXPECT_EQ(Listing(), expected);
}

// sfdisk deleted a primary partition (one track behind a 1 MiB boundary) and the middle
// logical drive of the chain, in gaps far smaller than a GiB: both come back as deleted volumes
// with their boot sectors' sizes, readable (their labels are read through them). With sector 0
// wiped every file system is found where it was, and nothing else is.
TEST_F(BasicDiscovery, CommittedDiskWithLostPartitionsAndAWipedTable)
{
    const std::string path = m_Dir.File("mbr-lost.img");
    ASSERT_TRUE(UnpackFixtureImage("mbr-lost", path));
    std::vector<uint8_t> bytes = ReadFileBytes(path);
    const std::vector<ManifestPartition> parts = LoadManifest("mbr-lost").Partitions;
    ASSERT_EQ(parts.size(), 5u);
    const auto expected = [&](bool wiped) {
        std::vector<std::string> out = {"256:-1:0:0:" + std::to_string(bytes.size() / 512)};
        for (const ManifestPartition& p : parts)
        {
            const int type = p.Fs == "ntfs" ? FS_TYPE_NTFS : p.Fs == "fat16" ? FS_TYPE_FAT16 : FS_TYPE_FAT12;
            const bool found = wiped || p.State == "deleted";
            const int64_t count = !found ? p.EntrySectors : p.Fs == "ntfs" ? p.Sectors + 1 : p.Sectors;
            out.push_back(std::string(found ? "16:" : "1:") + std::to_string(type) + ":0:" + std::to_string(p.Start) +
                          ":" + std::to_string(count));
        }
        return out;
    };
    OsDeviceTable::Instance().ClearImages();
    OsDeviceTable::Instance().RegisterImage(path);
    KVolumeManager().ScanVolumes();
    EXPECT_EQ(Listing(), expected(false));
    ASSERT_EQ(KVolumeManager().Records().size(), 6u);
    EXPECT_EQ(KVolumeManager().Records()[2].Label, "LOST-NTFS");
    EXPECT_EQ(KVolumeManager().Records()[4].Label, "LOST16");

    std::fill(bytes.begin(), bytes.begin() + 512, 0);
    WriteFileBytes(path, bytes);
    KVolumeManager().ScanVolumes();
    EXPECT_EQ(Listing(), expected(true));
}

TEST_F(BasicDiscovery, BrokenTablesYieldOnlyWhatIsSound)
{
    // An invalid boot indicator: no basic volumes at all.
    Disk bad(8192);
    bad.Entry(0, 0, 0x01, 0x06, 63, 1000);
    bad.Label(63, 54, "FAT16   ");
    // An extended chain whose link points back at itself: bounded at 100 records.
    Disk loop(8192);
    loop.Entry(0, 0, 0, 0x05, 1000, 2000);
    loop.Entry(1000, 0, 0, 0x06, 10, 20);
    loop.Entry(1000, 1, 0, 0x05, 0, 2000);
    loop.Label(1010, 54, "FAT16   ");
    // A boot sector in sector 0: the whole device is one volume.
    Disk whole(4096);
    whole.Label(0, 82, "FAT32   ");
    Scan({&bad, &loop, &whole});
    std::vector<std::string> got = Listing();
    ASSERT_EQ(got.size(), 3u + 100u + 1u);
    EXPECT_EQ(got[3], "1:6:1:1010:20");
    EXPECT_EQ(got[102], "1:6:1:1010:20");
    EXPECT_EQ(got[103], "1:11:2:0:4096");
}

TEST_F(BasicDiscovery, DeletedPartitionsInGaps)
{
    const std::string ntfsPath = m_Dir.File("ntfs.img");
    {
        std::vector<uint8_t> empty(4 * 1024 * 1024, 0);
        WriteFileBytes(ntfsPath, empty);
    }
    const std::vector<uint8_t> ntfs = MakeFs("mkntfs -F -Q -q -s 512 -c 4096 -L NTLAB '" + ntfsPath + "'", ntfsPath);
    const std::string fatPath = m_Dir.File("fat32.img");
    const std::vector<uint8_t> fat32 = MakeFs(
        "mkfs.fat -C -F 32 -s 1 -n DELFAT -i 0badf00d '" + fatPath + "' " + std::to_string(kFlatSectors / 2), fatPath);
    if (ntfs.empty() || fat32.empty()) GTEST_SKIP() << "mkntfs or mkfs.fat is not available";

    // One partition far out: the space before it is searched, the FAT32 found at sector 100.
    Disk lone(2100000);
    lone.Entry(0, 0, 0, 0x06, 2000000, 50000);
    lone.Label(2000000, 54, "FAT16   ");
    lone.Put(100, fat32);
    // No partitions: the whole disk is one gap; NTFS found with the boot sector's total + 1.
    Disk bare(ntfs.size() / 512 + 400);
    bare.Put(300, ntfs);
    // The same NTFS claiming more sectors than the disk holds: ignored.
    Disk liar = bare;
    const uint64_t huge = uint64_t{1} << 40;
    std::memcpy(liar.At(300) + 0x28, &huge, 8);
    Scan({&lone, &bare, &liar});
    const uint64_t ntfsTotal = ntfs.size() / 512 - 1 + 1;
    EXPECT_EQ(Listing(),
              (std::vector<std::string>{"256:-1:0:0:2100000", "256:-1:1:0:" + std::to_string(bare.Bytes.size() / 512),
                                        "256:-1:2:0:" + std::to_string(liar.Bytes.size() / 512),
                                        "16:11:0:100:" + std::to_string(kFlatSectors), "1:6:0:2000000:50000",
                                        "16:7:1:300:" + std::to_string(ntfsTotal)}));
    EXPECT_EQ(KVolumeManager().Records()[3].Label, "DELFAT");
    EXPECT_EQ(KVolumeManager().Records()[5].Label, "NTLAB");
}

TEST(GapMath, FreeStretchesBeforeBetweenAndAfterVolumes)
{
    const auto vol = [](uint64_t start, uint64_t count) {
        tagVolumeInfo v;
        v.Extents.push_back({0, 3, 0, start, 0, count});
        v.SectorCount = count;
        return v;
    };
    const auto list = [](const std::vector<tagDiskGap>& gaps) {
        std::vector<std::pair<uint64_t, uint64_t>> out;
        for (const tagDiskGap& g : gaps) out.emplace_back(g.Start, g.Length);
        return out;
    };
    using P = std::vector<std::pair<uint64_t, uint64_t>>;
    EXPECT_EQ(list(ComputeGaps({}, 500)), (P{{0, 500}}));
    EXPECT_EQ(list(ComputeGaps({vol(2048, 100), vol(4096, 100)}, 10000)), (P{{0, 2048}, {2148, 1948}, {4196, 5804}}));
    // Fewer than 16 free sectors are no gap; a volume inside or over another leaves none, and
    // one past the device end none after it (no wrap-around).
    EXPECT_EQ(list(ComputeGaps({vol(10, 100), vol(120, 10)}, 130)), P{});
    EXPECT_EQ(list(ComputeGaps({vol(63, 5000), vol(100, 10)}, 5000)), (P{{0, 63}}));
    EXPECT_EQ(list(ComputeGaps({vol(63, 100), vol(100, 9000)}, 5000)), (P{{0, 63}}));
}

TEST(GapMath, NtfsRecordSizeIsBoundedBeforeAnyRead)
{
    std::vector<uint8_t> boot(512, 0);
    boot[0x0B] = 0x00;
    boot[0x0C] = 0x02; // 512 bytes per sector
    boot[0x0D] = 8;
    const auto sectors = [&](int8_t c) {
        boot[0x40] = static_cast<uint8_t>(c);
        return NtfsRecordSectors(boot, 512);
    };
    EXPECT_EQ(sectors(-10), 2u); // 1 KiB records
    EXPECT_EQ(sectors(-12), 8u); // 4 KiB records: read whole, into a buffer of their size
    EXPECT_EQ(sectors(1), 8u);   // one 8-sector cluster
    EXPECT_EQ(sectors(2), 16u);  // 8 KiB: the most a boot sector may declare here
    EXPECT_EQ(sectors(4), 0u);
    EXPECT_EQ(sectors(-14), 0u);
    EXPECT_EQ(sectors(-128), 0u); // no shift past the width of the number
    EXPECT_EQ(sectors(0), 0u);
}

TEST(VolumeNames, SerialsMountInfoAndLabels)
{
    std::vector<uint8_t> fat16(512, 0), ntfs(512, 0), other(512, 0);
    std::memcpy(fat16.data() + 54, "FAT16   ", 8);
    std::memcpy(fat16.data() + 39, "\x11\x22\x33\x44", 4);
    std::memcpy(ntfs.data() + 3, "NTFS    ", 8);
    std::memcpy(ntfs.data() + 72, "\x55\x66\x77\x88", 4);
    uint32_t serial = 0;
    ASSERT_TRUE(BootSectorSerial(fat16, &serial));
    EXPECT_EQ(serial, 0x44332211u);
    ASSERT_TRUE(BootSectorSerial(ntfs, &serial));
    EXPECT_EQ(serial, 0x88776655u);
    EXPECT_FALSE(BootSectorSerial(other, &serial));

    // Two mounts sharing a serial are both left unmatched; a unique one is taken once.
    std::vector<tagDrivePair> pairs = {{"/mnt/a", 1}, {"/mnt/b", 1}, {"/media/c", 2}};
    std::string drive;
    EXPECT_FALSE(TakeDriveForSerial(1, &pairs, &drive));
    EXPECT_TRUE(TakeDriveForSerial(2, &pairs, &drive));
    EXPECT_EQ(drive, "/media/c");
    EXPECT_FALSE(TakeDriveForSerial(2, &pairs, &drive));
    EXPECT_EQ(pairs.size(), 2u);

    const std::string info = "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
                             "23 22 0:5 / /proc rw - proc proc rw\n"
                             "24 22 8:2 / /media/my\\040stick rw shared:2 master:1 - vfat /dev/sdb1 rw\n"
                             "25 22 8:1 /home /srv/bind rw - ext4 /dev/sda1 rw\n"
                             "26 22 8:3 / /broken\n";
    const std::vector<OsMountedDevice> mounts = OsParseMountInfo(info);
    ASSERT_EQ(mounts.size(), 2u);
    EXPECT_EQ(mounts[0].MountPoint, "/");
    EXPECT_EQ(mounts[1].MountPoint, "/media/my stick");
    EXPECT_EQ(mounts[1].DevicePath, "/dev/sdb1");

    // Root-folder label entries: long names and deleted entries skipped, a zero entry ends.
    std::vector<uint8_t> root(512, 0);
    std::memcpy(root.data(), "\xE5OLDLABEL  ", 11);
    root[11] = 0x08;
    std::memcpy(root.data() + 32, "ALONGNAME  ", 11);
    root[32 + 11] = 0x0F;
    std::memcpy(root.data() + 64, " MY DISK \t ", 11);
    root[64 + 11] = 0x08;
    std::string label;
    ASSERT_TRUE(FatRootLabel(root, &label));
    EXPECT_EQ(label, "MY DISK");
    root[64] = 0;
    EXPECT_FALSE(FatRootLabel(root, &label));
}
