#include "core/DeviceAccess.h"

#include <memory>

#include <unistd.h>

#include "base/DeviceKind.h"
#include "base/VlmErrors.h"
#include "device/KDeviceIOPosix.h"
#include "format/rescuemap/RescueMap.h"
#include "os/OsAdminOpener.h"
#include "os/OsDeviceTable.h"
#include "os/OsError.h"
#include "os/OsFile.h"
#include "os/OsImage.h"
#include "os/OsRescueMapFile.h"

void DeviceAccess::AddImage(const std::string& path, const std::string& mapPath, uint32_t sectorSize)
{
    OsDeviceTable::Instance().RegisterImage(path, sectorSize, mapPath);
}

void DeviceAccess::AddFloppyImage(const std::string& path) { OsDeviceTable::Instance().RegisterFloppyImage(path); }

std::string DeviceAccess::DevicePath(uint32_t kind, uint32_t number)
{
    OsDeviceEntry entry;
    if (!OsDeviceTable::Instance().Lookup(kind, number, &entry)) return {};
    return entry.Path;
}

uint32_t DeviceAccess::UseImageOnly(const std::string& path)
{
    OsDeviceTable& table = OsDeviceTable::Instance();
    table.SetMachineDevicesEnabled(false);
    const uint32_t number = table.HardDiskCount();
    table.RegisterImage(path);
    return number;
}

std::unique_ptr<IDeviceIO> DeviceAccess::NewDiskDevice() { return std::make_unique<KDeviceIOPosix>(); }

bool DeviceAccess::OpenDisk(IDeviceIO& device, uint32_t number, std::string* error)
{
    const uint32_t rc = device.Open(DEVICE_HARDDISK, number);
    if (rc == ERROR_SUCCESS) return true;
    *error = OsErrorText(rc);
    return false;
}

bool DeviceAccess::CheckImage(const std::string& path, std::string* error)
{
    if (OsIsFolder(path))
    {
        *error = "cannot open the image '" + path + "': " + OsErrorText(ERROR_DIRECTORY);
        return false;
    }
    std::unique_ptr<OsImage> image;
    std::string why;
    if (const uint32_t rc = OsOpenImage(path, &image, &why); rc != ERROR_SUCCESS)
    {
        *error = "cannot open the image '" + path + "': " + (why.empty() ? OsErrorText(rc) : why);
        return false;
    }
    const uint64_t bytes = image->Length();
    // Nothing shorter than one sector holds a partition table or a file system.
    constexpr uint64_t kSmallestImage = 512;
    if (bytes < kSmallestImage)
    {
        *error = "'" + path + "' is too small to be a disk image (" + std::to_string(bytes) + " bytes)";
        return false;
    }
    return true;
}

bool DeviceAccess::CheckMap(const std::string& mapPath, const std::string& imagePath, std::string* error,
                            std::string* warning)
{
    warning->clear();
    RescueMap map;
    std::string why;
    if (const uint32_t rc = OsLoadRescueMap(mapPath, &map, &why); rc != ERROR_SUCCESS)
    {
        *error = "cannot read the rescue map '" + mapPath + "': " + (why.empty() ? OsErrorText(rc) : why);
        return false;
    }
    std::unique_ptr<OsImage> image;
    if (OsOpenImage(imagePath, &image) == ERROR_SUCCESS && map.End() < image->Length())
        *warning = "the rescue map '" + mapPath + "' covers " + std::to_string(map.End()) + " of the " +
            std::to_string(image->Length()) + " bytes of '" + imagePath + "'; the rest counts as unreadable";
    return true;
}

void DeviceAccess::SetMachineDisks(bool listed) { OsDeviceTable::Instance().SetMachineDevicesEnabled(listed); }

EDiskRights DeviceAccess::DiskRights()
{
    if (::geteuid() == 0 || !OsDeviceTable::Instance().MachineDevicesEnabled()) return EDiskRights::NotNeeded;
    switch (OsAdminOpener::Instance().GetState())
    {
    case OsAdminOpener::State::Off: return EDiskRights::NotAsked;
    case OsAdminOpener::State::Ready: return EDiskRights::Asked;
    case OsAdminOpener::State::Running: return EDiskRights::Granted;
    case OsAdminOpener::State::Unavailable: return EDiskRights::Unavailable;
    case OsAdminOpener::State::Refused: return EDiskRights::Refused;
    }
    return EDiskRights::NotAsked;
}

void DeviceAccess::AskForDiskRights() { OsAdminOpener::Instance().SetEnabled(true); }

void DeviceAccess::AskForDiskRightsWhenNeeded()
{
    if (DiskRights() != EDiskRights::NotNeeded) AskForDiskRights();
}
