// GUID partition tables: the header and entry checks on bytes, discovery of GPT disks built
// in memory (backup copy, damaged copies, hostile fields, a deleted partition found by the gap
// search) and the 4 KiB-sector disk made by sfdisk, read in its own sectors.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "DynamicImages.h"
#include "GptImages.h"
#include "os/OsDeviceTable.h"
#include "support/TestFiles.h"
#include "support/TestImages.h"
#include "format/gpt/GptLayout.h"
#include "format/gpt/GptTable.h"
#include "volume/KVolumeManager.h"
#include "volume/PartitionTable.h"
#include "volume/SectorSizeProbe.h"
#include "volume/VolumeDiscovery.h"
#include "volume/VolumeTypes.h"

namespace {

constexpr uint64_t kDiskSectors = 200000;

// "type:partition-type:start:count" per record.
std::vector<std::string> Listing(const std::vector<tagVolumeInfo>& list)
{
    std::vector<std::string> out;
    for (const tagVolumeInfo& v : list)
        out.push_back(std::to_string(v.VolumeType) + ":" + std::to_string(v.PartitionType) + ":" +
                      std::to_string(v.Extents.at(0).DeviceStart) + ":" + std::to_string(v.SectorCount));
    return out;
}

std::vector<std::string> ReadTable(MemoryDisk& disk)
{
    std::vector<tagVolumeInfo> list;
    ReadPartitionTable(&disk, &list);
    return Listing(list);
}

// A boot sector that only carries its file-system label: enough for the partition type.
void Label(MemoryDisk& disk, uint64_t sector, const char* fs)
{
    std::vector<uint8_t>& s = disk.Sector(sector);
    if (std::strcmp(fs, "NTFS") == 0)
        std::memcpy(s.data() + 3, "NTFS    ", 8);
    else
        std::memcpy(s.data() + 82, "FAT32   ", 8);
    s[510] = 0x55;
    s[511] = 0xAA;
}

// NTFS at 10240 listed before a FAT32 at 2048, an unused entry between them.
GptTestTable TwoPartitions()
{
    GptTestTable t;
    t.Entries = {{10240, 20479, true}, {0, 0, false}, {2048, 6143, true}};
    return t;
}

MemoryDisk TwoPartitionDisk(const GptTestTable& table = TwoPartitions())
{
    MemoryDisk disk(kDiskSectors);
    table.WriteTo(disk);
    Label(disk, 2048, "FAT32");
    Label(disk, 10240, "NTFS");
    return disk;
}

const std::vector<std::string> kTwoPartitions = {"1:7:10240:10240", "1:11:2048:4096"};
// What the MBR alone says: the protective entry as a volume of unknown type.
const std::vector<std::string> kProtectiveOnly = {"1:-1:1:" + std::to_string(kDiskSectors - 1)};

// `count` sectors from `first` in one buffer.
std::vector<uint8_t> Concat(MemoryDisk& disk, uint64_t first, uint64_t count)
{
    std::vector<uint8_t> out;
    for (uint64_t s = first; s < first + count; ++s)
        out.insert(out.end(), disk.Sector(s).begin(), disk.Sector(s).end());
    return out;
}

// A good header sector of the two-partition disk and a device size to check it against.
std::vector<uint8_t> GoodHeader()
{
    MemoryDisk disk = TwoPartitionDisk();
    return disk.Sector(1);
}

} // namespace

TEST(GptTable, HeaderChecksRefuseEveryBadField)
{
    tagGptArrayInfo info;
    ASSERT_TRUE(ParseGptHeader(GoodHeader(), 1, kDiskSectors, &info));
    EXPECT_EQ(info.EntryLba, 2u);
    EXPECT_EQ(info.EntryCount, 128u);
    EXPECT_EQ(info.EntrySize, 128u);
    EXPECT_EQ(GptArraySectors(info, 512), 32u);

    struct Case
    {
        const char* What;
        size_t Off;
        uint64_t Value;
        size_t Width;
        bool Accepted;
    };
    const Case cases[] = {
        {"signature", 0, 'X', 1, false},
        {"revision 2.0", 0x08, 0x00020000, 4, false},
        {"revision 1.1", 0x08, 0x00010001, 4, true},
        {"header shorter than its fields", 0x0C, 91, 4, false},
        {"header longer than the sector", 0x0C, 513, 4, false},
        {"header as long as the sector", 0x0C, 512, 4, true},
        {"header found elsewhere", 0x18, 2, 8, false},
        {"usable range reversed", 0x28, kDiskSectors - 10, 8, false},
        {"usable range past the end", 0x30, kDiskSectors, 8, false},
        {"array in the MBR", 0x48, 0, 8, false},
        {"array past the end", 0x48, kDiskSectors, 8, false},
        {"array running past the end", 0x48, kDiskSectors - 31, 8, false},
        {"array ending at the end", 0x48, kDiskSectors - 32, 8, true},
        {"entry count over the cap", 0x50, kMaxGptEntries + 1ull, 4, false},
        {"entry count huge", 0x50, 0xFFFFFFFF, 4, false},
        {"no entries", 0x50, 0, 4, true},
        {"entry size odd", 0x54, 129, 4, false},
        {"entry size not a multiple of 8", 0x54, 132, 4, false},
        {"entry size below an entry", 0x54, 120, 4, false},
        {"entry size a multiple of 8", 0x54, 136, 4, true},
        {"entry size over the cap", 0x54, kGptMaxEntryBytes + 8ull, 4, false},
    };
    for (const Case& c : cases)
    {
        std::vector<uint8_t> h = GoodHeader();
        PutLE(h, c.Off, c.Value, c.Width);
        FixGptHeaderCrc(h);
        tagGptArrayInfo got;
        EXPECT_EQ(ParseGptHeader(h, 1, kDiskSectors, &got), c.Accepted) << c.What;
    }
    // At the count cap, 512-byte entries make a 2 MiB array: over the byte cap. The same
    // count of 128-byte entries (512 KiB) is read.
    std::vector<uint8_t> h = GoodHeader();
    PutLE(h, 0x50, kMaxGptEntries, 4);
    PutLE(h, 0x54, 512, 4);
    FixGptHeaderCrc(h);
    EXPECT_FALSE(ParseGptHeader(h, 1, kDiskSectors, &info));
    PutLE(h, 0x54, 128, 4);
    FixGptHeaderCrc(h);
    EXPECT_TRUE(ParseGptHeader(h, 1, kDiskSectors, &info));
    EXPECT_EQ(GptArraySectors(info, 512), 1024u);

    // The CRC itself: one changed byte that the CRC does not cover any more.
    h = GoodHeader();
    h[0x28] ^= 1;
    EXPECT_FALSE(ParseGptHeader(h, 1, kDiskSectors, &info));
    // Bytes past HeaderSize are outside the CRC and do not matter.
    h = GoodHeader();
    h[200] = 0x5A;
    EXPECT_TRUE(ParseGptHeader(h, 1, kDiskSectors, &info));
    // A sector too short for the header fields.
    EXPECT_FALSE(ParseGptHeader(ByteView(GoodHeader()).first(91), 1, kDiskSectors, &info));
}

TEST(GptTable, EntriesInOrderUnusedAndOutsideSkipped)
{
    const uint64_t total = 1000;
    GptTestTable t;
    t.EntryCount = 8;
    t.Entries = {{100, 199, true}, {300, 399, false}, {50, 59, true},
                 {60, 50, true},   {900, 1000, true}, {999, 999, true}};
    MemoryDisk disk(total);
    t.WriteTo(disk);
    tagGptArrayInfo info;
    ASSERT_TRUE(ParseGptHeader(disk.Sector(1), 1, total, &info));
    const std::vector<uint8_t> array = Concat(disk, 2, 2);
    ASSERT_TRUE(GptArrayIntact(array, info));
    const auto spans = [](const std::vector<tagGptPartition>& parts) {
        std::vector<std::pair<uint64_t, uint64_t>> out;
        for (const tagGptPartition& p : parts) out.emplace_back(p.FirstLba, p.LastLba);
        return out;
    };
    using Spans = std::vector<std::pair<uint64_t, uint64_t>>;
    EXPECT_EQ(spans(ParseGptEntries(array, info, total)), (Spans{{100, 199}, {50, 59}, {999, 999}}));
    // A view shorter than the entries the header counts: only whole entries inside it are read.
    EXPECT_EQ(spans(ParseGptEntries(ByteView(array).first(3 * 128 + 100), info, total)), (Spans{{100, 199}, {50, 59}}));
    EXPECT_FALSE(GptArrayIntact(ByteView(array).first(7 * 128), info));
    // Larger entries (more fields after the 128 bytes): the stride is the header's.
    t.EntrySize = 256;
    MemoryDisk wide(total);
    t.WriteTo(wide);
    ASSERT_TRUE(ParseGptHeader(wide.Sector(1), 1, total, &info));
    EXPECT_EQ(spans(ParseGptEntries(Concat(wide, 2, 4), info, total)), (Spans{{100, 199}, {50, 59}, {999, 999}}));
}

TEST(GptDiscovery, PartitionsListedInEntryOrderWithoutTheProtectiveEntry)
{
    MemoryDisk disk = TwoPartitionDisk();
    EXPECT_EQ(ReadTable(disk), kTwoPartitions);
    // Discovery sorts by start; with nothing in the gaps nothing else appears.
    std::vector<tagVolumeInfo> sorted;
    ParseBasicDisk(&disk, &sorted);
    EXPECT_EQ(Listing(sorted), (std::vector<std::string>{"1:11:2048:4096", "1:7:10240:10240"}));

    // A hybrid MBR also lists a partition of its own: the GPT alone is read.
    GptTestTable hybrid = TwoPartitions();
    hybrid.ExtraMbrType = 0x07;
    MemoryDisk hybridDisk = TwoPartitionDisk(hybrid);
    EXPECT_EQ(ReadTable(hybridDisk), kTwoPartitions);

    // A sound GPT without used entries: no volumes, so the whole disk is left to the gap search.
    GptTestTable empty;
    MemoryDisk emptyDisk(kDiskSectors);
    empty.WriteTo(emptyDisk);
    EXPECT_EQ(ReadTable(emptyDisk), std::vector<std::string>{});
}

TEST(GptDiscovery, BackupCopyTakesOverAndWithoutOneTheMbrIsRead)
{
    const uint64_t last = kDiskSectors - 1;
    const uint64_t backupArray = last - 32;
    struct Case
    {
        const char* What;
        void (*Damage)(MemoryDisk&, uint64_t last, uint64_t backupArray);
        std::vector<std::string> Expected;
    };
    const Case cases[] = {
        {"primary header CRC wrong, primary array gone",
         [](MemoryDisk& d, uint64_t, uint64_t) {
             d.Sector(1)[0x28] ^= 0x10;
             for (uint64_t s = 2; s < 34; ++s) d.Erase(s);
         },
         kTwoPartitions},
        {"primary array damaged", [](MemoryDisk& d, uint64_t, uint64_t) { d.Sector(2)[0x20] ^= 1; }, kTwoPartitions},
        {"primary header unreadable as a GPT", [](MemoryDisk& d, uint64_t, uint64_t) { d.Erase(1); }, kTwoPartitions},
        {"both headers damaged",
         [](MemoryDisk& d, uint64_t l, uint64_t) {
             d.Sector(1)[0x28] ^= 0x10;
             d.Sector(l)[0x28] ^= 0x10;
         },
         kProtectiveOnly},
        {"primary header and backup array damaged",
         [](MemoryDisk& d, uint64_t, uint64_t b) {
             d.Sector(1)[0] = 'X';
             d.Sector(b)[0x20] ^= 1;
         },
         kProtectiveOnly},
    };
    for (const Case& c : cases)
    {
        MemoryDisk disk = TwoPartitionDisk();
        c.Damage(disk, last, backupArray);
        EXPECT_EQ(ReadTable(disk), c.Expected) << c.What;
    }
}

TEST(GptDiscovery, HostileHeadersAreRefusedBeforeAnyLargeRead)
{
    struct Case
    {
        const char* What;
        size_t Off;
        uint64_t Value;
        size_t Width;
    };
    const Case cases[] = {
        {"entry count huge", 0x50, 0x7FFFFFFF, 4},
        {"entry size odd", 0x54, 131, 4},
        {"array past the end", 0x48, uint64_t{1} << 62, 8},
        {"array wrapping round", 0x48, ~uint64_t{0} - 4, 8},
    };
    for (const Case& c : cases)
    {
        MemoryDisk disk = TwoPartitionDisk();
        for (const uint64_t lba : {uint64_t{1}, kDiskSectors - 1})
        {
            std::vector<uint8_t>& h = disk.Sector(lba);
            PutLE(h, c.Off, c.Value, c.Width);
            FixGptHeaderCrc(h);
        }
        EXPECT_EQ(ReadTable(disk), kProtectiveOnly) << c.What;
        EXPECT_LE(disk.LargestRead(), 1u) << c.What;
        EXPECT_EQ(disk.ReadsPastEnd(), 0) << c.What;
    }
}

// A partition whose GPT entry was deleted (zeroed) while its FAT32 boot sector stayed, in the
// free space after the last listed partition: the gap search brings it back.
TEST(GptDiscovery, DeletedPartitionFoundInTheGapAfterTheGptVolumes)
{
    TempDir dir;
    const std::string fatPath = dir.File("fat32.img");
    const std::string cmd = "mkfs.fat -C -F 32 -s 1 -n GPTLOST -i 0badf00d '" + fatPath + "' " +
        std::to_string(kFlatSectors / 2) + " >/dev/null 2>&1";
    if (std::system(cmd.c_str()) != 0) GTEST_SKIP() << "mkfs.fat is not available";
    const std::vector<uint8_t> fat32 = ReadFileBytes(fatPath);
    ASSERT_EQ(fat32.size(), kFlatSectors * 512);

    const uint64_t lostStart = 6144;
    MemoryDisk disk(lostStart + 0x200000 + 64);
    GptTestTable t;
    t.Entries = {{2048, 6143, true}, {lostStart, lostStart + kFlatSectors - 1, false}};
    t.WriteTo(disk);
    Label(disk, 2048, "NTFS");
    disk.Put(lostStart, fat32);
    std::vector<tagVolumeInfo> list;
    ParseBasicDisk(&disk, &list);
    EXPECT_EQ(Listing(list),
              (std::vector<std::string>{"1:7:2048:4096",
                                        "16:11:" + std::to_string(lostStart) + ":" + std::to_string(kFlatSectors)}));
}

namespace {

class GptFixture : public ::testing::Test
{
protected:
    void TearDown() override
    {
        KVolumeManager().ClearVolumes();
        OsDeviceTable::Instance().ClearImages();
    }
    TempDir m_Dir;
};

} // namespace

// A disk of 4096-byte sectors saved as a file: its GPT header at byte 4096 tells how to read it
// (its listing in those sectors is the CLI tests'); read in 512-byte sectors (forced), its
// partitions are not found. The probe also reads a volume image's own boot sector, and
// nothing else.
TEST_F(GptFixture, ImageOf4KiBSectorsIsReadInItsOwnSectors)
{
    const std::string path = m_Dir.File("gpt-4k.img");
    ASSERT_TRUE(UnpackFixtureImage("gpt-4k", path));
    const std::vector<uint8_t> bytes = ReadFileBytes(path);
    const ImageManifest manifest = LoadManifest("gpt-4k");
    OsDeviceTable::Instance().RegisterImage(path);
    KVolumeManager().ScanVolumes();
    ASSERT_EQ(KVolumeManager().Records().size(), 3u);
    tagDiskGeometry geometry;
    ASSERT_EQ(KVolumeManager().Records()[1].VolumeIO->GetGeometry(&geometry), 0u);
    EXPECT_EQ(geometry.BytesPerSector, 4096u);

    OsDeviceTable::Instance().ClearImages();
    OsDeviceTable::Instance().RegisterImage(path, 512);
    KVolumeManager().ScanVolumes();
    for (const tagVolumeInfo& v : KVolumeManager().Records()) EXPECT_NE(v.PartitionType, FS_TYPE_FAT16);

    auto probe = [](const uint8_t* at, size_t size) { return ProbeSectorSize(ByteView(at, size)); };
    EXPECT_EQ(probe(bytes.data(), kSectorProbeBytes), 4096u);
    const size_t fat = static_cast<size_t>(manifest.Partitions.at(0).Start) * 4096;
    EXPECT_EQ(probe(bytes.data() + fat, 512), 4096u);
    std::vector<uint8_t> moved(bytes.begin(), bytes.begin() + kSectorProbeBytes);
    moved[4096 + offsetof(tagGptHeader, MyLba)] = 2; // a header naming another sector is no proof
    EXPECT_EQ(probe(moved.data(), moved.size()), 0u);
    EXPECT_EQ(probe(moved.data(), 100), 0u);
    const std::string basic = m_Dir.File("gpt-basic.img");
    ASSERT_TRUE(UnpackFixtureImage("gpt-basic", basic));
    EXPECT_EQ(probe(ReadFileBytes(basic).data(), kSectorProbeBytes), 512u);
}

// Sector 0 and the primary GPT wiped (as by a zeroing of the disk's first sectors): the backup
// GPT in the last sector still lists the partitions, and on a disk of 4096-byte sectors it
// alone tells the sector size. With the backup wiped as well, the file systems are found as
// deleted partitions, the 4 KiB ones in their own sectors; so they are when only the
// protective MBR is left, which stays listed over them.
TEST_F(GptFixture, WipedGptListsThePartitionsFromTheBackupOrTheGapSearch)
{
    struct Case
    {
        const char* Name;
        size_t SectorBytes;
        bool KeepMbr, KeepBackup;
    };
    for (const Case& c : {Case{"gpt-basic", 512, false, true}, Case{"gpt-4k", 4096, false, true},
                          Case{"gpt-4k", 4096, false, false}, Case{"gpt-basic", 512, true, false}})
    {
        SCOPED_TRACE(std::string(c.Name) + (c.KeepMbr ? " mbr kept" : "") + (c.KeepBackup ? " backup kept" : ""));
        const std::string path = m_Dir.File(std::string(c.Name) + ".img");
        ASSERT_TRUE(UnpackFixtureImage(c.Name, path));
        std::vector<uint8_t> bytes = ReadFileBytes(path);
        const auto wiped = static_cast<long>(34 * c.SectorBytes);
        std::fill(bytes.begin() + (c.KeepMbr ? static_cast<long>(c.SectorBytes) : 0), bytes.begin() + wiped, 0);
        if (!c.KeepBackup) std::fill(bytes.end() - wiped, bytes.end(), 0);
        WriteFileBytes(path, bytes);
        OsDeviceTable::Instance().ClearImages();
        OsDeviceTable::Instance().RegisterImage(path);
        KVolumeManager().ScanVolumes();
        std::vector<std::string> got, want;
        for (const tagVolumeInfo& v : KVolumeManager().Records())
            if (v.VolumeType != VOLUME_PHYSICAL)
                got.push_back(std::to_string(v.VolumeType) + ":" + std::to_string(v.Extents[0].DeviceStart) + ":" +
                              std::to_string(v.SectorCount));
        if (c.KeepMbr) want.push_back("1:1:" + std::to_string(bytes.size() / c.SectorBytes - 1));
        for (const ManifestPartition& p : LoadManifest(c.Name).Partitions)
            want.push_back(c.KeepBackup ? "1:" + std::to_string(p.Start) + ":" + std::to_string(p.EntrySectors)
                                        : "16:" + std::to_string(p.Start) + ":" +
                                   std::to_string(p.Fs == "ntfs" ? p.Sectors + 1 : p.Sectors));
        EXPECT_EQ(got, want);
    }
}

TEST(PartitionTable, BadFirstSectorLeavesThePartitionListedAndTheRestRead)
{
    // GPT: the first entry's boot sector is a bad sector.
    MemoryDisk gpt = TwoPartitionDisk();
    gpt.Unreadable.insert(10240);
    EXPECT_EQ(ReadTable(gpt), (std::vector<std::string>{"1:-1:10240:10240", "1:11:2048:4096"}));

    // MBR: a bad primary boot sector before a good one, and an extended chain whose first
    // logical boot sector is bad while the chain's records are readable.
    MemoryDisk mbr(kDiskSectors);
    auto entry = [&mbr](uint64_t sector, int slot, uint8_t type, uint32_t first, uint32_t count) {
        std::vector<uint8_t>& s = mbr.Sector(sector);
        PutLE(s, 446 + 16 * static_cast<size_t>(slot) + 4, type, 1);
        PutLE(s, 446 + 16 * static_cast<size_t>(slot) + 8, first, 4);
        PutLE(s, 446 + 16 * static_cast<size_t>(slot) + 12, count, 4);
        s[510] = 0x55;
        s[511] = 0xAA;
    };
    entry(0, 0, 0x07, 2048, 4096);
    entry(0, 1, 0x0C, 8192, 4096);
    entry(0, 2, 0x0F, 20000, 20000);
    entry(20000, 0, 0x07, 63, 1000);   // logical 1 at 20063, bad
    entry(20000, 1, 0x05, 2000, 2000); // link to the next record at 22000
    entry(22000, 0, 0x0C, 63, 1000);   // logical 2 at 22063
    Label(mbr, 2048, "NTFS");
    Label(mbr, 8192, "FAT32");
    Label(mbr, 22063, "FAT32");
    mbr.Unreadable = {2048, 20063};
    EXPECT_EQ(ReadTable(mbr),
              (std::vector<std::string>{"1:-1:2048:4096", "1:11:8192:4096", "1:-1:20063:1000", "1:11:22063:1000"}));
    // An unreadable extended record still ends its chain: there is no link to follow.
    mbr.Unreadable = {20000};
    EXPECT_EQ(ReadTable(mbr), (std::vector<std::string>{"1:7:2048:4096", "1:11:8192:4096"}));
}
