#pragma once
// The sectors of one volume that could not be read, as sorted, merged ranges. The scan driver
// fills it while it reads; the file list asks it which files lie partly on unreadable ground.
// A dying disk can fail on millions of scattered sectors: past kMaxBadSectorRanges ranges the
// nearest ones are joined (the set may then name a few readable sectors as unreadable, never
// the other way round).
#include <cstdint>
#include <vector>

class KSectorRanges
{
public:
    struct Range
    {
        uint64_t first;
        uint64_t count; // never 0
    };

    /// Adds `count` sectors from `first` (nothing for 0; clipped at the end of the 64-bit range).
    void Add(uint64_t first, uint64_t count);
    /// True when any of `count` sectors from `first` lies in the set.
    bool Intersects(uint64_t first, uint64_t count) const;
    /// Sectors in the set.
    uint64_t SectorCount() const { return m_u64Sectors; }
    bool Empty() const { return m_Ranges.empty(); }
    const std::vector<Range>& Ranges() const { return m_Ranges; }
    void Clear();

private:
    void JoinNearest();

    std::vector<Range> m_Ranges; // sorted by first, neither overlapping nor touching
    uint64_t m_u64Sectors = 0;
};
