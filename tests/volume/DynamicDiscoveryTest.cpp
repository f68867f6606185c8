#include <gtest/gtest.h>

#include <filesystem>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <tuple>

#include "DynamicImages.h"
#include "base/VlmErrors.h"
#include "fat/KFatFileSystem.h"
#include "fs/KNodeTree.h"
#include "os/OsDeviceTable.h"
#include "support/TestFiles.h"
#include "support/TestTrees.h"
#include "volume/KMirrorVolumeIO.h"
#include "volume/KVolumeManager.h"
#include "volume/VolumeTypes.h"

namespace {

// The test disk group with the members whose bits are set in GptMembers written as dynamic
// disks on GPT, the others on MBR.
template <uint32_t GptMembers> class DynamicDiscoveryOf : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_Dir = new TempDir();
        s_Set = new DynamicTestSet();
        LdmWriteOptions options;
        options.GptMembers = GptMembers;
        s_Made = MakeDynamicTestSet(s_Dir->Path(), options, s_Set);
    }
    static void TearDownTestSuite()
    {
        delete s_Set;
        delete s_Dir;
    }
    void SetUp() override
    {
        if (!s_Made) GTEST_SKIP() << "mkfs.fat or mtools is not available";
        OsDeviceTable::Instance().ClearImages();
    }
    void TearDown() override
    {
        KVolumeManager().ClearVolumes();
        OsDeviceTable::Instance().ClearImages();
    }

    static void Scan(const std::vector<size_t>& members)
    {
        for (size_t m : members) OsDeviceTable::Instance().RegisterImage(s_Set->Members[m]);
        KVolumeManager().ScanVolumes();
    }
    static const tagVolumeInfo* Find(int32_t type)
    {
        for (const tagVolumeInfo& v : KVolumeManager().Records())
            if (v.VolumeType == type) return &v;
        return nullptr;
    }
    static bool ReadsFlat(IVolumeIO* volume)
    {
        std::vector<uint8_t> data(s_Set->Flat.size());
        constexpr uint32_t chunk = 1000; // not a multiple of the stripe: pieces cross units
        for (uint64_t s = 0; s < kFlatSectors; s += chunk)
        {
            const auto n = static_cast<uint32_t>(std::min<uint64_t>(chunk, kFlatSectors - s));
            if (volume->ReadSectors(s, data.data() + s * 512, n) != ERROR_SUCCESS) return false;
        }
        return data == s_Set->Flat;
    }
    // The FAT32 file system of the volume lists every file put into it, and each copies out
    // byte for byte.
    static void ExpectFilesRecovered(IVolumeIO* volume)
    {
        KFatFileSystem fs;
        fs.SetVolume(volume);
        ASSERT_EQ(fs.SelectCandidate(FS_CANDIDATE_VOLUME), 0u);
        KNodeTree tree;
        ASSERT_EQ(fs.BuildTree(&tree), 0u);
        TempDir out;
        int n = 0;
        for (const DynamicTestFile& file : s_Set->Files)
        {
            const tagTreeNode* node = WalkTree(tree, file.Path);
            ASSERT_NE(node, nullptr) << file.Path;
            const std::string target = out.File("copy" + std::to_string(n++));
            ASSERT_EQ(fs.SaveFile(node->pRecord, target), 0u) << file.Path;
            EXPECT_TRUE(ReadFileBytes(target) == file.Bytes) << file.Path;
        }
    }
    // (device number, device start, sectors) of every member of the group's volume `index`,
    // every member disk present as the device of its own number.
    static std::multiset<std::tuple<uint32_t, uint64_t, uint64_t>> ExpectedExtents(size_t index)
    {
        std::multiset<std::tuple<uint32_t, uint64_t, uint64_t>> out;
        for (const LdmTestComponent& c : s_Set->Group.Volumes.at(index).Components)
            for (const LdmTestPartition& p : c.Partitions)
                out.insert(
                    {static_cast<uint32_t>(p.Disk), LdmTestLogicalStartOf(s_Set->Options, p.Disk) + p.Start, p.Size});
        return out;
    }
    // The five dynamic volumes from list position `first` on, with all members present: each
    // once, in record order, on the sectors the database gives, holding the file system.
    static void ExpectAllDynamicVolumes(size_t first)
    {
        const int32_t types[] = {VOLUME_SIMPLE, VOLUME_SPANNED, VOLUME_MIRRORED, VOLUME_STRIPED, VOLUME_RAID5};
        ASSERT_EQ(KVolumeManager().Records().size(), first + std::size(types));
        for (size_t k = 0; k < std::size(types); ++k)
        {
            const tagVolumeInfo& v = KVolumeManager().Records()[first + k];
            SCOPED_TRACE(s_Set->Group.Volumes[k].Name);
            EXPECT_EQ(v.VolumeType, types[k]);
            ASSERT_NE(v.VolumeIO, nullptr);
            EXPECT_EQ(v.VolumeIO->GetIndex(), static_cast<int32_t>(first + k));
            std::multiset<std::tuple<uint32_t, uint64_t, uint64_t>> extents;
            for (const tagVolumeExtent& e : v.Extents)
            {
                EXPECT_EQ(e.DeviceKind, DEVICE_HARDDISK);
                extents.insert({e.DeviceNumber, e.DeviceStart, e.SectorCount});
            }
            EXPECT_EQ(extents, ExpectedExtents(k));
            EXPECT_EQ(v.PartitionType, FS_TYPE_FAT32);
            EXPECT_EQ(v.Label, "DYNVOL");
            EXPECT_EQ(v.SectorCount, kFlatSectors);
            EXPECT_EQ(v.Drive, ""); // images have no mount points
            EXPECT_TRUE(ReadsFlat(v.VolumeIO));
            ExpectFilesRecovered(v.VolumeIO);
        }
        const tagVolumeInfo* raid = Find(VOLUME_RAID5);
        ASSERT_NE(raid, nullptr);
        EXPECT_EQ(raid->StripeSize, kTestStripe);
        for (size_t c = 0; c < 3; ++c)
            EXPECT_EQ(raid->Extents[c].DeviceNumber, c); // column order, matched to the member disks
    }
    // ldmtool, when installed, finds the one disk group with every member attached and all its
    // volumes at full size.
    static void ExpectAnotherReaderAccepts()
    {
        std::string cmd = "ldmtool scan";
        for (const std::string& m : s_Set->Members) cmd += " '" + m + "'";
        cmd += " 2>&1";
        std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(cmd.c_str(), "r"), ::pclose);
        if (!pipe) GTEST_SKIP() << "cannot run ldmtool";
        std::string output;
        char buf[512];
        while (size_t n = std::fread(buf, 1, sizeof buf, pipe.get())) output.append(buf, n);
        if (output.find("not found") != std::string::npos) GTEST_SKIP() << "ldmtool is not installed";
        EXPECT_NE(output.find(s_Set->Group.GroupGuid), std::string::npos) << output;
        std::string show = "ldmtool";
        for (const std::string& m : s_Set->Members) show += " -d '" + m + "'";
        const auto run = [&](const std::string& what) {
            const std::string one = show + " show " + what + " 2>&1";
            std::unique_ptr<FILE, int (*)(FILE*)> p(::popen(one.c_str(), "r"), ::pclose);
            std::string text;
            while (size_t n = std::fread(buf, 1, sizeof buf, p.get())) text.append(buf, n);
            return text;
        };
        // Every member is attached, its data area where its kind of disk puts it.
        for (size_t d = 0; d < s_Set->Members.size(); ++d)
        {
            const std::string text = run("disk " + s_Set->Group.GroupGuid + " Disk" + std::to_string(d + 1));
            EXPECT_NE(text.find("\"device\" : \"" + s_Set->Members[d] + "\""), std::string::npos) << text;
            EXPECT_NE(text.find("\"data-start\" : " + std::to_string(LdmTestLogicalStartOf(s_Set->Options, d))),
                      std::string::npos)
                << text;
        }
        for (const LdmTestVolume& volume : s_Set->Group.Volumes)
        {
            const std::string text = run("volume " + s_Set->Group.GroupGuid + " " + volume.Name);
            EXPECT_NE(text.find("\"size\" : " + std::to_string(kFlatSectors)), std::string::npos)
                << volume.Name << ": " << text;
        }
    }

    static inline TempDir* s_Dir = nullptr;
    static inline DynamicTestSet* s_Set = nullptr;
    static inline bool s_Made = false;
};

using DynamicDiscovery = DynamicDiscoveryOf<0>;
// Members 0 and 2 on GPT, member 1 on MBR: the simple volume lies on a GPT disk, the spanned
// volume and the mirror on an MBR and a GPT disk, the striped and RAID-5 volumes on one MBR
// and two GPT members.
using MixedDynamicDiscovery = DynamicDiscoveryOf<0b101>;

} // namespace

TEST_F(DynamicDiscovery, ListsEachVolumeOnceAndReadsTheFlatImageBack)
{
    Scan({0, 1, 2});
    // Three physical devices, no basic volumes (the disks are dynamic), then the database's
    // volumes in record order, each once although every member carries the database.
    ASSERT_GE(KVolumeManager().Records().size(), 3u);
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(KVolumeManager().Records()[i].VolumeType, VOLUME_PHYSICAL);
    ExpectAllDynamicVolumes(3);
}

TEST_F(MixedDynamicDiscovery, ListsEachVolumeOnceOverMbrAndGptMembers)
{
    Scan({0, 1, 2});
    // The GPT members' reserved partitions stay basic volumes; their LDM partitions are not
    // listed, the dynamic volumes on them are.
    ASSERT_GE(KVolumeManager().Records().size(), 5u);
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(KVolumeManager().Records()[i].VolumeType, VOLUME_PHYSICAL);
    const uint64_t reserved = kLdmTestGptMetadataStart + kLdmTestConfigSectors;
    for (size_t i = 0; i < 2; ++i)
    {
        const tagVolumeInfo& v = KVolumeManager().Records()[3 + i];
        EXPECT_EQ(v.VolumeType, VOLUME_BASIC);
        EXPECT_EQ(v.PartitionType, FS_TYPE_NONE);
        ASSERT_EQ(v.Extents.size(), 1u);
        EXPECT_EQ(v.Extents[0].DeviceNumber, i == 0 ? 0u : 2u);
        EXPECT_EQ(v.Extents[0].DeviceStart, reserved);
        EXPECT_EQ(v.SectorCount, kLdmTestGptDataStart - reserved);
    }
    ExpectAllDynamicVolumes(5);
}

TEST_F(MixedDynamicDiscovery, Raid5OfMbrAndGptMembersSurvivesALostGptMember)
{
    Scan({1, 2}); // GPT member 0 is gone; member 1 (MBR) is device 0, member 2 (GPT) device 1
    const tagVolumeInfo* raid = Find(VOLUME_RAID5);
    ASSERT_NE(raid, nullptr);
    EXPECT_EQ(raid->Extents[0].DeviceKind, UINT32_MAX);
    EXPECT_EQ(raid->Extents[1].DeviceNumber, 0u);
    EXPECT_EQ(raid->Extents[2].DeviceNumber, 1u);
    // Placed from the start of the GPT member's LDM data partition.
    EXPECT_EQ(raid->Extents[2].DeviceStart,
              kLdmTestGptDataStart + s_Set->Group.Volumes[4].Components[0].Partitions[2].Start);
    EXPECT_TRUE(ReadsFlat(raid->VolumeIO));
    ExpectFilesRecovered(raid->VolumeIO);
    const tagVolumeInfo* span = Find(VOLUME_SPANNED);
    ASSERT_NE(span, nullptr);
    EXPECT_TRUE(ReadsFlat(span->VolumeIO));
}

TEST_F(MixedDynamicDiscovery, GptEntriesListedWhenTheDatabaseIsNotRead)
{
    // Metadata, reserved and data partitions, as any GPT's entries; nothing dynamic.
    const auto expectGptEntries = []() {
        std::vector<uint64_t> starts;
        for (const tagVolumeInfo& v : KVolumeManager().Records())
        {
            EXPECT_TRUE(v.VolumeType == VOLUME_PHYSICAL || v.VolumeType == VOLUME_BASIC) << v.VolumeType;
            if (v.VolumeType == VOLUME_BASIC) starts.push_back(v.Extents.at(0).DeviceStart);
        }
        EXPECT_EQ(starts,
                  (std::vector<uint64_t>{kLdmTestGptMetadataStart, kLdmTestGptMetadataStart + kLdmTestConfigSectors,
                                         kLdmTestGptDataStart}));
    };
    g_bScanDynamic = false;
    Scan({0});
    g_bScanDynamic = true;
    expectGptEntries();

    // The private header, the last sector of the metadata partition, is lost: the partitions
    // stay reachable as basic volumes rather than vanish with the database.
    KVolumeManager().ClearVolumes();
    OsDeviceTable::Instance().ClearImages();
    const std::string copy = s_Dir->File("member0-nohead.img");
    ASSERT_EQ(std::system(("cp --sparse=always '" + s_Set->Members[0] + "' '" + copy + "'").c_str()), 0);
    {
        std::fstream f(copy, std::ios::in | std::ios::out | std::ios::binary);
        const std::vector<char> zeros(512, 0);
        f.seekp(static_cast<std::streamoff>((kLdmTestGptMetadataStart + kLdmTestConfigSectors - 1) * 512));
        f.write(zeros.data(), 512);
    }
    OsDeviceTable::Instance().RegisterImage(copy);
    KVolumeManager().ScanVolumes();
    expectGptEntries();
}

TEST_F(MixedDynamicDiscovery, AnotherReaderAcceptsTheWrittenMembers) { ExpectAnotherReaderAccepts(); }

TEST_F(DynamicDiscovery, Raid5SurvivesOneLostMemberButNotTwo)
{
    Scan({0, 2}); // member 1 is gone; member 2 is now device 1
    const tagVolumeInfo* raid = Find(VOLUME_RAID5);
    ASSERT_NE(raid, nullptr);
    EXPECT_EQ(raid->Extents[1].DeviceKind, UINT32_MAX); // the lost member stays in the record
    EXPECT_TRUE(ReadsFlat(raid->VolumeIO));
    // The spanned volume begins on the lost member: its sector 0 cannot be read, so its
    // file system is unknown rather than taken from an unfilled buffer.
    const tagVolumeInfo* span = Find(VOLUME_SPANNED);
    ASSERT_NE(span, nullptr);
    EXPECT_EQ(span->PartitionType, FS_TYPE_NONE);
    // The mirror's halves live on members 1 and 2: the one left serves the whole volume.
    const tagVolumeInfo* mirror = Find(VOLUME_MIRRORED);
    ASSERT_NE(mirror, nullptr);
    EXPECT_TRUE(ReadsFlat(mirror->VolumeIO));

    KVolumeManager().ClearVolumes();
    OsDeviceTable::Instance().ClearImages();
    Scan({0});
    EXPECT_EQ(Find(VOLUME_RAID5), nullptr);
    EXPECT_NE(Find(VOLUME_SIMPLE), nullptr);
}

// A member whose disk now shows 4096-byte sectors (moved to another enclosure) is never read
// into the volume's 512-byte sectors: it is left out as if lost, and the RAID-5 rebuilds it.
TEST_F(DynamicDiscovery, MemberOfAnotherSectorSizeIsLeftOutNotRead)
{
    // Copies, the second one grown (sparse) so that reads in 4096-byte sectors stay inside it.
    std::vector<std::string> copies;
    for (size_t m = 0; m < 3; ++m)
    {
        copies.push_back(s_Dir->File("copy-" + std::to_string(m) + ".img"));
        std::filesystem::copy_file(s_Set->Members[m], copies.back(), std::filesystem::copy_options::overwrite_existing);
        OsDeviceTable::Instance().RegisterImage(copies.back());
    }
    KVolumeManager().ScanVolumes();
    std::filesystem::resize_file(copies[1], std::filesystem::file_size(copies[1]) * 8);
    const tagVolumeInfo* raid = nullptr;
    for (const tagVolumeInfo& v : KVolumeManager().Records())
        if (v.VolumeType == VOLUME_RAID5) raid = &v;
    ASSERT_NE(raid, nullptr);
    ASSERT_TRUE(OsDeviceTable::Instance().SetImageSectorSize(1, 4096));
    ASSERT_TRUE(raid->VolumeIO->Open(raid, static_cast<uint32_t>(raid->VolumeIO->GetIndex())));
    EXPECT_TRUE(ReadsFlat(raid->VolumeIO));
}

TEST_F(DynamicDiscovery, MirrorServesReadsFromTheSecondMemberWhenTheFirstFails)
{
    Scan({0, 1, 2});
    const tagVolumeInfo* mirror = Find(VOLUME_MIRRORED);
    ASSERT_NE(mirror, nullptr);
    tagVolumeInfo broken = *mirror;
    broken.VolumeIO = nullptr;
    broken.Extents[0].DeviceNumber = 40; // no such device: every read of the first member fails
    KMirrorVolumeIO volume;
    ASSERT_TRUE(volume.Open(&broken, 0));
    EXPECT_TRUE(ReadsFlat(&volume));

    broken.Extents[1].DeviceNumber = 41;
    KMirrorVolumeIO dead;
    EXPECT_FALSE(dead.Open(&broken, 0));
}

TEST_F(DynamicDiscovery, DynamicSwitchOffShowsTheMarkerPartitions)
{
    g_bScanDynamic = false;
    Scan({0});
    g_bScanDynamic = true;
    // The 0x42 partition is listed as a basic volume; nothing dynamic is read.
    ASSERT_EQ(KVolumeManager().Records().size(), 2u);
    EXPECT_EQ(KVolumeManager().Records()[0].VolumeType, VOLUME_PHYSICAL);
    EXPECT_EQ(KVolumeManager().Records()[1].VolumeType, VOLUME_BASIC);
    EXPECT_EQ(KVolumeManager().Records()[1].Extents[0].DeviceStart, kLdmTestLogicalStart);
}

TEST_F(DynamicDiscovery, AnotherReaderAcceptsTheWrittenDatabase) { ExpectAnotherReaderAccepts(); }
