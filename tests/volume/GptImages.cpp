#include "GptImages.h"

#include <algorithm>
#include <cstring>

#include "base/ByteView.h"
#include "base/Crc32.h"
#include "base/VlmErrors.h"

std::vector<uint8_t>& SparseDisk::Sector(uint64_t n)
{
    std::vector<uint8_t>& s = m_Sectors[n];
    if (s.empty()) s.assign(m_Bps, 0);
    return s;
}

void SparseDisk::Put(uint64_t first, const std::vector<uint8_t>& bytes)
{
    for (size_t off = 0; off < bytes.size(); off += m_Bps)
    {
        const size_t n = std::min<size_t>(m_Bps, bytes.size() - off);
        const auto begin = bytes.begin() + static_cast<long>(off);
        if (std::all_of(begin, begin + static_cast<long>(n), [](uint8_t b) { return b == 0; })) continue;
        std::copy(begin, begin + static_cast<long>(n), Sector(first + off / m_Bps).begin());
    }
}

uint32_t SparseDisk::ReadSectors(uint64_t firstSector, void* buffer, uint32_t count)
{
    LargestRead = std::max(LargestRead, count);
    if (!RangeFits(m_Total, firstSector, count))
    {
        ++ReadsPastEnd;
        return ERROR_END_OF_MEDIA;
    }
    if (Unreadable.lower_bound(firstSector) != Unreadable.lower_bound(firstSector + count)) return ERROR_READ_FAULT;
    auto* out = static_cast<uint8_t*>(buffer);
    std::memset(out, 0, size_t{count} * m_Bps);
    for (auto it = m_Sectors.lower_bound(firstSector); it != m_Sectors.end() && it->first < firstSector + count; ++it)
        std::memcpy(out + (it->first - firstSector) * m_Bps, it->second.data(), m_Bps);
    return ERROR_SUCCESS;
}

uint32_t SparseDisk::GetKind(uint32_t* kind)
{
    *kind = DEVICE_HARDDISK;
    return ERROR_SUCCESS;
}

uint32_t SparseDisk::GetGeometry(tagDiskGeometry* geometry)
{
    *geometry = {};
    geometry->BytesPerSector = m_Bps;
    geometry->TotalSectors = m_Total;
    geometry->TotalSectors512 = m_Total * (m_Bps / 512);
    return ERROR_SUCCESS;
}

uint32_t SparseDisk::GetDescription(std::string* text)
{
    *text = "sparse test disk";
    return ERROR_SUCCESS;
}

void PutLE(std::vector<uint8_t>& bytes, size_t off, uint64_t value, size_t width)
{
    for (size_t i = 0; i < width; ++i) bytes[off + i] = static_cast<uint8_t>(value >> (8 * i));
}

void FixGptHeaderCrc(std::vector<uint8_t>& sector)
{
    uint32_t size = 0;
    LoadU32LE(sector, 12, size);
    size = std::min<uint32_t>(size, static_cast<uint32_t>(sector.size()));
    PutLE(sector, 16, 0, 4);
    PutLE(sector, 16, Crc32(ByteView(sector).first(size)), 4);
}

uint64_t GptTestTable::ArraySectors(const SparseDisk& disk) const
{
    return (uint64_t{EntryCount} * EntrySize + disk.Bps() - 1) / disk.Bps();
}

void GptTestTable::WriteTo(SparseDisk& disk) const
{
    const uint64_t last = disk.Total() - 1;
    const uint64_t arraySectors = ArraySectors(disk);
    std::vector<uint8_t> array(arraySectors * disk.Bps(), 0);
    for (size_t i = 0; i < Entries.size(); ++i)
    {
        const size_t off = i * EntrySize;
        if (Entries[i].Used)
            for (size_t k = 0; k < 16; ++k) array[off + k] = static_cast<uint8_t>(0xA0 + k); // any non-zero type GUID
        PutLE(array, off + 0x20, Entries[i].First, 8);
        PutLE(array, off + 0x28, Entries[i].Last, 8);
    }
    const uint32_t arrayCrc = Crc32(ByteView(array).first(size_t{EntryCount} * EntrySize));

    std::vector<uint8_t>& mbr = disk.Sector(0);
    const uint64_t protective = std::min<uint64_t>(last, 0xFFFFFFFF);
    mbr[446 + 4] = 0xEE;
    PutLE(mbr, 446 + 8, 1, 4);
    PutLE(mbr, 446 + 12, protective, 4);
    if (ExtraMbrType != 0)
    {
        mbr[462 + 4] = ExtraMbrType;
        PutLE(mbr, 462 + 8, 2048, 4);
        PutLE(mbr, 462 + 12, 4096, 4);
    }
    mbr[510] = 0x55;
    mbr[511] = 0xAA;

    const auto writeCopy = [&](uint64_t my, uint64_t alternate, uint64_t entryLba) {
        std::vector<uint8_t>& h = disk.Sector(my);
        std::memcpy(h.data(), "EFI PART", 8);
        PutLE(h, 0x08, 0x00010000, 4);
        PutLE(h, 0x0C, 92, 4);
        PutLE(h, 0x18, my, 8);
        PutLE(h, 0x20, alternate, 8);
        PutLE(h, 0x28, 2 + arraySectors, 8);
        PutLE(h, 0x30, last - 1 - arraySectors, 8);
        PutLE(h, 0x48, entryLba, 8);
        PutLE(h, 0x50, EntryCount, 4);
        PutLE(h, 0x54, EntrySize, 4);
        PutLE(h, 0x58, arrayCrc, 4);
        FixGptHeaderCrc(h);
        disk.Put(entryLba, array);
    };
    writeCopy(1, last, 2);
    writeCopy(last, 1, last - arraySectors);
}
