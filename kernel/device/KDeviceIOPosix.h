#pragma once
// IDeviceIO over a Linux block device or a disk image (raw, split raw or a container format read
// through OsImage), opened read-only through the platform layer. An image given with a rescue
// map fails every read that touches a byte the map does not mark as rescued, exactly as a disk
// fails on its bad sectors, so the salvaging reads above count those sectors as unreadable. Device numbers index OsDeviceTable. Capacity follows the three-source rule:
// the cylinder geometry G, the byte length A and the SCSI capacity B; the largest source that
// lies no more than one cylinder beyond G wins, so a cylinder-truncated geometry does not hide
// the disk's last sectors while a bogus answer far beyond it is ignored.
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "device/IDeviceIO.h"

class OsImage;
class RescueMap;
struct OsDeviceEntry;

class KDeviceIOPosix final : public IDeviceIO
{
public:
    KDeviceIOPosix();
    ~KDeviceIOPosix() override;

    uint32_t Open(uint32_t kind, uint32_t number) override;
    uint32_t Close() override;
    bool IsOpen() override { return m_Fd >= 0 || m_pImage != nullptr; }
    int32_t GetNumber() override { return m_Number; }
    uint32_t ReadSectors(uint64_t firstSector, void* buffer, uint32_t count) override;
    uint32_t GetKind(uint32_t* kind) override;
    uint32_t GetGeometry(tagDiskGeometry* geometry) override;
    uint32_t GetDescription(std::string* text) override;
    bool IsRemovable() override;
    bool SectorSizeIsAssumed() override { return m_bSectorSizeAssumed; }
    uint32_t SetSectorSize(uint32_t bytesPerSector) override;
    void AdviseSequential() override;

    // The capacity rule itself, pure so that it can be tested without a device:
    // G = cylinders x heads x sectors per track; B and A (0 = unknown) are taken when they lie
    // in [chosen, (cylinders + 1) x heads x sectors per track].
    static uint64_t ChooseTotalSectors(uint64_t cylinders, uint32_t heads, uint32_t sectorsPerTrack,
                                       uint64_t scsiBlocks, uint64_t lengthSectors);

private:
    uint32_t QueryGeometry();
    uint32_t OpenImage(const OsDeviceEntry& entry);

    int m_Fd = -1;
    int32_t m_Kind = -1;
    int32_t m_Number = -1;
    tagDiskGeometry m_Geometry;
    std::string m_Path;
    std::string m_SysName;
    bool m_IsImage = false;
    uint32_t m_dwImageSectorSize = 0; // given by the user or found in the image; 0 unknown
    bool m_bSectorSizeAssumed = false;
    std::unique_ptr<OsImage> m_pImage; // an image's reader (m_Fd stays -1)
    std::unique_ptr<RescueMap> m_pMap; // the image's rescue map, when one was given
    std::mutex m_ImageLock;            // one read at a time through a library image reader
};
