#pragma once
// The sector stream every file system, the deep scan and every recovered-file stream reads.
// Sector numbers are volume-relative; sector 0 is the first sector of the first extent.
// ReadSectors is all or nothing: on a non-zero result the buffer content is undefined.
// 1627 means no device is behind the volume (not opened, or a member missing).
// ReadSectors may be called from several threads at once: the scan reads ahead on its own
// thread while the deep scan's file types read on through the volume from theirs.
#include <cstdint>
#include <string>

#include "device/IDeviceIO.h"
#include "volume/tagVolumeInfo.h"

class IVolumeIO
{
public:
    virtual ~IVolumeIO() = default;
    virtual uint32_t ReadSectors(uint64_t firstSector, void* buffer, uint32_t count) = 0;
    virtual uint32_t GetDeviceKind(uint32_t* kind) = 0;
    virtual uint32_t GetVolumeType(uint32_t* type) = 0;
    /// TotalSectors is the volume's own size, not the device's.
    virtual uint32_t GetGeometry(tagDiskGeometry* geometry) = 0;
    virtual uint32_t GetDescription(std::string* text) = 0;
    virtual bool IsRemovable() = 0;
    /// The record's position in the volume manager's list, as given to Open.
    virtual int32_t GetIndex() = 0;
    virtual uint32_t GetName(std::string* name) = 0;
    virtual bool Open(const tagVolumeInfo* record, uint32_t index) = 0;
    /// The volume is about to be read from start to end; only a hint, passed on to the device.
    /// Last in the table: plug-ins built against the older interface call the slots above.
    virtual void AdviseSequential() {}
};
