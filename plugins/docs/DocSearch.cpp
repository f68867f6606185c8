#include "DocSearch.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// Reads start small, since most end markers of small files lie in the first few kilobytes, and
// double up to 64 KiB, so that a walk over a big file still costs few reads.
constexpr size_t kFirstChunk = 4 * 1024;
constexpr size_t kSearchChunk = 64 * 1024;

} // namespace

bool FindForward(IDocSource& src, uint64_t from, uint64_t until, std::string_view pattern, uint64_t* found)
{
    const uint64_t end = std::min(until, src.Limit());
    const size_t plen = pattern.size();
    if (plen == 0 || plen > kSearchChunk || from > end || end - from < plen) return false;
    std::vector<uint8_t> chunk;
    size_t step = kFirstChunk / 2;
    uint64_t pos = from;
    while (end - pos >= plen)
    {
        step = std::min(step * 2, kSearchChunk);
        chunk.resize(std::max(step, plen));
        const size_t want = static_cast<size_t>(std::min<uint64_t>(chunk.size(), end - pos));
        const size_t len = src.ReadSome(pos, chunk.data(), want);
        if (len < plen) return false;
        const auto* first = chunk.data();
        const auto* last = chunk.data() + len;
        const auto* hit = std::search(first, last, pattern.begin(), pattern.end(),
                                      [](uint8_t a, char b) { return a == static_cast<uint8_t>(b); });
        if (hit != last)
        {
            *found = pos + static_cast<uint64_t>(hit - first);
            return true;
        }
        if (len < want || len == end - pos) return false;
        // Overlap by plen - 1 bytes so a pattern split between two chunks is still seen.
        pos += len - (plen - 1);
    }
    return false;
}

bool SrcU16(IDocSource& src, uint64_t off, uint16_t& out)
{
    uint8_t b[2];
    out = 0;
    if (!src.Read(off, b, 2)) return false;
    out = PeekU16LE(b);
    return true;
}

bool SrcU32(IDocSource& src, uint64_t off, uint32_t& out)
{
    uint8_t b[4];
    out = 0;
    if (!src.Read(off, b, 4)) return false;
    out = PeekU32LE(b);
    return true;
}

bool SrcU64(IDocSource& src, uint64_t off, uint64_t& out)
{
    uint8_t b[8];
    out = 0;
    if (!src.Read(off, b, 8)) return false;
    out = PeekU64LE(b);
    return true;
}
