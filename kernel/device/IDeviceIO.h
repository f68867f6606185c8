#pragma once
// The engine's only door to a storage device: open by kind and number, geometry, description,
// whole-sector reads at a 64-bit sector number. Objects are created and destroyed only through
// KDeviceManager. Every operation returns a system error number (0 = success). ReadSectors may
// be called from several threads at once (a scan reads ahead while the deep scan's types read on
// through the device).
#include <cstdint>
#include <string>

#include "base/DeviceKind.h"

// Filled by IDeviceIO::GetGeometry and IVolumeIO::GetGeometry. Field order is fixed: device
// objects copy their cached block in one piece.
struct tagDiskGeometry
{
    uint32_t Cylinders = 0;         // low 32 bits of the cylinder count
    uint32_t TracksPerCylinder = 0; // heads
    uint32_t SectorsPerTrack = 0;
    uint32_t BytesPerSector = 0;
    uint64_t TotalSectors = 0;    // capacity in BytesPerSector units, used for bounds checks
    uint64_t TotalSectors512 = 0; // TotalSectors * (BytesPerSector / 512)
};

class IDeviceIO
{
public:
    virtual ~IDeviceIO() = default;
    virtual uint32_t Open(uint32_t kind, uint32_t number) = 0;
    virtual uint32_t Close() = 0;
    virtual bool IsOpen() = 0;
    virtual int32_t GetNumber() = 0;
    /// Reads `count` whole sectors at `firstSector` into `buffer`; all or nothing.
    /// 1100 past the end of the device, 30 on a short read, else the platform's error.
    virtual uint32_t ReadSectors(uint64_t firstSector, void* buffer, uint32_t count) = 0;
    virtual uint32_t GetKind(uint32_t* kind) = 0;
    virtual uint32_t GetGeometry(tagDiskGeometry* geometry) = 0;
    virtual uint32_t GetDescription(std::string* text) = 0;
    virtual bool IsRemovable() = 0;
    /// True for a disk-image file whose sector size nothing has told yet: it is read in 512-byte
    /// sectors until SetSectorSize says otherwise.
    virtual bool SectorSizeIsAssumed() { return false; }
    /// From now on (and whenever it is opened again) reads such an image in sectors of
    /// `bytesPerSector` (512, 1024, 2048 or 4096). 1 (invalid function) for a device that knows
    /// its own sector size, 87 for another size.
    virtual uint32_t SetSectorSize(uint32_t /*bytesPerSector*/) { return 1; }
    /// The device is about to be read from start to end; only a hint to the system.
    virtual void AdviseSequential() {}
};
