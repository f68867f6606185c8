#pragma once
// Where the files of one file system keep their data, as byte extents on the volume, built in
// one go: every extent is added, Seal sorts and merges them (O(n log n)), and each question is
// then a binary search. Meant for millions of files, whose runs a FAT chain or an NTFS runlist
// gives in sectors.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/StreamBlock.h"

class KDataExtents
{
public:
    struct Extent
    {
        uint64_t first; // first byte on the volume
        uint64_t end;   // one past the last byte; never equal to first
    };

    /// Adds the bytes [first, first + length) (nothing for length 0; clipped at 2^64).
    void Add(uint64_t first, uint64_t length);
    /// Adds the runs of one file in sectors of `bytesPerSector` bytes; holes hold no data and
    /// are left out.
    void AddRuns(const StreamVector& runs, uint32_t bytesPerSector);
    /// Sorts and merges what was added; Contains answers only after it.
    void Seal();
    /// True when byte `offset` lies inside an extent.
    bool Contains(uint64_t offset) const;
    /// Extents that start at or after byte `first` and before byte `end`.
    size_t CountStartingIn(uint64_t first, uint64_t end) const;
    const std::vector<Extent>& Extents() const { return m_Extents; }
    void Clear() { m_Extents.clear(); }

private:
    std::vector<Extent> m_Extents; // after Seal: sorted, neither overlapping nor touching
};
