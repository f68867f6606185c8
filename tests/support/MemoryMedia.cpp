#include "support/MemoryMedia.h"

#include <algorithm>
#include <cstring>

MemorySectors::MemorySectors(uint64_t totalSectors, uint32_t bytesPerSector)
    : m_Bps(bytesPerSector ? bytesPerSector : 512), m_Total(totalSectors)
{}

MemorySectors::MemorySectors(std::vector<uint8_t> image, uint32_t bytesPerSector)
    : m_Bps(bytesPerSector ? bytesPerSector : 512), m_Owned(std::move(image)), m_Image(m_Owned)
{
    m_Total = ImageSectors();
}

MemorySectors::MemorySectors(BorrowTag, std::span<const uint8_t> image, uint32_t bytesPerSector)
    : m_Bps(bytesPerSector ? bytesPerSector : 512), m_Image(image)
{
    m_Total = ImageSectors();
}

MemorySectors::MemorySectors(MemorySectors&& other) noexcept
    : Unreadable(std::move(other.Unreadable)), Weak(std::move(other.Weak)), FaultCode(other.FaultCode),
      CountSectorReads(other.CountSectorReads), m_Bps(other.m_Bps), m_Total(other.m_Total),
      m_Owned(std::move(other.m_Owned)), m_Image(other.m_Image), m_ImageFirst(other.m_ImageFirst),
      m_Overlay(std::move(other.m_Overlay)), m_BadFirst(other.m_BadFirst), m_BadCount(other.m_BadCount),
      m_Reads(other.m_Reads.load()), m_Largest(other.m_Largest), m_PastEnd(other.m_PastEnd),
      m_WeakRead(std::move(other.m_WeakRead)), m_SectorReads(std::move(other.m_SectorReads))
{
    // A moved vector keeps its buffer, so a view of an owned image stays valid; re-aim it anyway
    // so that the two never depend on that.
    if (!m_Owned.empty()) m_Image = m_Owned;
}

void MemorySectors::PlaceImageAt(uint64_t first)
{
    m_Total = m_Total - std::min(m_Total, m_ImageFirst) + first;
    m_ImageFirst = first;
}

std::vector<uint8_t>& MemorySectors::Sector(uint64_t n)
{
    std::vector<uint8_t>& s = m_Overlay[n];
    if (s.empty())
    {
        s.assign(m_Bps, 0);
        if (n >= m_ImageFirst && n - m_ImageFirst < ImageSectors())
            std::memcpy(s.data(), m_Image.data() + (n - m_ImageFirst) * m_Bps, m_Bps);
    }
    return s;
}

void MemorySectors::Put(uint64_t first, std::span<const uint8_t> bytes)
{
    for (size_t off = 0; off < bytes.size(); off += m_Bps)
    {
        const std::span<const uint8_t> part = bytes.subspan(off, std::min<size_t>(m_Bps, bytes.size() - off));
        if (std::all_of(part.begin(), part.end(), [](uint8_t b) { return b == 0; })) continue;
        std::copy(part.begin(), part.end(), Sector(first + off / m_Bps).begin());
    }
}

bool MemorySectors::Fails(uint64_t first, uint32_t count)
{
    const uint64_t end = first + count;
    bool fails = m_BadCount != 0 && first < m_BadFirst + m_BadCount && end > m_BadFirst;
    fails |= Unreadable.lower_bound(first) != Unreadable.lower_bound(end);
    for (auto it = Weak.lower_bound(first); it != Weak.end() && *it < end; ++it) fails |= m_WeakRead.insert(*it).second;
    if (CountSectorReads)
        for (uint64_t s = first; s < end; ++s) ++m_SectorReads[s];
    return fails;
}

uint32_t MemorySectors::Read(uint64_t first, void* buffer, uint32_t count)
{
    m_Reads.fetch_add(1, std::memory_order_relaxed);
    {
        const std::lock_guard<std::mutex> hold(m_Lock);
        m_Largest = std::max(m_Largest, count);
        if (first > m_Total || count > m_Total - first)
        {
            ++m_PastEnd;
            return ERROR_END_OF_MEDIA;
        }
        if (Fails(first, count)) return FaultCode;
    }
    if (count == 0) return ERROR_SUCCESS;
    auto* out = static_cast<uint8_t*>(buffer);
    const uint64_t end = first + count;
    const uint64_t from = std::max(first, m_ImageFirst);
    const uint64_t to = std::min(end, m_ImageFirst + ImageSectors());
    if (from >= to)
        std::memset(out, 0, size_t{count} * m_Bps);
    else
    {
        std::memset(out, 0, (from - first) * m_Bps);
        std::memcpy(out + (from - first) * m_Bps, m_Image.data() + (from - m_ImageFirst) * m_Bps, (to - from) * m_Bps);
        std::memset(out + (to - first) * m_Bps, 0, (end - to) * m_Bps);
    }
    for (auto it = m_Overlay.lower_bound(first); it != m_Overlay.end() && it->first < end; ++it)
        std::memcpy(out + (it->first - first) * m_Bps, it->second.data(), m_Bps);
    return ERROR_SUCCESS;
}

void MemorySectors::FillGeometry(tagDiskGeometry* geometry) const
{
    *geometry = {};
    geometry->BytesPerSector = m_Bps;
    geometry->TracksPerCylinder = 255;
    geometry->SectorsPerTrack = 63;
    geometry->Cylinders = static_cast<uint32_t>(m_Total / (255 * 63));
    geometry->TotalSectors = m_Total;
    geometry->TotalSectors512 = m_Total * (m_Bps / 512);
}

uint32_t MemorySectors::LargestRead() const
{
    const std::lock_guard<std::mutex> hold(m_Lock);
    return m_Largest;
}

int MemorySectors::ReadsPastEnd() const
{
    const std::lock_guard<std::mutex> hold(m_Lock);
    return m_PastEnd;
}

std::map<uint64_t, int> MemorySectors::SectorReads() const
{
    const std::lock_guard<std::mutex> hold(m_Lock);
    return m_SectorReads;
}

uint32_t MemoryDisk::GetKind(uint32_t* kind)
{
    *kind = m_Kind;
    return ERROR_SUCCESS;
}

uint32_t MemoryDisk::GetGeometry(tagDiskGeometry* geometry)
{
    FillGeometry(geometry);
    return ERROR_SUCCESS;
}

uint32_t MemoryDisk::GetDescription(std::string* text)
{
    *text = "Memory Disk";
    return ERROR_SUCCESS;
}

uint32_t MemoryVolume::GetDeviceKind(uint32_t* kind)
{
    *kind = m_DeviceKind;
    return ERROR_SUCCESS;
}

uint32_t MemoryVolume::GetVolumeType(uint32_t* type)
{
    *type = m_VolumeType;
    return ERROR_SUCCESS;
}

uint32_t MemoryVolume::GetGeometry(tagDiskGeometry* geometry)
{
    FillGeometry(geometry);
    return ERROR_SUCCESS;
}

uint32_t MemoryVolume::GetDescription(std::string* text)
{
    *text = "Memory Image";
    return ERROR_SUCCESS;
}

uint32_t MemoryVolume::GetName(std::string* name)
{
    *name = m_Name;
    return ERROR_SUCCESS;
}

bool MemoryVolume::Open(const tagVolumeInfo* record, uint32_t index)
{
    m_Index = static_cast<int32_t>(index);
    if (record)
    {
        m_Name = record->Drive;
        m_VolumeType = static_cast<uint32_t>(record->VolumeType);
    }
    return true;
}
