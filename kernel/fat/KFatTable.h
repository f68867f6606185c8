#pragma once
// One copy of the file allocation table held in memory, accepted only after it passed both
// checks (signature and entries; no two chains joining and no loops). Entries are decoded on
// access; every cluster number is bounded by the cluster count and by the buffer. The buffer
// may hold fewer entries than the cluster count (only the clusters the volume can hold are
// loaded): entries past it read as free.
#include <cstdint>
#include <vector>

#include "base/ByteView.h"
#include "format/fat/FatGeometry.h"

// A run of whole clusters of a file, in volume sectors.
struct FatRun
{
    int64_t FirstSector = 0;
    uint32_t SectorCount = 0;
};

class KFatTable
{
public:
    /// Decodes entry `cluster` of a raw table (0 outside the table or the buffer).
    static uint32_t DecodeEntry(ByteView table, int32_t type, uint32_t cluster);
    /// Both trust checks on a raw table copy with `clusterCount` entries.
    static bool CheckSignatureAndEntries(ByteView table, int32_t type, uint32_t clusterCount);
    /// `lookups`, when given, receives the number of entries decoded (the check is linear).
    static bool CheckChains(ByteView table, int32_t type, uint32_t clusterCount, uint64_t* lookups = nullptr);
    /// First value that marks a bad cluster (values from here up are not a next cluster).
    static uint32_t BadMark(int32_t type);

    /// Takes `table` when it passes both checks; otherwise the object is left empty.
    bool Accept(std::vector<uint8_t> table, int32_t type, uint32_t clusterCount);
    void Clear();
    bool Empty() const { return m_Table.empty(); }
    const std::vector<uint8_t>& Bytes() const { return m_Table; }
    /// Restores a stored table without checking it again (it was checked when loaded).
    void Restore(std::vector<uint8_t> table, int32_t type, uint32_t clusterCount);

    uint32_t Entry(uint32_t cluster) const;
    /// True when `value` (an entry) names a next cluster inside the table.
    bool IsNextCluster(uint32_t value) const { return value >= 2 && value < m_ClusterCount && value < BadMark(m_Type); }
    uint32_t CountUsed() const;

    /// The runs of a file of `size` bytes from `firstCluster`. Where the chain reaches a free
    /// entry (a deleted file's chain is freed), the rest lies in the free clusters that follow,
    /// in order: the file was written into the free clusters of its time, and the clusters
    /// still in use between them belong to files that were there before it. Where the chain
    /// ends early otherwise (end, bad or out of range), or too many used clusters lie between,
    /// the rest follows contiguously.
    std::vector<FatRun> Runs(const FatGeometry& g, uint32_t bytesPerSector, uint32_t firstCluster, uint64_t size) const;

private:
    /// The first free cluster after `cluster`, passing at most `*budget` used ones in all; 0
    /// when there is none within the table or the budget.
    uint32_t NextFreeCluster(uint32_t cluster, uint64_t* budget) const;

    std::vector<uint8_t> m_Table;
    int32_t m_Type = -1;
    uint32_t m_ClusterCount = 0;
};
