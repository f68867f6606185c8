#pragma once
// Shared pieces of the FAT tests: manifest paths found in a built tree, and a builder for
// hand-made FAT16 volumes.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "fs/KNodeTree.h"
#include "fs/tagFileNode.h"
#include "support/TestImages.h"
#include "support/TestTrees.h"

// The tree's record for a manifest path (see SameRecoveredPath).
const tagFileNode* FindManifestPath(const std::map<std::string, const tagFileNode*>& paths, const std::string& path);

// A 32-byte short entry (times 2021-06-15 10:30:00), and a long-name part: sequence byte
// and up to 13 UTF-16 units, then a terminator and 0xFFFF padding.
std::vector<uint8_t> ShortEntry(const char* name11, uint8_t attr = 0x20, uint32_t cluster = 5, uint32_t size = 100);
// A long-name part: sequence byte, 13 UTF-16 units and the checksum of its short name.
std::vector<uint8_t> LongNamePart(uint8_t sequence, const std::u16string& part13, uint8_t checksum = 0);

// A hand-made FAT16 volume: 512-byte sectors, one reserved sector, two FATs of `fatSectors`,
// a 512-entry root and `sectorsPerCluster`-sector clusters.
class FatImageBuilder
{
public:
    FatImageBuilder(uint32_t totalSectors = 8192, uint8_t sectorsPerCluster = 4, uint16_t fatSectors = 32);

    uint32_t RootStart() const { return 1 + 2u * m_FatSectors; }
    uint32_t DataStart() const { return RootStart() + 32; }
    uint32_t ClusterSector(uint32_t c) const { return DataStart() + (c - 2) * m_Spc; }
    uint32_t ClusterBytes() const { return 512u * m_Spc; }

    void SetFat(uint32_t cluster, uint16_t value); // both copies
    void SetFatCopy(int copy, uint32_t cluster, uint16_t value);
    // A 32-byte short entry at byte `offset` of the image.
    void PutEntry(uint64_t offset, const char* name11, uint8_t attr, uint32_t cluster, uint32_t size);
    void PutDotEntries(uint32_t cluster, uint32_t parent);
    uint64_t RootEntry(uint32_t index) const { return uint64_t(RootStart()) * 512 + index * 32ull; }
    uint64_t ClusterEntry(uint32_t cluster, uint32_t index) const
    {
        return uint64_t(ClusterSector(cluster)) * 512 + index * 32ull;
    }
    void Fill(uint32_t cluster, uint32_t clusters, uint8_t seed);

    std::vector<uint8_t> Image;

private:
    uint8_t m_Spc;
    uint16_t m_FatSectors;
};
