// A dynamic disk on GPT built in memory, large enough for the gap search: the database read
// through the LDM metadata partition (from the backup table when the primary copy is damaged),
// its member placed from the LDM data partition, and its LDM partitions neither listed as
// basic volumes nor searched for deleted ones.
#include <gtest/gtest.h>

#include <cstdlib>

#include "DynamicImages.h"
#include "GptImages.h"
#include "LdmWriter.h"
#include "support/TestFiles.h"
#include "volume/LdmReader.h"
#include "volume/PartitionTable.h"
#include "volume/VolumeDiscovery.h"
#include "volume/VolumeTypes.h"

TEST(GptDynamicDisk, DataPartitionBelongsToTheDatabaseAndIsNoGap)
{
    TempDir dir;
    const std::string fatPath = dir.File("fat32.img");
    const std::string cmd = "mkfs.fat -C -F 32 -s 1 -n GPTDYN -i 0c0ffee0 '" + fatPath + "' " +
        std::to_string(kFlatSectors / 2) + " >/dev/null 2>&1";
    if (std::system(cmd.c_str()) != 0) GTEST_SKIP() << "mkfs.fat is not available";
    const std::vector<uint8_t> fat32 = ReadFileBytes(fatPath);
    ASSERT_EQ(fat32.size(), kFlatSectors * 512);

    LdmTestGroup group;
    group.DiskGuids = {"3e4f5a6b-7c8d-4e9f-a0b1-c2d3e4f5a6b7"};
    LdmTestVolume simple{"Volume1", false, kFlatSectors, 0x0C, {}};
    simple.Components.push_back({2, 0, 0, {{0, 0, 0, kFlatSectors, -1}}});
    group.Volumes = {simple};
    LdmWriteOptions options;
    options.GptMembers = 1;
    // More than the gap search's threshold of free sectors after the reserved partition.
    options.TotalSectors = kLdmTestGptDataStart + 0x200000 + 4096;
    MemoryDisk disk(options.TotalSectors);
    for (const auto& [first, bytes] : MakeLdmMemberPieces(group, 0, options)) disk.Put(first, bytes);
    disk.Put(kLdmTestGptDataStart, fat32);

    const auto expectSimpleVolume = [&disk]() {
        EXPECT_EQ(DynamicKindOf(&disk), DynamicDiskKind::Gpt);
        std::vector<tagVolumeInfo> dynamic;
        ParseDynamicDisks({&disk}, &dynamic, nullptr, nullptr);
        ASSERT_EQ(dynamic.size(), 1u);
        EXPECT_EQ(dynamic[0].VolumeType, VOLUME_SIMPLE);
        ASSERT_EQ(dynamic[0].Extents.size(), 1u);
        EXPECT_EQ(dynamic[0].Extents[0].DeviceKind, DEVICE_HARDDISK);
        EXPECT_EQ(dynamic[0].Extents[0].DeviceStart, kLdmTestGptDataStart);
        EXPECT_EQ(dynamic[0].Extents[0].SectorCount, kFlatSectors);
    };
    expectSimpleVolume();

    // Only the reserved partition is basic: the FAT32 file system at the start of the data
    // partition is the dynamic volume's, not a deleted partition in free space.
    std::vector<tagVolumeInfo> basic;
    ParseBasicDisk(&disk, &basic, true);
    ASSERT_EQ(basic.size(), 1u);
    EXPECT_EQ(basic[0].VolumeType, VOLUME_BASIC);
    EXPECT_EQ(basic[0].Extents[0].DeviceStart, kLdmTestGptMetadataStart + kLdmTestConfigSectors);

    // The primary GPT header lost: the backup table still leads to the database.
    disk.Erase(1);
    expectSimpleVolume();

    // A GPT without an LDM metadata partition is a basic disk.
    MemoryDisk plain(100000);
    GptTestTable table;
    table.Entries = {{2048, 6143, true}};
    table.WriteTo(plain);
    EXPECT_EQ(DynamicKindOf(&plain), DynamicDiskKind::None);
    std::vector<tagVolumeInfo> none;
    ParseDynamicDisks({&plain}, &none, nullptr, nullptr);
    EXPECT_TRUE(none.empty());
}
