#include <gtest/gtest.h>

#include <filesystem>

#include <cstdio>
#include <memory>

#include "DynamicImages.h"
#include "base/VlmErrors.h"
#include "os/OsDeviceTable.h"
#include "support/TestFiles.h"
#include "volume/KMirrorVolumeIO.h"
#include "volume/KVolumeManager.h"
#include "volume/VolumeTypes.h"

namespace {

class DynamicDiscovery : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_Dir = new TempDir();
        s_Set = new DynamicTestSet();
        s_Made = MakeDynamicTestSet(s_Dir->Path(), LdmWriteOptions(), s_Set);
    }
    static void TearDownTestSuite()
    {
        delete s_Set;
        delete s_Dir;
    }
    void SetUp() override
    {
        if (!s_Made)
            GTEST_SKIP() << "mkfs.fat is not available";
        OsDeviceTable::Instance().ClearImages();
    }
    void TearDown() override
    {
        KVolumeManager().ClearVolumes();
        OsDeviceTable::Instance().ClearImages();
    }

    static void Scan(const std::vector<size_t>& members)
    {
        for (size_t m : members)
            OsDeviceTable::Instance().RegisterImage(s_Set->Members[m]);
        KVolumeManager().ScanVolumes();
    }
    static const tagVolumeInfo* Find(int32_t type)
    {
        for (const tagVolumeInfo& v : g_VolumeList)
            if (v.VolumeType == type)
                return &v;
        return nullptr;
    }
    static bool ReadsFlat(IVolumeIO* volume)
    {
        std::vector<uint8_t> data(s_Set->Flat.size());
        constexpr uint32_t chunk = 1000; // not a multiple of the stripe: pieces cross units
        for (uint64_t s = 0; s < kFlatSectors; s += chunk)
        {
            const auto n = static_cast<uint32_t>(std::min<uint64_t>(chunk, kFlatSectors - s));
            if (volume->ReadSectors(s, data.data() + s * 512, n) != ERROR_SUCCESS)
                return false;
        }
        return data == s_Set->Flat;
    }

    static TempDir* s_Dir;
    static DynamicTestSet* s_Set;
    static bool s_Made;
};

TempDir* DynamicDiscovery::s_Dir = nullptr;
DynamicTestSet* DynamicDiscovery::s_Set = nullptr;
bool DynamicDiscovery::s_Made = false;

} // namespace

TEST_F(DynamicDiscovery, ListsEachVolumeOnceAndReadsTheFlatImageBack)
{
    Scan({0, 1, 2});
    // Three physical devices, no basic volumes (the disks are dynamic), then the database's
    // volumes in record order, each once although every member carries the database.
    const std::vector<int32_t> expected = {VOLUME_PHYSICAL, VOLUME_PHYSICAL, VOLUME_PHYSICAL, VOLUME_SIMPLE,
                                           VOLUME_SPANNED,  VOLUME_MIRRORED, VOLUME_STRIPED,  VOLUME_RAID5};
    ASSERT_EQ(g_VolumeList.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i)
    {
        const tagVolumeInfo& v = g_VolumeList[i];
        SCOPED_TRACE(i);
        EXPECT_EQ(v.VolumeType, expected[i]);
        ASSERT_NE(v.VolumeIO, nullptr);
        EXPECT_EQ(v.VolumeIO->GetIndex(), static_cast<int32_t>(i));
        if (v.VolumeType == VOLUME_PHYSICAL)
            continue;
        EXPECT_EQ(v.PartitionType, FS_TYPE_FAT32);
        EXPECT_EQ(v.Label, "DYNVOL");
        EXPECT_EQ(v.SectorCount, kFlatSectors);
        EXPECT_EQ(v.Drive, ""); // images have no mount points
        EXPECT_TRUE(ReadsFlat(v.VolumeIO)) << "volume type " << v.VolumeType;
    }
    const tagVolumeInfo* raid = Find(VOLUME_RAID5);
    ASSERT_NE(raid, nullptr);
    EXPECT_EQ(raid->StripeSize, kTestStripe);
    for (size_t c = 0; c < 3; ++c)
        EXPECT_EQ(raid->Extents[c].DeviceNumber, c); // column order, matched to the member disks
}

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
    tagVolumeInfo* raid = nullptr;
    for (tagVolumeInfo& v : g_VolumeList)
        if (v.VolumeType == VOLUME_RAID5)
            raid = &v;
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
    ASSERT_EQ(g_VolumeList.size(), 2u);
    EXPECT_EQ(g_VolumeList[0].VolumeType, VOLUME_PHYSICAL);
    EXPECT_EQ(g_VolumeList[1].VolumeType, VOLUME_BASIC);
    EXPECT_EQ(g_VolumeList[1].Extents[0].DeviceStart, kLdmTestLogicalStart);
}

TEST_F(DynamicDiscovery, AnotherReaderAcceptsTheWrittenDatabase)
{
    std::string cmd = "ldmtool scan";
    for (const std::string& m : s_Set->Members)
        cmd += " '" + m + "'";
    cmd += " 2>&1";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(cmd.c_str(), "r"), ::pclose);
    if (!pipe)
        GTEST_SKIP() << "cannot run ldmtool";
    std::string output;
    char buf[512];
    while (size_t n = std::fread(buf, 1, sizeof buf, pipe.get()))
        output.append(buf, n);
    if (output.find("not found") != std::string::npos)
        GTEST_SKIP() << "ldmtool is not installed";
    // The reader finds the one disk group, with every member attached.
    EXPECT_NE(output.find(s_Set->Group.GroupGuid), std::string::npos) << output;
    std::string show = "ldmtool";
    for (const std::string& m : s_Set->Members)
        show += " -d '" + m + "'";
    for (const char* name : {"Volume1", "Volume2", "Volume3", "Volume4", "Volume5"})
    {
        const std::string one = show + " show volume " + s_Set->Group.GroupGuid + " " + name + " 2>&1";
        std::unique_ptr<FILE, int (*)(FILE*)> p(::popen(one.c_str(), "r"), ::pclose);
        std::string text;
        while (size_t n = std::fread(buf, 1, sizeof buf, p.get()))
            text.append(buf, n);
        EXPECT_NE(text.find("\"size\" : " + std::to_string(kFlatSectors)), std::string::npos) << name << ": " << text;
    }
}
