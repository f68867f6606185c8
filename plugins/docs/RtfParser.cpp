#include "RtfParser.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {
constexpr size_t kChunk = 64 * 1024;
constexpr uint64_t kMaxDepth = 1u << 20;
constexpr size_t kMaxControlWord = 32; // letters of a control word
constexpr size_t kMaxParameter = 10;   // digits of its parameter

bool IsLetter(uint8_t c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(uint8_t c) { return c >= '0' && c <= '9'; }

// Reads the file a chunk at a time; At(off) is the byte at `off`, or -1 past the readable end.
class KChunkedBytes
{
public:
    explicit KChunkedBytes(IDocSource& src) : m_Src(src), m_Buf(kChunk) {}

    int At(uint64_t off)
    {
        if (off < m_Off || off - m_Off >= m_Len)
        {
            if (off >= m_Src.Limit()) return -1;
            m_Off = off;
            m_Len =
                m_Src.ReadSome(off, m_Buf.data(), static_cast<size_t>(std::min<uint64_t>(kChunk, m_Src.Limit() - off)));
            if (m_Len == 0) return -1;
        }
        return m_Buf[static_cast<size_t>(off - m_Off)];
    }

private:
    IDocSource& m_Src;
    std::vector<uint8_t> m_Buf;
    uint64_t m_Off = 0;
    size_t m_Len = 0;
};
} // namespace

DocProbe ParseRtf(IDocSource& src)
{
    DocProbe probe;
    uint8_t head[6];
    if (!src.Read(0, head, sizeof head) || std::memcmp(head, "{\\rtf", 5) != 0 || !IsDigit(head[5])) return probe;
    probe.kind = DocKind::Rtf;

    KChunkedBytes bytes(src);
    uint64_t depth = 0;
    uint64_t pos = 0;
    for (int c = bytes.At(pos); c >= 0; c = bytes.At(pos))
    {
        if (c == '{')
        {
            if (++depth > kMaxDepth) return probe;
            ++pos;
        }
        else if (c == '}')
        {
            ++pos;
            if (--depth == 0) break;
        }
        else if (c == '\\')
        {
            // A control symbol (one character, which an escaped brace is) or a control word:
            // letters, an optional signed number, and one space that belongs to it.
            int n = bytes.At(++pos);
            if (n < 0) return probe;
            if (!IsLetter(static_cast<uint8_t>(n)))
            {
                ++pos;
                continue;
            }
            char word[kMaxControlWord + 1] = {};
            size_t len = 0;
            for (; n >= 0 && IsLetter(static_cast<uint8_t>(n)); n = bytes.At(++pos))
                if (len < kMaxControlWord) word[len++] = static_cast<char>(n);
            const bool negative = n == '-';
            if (negative) n = bytes.At(++pos);
            uint64_t param = 0;
            for (size_t digits = 0; n >= 0 && IsDigit(static_cast<uint8_t>(n)); n = bytes.At(++pos))
                if (++digits <= kMaxParameter) param = param * 10 + static_cast<uint64_t>(n - '0');
            if (n == ' ') ++pos;
            // \binN: N raw bytes that may hold anything, braces included.
            if (std::strcmp(word, "bin") == 0 && !negative)
            {
                if (param > src.Limit() - pos) return probe;
                pos += param;
            }
        }
        else if (c < 0x20 && c != '\r' && c != '\n' && c != '\t')
        {
            // Not text: the document was overwritten or cut here.
            return probe;
        }
        else
        {
            ++pos;
        }
    }
    if (depth != 0) return probe;
    // Most writers end the file with a line end after the brace.
    const int c = bytes.At(pos);
    if (c == '\r' && bytes.At(pos + 1) == '\n')
    {
        pos += 2;
    }
    else if (c == '\r' || c == '\n')
    {
        ++pos;
    }
    probe.size = pos;
    return probe;
}
