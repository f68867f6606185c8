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
// Used clusters a file whose chain is gone may pass on its way through the free ones (256 MiB
// of 4 KiB clusters); past that the guess is no better than contiguous, and each such file
// stays cheap to lay out.
constexpr uint64_t kMaxSkippedClusters = 1u << 16;

// Entries of `table` that exist: beyond them every entry reads as free.
uint32_t EntriesHeld(ByteView table, int32_t type, uint32_t clusterCount)
{
    const uint64_t bytes = table.size();
    const uint64_t held = type == kFatType12 ? bytes * 2 / 3 : type == kFatType16 ? bytes / 2 : bytes / 4;
    return static_cast<uint32_t>(std::min<uint64_t>(held, clusterCount));
}

// Chains are separate when no cluster is the successor of two clusters; with that, the links
// form disjoint paths and closed loops, and a loop is exactly what the walks from the chain
// heads (clusters nothing leads to) never reach. Two passes over the entries and one bit per
// cluster: every link is followed at most twice, so a whole-volume chain in any cluster order
// costs a few lookups per cluster.
bool ChainsAreSeparate(ByteView table, int32_t type, uint32_t clusterCount, uint64_t* lookups)
{
    const uint32_t bad = KFatTable::BadMark(type);
    const uint32_t held = EntriesHeld(table, type, clusterCount);
    uint64_t decoded = 0;
    auto next = [&](uint32_t c) {
        ++decoded;
        return KFatTable::DecodeEntry(table, type, c);
    };
    auto isLink = [&](uint32_t v) { return v != 0 && v < bad; };

    // A link to a cluster whose entry is not held ends its chain there (that entry reads as
    // free), so only held clusters need the bit.
    std::vector<bool> hasPredecessor(held, false);
    uint64_t links = 0;
    bool separate = true;
    for (uint32_t k = 2; k < held && separate; ++k)
    {
        const uint32_t v = next(k);
        if (!isLink(v)) continue;
        if (v < 2 || v >= clusterCount)
            separate = false; // excluded by the entry check
        else if (v < held && hasPredecessor[v])
            separate = false; // two chains join
        else if (v < held)
            hasPredecessor[v] = true;
        ++links;
    }
    uint64_t walked = 0;
    for (uint32_t k = 2; k < held && separate; ++k)
    {
        if (hasPredecessor[k]) continue;
        // Paths are disjoint, so all walks together take at most `links` steps.
        for (uint32_t c = k; walked <= links;)
        {
            const uint32_t v = c < held ? next(c) : 0;
            if (!isLink(v)) break;
            ++walked;
            c = v;
        }
    }
    if (lookups) *lookups = decoded;
    return separate && walked == links; // a link no walk reached lies on a loop
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
    const uint32_t held = EntriesHeld(t, type, clusterCount);
    for (uint32_t k = 2; k < held; ++k)
    {
        const uint32_t v = DecodeEntry(t, type, k);
        if (v >= clusterCount && v < bad) return false;
        if (v == 1 || v == k) return false;
    }
    return true;
}

bool KFatTable::CheckChains(ByteView t, int32_t type, uint32_t clusterCount, uint64_t* lookups)
{
    return ChainsAreSeparate(t, type, clusterCount, lookups);
}

bool KFatTable::Accept(std::vector<uint8_t> table, int32_t type, uint32_t clusterCount)
{
    Clear();
    if (!CheckSignatureAndEntries(table, type, clusterCount) || !CheckChains(table, type, clusterCount)) return false;
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
    const uint32_t held = EntriesHeld(m_Table, m_Type, m_ClusterCount);
    for (uint32_t k = 2; k < held; ++k)
    {
        const uint32_t v = Entry(k);
        if (v != 0 && v != bad) ++used;
    }
    return used;
}

uint32_t KFatTable::NextFreeCluster(uint32_t cluster, uint64_t* budget) const
{
    for (uint32_t k = cluster + 1; k > cluster && k < m_ClusterCount; ++k)
    {
        if (Entry(k) == 0) return k;
        if (*budget == 0) return 0;
        --*budget;
    }
    return 0;
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
    uint64_t skipBudget = kMaxSkippedClusters;
    for (uint64_t i = 0; i < clusters; ++i)
    {
        addSectors(g.ClusterSector(c), spc);
        if (i + 1 == clusters) break;
        uint32_t next = Entry(c);
        if (next == 0 && !m_Table.empty()) next = NextFreeCluster(c, &skipBudget);
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
