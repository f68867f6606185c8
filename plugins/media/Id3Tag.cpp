#include "media/Id3Tag.h"

#include <cstring>

bool Id3v2Size(ByteView head, uint64_t& size)
{
    if (head.size() < kId3v2Header || std::memcmp(head.data(), "ID3", 3) != 0) return false;
    // Version 0xFF is never valid; the low four flag bits are unused in every version.
    if (head[3] < 2 || head[3] > 4 || head[4] == 0xFF || (head[5] & 0x0F)) return false;
    uint64_t s = 0;
    for (size_t i = 6; i < kId3v2Header; ++i) {
        if (head[i] & 0x80) return false;
        s = (s << 7) | head[i];
    }
    size = kId3v2Header + s + ((head[5] & 0x10) ? kId3v2Header : 0);
    return true;
}
