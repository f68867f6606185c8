#include "fs/KClusterBitmap.h"

#include <algorithm>
#include <new>

#include "base/ResourceLimits.h"

namespace {

bool Fits(uint64_t clusters) { return clusters / 8 < VlmLimits::kMaxClusterBitmapBytes; }

} // namespace

bool KClusterBitmap::Reset(uint64_t clusters)
{
    Clear();
    if (!Fits(clusters)) return false;
    try
    {
        m_Bits.assign(static_cast<size_t>((clusters + 7) / 8), 0);
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }
    m_u64Clusters = clusters;
    return true;
}

bool KClusterBitmap::Assign(std::vector<uint8_t> bytes, uint64_t clusters)
{
    Clear();
    const uint64_t covered = std::min<uint64_t>(clusters, static_cast<uint64_t>(bytes.size()) * 8);
    if (!Fits(covered)) return false;
    m_Bits = std::move(bytes);
    m_u64Clusters = covered;
    return true;
}

void KClusterBitmap::Clear()
{
    m_Bits.clear();
    m_Bits.shrink_to_fit();
    m_u64Clusters = 0;
}

bool KClusterBitmap::Covers(uint64_t first, uint64_t count) const
{
    return first <= m_u64Clusters && count <= m_u64Clusters - first;
}

void KClusterBitmap::SetRange(uint64_t first, uint64_t count)
{
    if (first >= m_u64Clusters) return;
    const uint64_t end = first + std::min(count, m_u64Clusters - first);
    uint64_t c = first;
    for (; c < end && (c & 7) != 0; ++c) m_Bits[c / 8] |= static_cast<uint8_t>(1u << (c & 7));
    for (; c + 8 <= end; c += 8) m_Bits[c / 8] = 0xFF;
    for (; c < end; ++c) m_Bits[c / 8] |= static_cast<uint8_t>(1u << (c & 7));
}

bool KClusterBitmap::AnyWithValue(uint64_t first, uint64_t end, bool set) const
{
    const uint8_t whole = set ? 0x00 : 0xFF; // a byte with no cluster of the value asked for
    auto bit = [&](uint64_t c) { return ((m_Bits[c / 8] >> (c & 7)) & 1) != 0; };
    uint64_t c = first;
    for (; c < end && (c & 7) != 0; ++c)
        if (bit(c) == set) return true;
    for (; c + 8 <= end; c += 8)
        if (m_Bits[c / 8] != whole) return true;
    for (; c < end; ++c)
        if (bit(c) == set) return true;
    return false;
}

bool KClusterBitmap::AnySet(uint64_t first, uint64_t count) const
{
    if (first >= m_u64Clusters || count == 0) return false;
    return AnyWithValue(first, first + std::min(count, m_u64Clusters - first), true);
}

bool KClusterBitmap::AllSet(uint64_t first, uint64_t count) const
{
    if (!Covers(first, count)) return false;
    return !AnyWithValue(first, first + count, false);
}
