#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "base/VlmErrors.h"
#include "device/KDeviceManager.h"
#include "os/OsDeviceTable.h"
#include "support/TestFiles.h"

namespace
{
// Runs a shell command and returns its first output line; false when it fails.
bool RunForLine(const std::string& command, std::string* line)
{
    FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
    if (pipe == nullptr)
        return false;
    char buffer[256] = {};
    const bool got = std::fgets(buffer, sizeof(buffer), pipe) != nullptr;
    const int status = ::pclose(pipe);
    if (!got || status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return false;
    *line = buffer;
    while (!line->empty() && (line->back() == '\n' || line->back() == '\r'))
        line->pop_back();
    return !line->empty();
}

// An image attached read-only to a free loop device, detached again at the end.
class ReadOnlyLoop
{
public:
    explicit ReadOnlyLoop(const std::string& image)
    {
        if (!RunForLine("losetup -r -f --show '" + image + "'", &m_Node))
            m_Node.clear();
    }
    ~ReadOnlyLoop()
    {
        if (!m_Node.empty())
            std::system(("losetup -d " + m_Node + " 2>/dev/null").c_str());
    }
    const std::string& Node() const { return m_Node; }

private:
    std::string m_Node;
};

// Lets this test see the machine's disks; everywhere else tests keep them switched off.
class MachineDevicesOn
{
public:
    MachineDevicesOn() : m_Old(OsDeviceTable::Instance().MachineDevicesEnabled())
    {
        OsDeviceTable::Instance().SetMachineDevicesEnabled(true);
    }
    ~MachineDevicesOn() { OsDeviceTable::Instance().SetMachineDevicesEnabled(m_Old); }

private:
    bool m_Old;
};
} // namespace

// A block device goes through the same path as an image: table number, read-only open,
// geometry from the device, whole-sector reads that match the bytes underneath.
TEST(LoopDevice, ReadsEveryByteOfAnAttachedImage)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "attaching a loop device needs root";
    TempDir dir;
    const std::string image = dir.File("loop.img");
    const uint32_t sectors = 2 * 16065 + 37; // not a whole number of 255 x 63 cylinders
    const std::vector<uint8_t> bytes = PatternBytes(size_t{sectors} * 512, 11);
    WriteFileBytes(image, bytes);
    ReadOnlyLoop loop(image);
    if (loop.Node().empty())
        GTEST_SKIP() << "losetup is not available here";

    MachineDevicesOn machine;
    OsDeviceTable& table = OsDeviceTable::Instance();
    uint32_t number = UINT32_MAX;
    for (uint32_t i = 0; i < table.HardDiskCount(); ++i)
    {
        OsDeviceEntry entry;
        if (table.Lookup(DEVICE_HARDDISK, i, &entry) && entry.Path == loop.Node())
            number = i;
    }
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
