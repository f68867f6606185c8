#include "engine/KDataExtents.h"

#include <algorithm>
#include <limits>

void KDataExtents::Add(uint64_t first, uint64_t length)
{
    if (length == 0) return;
    const uint64_t max = std::numeric_limits<uint64_t>::max();
    const uint64_t end = length > max - first ? max : first + length;
    if (end > first) m_Extents.push_back(Extent{first, end});
}

void KDataExtents::AddRuns(const StreamVector& runs, uint32_t bytesPerSector)
{
    if (bytesPerSector == 0) return;
    for (const tagStreamBlock& run : runs)
    {
        if (run.s64FirstSector < 0) // a hole, or a run no reader would follow
            continue;
        const auto sector = static_cast<uint64_t>(run.s64FirstSector);
        // A sector number this large would overflow as a byte offset: no volume has it.
        if (sector > std::numeric_limits<uint64_t>::max() / bytesPerSector) continue;
        Add(sector * bytesPerSector, static_cast<uint64_t>(run.dwSectorCount) * bytesPerSector);
    }
}

void KDataExtents::Seal()
{
    std::sort(m_Extents.begin(), m_Extents.end(), [](const Extent& a, const Extent& b) { return a.first < b.first; });
    size_t kept = 0;
    for (const Extent& e : m_Extents)
    {
        if (kept > 0 && e.first <= m_Extents[kept - 1].end)
            m_Extents[kept - 1].end = std::max(m_Extents[kept - 1].end, e.end);
        else
            m_Extents[kept++] = e;
    }
    m_Extents.resize(kept);
}

bool KDataExtents::Contains(uint64_t offset) const
{
    // The first extent that ends after `offset`; it holds the offset when it starts at or before it.
    auto it = std::upper_bound(m_Extents.begin(), m_Extents.end(), offset,
                               [](uint64_t at, const Extent& e) { return at < e.end; });
    return it != m_Extents.end() && it->first <= offset;
}

size_t KDataExtents::CountStartingIn(uint64_t first, uint64_t end) const
{
    if (end <= first) return 0;
    const auto byStart = [](const Extent& e, uint64_t at) { return e.first < at; };
    const auto from = std::lower_bound(m_Extents.begin(), m_Extents.end(), first, byStart);
    const auto to = std::lower_bound(from, m_Extents.end(), end, byStart);
    return static_cast<size_t>(to - from);
}
