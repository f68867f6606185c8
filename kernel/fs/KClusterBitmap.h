#pragma once
// Which clusters of a file system its allocation map gives to some file: one bit per cluster,
// bit i in byte i / 8 at bit i % 8 (the order of NTFS's $Bitmap). Built once per listing, from
// the FAT or from $Bitmap, and asked about whole runs of a file at a time: a query costs the
// run's length / 8 byte tests, so judging every file of a volume stays linear in its clusters.
#include <cstdint>
#include <vector>

class KClusterBitmap
{
public:
    /// An all-clear map of `clusters` bits. False (and the map empty) beyond
    /// VlmLimits::kMaxClusterBitmapBytes or when memory runs out.
    bool Reset(uint64_t clusters);
    /// Takes `bytes` as the map; it covers min(bytes × 8, clusters) clusters. False as Reset.
    bool Assign(std::vector<uint8_t> bytes, uint64_t clusters);
    void Clear();

    /// Clusters the map covers.
    uint64_t Size() const { return m_u64Clusters; }
    bool Empty() const { return m_u64Clusters == 0; }
    /// True when all `count` clusters from `first` lie inside the map.
    bool Covers(uint64_t first, uint64_t count) const;

    /// Sets the clusters of a run; the part outside the map is ignored.
    void SetRange(uint64_t first, uint64_t count);
    /// True when any cluster of the run that lies inside the map is set.
    bool AnySet(uint64_t first, uint64_t count) const;
    /// True when the run lies inside the map and every cluster of it is set.
    bool AllSet(uint64_t first, uint64_t count) const;

private:
    // Whether some cluster of [first, end) has the bit value `set`; end is within the map.
    bool AnyWithValue(uint64_t first, uint64_t end, bool set) const;

    std::vector<uint8_t> m_Bits;
    uint64_t m_u64Clusters = 0;
};
