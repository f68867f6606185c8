#include <gtest/gtest.h>

#include "base/VlmErrors.h"
#include "device/KDeviceManager.h"
#include "os/OsDeviceTable.h"
#include "support/TestFiles.h"
#include "volume/KBasicVolumeIO.h"
#include "volume/VolumeTypes.h"

namespace {

tagVolumeInfo PartitionRecord(uint64_t start, uint64_t count)
{
    tagVolumeInfo rec;
    rec.VolumeType = VOLUME_BASIC;
    rec.SectorCount = count;
    tagVolumeExtent ext;
    ext.DeviceKind = DEVICE_HARDDISK;
    ext.DeviceNumber = 0;
    ext.DeviceStart = start;
    ext.SectorCount = count;
    rec.Extents.push_back(ext);
    return rec;
}

} // namespace

TEST(BasicVolume, ReadsDeviceSectorsFromItsStart)
{
    TempDir dir;
    const std::vector<uint8_t> bytes = PatternBytes(200 * 512, 3);
    WriteFileBytes(dir.File("d.img"), bytes);
    OsDeviceTable::Instance().ClearImages();
    OsDeviceTable::Instance().RegisterImage(dir.File("d.img"));

    const size_t devicesBefore = g_DeviceList.size();
    {
        KBasicVolumeIO vol;
        tagVolumeInfo rec = PartitionRecord(63, 100);
        ASSERT_TRUE(vol.Open(&rec, 5));
        std::vector<uint8_t> buf(512);
        ASSERT_EQ(vol.ReadSectors(0, buf.data(), 1), ERROR_SUCCESS);
        EXPECT_TRUE(std::equal(buf.begin(), buf.end(), bytes.begin() + 63 * 512));
        // Past the partition's end the next device sectors are read, refused only at the device end.
        ASSERT_EQ(vol.ReadSectors(100, buf.data(), 1), ERROR_SUCCESS);
        EXPECT_TRUE(std::equal(buf.begin(), buf.end(), bytes.begin() + 163 * 512));
        EXPECT_EQ(vol.ReadSectors(137, buf.data(), 1), ERROR_END_OF_MEDIA);

        tagDiskGeometry geo;
        ASSERT_EQ(vol.GetGeometry(&geo), ERROR_SUCCESS);
        EXPECT_EQ(geo.TotalSectors, 100u);
        EXPECT_EQ(g_DeviceList.size(), devicesBefore + 1);
    }
    EXPECT_EQ(g_DeviceList.size(), devicesBefore); // the volume returned its device
    OsDeviceTable::Instance().ClearImages();
}
