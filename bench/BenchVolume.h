#pragma once
// A volume over a benchmark's buffer of 512-byte sectors, borrowed, not copied: the buffers are
// a gigabyte, and a scan benchmark must measure the scan, not a copy.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "volume/IVolumeIO.h"

class KBenchVolume final : public IVolumeIO
{
public:
    static constexpr uint32_t kSector = 512;

    explicit KBenchVolume(const std::vector<uint8_t>& data) : m_Data(data) {}
    uint32_t ReadSectors(uint64_t first, void* buffer, uint32_t count) override
    {
        if (first > m_Data.size() / kSector || count > m_Data.size() / kSector - first) return 1100;
        std::memcpy(buffer, m_Data.data() + first * kSector, uint64_t(count) * kSector);
        return 0;
    }
    uint32_t GetDeviceKind(uint32_t* kind) override
    {
        *kind = 3;
        return 0;
    }
    uint32_t GetVolumeType(uint32_t* type) override
    {
        *type = 1;
        return 0;
    }
    uint32_t GetGeometry(tagDiskGeometry* g) override
    {
        *g = tagDiskGeometry{};
        g->BytesPerSector = kSector;
        g->TotalSectors = g->TotalSectors512 = m_Data.size() / kSector;
        return 0;
    }
    uint32_t GetDescription(std::string* text) override
    {
        *text = "bench";
        return 0;
    }
    bool IsRemovable() override { return false; }
    int32_t GetIndex() override { return 0; }
    uint32_t GetName(std::string* name) override
    {
        *name = "bench";
        return 0;
    }
    bool Open(const tagVolumeInfo*, uint32_t) override { return true; }

private:
    const std::vector<uint8_t>& m_Data;
};
