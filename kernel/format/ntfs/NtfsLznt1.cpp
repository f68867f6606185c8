#include "format/ntfs/NtfsLznt1.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "format/ntfs/NtfsLayout.h"

namespace {

// Copies a back-reference of `length` bytes from `displacement` bytes back. An overlapping copy
// repeats its own output byte by byte; bytes before the chunk's output are zeros.
void CopyMatch(uint8_t* out, uint32_t pos, uint32_t displacement, uint32_t length)
{
    uint32_t i = 0;
    if (displacement > pos)
    {
        const uint32_t zeros = displacement - pos < length ? displacement - pos : length;
        std::memset(out + pos, 0, zeros);
        i = zeros;
    }
    if (displacement >= length)
    {
        std::memcpy(out + pos + i, out + pos + i - displacement, length - i);
        return;
    }
    for (; i < length; ++i) out[pos + i] = out[pos + i - displacement];
}

} // namespace

uint32_t DecompressChunk(ByteView chunk, uint8_t* out)
{
    constexpr uint32_t kOut = kNtfsLznt1UnitBytes;
    if (chunk.size() < 2) return 0;
    const uint16_t h = PeekU16LE(chunk.data());
    if (!(h & 0x8000))
    {
        uint64_t raw = (h & 0x0FFFu) + 1;
        if (raw > chunk.size() - 2) raw = chunk.size() - 2;
        std::memcpy(out, chunk.data() + 2, static_cast<size_t>(raw));
        return static_cast<uint32_t>(raw);
    }
    const uint8_t* in = chunk.data();
    size_t end = Lznt1ChunkLength(h);
    if (end > chunk.size()) end = chunk.size();
    size_t ip = 2;
    uint32_t pos = 0;
    // The split between length and displacement bits moves as the output grows: b grows by
    // one each time pos - 1 doubles past 16.
    uint32_t b = 0, nextLimit = 16;
    while (ip < end)
    {
        const uint8_t flags = in[ip++];
        for (int bit = 0; bit < 8 && ip < end; ++bit)
        {
            if (!(flags & (1u << bit)))
            {
                if (pos >= kOut) return kOut;
                out[pos++] = in[ip++];
                continue;
            }
            if (end - ip < 2) return pos; // a token cut off by the chunk's end
            const uint16_t t = PeekU16LE(in + ip);
            ip += 2;
            while (pos >= nextLimit + 1)
            {
                ++b;
                nextLimit <<= 1;
            }
            uint32_t length = (t & (0x0FFFu >> b)) + 3;
            const uint32_t displacement = (static_cast<uint32_t>(t) >> (12 - b)) + 1;
            if (length > kOut - pos) length = kOut - pos;
            CopyMatch(out, pos, displacement, length);
            pos += length;
            if (pos >= kOut) return kOut;
        }
    }
    return pos;
}

uint64_t DecodeCompressionUnit(ByteView data, bool cut, uint8_t* out, uint64_t outBytes)
{
    std::vector<uint8_t> chunkOut(kNtfsLznt1UnitBytes);
    uint64_t written = 0;
    size_t off = 0;
    while (data.size() >= 2 && off < data.size() - 2 && written < outBytes)
    {
        const uint16_t h = PeekU16LE(data.data() + off);
        if (h == 0) break;
        if (cut && Lznt1ChunkLength(h) > data.size() - off) break;
        const uint32_t produced = DecompressChunk(data.subspan(off), chunkOut.data());
        const uint64_t piece = std::min<uint64_t>(produced, outBytes - written);
        std::memcpy(out + written, chunkOut.data(), static_cast<size_t>(piece));
        written += piece;
        off += Lznt1ChunkLength(h);
    }
    return written;
}
