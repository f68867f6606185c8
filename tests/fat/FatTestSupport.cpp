#include "FatTestSupport.h"

#include <algorithm>
#include <cstring>

#include "support/TestFiles.h"

const tagFileNode* FindManifestPath(const std::map<std::string, const tagFileNode*>& paths, const std::string& path)
{
    if (const auto exact = paths.find(path); exact != paths.end()) return exact->second;
    for (const auto& [ours, record] : paths)
    {
        if (SameRecoveredPath(ours, path)) return record;
    }
    return nullptr;
}

FatImageBuilder::FatImageBuilder(uint32_t totalSectors, uint8_t sectorsPerCluster, uint16_t fatSectors)
    : Image(size_t(totalSectors) * 512, 0), m_Spc(sectorsPerCluster), m_FatSectors(fatSectors)
{
    std::vector<uint8_t>& b = Image;
    std::memcpy(b.data(), "\xEB\x3C\x90MSWIN4.1", 11);
    PutLE(b, 11, 512, 2); // bytes per sector
    b[13] = sectorsPerCluster;
    PutLE(b, 14, 1, 2);   // reserved sectors
    b[16] = 2;            // FATs
    PutLE(b, 17, 512, 2); // root entries
    PutLE(b, 19, totalSectors, 2);
    b[21] = 0xF8;
    PutLE(b, 22, fatSectors, 2);
    b[38] = 0x29;
    std::memcpy(b.data() + 43, "NO NAME    FAT16   ", 19);
    PutLE(b, 510, 0xAA55, 2);
    SetFat(0, 0xFFF8);
    SetFat(1, 0xFFFF);
}

void FatImageBuilder::SetFatCopy(int copy, uint32_t cluster, uint16_t value)
{
    PutLE(Image, (1 + size_t(copy) * m_FatSectors) * 512 + cluster * 2, value, 2);
}

void FatImageBuilder::SetFat(uint32_t cluster, uint16_t value)
{
    SetFatCopy(0, cluster, value);
    SetFatCopy(1, cluster, value);
}

std::vector<uint8_t> ShortEntry(const char* name11, uint8_t attr, uint32_t cluster, uint32_t size)
{
    std::vector<uint8_t> e(32, 0);
    std::memcpy(e.data(), name11, 11);
    e[11] = attr;
    const uint16_t time = (10 << 11) | (30 << 5);    // 10:30:00
    const uint16_t date = (41 << 9) | (6 << 5) | 15; // 2021-06-15
    PutLE(e, 14, time | uint32_t{date} << 16, 4);    // created
    PutLE(e, 20, cluster >> 16, 2);
    PutLE(e, 22, time | uint32_t{date} << 16, 4); // written
    PutLE(e, 26, cluster, 2);
    PutLE(e, 28, size, 4);
    return e;
}

std::vector<uint8_t> LongNamePart(uint8_t sequence, const std::u16string& part, uint8_t checksum)
{
    static const size_t offs[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
    std::vector<uint8_t> e(32, 0);
    e[0] = sequence;
    e[11] = 0x0F;
    e[13] = checksum;
    for (size_t i = 0; i < 13; ++i)
    {
        const char16_t u = i < part.size() ? part[i] : (i == part.size() ? u'\0' : u'\xFFFF');
        PutLE(e, offs[i], u, 2);
    }
    return e;
}

void FatImageBuilder::PutEntry(uint64_t offset, const char* name11, uint8_t attr, uint32_t cluster, uint32_t size)
{
    const std::vector<uint8_t> e = ShortEntry(name11, attr, cluster, size);
    std::memcpy(Image.data() + offset, e.data(), e.size());
}

void FatImageBuilder::PutDotEntries(uint32_t cluster, uint32_t parent)
{
    PutEntry(ClusterEntry(cluster, 0), ".          ", 0x10, cluster, 0);
    PutEntry(ClusterEntry(cluster, 1), "..         ", 0x10, parent, 0);
}

void FatImageBuilder::Fill(uint32_t cluster, uint32_t clusters, uint8_t seed)
{
    const std::vector<uint8_t> bytes = PatternBytes(size_t(clusters) * ClusterBytes(), seed);
    std::memcpy(Image.data() + uint64_t(ClusterSector(cluster)) * 512, bytes.data(), bytes.size());
}
