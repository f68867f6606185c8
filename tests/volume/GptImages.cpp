#include "GptImages.h"

#include <algorithm>
#include <cstring>

#include "base/ByteView.h"
#include "base/Crc32.h"
#include "base/VlmErrors.h"

void FixGptHeaderCrc(std::vector<uint8_t>& sector)
{
    uint32_t size = 0;
    LoadU32LE(sector, 12, size);
    size = std::min<uint32_t>(size, static_cast<uint32_t>(sector.size()));
    PutLE(sector, 16, 0, 4);
    PutLE(sector, 16, Crc32(ByteView(sector).first(size)), 4);
}

uint64_t GptTestTable::ArraySectors(const MemoryDisk& disk) const
{
    return (uint64_t{EntryCount} * EntrySize + disk.BytesPerSector() - 1) / disk.BytesPerSector();
}

void GptTestTable::WriteTo(MemoryDisk& disk) const
{
    const uint64_t last = disk.TotalSectors() - 1;
    const uint64_t arraySectors = ArraySectors(disk);
    std::vector<uint8_t> array(arraySectors * disk.BytesPerSector(), 0);
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
