#pragma once
// The volume record: what kind of volume, which file system its first sector holds, the name
// the user knows it by, its size and the runs of device sectors that make it up.
#include <cstdint>
#include <string>
#include <vector>

class IVolumeIO;

struct tagVolumeExtent
{
    int32_t ColumnIndex = 0;   // member position in a striped or RAID-5 set; 0 otherwise
    uint32_t DeviceKind = 0;   // kind to open the device with (DeviceKind)
    uint32_t DeviceNumber = 0; // number to open the device with
    uint64_t DeviceStart = 0;  // first sector of the run on the device
    uint64_t VolumeStart = 0;  // sector within the volume at which the run begins
    uint64_t SectorCount = 0;  // length of the run in sectors
};

struct tagVolumeInfo
{
    int32_t VolumeType = 0;               // VolumeType
    int32_t PartitionType = -1;           // FileSystemTypeCode derived from the boot sector
    std::string Drive;                    // "A:", "B:", a mount point, or empty
    std::string Label;                    // volume label, empty when none
    std::vector<tagVolumeExtent> Extents; // in volume order
    uint64_t SectorCount = 0;             // size in sectors of its device
    uint32_t StripeSize = 0;              // stripe unit in sectors (striped and RAID-5), else 0
    IVolumeIO* VolumeIO = nullptr; // owned by the record while it is in the volume list; copying copies the pointer
};
