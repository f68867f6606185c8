#include "text/TextBytes.h"

#include <cstring>

namespace {
// 1: allowed ASCII byte; 0: never text (control bytes, DEL). High bytes are judged as UTF-8.
constexpr bool AsciiText(uint8_t b)
{
    return (b >= 0x20 && b < 0x7F) || (b >= 0x09 && b <= 0x0D) || b == 0x1B;
}

// Eight bytes at once: true when all are printable ASCII (0x20..0x7E).
inline bool AllPrintable(const uint8_t* p)
{
    uint64_t x;
    std::memcpy(&x, p, 8);
    constexpr uint64_t kOnes = 0x0101010101010101ull, kHigh = 0x8080808080808080ull;
    const uint64_t below = (x - 0x20 * kOnes) & ~x & kHigh;   // a byte under 0x20
    const uint64_t del = x ^ (0x7F * kOnes);
    const uint64_t isDel = (del - kOnes) & ~del & kHigh;       // a byte equal to 0x7F
    return ((x & kHigh) | below | isDel) == 0;
}
}

bool KTextValidator::Byte(uint8_t b)
{
    if (m_Pending) {
        if (b < m_Lo || b > m_Hi) return false;
        m_Lo = 0x80;
        m_Hi = 0xBF;
        --m_Pending;
        ++m_SeqBytes;
        return true;
    }
    if (b < 0x80) return AsciiText(b);
    m_SeqBytes = 1;
    if (b >= 0xC2 && b <= 0xDF) {
        m_Pending = 1;
    } else if (b >= 0xE0 && b <= 0xEF) {
        m_Pending = 2;
        if (b == 0xE0) m_Lo = 0xA0;        // no overlong three-byte forms
        if (b == 0xED) m_Hi = 0x9F;        // no surrogates
    } else if (b >= 0xF0 && b <= 0xF4) {
        m_Pending = 3;
        if (b == 0xF0) m_Lo = 0x90;        // no overlong four-byte forms
        if (b == 0xF4) m_Hi = 0x8F;        // nothing past U+10FFFF
    } else {
        return false;
    }
    return true;
}

size_t KTextValidator::Feed(ByteView piece)
{
    const uint8_t* p = piece.data();
    const size_t n = piece.size();
    size_t i = 0;
    while (i < n) {
        if (!m_Pending && n - i >= 8 && AllPrintable(p + i)) {
            i += 8;
            continue;
        }
        if (!Byte(p[i])) {
            m_Broken = m_Pending ? m_SeqBytes : 0;
            m_Pending = 0;
            m_Lo = 0x80;
            m_Hi = 0xBF;
            return i;
        }
        ++i;
    }
    return n;
}

bool IsTextSpan(ByteView bytes, bool openEnd)
{
    size_t skip = 0;
    while (skip < 3 && skip < bytes.size() && bytes[skip] >= 0x80 && bytes[skip] <= 0xBF) ++skip;
    KTextValidator v;
    return v.Feed(bytes.subspan(skip)) == bytes.size() - skip && (openEnd || !v.InSequence());
}

bool CanStartText(uint8_t b)
{
    return AsciiText(b) || (b >= 0xC2 && b <= 0xF4);
}
