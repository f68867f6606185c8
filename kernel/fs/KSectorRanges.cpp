#include "fs/KSectorRanges.h"

#include <algorithm>
#include <limits>

#include "base/ResourceLimits.h"

namespace {

uint64_t EndOf(uint64_t first, uint64_t count)
{
    const uint64_t max = std::numeric_limits<uint64_t>::max();
    return count > max - first ? max : first + count;
}

} // namespace

void KSectorRanges::Add(uint64_t first, uint64_t count)
{
    if (count == 0) return;
    uint64_t end = EndOf(first, count);
    if (end == first) return;
    // The first range that ends at or after `first` (touching ranges merge too).
    auto it = std::lower_bound(m_Ranges.begin(), m_Ranges.end(), first,
                               [](const Range& r, uint64_t at) { return EndOf(r.first, r.count) < at; });
    auto last = it;
    while (last != m_Ranges.end() && last->first <= end)
    {
        first = std::min(first, last->first);
        end = std::max(end, EndOf(last->first, last->count));
        m_u64Sectors -= last->count;
        ++last;
    }
    it = m_Ranges.erase(it, last);
    m_Ranges.insert(it, Range{first, end - first});
    m_u64Sectors += end - first;
    if (m_Ranges.size() > VlmLimits::kMaxBadSectorRanges) JoinNearest();
}

// Joins the two neighbours with the smallest gap between them; the set stays a superset.
void KSectorRanges::JoinNearest()
{
    size_t best = 0;
    uint64_t bestGap = std::numeric_limits<uint64_t>::max();
    for (size_t i = 0; i + 1 < m_Ranges.size(); ++i)
    {
        const uint64_t gap = m_Ranges[i + 1].first - EndOf(m_Ranges[i].first, m_Ranges[i].count);
        if (gap < bestGap)
        {
            bestGap = gap;
            best = i;
        }
    }
    if (best + 1 >= m_Ranges.size()) return;
    Range& a = m_Ranges[best];
    const Range& b = m_Ranges[best + 1];
    const uint64_t end = EndOf(b.first, b.count);
    m_u64Sectors += bestGap;
    a.count = end - a.first;
    m_Ranges.erase(m_Ranges.begin() + static_cast<std::ptrdiff_t>(best) + 1);
}

bool KSectorRanges::Intersects(uint64_t first, uint64_t count) const
{
    if (count == 0 || m_Ranges.empty()) return false;
    const uint64_t end = EndOf(first, count);
    auto it = std::upper_bound(m_Ranges.begin(), m_Ranges.end(), first,
                               [](uint64_t at, const Range& r) { return at < EndOf(r.first, r.count); });
    return it != m_Ranges.end() && it->first < end;
}

void KSectorRanges::Clear()
{
    m_Ranges.clear();
    m_u64Sectors = 0;
}
