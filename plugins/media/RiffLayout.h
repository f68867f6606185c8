#pragma once
// RIFF containers (WAVE audio, AVI video). A RIFF file is one chunk: "RIFF", a little-endian
// u32 length of what follows, a four-character form type, then chunks of
// { u32 id, u32 length, data, one pad byte when the length is odd }.
#include <cstdint>

#include "base/ByteView.h"

inline constexpr uint32_t kRiffHeaderBytes = 12; // "RIFF", length, form type
inline constexpr uint32_t kRiffChunkHeader = 8;  // id, length
// The length field of a stream that was never closed properly.
inline constexpr uint32_t kRiffOpenLength = 0xFFFFFFFFu;

constexpr uint32_t FourCC(const char (&s)[5])
{
    return static_cast<uint32_t>(static_cast<uint8_t>(s[0])) |
        (static_cast<uint32_t>(static_cast<uint8_t>(s[1])) << 8) |
        (static_cast<uint32_t>(static_cast<uint8_t>(s[2])) << 16) |
        (static_cast<uint32_t>(static_cast<uint8_t>(s[3])) << 24);
}

/// A four-character code is printable ASCII (space padded); a chunk id that is not is damage.
inline bool PlausibleFourCC(uint32_t id)
{
    for (int i = 0; i < 4; ++i)
    {
        const uint32_t ch = (id >> (8 * i)) & 0xFF;
        if (ch < 0x20 || ch > 0x7E) return false;
    }
    return true;
}

/// Finds the chunk `id` among the first-level chunks of a RIFF form in `head`; on success
/// `dataOff` and `length` describe its data (the data itself may lie beyond `head`). On
/// failure `dataOff` is where the walk stopped: at or past head.size() when it ran out of bytes.
inline bool FindRiffChunk(ByteView head, uint32_t id, uint64_t& dataOff, uint32_t& length)
{
    uint64_t off = kRiffHeaderBytes;
    dataOff = 0;
    for (int n = 0; n < 64; ++n)
    {
        uint32_t chunkId = 0, len = 0;
        if (!RangeFits(head.size(), off, kRiffChunkHeader))
        {
            dataOff = head.size();
            return false;
        }
        LoadU32LE(head, static_cast<size_t>(off), chunkId);
        LoadU32LE(head, static_cast<size_t>(off + 4), len);
        if (!PlausibleFourCC(chunkId)) return false;
        if (chunkId == id)
        {
            dataOff = off + kRiffChunkHeader;
            length = len;
            return true;
        }
        off += kRiffChunkHeader + static_cast<uint64_t>(len) + (len & 1);
    }
    return false;
}
