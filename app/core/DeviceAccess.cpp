#include "core/DeviceAccess.h"

#include <unistd.h>

#include "os/OsAdminOpener.h"
#include "os/OsDeviceTable.h"

void DeviceAccess::AddImage(const std::string& path)
{
    OsDeviceTable::Instance().RegisterImage(path);
}

void DeviceAccess::SetMachineDisks(bool listed)
{
    OsDeviceTable::Instance().SetMachineDevicesEnabled(listed);
}

EDiskRights DeviceAccess::DiskRights()
{
    if (::geteuid() == 0 || !OsDeviceTable::Instance().MachineDevicesEnabled())
        return EDiskRights::NotNeeded;
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

void DeviceAccess::AskForDiskRights()
{
    OsAdminOpener::Instance().SetEnabled(true);
}
