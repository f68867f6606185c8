#include <gtest/gtest.h>

#include <sys/stat.h>

#include "base/VlmErrors.h"
#include "device/KDeviceIOPosix.h"
#include "device/KDeviceManager.h"
#include "os/OsDeviceTable.h"
#include "support/TestFiles.h"

namespace {

// Registers one image as hard disk 0 for the test's lifetime.
class ImageDevice : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_Image = m_Dir.File("disk.img");
        m_Bytes = PatternBytes(100 * 512 + 100, 7); // 100 whole sectors and a partial tail
        WriteFileBytes(m_Image, m_Bytes);
        OsDeviceTable::Instance().ClearImages();
        OsDeviceTable::Instance().RegisterImage(m_Image);
    }
    void TearDown() override { OsDeviceTable::Instance().ClearImages(); }

    TempDir m_Dir;
    std::string m_Image;
    std::vector<uint8_t> m_Bytes;
};

} // namespace

TEST(CapacityRule, LargestSourceWithinOneCylinderWins)
{
    const uint64_t cyl = 1000, heads = 255, spt = 63;
    const uint64_t g = cyl * heads * spt, oneCyl = heads * spt;
    // Length half a cylinder beyond G, SCSI capacity unknown: the length wins.
    EXPECT_EQ(KDeviceIOPosix::ChooseTotalSectors(cyl, 255, 63, 0, g + oneCyl / 2), g + oneCyl / 2);
    // A length more than one cylinder beyond G is ignored.
    EXPECT_EQ(KDeviceIOPosix::ChooseTotalSectors(cyl, 255, 63, 0, g + oneCyl + 1), g);
    // SCSI capacity inside the window, length beyond it: SCSI wins.
    EXPECT_EQ(KDeviceIOPosix::ChooseTotalSectors(cyl, 255, 63, g + 10, g + 5 * oneCyl), g + 10);
    // A length below the SCSI choice is not taken.
    EXPECT_EQ(KDeviceIOPosix::ChooseTotalSectors(cyl, 255, 63, g + 10, g + 5), g + 10);
    // Exactly one cylinder beyond is still inside the window.
    EXPECT_EQ(KDeviceIOPosix::ChooseTotalSectors(cyl, 255, 63, 0, g + oneCyl), g + oneCyl);
}

TEST_F(ImageDevice, ReadsUpToTheEndAndRefusesBeyond)
{
    KDeviceManager manager;
    IDeviceIO* dev = manager.CreateDevice();
    ASSERT_NE(dev, nullptr);
    ASSERT_EQ(dev->Open(DEVICE_HARDDISK, 0), ERROR_SUCCESS);
    tagDiskGeometry geo;
    ASSERT_EQ(dev->GetGeometry(&geo), ERROR_SUCCESS);
    EXPECT_EQ(geo.BytesPerSector, 512u);
    EXPECT_EQ(geo.TotalSectors, 100u);      // the partial tail sector is not part of the device
    EXPECT_EQ(geo.TracksPerCylinder, 255u); // derived 255 x 63 geometry for images
    EXPECT_EQ(geo.SectorsPerTrack, 63u);

    std::vector<uint8_t> buf(2 * 512);
    ASSERT_EQ(dev->ReadSectors(98, buf.data(), 2), ERROR_SUCCESS); // ends exactly at the end
    EXPECT_TRUE(std::equal(buf.begin(), buf.end(), m_Bytes.begin() + 98 * 512));
    EXPECT_EQ(dev->ReadSectors(99, buf.data(), 2), ERROR_END_OF_MEDIA);
    EXPECT_EQ(dev->ReadSectors(~uint64_t{0}, buf.data(), 2), ERROR_END_OF_MEDIA); // no wrap-round
    dev->Close();
    EXPECT_EQ(dev->ReadSectors(0, buf.data(), 1), ERROR_DEVICE_NOT_AVAILABLE);
    EXPECT_TRUE(manager.DestroyDevice(dev));
}

TEST(DeviceOpen, RejectsBadKindsAndNumbers)
{
    KDeviceIOPosix dev;
    EXPECT_EQ(dev.Open(DEVICE_FLOPPY, 2), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(dev.Open(1, 0), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(dev.Open(DEVICE_LOGICAL, 0), ERROR_INVALID_PARAMETER);
    OsDeviceTable::Instance().ClearImages();
    EXPECT_NE(dev.Open(DEVICE_HARDDISK, 0), ERROR_SUCCESS); // machine devices are off in tests
    EXPECT_EQ(dev.GetNumber(), -1);
    EXPECT_FALSE(dev.IsOpen());
    std::vector<uint8_t> buf(512);
    EXPECT_EQ(dev.ReadSectors(0, buf.data(), 1), ERROR_DEVICE_NOT_AVAILABLE);
}
