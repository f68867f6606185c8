#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <unistd.h>
#include <vector>

#include "base/VlmErrors.h"
#include "device/KDeviceManager.h"
#include "os/OsDeviceTable.h"
#include "support/MachineDevices.h"
#include "support/TestFiles.h"

// A block device goes through the same path as an image: table number, read-only open,
// geometry from the device, whole-sector reads that match the bytes underneath.
TEST(LoopDevice, ReadsEveryByteOfAnAttachedImage)
{
    if (::geteuid() != 0) GTEST_SKIP() << "attaching a loop device needs root";
    TempDir dir;
    const std::string image = dir.File("loop.img");
    const uint32_t sectors = 2 * 16065 + 37; // not a whole number of 255 x 63 cylinders
    const std::vector<uint8_t> bytes = PatternBytes(size_t{sectors} * 512, 11);
    WriteFileBytes(image, bytes);
    ReadOnlyLoop loop(image);
    if (loop.Node().empty()) GTEST_SKIP() << "losetup is not available here";

    MachineDevicesOn machine;
    const uint32_t number = MachineDevicesOn::HardDiskNumber(loop.Node());
    ASSERT_NE(number, UINT32_MAX) << loop.Node() << " is missing from the hard-disk table";

    KDeviceManager manager;
    IDeviceIO* dev = manager.CreateDevice();
    ASSERT_NE(dev, nullptr);
    ASSERT_EQ(dev->Open(DEVICE_HARDDISK, number), ERROR_SUCCESS);
    tagDiskGeometry geo;
    ASSERT_EQ(dev->GetGeometry(&geo), ERROR_SUCCESS);
    EXPECT_EQ(geo.BytesPerSector, 512u);
    ASSERT_EQ(geo.TotalSectors, sectors);

    std::vector<uint8_t> read(bytes.size());
    constexpr uint32_t kChunk = 256;
    for (uint32_t s = 0; s < sectors; s += kChunk)
    {
        const uint32_t count = std::min(kChunk, sectors - s);
        ASSERT_EQ(dev->ReadSectors(s, read.data() + size_t{s} * 512, count), ERROR_SUCCESS) << "sector " << s;
    }
    EXPECT_TRUE(read == bytes);
    EXPECT_EQ(dev->ReadSectors(sectors - 1, read.data(), 2), ERROR_END_OF_MEDIA);
    EXPECT_EQ(dev->Close(), ERROR_SUCCESS);
    manager.DestroyDevice(dev);
}
