#pragma once
// Runlists ("mapping pairs") of non-resident attributes, and their walk by compression
// unit. Pure functions over bytes and run vectors.
#include <cstdint>

#include "base/ByteView.h"
#include "base/StreamBlock.h"

// Decodes a runlist into sector runs: every run is {cluster × sectorsPerCluster + volumeStart,
// length × sectorsPerCluster}; a run without offset bytes is a hole (first sector all ones)
// and leaves the running cluster unchanged. The first offset is unsigned, later ones signed.
// The walk ends at a zero header byte or at the end of `mappingPairs`; a run whose fields
// would reach past the end is not taken. A size nibble above 4, or a run that lands before
// cluster 0, fails the whole decode with `runs` empty. With sectorsPerCluster 1 and
// volumeStart 0 the runs are in clusters. Runs longer than a block can count are split.
bool DecodeRunList(ByteView mappingPairs, uint32_t sectorsPerCluster, int64_t volumeStart, StreamVector* runs);

// One compression unit of a compressed stream: `sectors` of the stream from a VCN that is a
// multiple of the unit size (a whole unit, less only where the runs end). Its real sectors may
// come from several runs; sparse sectors after them mean the data is compressed. A unit with
// no sparse part is stored as it is, and one with no data at all reads as zeros.
struct NtfsCompressionUnit
{
    enum class Kind
    {
        Sparse,
        Compressed,
        Stored,
    };
    Kind kind = Kind::Sparse;
    StreamVector pieces; // the unit's data sectors, in stream order
    uint64_t sectors = 0;
};

// Walks the runs of a compressed stream one compression unit at a time, however the units'
// clusters are spread over runs. One unit is held at a time: a damaged run length of billions
// of clusters costs the caller's loop, which ends at the stream's size, not memory.
class NtfsUnitReader
{
public:
    NtfsUnitReader(const StreamVector& runs, uint32_t unitSectors) : m_Runs(runs), m_Unit(unitSectors) {}
    /// The next unit; false when the runs are used up (or the unit size is 0).
    bool Next(NtfsCompressionUnit* unit);

private:
    const StreamVector& m_Runs;
    uint32_t m_Unit;
    size_t m_Index = 0;
    uint64_t m_Used = 0; // sectors of m_Runs[m_Index] already given out
};

// Sum of the sector counts of the runs.
uint64_t RunSectorTotal(const StreamVector& runs);

inline bool IsHoleRun(const tagStreamBlock& run) { return run.s64FirstSector == STREAM_HOLE_SECTOR; }
