#pragma once
// The sectors covered by a set of runs, merged into sorted disjoint intervals so that "does
// this sector lie in that MFT" is answered by halving however many runs an MFT has. Holes
// cover nothing.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "fs/IOutStream.h"

class NtfsRunSet
{
public:
    NtfsRunSet() = default;
    explicit NtfsRunSet(const StreamVector& runs)
    {
        for (const tagStreamBlock& r : runs)
            if (r.s64FirstSector != STREAM_HOLE_SECTOR && r.s64FirstSector >= 0 && r.dwSectorCount != 0)
                m_Spans.push_back({r.s64FirstSector, r.s64FirstSector + static_cast<int64_t>(r.dwSectorCount)});
        std::sort(m_Spans.begin(), m_Spans.end(), [](const Span& a, const Span& b) { return a.first < b.first; });
        std::vector<Span> merged;
        for (const Span& s : m_Spans)
        {
            if (!merged.empty() && s.first <= merged.back().end)
                merged.back().end = std::max(merged.back().end, s.end);
            else
                merged.push_back(s);
        }
        m_Spans.swap(merged);
    }

    bool Contains(int64_t sector) const
    {
        auto it = std::upper_bound(m_Spans.begin(), m_Spans.end(), sector,
                                   [](int64_t s, const Span& span) { return s < span.first; });
        return it != m_Spans.begin() && sector < std::prev(it)->end;
    }
    bool Empty() const { return m_Spans.empty(); }

private:
    struct Span
    {
        int64_t first;
        int64_t end; // exclusive
    };
    std::vector<Span> m_Spans;
};
