#pragma once
// A volume served from a byte buffer. Whole scans, tree building and copy-out run on an
// in-memory image with it, in tests and fuzzers; it never touches a device.
#include <atomic>
#include <cstdint>
#include <vector>

#include "volume/IVolumeIO.h"

class KMemoryVolumeIO final : public IVolumeIO
{
public:
    /// The image is copied; its size need not be a multiple of the sector size (the tail of a
    /// partial last sector is not readable).
    KMemoryVolumeIO(std::vector<uint8_t> image, uint32_t bytesPerSector = 512, uint32_t deviceKind = 3);

    uint32_t ReadSectors(uint64_t firstSector, void* buffer, uint32_t count) override;
    uint32_t GetDeviceKind(uint32_t* kind) override;
    uint32_t GetVolumeType(uint32_t* type) override;
    uint32_t GetGeometry(tagDiskGeometry* geometry) override;
    uint32_t GetDescription(std::string* text) override;
    bool IsRemovable() override { return false; }
    int32_t GetIndex() override { return m_Index; }
    uint32_t GetName(std::string* name) override;
    bool Open(const tagVolumeInfo* record, uint32_t index) override;

    /// Sectors in [first, first + count) fail to read with 1117 (simulated bad sectors).
    void SetBadRange(uint64_t first, uint64_t count)
    {
        m_BadFirst = first;
        m_BadCount = count;
    }
    void SetName(std::string name) { m_Name = std::move(name); }
    const std::vector<uint8_t>& Image() const { return m_Image; }
    uint64_t ReadCount() const { return m_ReadCount.load(std::memory_order_relaxed); }

private:
    std::vector<uint8_t> m_Image;
    uint32_t m_BytesPerSector;
    uint32_t m_DeviceKind;
    int32_t m_Index = 0;
    std::string m_Name;
    uint32_t m_VolumeType = 1;
    uint64_t m_BadFirst = 0;
    uint64_t m_BadCount = 0;
    std::atomic<uint64_t> m_ReadCount{0}; // reads may come from several threads
};
