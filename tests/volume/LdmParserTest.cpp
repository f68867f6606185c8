#include <gtest/gtest.h>

#include "DynamicImages.h"
#include "LdmWriter.h"
#include "base/VlmErrors.h"
#include "device/KDeviceManager.h"
#include "os/OsDeviceTable.h"
#include "support/TestFiles.h"
#include "volume/LdmReader.h"
#include "format/ldm/LdmRecords.h"
#include "volume/LdmVolumeBuilder.h"
#include "volume/StripeMath.h"
#include "volume/VolumeTypes.h"

namespace {

LdmTestGroup StripedGroup()
{
    LdmTestGroup g;
    g.DiskGuids = {"aaaaaaaa-0000-4000-8000-000000000001", "aaaaaaaa-0000-4000-8000-000000000002"};
    LdmTestVolume v{"Volume1", false, 1024, 0x07, {}};
    LdmTestComponent c{1, 128, 2, {}};
    c.Partitions.push_back({0, 100, 0, 512, 0});
    c.Partitions.push_back({1, 200, 0, 512, 1});
    v.Components.push_back(c);
    g.Volumes.push_back(v);
    return g;
}

std::vector<LdmRecord> Assemble(const LdmTestGroup& g, const LdmWriteOptions& o, bool scatter = false)
{
    const std::vector<uint8_t> slots = MakeLdmSlots(MakeLdmRecords(g, o), 128, scatter, 4);
    return AssembleLdmRecords(slots, 128, slots.size() / 128);
}

std::vector<tagLdmMemberDisk> Members(const LdmTestGroup& g)
{
    std::vector<tagLdmMemberDisk> m;
    for (size_t i = 0; i < g.DiskGuids.size(); ++i)
        m.push_back({g.DiskGuids[i], DEVICE_HARDDISK, static_cast<uint32_t>(i), 63});
    return m;
}

} // namespace

TEST(LdmParser, StripedExtentsComeOutInColumnOrderWhateverTheRecordOrder)
{
    LdmWriteOptions reversed;
    reversed.PartitionsReversed = true;
    std::vector<tagVolumeInfo> out;
    BuildLdmVolumes(Assemble(StripedGroup(), reversed), Members(StripedGroup()), &out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].VolumeType, VOLUME_STRIPED);
    EXPECT_EQ(out[0].StripeSize, 128u);
    EXPECT_EQ(out[0].SectorCount, 1024u);
    ASSERT_EQ(out[0].Extents.size(), 2u);
    EXPECT_EQ(out[0].Extents[0].ColumnIndex, 0);
    EXPECT_EQ(out[0].Extents[0].DeviceNumber, 0u);
    EXPECT_EQ(out[0].Extents[0].DeviceStart, 163u); // partition start + logical disk start
    EXPECT_EQ(out[0].Extents[1].DeviceNumber, 1u);
    EXPECT_EQ(out[0].Extents[1].DeviceStart, 263u);
}

TEST(LdmParser, AbsentDiskKeepsItsMemberUnmatchedAndLostPartitionDropsTheVolume)
{
    LdmTestGroup g = StripedGroup();
    std::vector<tagLdmMemberDisk> members = Members(g);
    members.pop_back();
    std::vector<tagVolumeInfo> out;
    BuildLdmVolumes(Assemble(g, {}), members, &out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].Extents[1].DeviceKind, UINT32_MAX);
    EXPECT_EQ(out[0].Extents[1].DeviceStart, 200u); // relative start kept

    out.clear();
    std::vector<LdmRecord> assembled = Assemble(g, {});
    // Without the last partition record the component's second partition is missing.
    assembled.pop_back();
    BuildLdmVolumes(assembled, Members(g), &out);
    EXPECT_TRUE(out.empty());
}

TEST(LdmParser, RecordInThreeScatteredFragmentsIsReassembled)
{
    LdmTestGroup g = StripedGroup();
    g.Volumes[0].Name = std::string(200, 'N'); // a long name needs three slots of 128 bytes
    const std::vector<uint8_t> slots = MakeLdmSlots(MakeLdmRecords(g, {}), 128, true, 4);
    const std::vector<LdmRecord> records = AssembleLdmRecords(slots, 128, slots.size() / 128);
    tagLdmVolume vol;
    bool found = false;
    for (const LdmRecord& r : records) found = found || ParseLdmVolume(r, &vol);
    ASSERT_TRUE(found);
    EXPECT_EQ(vol.Name, std::string(127, 'N')); // kept in a 128-byte buffer
    EXPECT_EQ(vol.Components, 1u);
    EXPECT_EQ(vol.Size, 1024u);
    std::vector<tagVolumeInfo> out;
    BuildLdmVolumes(records, Members(g), &out);
    EXPECT_EQ(out.size(), 1u);
}

TEST(LdmParser, DamagedSlotsAndFieldsStayInsideTheirBytes)
{
    const std::vector<uint8_t> slots = MakeLdmSlots(MakeLdmRecords(StripedGroup(), {}), 128, false, 4);
    // A table of contents that claims far more slots than were read: only whole slots in the
    // bytes are examined.
    const std::vector<LdmRecord> all = AssembleLdmRecords(slots, 128, 1u << 30);
    EXPECT_EQ(all.size(), slots.size() / 128);
    const std::vector<LdmRecord> cut = AssembleLdmRecords(ByteView(slots).first(slots.size() - 1), 128, 1u << 30);
    EXPECT_EQ(cut.size(), slots.size() / 128 - 1);

    // A volume record whose data length is shorter than its fields: the walk stops at the
    // record's end and the record is refused.
    std::vector<uint8_t> one = MakeLdmSlots({{0, 0x51, {1, 7, 3, 'V', 'o', 'l', 3, 'g', 'e', 'n'}}}, 128, false, 4);
    const std::vector<LdmRecord> short1 = AssembleLdmRecords(one, 128, 1);
    ASSERT_EQ(short1.size(), 1u);
    tagLdmVolume vol;
    EXPECT_FALSE(ParseLdmVolume(short1[0], &vol));
    // A number longer than 8 bytes cannot be held.
    std::vector<uint8_t> wide = MakeLdmSlots({{0, 0x33, {9, 1, 2, 3, 4, 5, 6, 7, 8, 9}}}, 128, false, 4);
    tagLdmPartition part;
    EXPECT_FALSE(ParseLdmPartition(AssembleLdmRecords(wide, 128, 1).at(0), &part));
    // A fragment count in the thousands with a huge data length allocates only what the
    // fragments can carry.
    one[0x0E] = 0x0F;
    one[0x0F] = 0xA0;
    one[0x14] = 0x7F;
    const std::vector<LdmRecord> huge = AssembleLdmRecords(one, 128, 1);
    ASSERT_EQ(huge.size(), 1u);
    EXPECT_LE(huge[0].size(), 64u * 1024);
}

TEST(LdmParser, DiskRecordWithBinaryIdentifierMatchesItsTextualPrivHead)
{
    // Type 0x44: object id 5, name "D", 16 identifier bytes.
    std::vector<uint8_t> data = {1, 5, 1, 'D'};
    const uint8_t id[16] = {0x0b, 0x9c, 0x6d, 0x1e, 0x2f, 0x3a, 0x4b, 0x5c,
                            0x8d, 0x7e, 0x6f, 0x5a, 0x4b, 0x3c, 0x2d, 0x1e};
    data.insert(data.end(), id, id + 16);
    const std::vector<uint8_t> slots = MakeLdmSlots({{0, 0x44, data}}, 128, false, 4);
    tagLdmDisk disk;
    ASSERT_TRUE(ParseLdmDisk(AssembleLdmRecords(slots, 128, 1).at(0), &disk));
    EXPECT_EQ(disk.DiskId, "0b9c6d1e-2f3a-4b5c-8d7e-6f5a4b3c2d1e");
}

TEST(StripeMath, MemberAndPositionIncludingMembersBeyond32Bits)
{
    tagStripePiece p;
    ASSERT_TRUE(MapStripedSector(130, 500, 128, 2, &p));
    EXPECT_EQ(p.Member, 1u);
    EXPECT_EQ(p.Position, 2u);
    EXPECT_EQ(p.Count, 126u);
    ASSERT_TRUE(MapStripedSector(256, 1, 128, 2, &p));
    EXPECT_EQ(p.Member, 0u);
    EXPECT_EQ(p.Position, 128u);

    // N = 3: unit 1 (row 0) on member 1 with parity on member 2; unit 3 (row 1) on member 0.
    ASSERT_TRUE(MapRaid5Sector(128, 1, 128, 3, &p));
    EXPECT_EQ(p.Member, 1u);
    EXPECT_EQ(p.Parity, 2u);
    EXPECT_EQ(p.Position, 0u);
    ASSERT_TRUE(MapRaid5Sector(384, 1, 128, 3, &p));
    EXPECT_EQ(p.Member, 0u);
    EXPECT_EQ(p.Parity, 1u);
    EXPECT_EQ(p.Position, 128u);

    // Volume sectors whose member position lies beyond 2^32: no 32-bit wrap.
    const uint64_t first = (uint64_t{3} << 33) + 5; // unit 2^26 * 3, row 2^26 * 3 / 2
    ASSERT_TRUE(MapStripedSector(first, 1, 128, 3, &p));
    EXPECT_EQ(p.Position, (first / 128 / 3) * 128 + 5);
    EXPECT_GT(p.Position, uint64_t{1} << 32);
    ASSERT_TRUE(MapRaid5Sector(first, 1, 128, 3, &p));
    EXPECT_EQ(p.Position, (first / 128 / 2) * 128 + 5);
    EXPECT_GT(p.Position, uint64_t{1} << 32);

    EXPECT_FALSE(MapStripedSector(0, 1, 0, 2, &p));
    EXPECT_FALSE(MapRaid5Sector(0, 1, 128, 1, &p));
}

// The database variants a reader meets: header only in the last sector, no VMDB (128-byte
// slots found by their magic), the table of contents only in its second sector, and fragments
// that are not adjacent.
TEST(LdmParser, DatabaseVariantsOnMemberImages)
{
    struct Case
    {
        const char* Name;
        LdmWriteOptions Options;
    };
    std::vector<Case> cases(4);
    cases[0].Name = "privhead-last-sector";
    cases[0].Options.PrivHeadAtSector6 = false;
    cases[1].Name = "no-vmdb";
    cases[1].Options.WriteVmdb = false;
    cases[2].Name = "toc-second-sector";
    cases[2].Options.TocInFirstSector = false;
    cases[3].Name = "scattered";
    cases[3].Options.ScatterFragments = true;
    for (Case& c : cases)
    {
        SCOPED_TRACE(c.Name);
        TempDir dir;
        LdmTestGroup g = StripedGroup();
        g.Volumes[0].Name = std::string(150, 'x');
        c.Options.TotalSectors = 4096;
        OsDeviceTable::Instance().ClearImages();
        for (size_t d = 0; d < 2; ++d)
        {
            WriteSparse(dir.File("m" + std::to_string(d)), MakeLdmMemberImage(g, d, c.Options));
            OsDeviceTable::Instance().RegisterImage(dir.File("m" + std::to_string(d)));
        }
        KDeviceManager manager;
        std::vector<IDeviceIO*> disks;
        for (uint32_t d = 0; d < 2; ++d)
        {
            disks.push_back(manager.CreateDevice());
            ASSERT_EQ(disks.back()->Open(DEVICE_HARDDISK, d), ERROR_SUCCESS);
        }
        std::vector<tagVolumeInfo> out;
        int64_t counter = 0;
        ParseDynamicDisks(disks, &out, nullptr, &counter);
        EXPECT_EQ(counter, 2);
        ASSERT_EQ(out.size(), 1u); // found on both disks, kept once
        EXPECT_EQ(out[0].VolumeType, VOLUME_STRIPED);
        EXPECT_EQ(out[0].Extents[1].DeviceStart, 263u);
        for (IDeviceIO* d : disks) manager.DestroyDevice(d);
        OsDeviceTable::Instance().ClearImages();
    }
}
