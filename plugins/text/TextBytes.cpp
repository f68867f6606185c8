#include "text/TextBytes.h"

#include <cstring>

namespace {
// 1: allowed ASCII byte; 0: never text (control bytes, DEL). High bytes are judged as UTF-8.
constexpr bool AsciiText(uint8_t b) { return (b >= 0x20 && b < 0x7F) || (b >= 0x09 && b <= 0x0D) || b == 0x1B; }

// Sixteen bytes at once (the compiler's portable vector types): true when all are printable
// ASCII (0x20..0x7E), tab, line feed or carriage return, the bytes of ordinary text; anything
// else goes the byte-by-byte way.
typedef uint8_t Bytes16 __attribute__((vector_size(16)));
constexpr size_t kLanes = 16;

inline bool AllPlainText(const uint8_t* p)
{
    Bytes16 v;
    std::memcpy(&v, p, kLanes);
    const Bytes16 ok = ((v >= 0x20) & (v < 0x7F)) | (v == 0x09) | (v == 0x0A) | (v == 0x0D);
    uint64_t halves[2];
    std::memcpy(halves, &ok, kLanes);
    return (halves[0] & halves[1]) == ~0ull;
}
} // namespace

bool KTextValidator::Byte(uint8_t b)
{
    if (m_Pending)
    {
        if (b < m_Lo || b > m_Hi) return false;
        m_Lo = 0x80;
        m_Hi = 0xBF;
        --m_Pending;
        ++m_SeqBytes;
        return true;
    }
    if (b < 0x80) return AsciiText(b);
    m_SeqBytes = 1;
    if (b >= 0xC2 && b <= 0xDF)
    {
        m_Pending = 1;
    }
    else if (b >= 0xE0 && b <= 0xEF)
    {
        m_Pending = 2;
        if (b == 0xE0) m_Lo = 0xA0; // no overlong three-byte forms
        if (b == 0xED) m_Hi = 0x9F; // no surrogates
    }
    else if (b >= 0xF0 && b <= 0xF4)
    {
        m_Pending = 3;
        if (b == 0xF0) m_Lo = 0x90; // no overlong four-byte forms
        if (b == 0xF4) m_Hi = 0x8F; // nothing past U+10FFFF
    }
    else
    {
        return false;
    }
    return true;
}

size_t KTextValidator::Feed(ByteView piece)
{
    const uint8_t* p = piece.data();
    const size_t n = piece.size();
    size_t i = 0;
    while (i < n)
    {
        if (!m_Pending)
        {
            while (n - i >= kLanes && AllPlainText(p + i)) i += kLanes;
            if (i == n) break;
        }
        if (!Byte(p[i]))
        {
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

bool CanStartText(uint8_t b) { return AsciiText(b) || (b >= 0xC2 && b <= 0xF4); }
