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
    uint8_t* b = Image.data();
    b[0] = 0xEB;
    b[1] = 0x3C;
    b[2] = 0x90;
    std::memcpy(b + 3, "MSWIN4.1", 8);
    b[11] = 0x00;
    b[12] = 0x02; // 512 bytes per sector
    b[13] = sectorsPerCluster;
    b[14] = 1;
    b[15] = 0; // reserved sectors
    b[16] = 2; // FATs
    b[17] = 0x00;
    b[18] = 0x02; // 512 root entries
    b[19] = uint8_t(totalSectors);
    b[20] = uint8_t(totalSectors >> 8);
    b[21] = 0xF8;
    b[22] = uint8_t(fatSectors);
    b[23] = uint8_t(fatSectors >> 8);
    b[38] = 0x29;
    std::memcpy(b + 43, "NO NAME    ", 11);
    std::memcpy(b + 54, "FAT16   ", 8);
    b[510] = 0x55;
    b[511] = 0xAA;
    SetFat(0, 0xFFF8);
    SetFat(1, 0xFFFF);
}

void FatImageBuilder::SetFatCopy(int copy, uint32_t cluster, uint16_t value)
{
    const size_t off = (1 + size_t(copy) * m_FatSectors) * 512 + cluster * 2;
    Image[off] = uint8_t(value);
    Image[off + 1] = uint8_t(value >> 8);
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
    e[14] = uint8_t(time);
    e[15] = uint8_t(time >> 8);
    e[16] = uint8_t(date);
    e[17] = uint8_t(date >> 8);
    e[20] = uint8_t(cluster >> 16);
    e[21] = uint8_t(cluster >> 24);
    e[22] = uint8_t(time);
    e[23] = uint8_t(time >> 8);
    e[24] = uint8_t(date);
    e[25] = uint8_t(date >> 8);
    e[26] = uint8_t(cluster);
    e[27] = uint8_t(cluster >> 8);
    for (int i = 0; i < 4; ++i) e[28 + i] = uint8_t(size >> (8 * i));
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
        e[offs[i]] = uint8_t(u);
        e[offs[i] + 1] = uint8_t(u >> 8);
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
