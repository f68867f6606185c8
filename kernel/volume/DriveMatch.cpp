#include "volume/DriveMatch.h"

#include <algorithm>

#include "os/OsDeviceTable.h"
#include "os/OsMounts.h"
#include "format/FileSystemType.h"
#include "volume/VolumeTypes.h"

bool BootSectorSerial(ByteView sector, uint32_t* serial)
{
    size_t off = 0;
    switch (FileSystemTypeFromBoot(sector))
    {
    case FS_TYPE_FAT12:
    case FS_TYPE_FAT16: off = 39; break;
    case FS_TYPE_FAT32: off = 67; break;
    case FS_TYPE_NTFS: off = 72; break;
    case FS_TYPE_EXFAT: off = 100; break;
    default: return false;
    }
    return LoadU32LE(sector, off, *serial);
}

std::vector<tagDrivePair> ListDrivePairs()
{
    std::vector<tagDrivePair> pairs;
    if (!OsDeviceTable::Instance().MachineDevicesEnabled()) return pairs;
    for (const OsMountedDevice& mount : OsListBlockMounts())
    {
        // Floppies keep their own names ("A:", "B:") and are not matched.
        if (mount.DevicePath.rfind("/dev/fd", 0) == 0) continue;
        std::vector<uint8_t> sector;
        uint32_t serial = 0;
        if (OsReadFirstSector(mount.DevicePath, &sector) && BootSectorSerial(sector, &serial))
            pairs.push_back({mount.MountPoint, serial});
    }
    return pairs;
}

bool TakeDriveForSerial(uint32_t serial, std::vector<tagDrivePair>* pairs, std::string* drive)
{
    const auto same = [serial](const tagDrivePair& p) { return p.Serial == serial; };
    if (std::count_if(pairs->begin(), pairs->end(), same) != 1) return false;
    const auto it = std::find_if(pairs->begin(), pairs->end(), same);
    *drive = it->Drive;
    pairs->erase(it);
    return true;
}
