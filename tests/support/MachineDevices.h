#pragma once
// Tests that need a real block device: an image attached read-only to a loop device (needs
// root and losetup; tests skip without them), and a switch that lets one test see the
// machine's disks, which every other test keeps hidden.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/wait.h>

#include "device/IDeviceIO.h"
#include "os/OsDeviceTable.h"

// Runs a shell command and returns its first output line; false when it fails.
inline bool RunForLine(const std::string& command, std::string* line)
{
    FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
    if (pipe == nullptr) return false;
    char buffer[256] = {};
    const bool got = std::fgets(buffer, sizeof(buffer), pipe) != nullptr;
    const int status = ::pclose(pipe);
    if (!got || status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return false;
    *line = buffer;
    while (!line->empty() && (line->back() == '\n' || line->back() == '\r')) line->pop_back();
    return !line->empty();
}

// An image attached read-only to a free loop device, detached again at the end.
class ReadOnlyLoop
{
public:
    explicit ReadOnlyLoop(const std::string& image)
    {
        if (!RunForLine("losetup -r -f --show '" + image + "'", &m_Node)) m_Node.clear();
    }
    ~ReadOnlyLoop()
    {
        if (!m_Node.empty()) std::system(("losetup -d " + m_Node + " 2>/dev/null").c_str());
    }
    ReadOnlyLoop(const ReadOnlyLoop&) = delete;
    ReadOnlyLoop& operator=(const ReadOnlyLoop&) = delete;
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
    MachineDevicesOn(const MachineDevicesOn&) = delete;
    MachineDevicesOn& operator=(const MachineDevicesOn&) = delete;

    // The hard-disk number of the device node `path`, or UINT32_MAX.
    static uint32_t HardDiskNumber(const std::string& path)
    {
        OsDeviceTable& table = OsDeviceTable::Instance();
        for (uint32_t i = 0; i < table.HardDiskCount(); ++i)
        {
            OsDeviceEntry entry;
            if (table.Lookup(DEVICE_HARDDISK, i, &entry) && entry.Path == path) return i;
        }
        return UINT32_MAX;
    }

private:
    bool m_Old;
};
