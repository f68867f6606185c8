#include "format/ntfs/NtfsRunList.h"

#include <algorithm>

#include "base/ResourceLimits.h"

namespace {

// Largest sector count put into one block; longer runs are split (a block counts in 32 bits).
constexpr uint64_t kMaxBlockSectors = 0x80000000u;

// A little-endian number of up to 8 bytes: all of `bytes`.
uint64_t LoadLittle(ByteView bytes)
{
    uint64_t v = 0;
    for (size_t i = 0; i < bytes.size(); ++i) v |= static_cast<uint64_t>(bytes[i]) << (8 * i);
    return v;
}

void AppendRun(StreamVector* runs, int64_t first, uint64_t sectors)
{
    do {
        const uint64_t piece = sectors < kMaxBlockSectors ? sectors : kMaxBlockSectors;
        runs->push_back({first, static_cast<uint32_t>(piece), 0});
        if (first != STREAM_HOLE_SECTOR) first += static_cast<int64_t>(piece);
        sectors -= piece;
    } while (sectors > 0);
}

} // namespace

bool DecodeRunList(ByteView p, uint32_t sectorsPerCluster, int64_t volumeStart, StreamVector* runs)
{
    runs->clear();
    if (p.empty()) return p.data() != nullptr;
    int64_t previous = 0;
    size_t pos = 0;
    bool first = true;
    while (pos < p.size())
    {
        // Every run costs at least two bytes; a list this long is a damaged run length
        // split into pieces, and the runs so far stand.
        if (runs->size() >= VlmLimits::kMaxRunsPerRunList) return true;
        const uint8_t h = p[pos];
        if (h == 0) return true;
        const uint32_t offsetSize = h >> 4, lengthSize = h & 15;
        if (offsetSize > 4 || lengthSize > 4)
        {
            runs->clear();
            return false;
        }
        if (!RangeFits(p.size(), pos + 1, lengthSize + offsetSize))
            return true; // a truncated run is not taken; the runs before it stand
        const uint64_t length = LoadLittle(p.subspan(pos + 1, lengthSize));
        int64_t offset = static_cast<int64_t>(LoadLittle(p.subspan(pos + 1 + lengthSize, offsetSize)));
        if (!first && offsetSize > 0 && (offset >> (8 * offsetSize - 1)) != 0)
            offset -= static_cast<int64_t>(1) << (8 * offsetSize);
        const int64_t cluster = previous + offset;
        if (offsetSize == 0)
            AppendRun(runs, STREAM_HOLE_SECTOR, length * sectorsPerCluster);
        else if (cluster < 0)
        {
            runs->clear(); // a run before the start of the file system is garbage
            return false;
        }
        else
            AppendRun(runs, cluster * sectorsPerCluster + volumeStart, length * sectorsPerCluster);
        previous = cluster;
        pos += 1 + lengthSize + offsetSize;
        first = false;
    }
    return true;
}

bool NtfsUnitReader::Next(NtfsCompressionUnit* unit)
{
    unit->pieces.clear();
    unit->sectors = 0;
    if (m_Unit == 0 || m_Index >= m_Runs.size()) return false;
    bool sparse = false;
    // Every pass takes sectors or moves to the next run, so the walk ends.
    while (unit->sectors < m_Unit && m_Index < m_Runs.size())
    {
        const tagStreamBlock& run = m_Runs[m_Index];
        const uint64_t take = std::min<uint64_t>(run.dwSectorCount - m_Used, m_Unit - unit->sectors);
        if (IsHoleRun(run))
            sparse = sparse || take > 0;
        else if (take > 0)
            unit->pieces.push_back({run.s64FirstSector + static_cast<int64_t>(m_Used), static_cast<uint32_t>(take), 0});
        unit->sectors += take;
        m_Used += take;
        if (m_Used >= run.dwSectorCount)
        {
            ++m_Index;
            m_Used = 0;
        }
    }
    if (unit->pieces.empty())
        unit->kind = NtfsCompressionUnit::Kind::Sparse;
    else
        unit->kind = sparse ? NtfsCompressionUnit::Kind::Compressed : NtfsCompressionUnit::Kind::Stored;
    return unit->sectors > 0;
}

uint64_t RunSectorTotal(const StreamVector& runs)
{
    uint64_t total = 0;
    for (const tagStreamBlock& r : runs) total += r.dwSectorCount;
    return total;
}
