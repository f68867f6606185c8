#include "fat/KFatTable.h"

#include <algorithm>
#include <cstring>

#include "base/ResourceLimits.h"

namespace {

// Entry 0 repeats the media descriptor: 0xF0 (removable media, every floppy) or 0xF8..0xFF;
// the rest of entries 0 and 1 are all ones.
bool IsMediaByte(uint8_t b) { return b == 0xF0 || b >= 0xF8; }
constexpr uint8_t kFat32SignatureA[6] = {0xFF, 0xFF, 0x0F, 0xFF, 0xFF, 0xFF};
constexpr uint8_t kFat32SignatureB[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

// Largest sector count of one run record; longer stretches are split.
constexpr uint64_t kMaxRunSectors = 0xFFFFFFFFu;

template <typename Slot>
bool ChainsAreSeparate(ByteView table, int32_t type, uint32_t clusterCount)
{
    std::vector<Slot> predecessor(clusterCount, 0);
    const uint32_t bad = KFatTable::BadMark(type);
    for (uint32_t k = 2; k < clusterCount; ++k)
    {
        if (predecessor[k] != 0) continue;
        uint32_t c = k;
        uint64_t steps = 0;
        for (;;)
        {
            if (steps >= clusterCount) break;
            const uint32_t next = KFatTable::DecodeEntry(table, type, c);
            if (next == 0 || next >= bad) break;
            if (next >= clusterCount) return false; // excluded by the entry check; never index past
            if (predecessor[next] == 0) predecessor[next] = static_cast<Slot>(c);
            else if (predecessor[next] != c) return false; // two chains join
            ++steps;
            c = next;
        }
        if (clusterCount >= 2 && steps >= clusterCount - 2) return false; // a loop
    }
    return true;
}

} // namespace

uint32_t KFatTable::BadMark(int32_t type)
{
    if (type == kFatType12) return 0xFF7;
    if (type == kFatType16) return 0xFFF7;
    return 0x0FFFFFF7;
}

uint32_t KFatTable::DecodeEntry(ByteView t, int32_t type, uint32_t c)
{
    uint32_t v = 0;
    if (type == kFatType12)
    {
        uint16_t w = 0;
        if (!LoadU16LE(t, static_cast<size_t>(c) * 3 / 2, w)) return 0;
        return (c & 1) ? static_cast<uint32_t>(w >> 4) : static_cast<uint32_t>(w & 0x0FFF);
    }
    if (type == kFatType16)
    {
        uint16_t w = 0;
        LoadU16LE(t, static_cast<size_t>(c) * 2, w);
        return w;
    }
    LoadU32LE(t, static_cast<size_t>(c) * 4, v);
    return v;
}

bool KFatTable::CheckSignatureAndEntries(ByteView t, int32_t type, uint32_t clusterCount)
{
    if (t.size() < 7 || !IsMediaByte(t[0])) return false;
    if (type == kFatType12)
    {
        if ((DecodeEntry(t, type, 0) & 0xF00) != 0xF00) return false;
    }
    else if (type == kFatType16)
    {
        if (t[1] != 0xFF || t[2] != 0xFF) return false;
    }
    else if (std::memcmp(t.data() + 1, kFat32SignatureA, 6) != 0 && std::memcmp(t.data() + 1, kFat32SignatureB, 6) != 0)
    {
        return false;
    }
    const uint32_t bad = BadMark(type);
    for (uint32_t k = 2; k < clusterCount; ++k)
    {
        const uint32_t v = DecodeEntry(t, type, k);
        if (v >= clusterCount && v < bad) return false;
        if (v == 1 || v == k) return false;
    }
    return true;
}

bool KFatTable::CheckChains(ByteView t, int32_t type, uint32_t clusterCount)
{
    if (type == kFatType32) return ChainsAreSeparate<uint32_t>(t, type, clusterCount);
    return ChainsAreSeparate<uint16_t>(t, type, clusterCount);
}

bool KFatTable::Accept(std::vector<uint8_t> table, int32_t type, uint32_t clusterCount)
{
    Clear();
    if (!CheckSignatureAndEntries(table, type, clusterCount) || !CheckChains(table, type, clusterCount))
        return false;
    Restore(std::move(table), type, clusterCount);
    return true;
}

void KFatTable::Restore(std::vector<uint8_t> table, int32_t type, uint32_t clusterCount)
{
    m_Table = std::move(table);
    m_Type = type;
    m_ClusterCount = clusterCount;
}

void KFatTable::Clear()
{
    m_Table.clear();
    m_Table.shrink_to_fit();
    m_Type = -1;
    m_ClusterCount = 0;
}

uint32_t KFatTable::Entry(uint32_t cluster) const
{
    if (m_Table.empty() || cluster >= m_ClusterCount) return 0;
    return DecodeEntry(m_Table, m_Type, cluster);
}

uint32_t KFatTable::CountUsed() const
{
    if (m_Table.empty()) return 0;
    const uint32_t bad = BadMark(m_Type);
    uint32_t used = 0;
    for (uint32_t k = 2; k < m_ClusterCount; ++k)
    {
        const uint32_t v = Entry(k);
        if (v != 0 && v != bad) ++used;
    }
    return used;
}

std::vector<FatRun> KFatTable::Runs(const FatGeometry& g, uint32_t bytesPerSector, uint32_t firstCluster,
                                    uint64_t size) const
{
    std::vector<FatRun> runs;
    const uint64_t spc = std::max<uint32_t>(g.SectorsPerCluster, 1);
    const uint64_t clusterBytes = static_cast<uint64_t>(bytesPerSector) * spc;
    if (clusterBytes == 0 || size == 0) return runs;
    // A FAT file holds at most 4 GiB - 1 bytes; a larger size comes from a damaged record.
    size = std::min<uint64_t>(size, 0xFFFFFFFFu);
    const uint64_t clusters = (size + clusterBytes - 1) / clusterBytes;

    auto addSectors = [&](int64_t first, uint64_t count) {
        while (count > 0)
        {
            if (!runs.empty() && runs.back().FirstSector + runs.back().SectorCount == first &&
                runs.back().SectorCount < kMaxRunSectors)
            {
                const uint64_t room = kMaxRunSectors - runs.back().SectorCount;
                const uint64_t take = std::min(room, count);
                runs.back().SectorCount += static_cast<uint32_t>(take);
                first += static_cast<int64_t>(take);
                count -= take;
                continue;
            }
            const uint64_t take = std::min(kMaxRunSectors, count);
            runs.push_back({first, static_cast<uint32_t>(take)});
            first += static_cast<int64_t>(take);
            count -= take;
        }
    };

    uint32_t c = firstCluster;
    for (uint64_t i = 0; i < clusters; ++i)
    {
        addSectors(g.ClusterSector(c), spc);
        if (i + 1 == clusters) break;
        const uint32_t next = Entry(c);
        if (next < 2 || next >= m_ClusterCount || next >= BadMark(m_Type) || i + 1 >= m_ClusterCount ||
            runs.size() >= VlmLimits::kMaxFatFileRuns)
        {
            // The rest is taken to follow the last known cluster.
            const FatRun& last = runs.back();
            addSectors(last.FirstSector + last.SectorCount, (clusters - i - 1) * spc);
            break;
        }
        c = next;
    }
    return runs;
}
