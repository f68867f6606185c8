#include "common/KRawBitReader.h"

#include <algorithm>

bool KRawBitReader::Refill(unsigned n)
{
    if (m_Count < n && m_View.size() >= 8)
    {
        // Whole bytes at once while the view holds them: as many as fit above the bits held.
        const unsigned take = (64 - m_Count) / 8;
        uint64_t word = PeekU64LE(m_View.data());
        if (take < 8) word &= (uint64_t{1} << (8 * take)) - 1;
        m_Bits |= word << m_Count;
        m_Count += 8 * take;
        m_View = m_View.subspan(take);
        m_Next += take;
    }
    while (m_Count < n)
    {
        if (m_View.empty())
        {
            m_View = m_Reader.ViewUpTo(m_Next, KRawReader::kMaxView);
            if (m_View.empty()) return false;
        }
        m_Bits |= static_cast<uint64_t>(m_View[0]) << m_Count;
        m_View = m_View.subspan(1);
        ++m_Next;
        m_Count += 8;
    }
    return true;
}

uint32_t KRawBitReader::Peek(unsigned n)
{
    Refill(n);
    return static_cast<uint32_t>(m_Bits & ((uint64_t{1} << n) - 1));
}

void KRawBitReader::Drop(unsigned n)
{
    if (n > m_Count)
    {
        m_Exhausted = true;
        n = m_Count;
    }
    m_Bits = n < 64 ? m_Bits >> n : 0;
    m_Count -= n;
}

uint32_t KRawBitReader::Bits(unsigned n)
{
    if (n == 0) return 0;
    if (!Refill(n))
    {
        m_Exhausted = true;
        return 0;
    }
    const uint32_t v = static_cast<uint32_t>(m_Bits & ((uint64_t{1} << n) - 1));
    Drop(n);
    return v;
}

void KRawBitReader::SkipBytes(uint64_t n)
{
    // Whole bytes still in the bit buffer first, then straight over the rest.
    const uint64_t buffered = std::min<uint64_t>(n, m_Count / 8);
    Drop(static_cast<unsigned>(buffered * 8));
    n -= buffered;
    if (n == 0) return;
    if (n <= m_View.size())
    {
        m_View = m_View.subspan(static_cast<size_t>(n));
    }
    else
    {
        m_View = {};
    }
    if (n > m_Reader.Limit() || m_Next > m_Reader.Limit() - n)
    {
        m_Exhausted = true;
        m_Next = m_Reader.Limit();
        return;
    }
    m_Next += n;
}
