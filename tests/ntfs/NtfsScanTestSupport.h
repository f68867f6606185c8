#pragma once
// Helpers for the full-scan tests: index records built byte by byte and a volume that lies far
// out on a large disk (the scan itself: support/FullScan.h).
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fs/IFileSystem.h"
#include "support/FullScan.h"
#include "tests/ntfs/NtfsRecordBuilder.h"
#include "volume/IVolumeIO.h"

struct IndexEntrySpec
{
    uint64_t number;
    std::vector<uint8_t> fileName; // a $FILE_NAME value (RecordBuilder::FileName)
};

// An index record of `size` bytes at `vcn` as it lies on disk, the stride tails moved into the
// update sequence array.
inline std::vector<uint8_t> BuildIndexRecord(uint64_t vcn, const std::vector<IndexEntrySpec>& entries,
                                             uint32_t size = 4096, uint16_t usn = 0x0202)
{
    std::vector<uint8_t> r(size, 0);
    std::memcpy(r.data(), "INDX", 4);
    const uint16_t count = static_cast<uint16_t>(size / 512 + 1);
    RecordBuilder::Put16(r, 4, 40);
    RecordBuilder::Put16(r, 6, count);
    RecordBuilder::Put64(r, 16, vcn);
    const uint32_t first = 64;
    RecordBuilder::Put32(r, 24, first - 24);
    size_t pos = first;
    for (const IndexEntrySpec& e : entries)
    {
        const uint16_t length = static_cast<uint16_t>((16 + e.fileName.size() + 7) & ~size_t{7});
        RecordBuilder::Put32(r, pos, static_cast<uint32_t>(e.number));
        RecordBuilder::Put16(r, pos + 4, static_cast<uint16_t>(e.number >> 32));
        RecordBuilder::Put16(r, pos + 8, length);
        RecordBuilder::Put16(r, pos + 10, static_cast<uint16_t>(e.fileName.size()));
        std::memcpy(r.data() + pos + 16, e.fileName.data(), e.fileName.size());
        pos += length;
    }
    RecordBuilder::Put16(r, pos + 8, 16); // closing entry
    RecordBuilder::Put16(r, pos + 12, 2);
    pos += 16;
    RecordBuilder::Put32(r, 28, static_cast<uint32_t>(pos - 24));
    RecordBuilder::Put32(r, 32, size - 24);
    RecordBuilder::Put16(r, 40, usn);
    for (uint16_t i = 1; i < count; ++i)
    {
        std::memcpy(r.data() + 40 + 2 * i, r.data() + i * 512 - 2, 2);
        RecordBuilder::Put16(r, i * 512 - 2, usn);
    }
    return r;
}

// A volume whose sectors from `base` on are those of `inner`; everything before reads as
// zeros. It puts a small image beyond 2 TiB without holding 2 TiB.
class FarVolume final : public IVolumeIO
{
public:
    FarVolume(IVolumeIO& inner, uint64_t base) : m_Inner(inner), m_Base(base) {}
    uint32_t ReadSectors(uint64_t first, void* buffer, uint32_t count) override
    {
        tagDiskGeometry g;
        GetGeometry(&g);
        if (first > g.TotalSectors || count > g.TotalSectors - first) return 1100;
        if (first >= m_Base) return m_Inner.ReadSectors(first - m_Base, buffer, count);
        std::memset(buffer, 0, static_cast<size_t>(count) * 512);
        return first + count <= m_Base ? 0 : 87; // the tests never read across the seam
    }
    uint32_t GetDeviceKind(uint32_t* kind) override { return m_Inner.GetDeviceKind(kind); }
    uint32_t GetVolumeType(uint32_t* type) override { return m_Inner.GetVolumeType(type); }
    uint32_t GetGeometry(tagDiskGeometry* g) override
    {
        const uint32_t rc = m_Inner.GetGeometry(g);
        g->TotalSectors += m_Base;
        g->TotalSectors512 = g->TotalSectors;
        return rc;
    }
    uint32_t GetDescription(std::string* text) override { return m_Inner.GetDescription(text); }
    bool IsRemovable() override { return false; }
    int32_t GetIndex() override { return 0; }
    uint32_t GetName(std::string* name) override { return m_Inner.GetName(name); }
    bool Open(const tagVolumeInfo*, uint32_t) override { return true; }

private:
    IVolumeIO& m_Inner;
    uint64_t m_Base;
};
