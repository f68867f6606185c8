#include "images/KPsdType.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr tagRawTypeInfo kInfo{"psd", "Photoshop Image", 64, 2LL * 1024 * 1024 * 1024};
constexpr tagRawSignature kSignatures[] = {{0, 6, "8BPS\0\1"}};

constexpr uint64_t kHeaderBytes = 26;
constexpr uint32_t kMaxChannels = 56;
constexpr uint32_t kMaxDimension = 30000;

struct tagPsdHeader
{
    uint32_t channels, height, width, depth;
};

bool ParseHeader(ByteView head, tagPsdHeader& h)
{
    KByteCursor c(head, 6);
    for (int i = 0; i < 6; ++i)
        if (c.U8() != 0) return false; // reserved
    h.channels = c.U16BE();
    h.height = c.U32BE();
    h.width = c.U32BE();
    h.depth = c.U16BE();
    const uint16_t mode = c.U16BE();
    if (!c.Ok() || h.channels == 0 || h.channels > kMaxChannels || h.height == 0 || h.width == 0 ||
        h.height > kMaxDimension || h.width > kMaxDimension)
        return false;
    if (h.depth != 1 && h.depth != 8 && h.depth != 16 && h.depth != 32) return false;
    // Bitmap, grey, indexed, RGB, CMYK, multichannel, duotone, Lab.
    return mode <= 4 || (mode >= 7 && mode <= 9);
}
} // namespace

KPsdType::KPsdType() : KRawTypeBase(kInfo, kSignatures) {}

RawHeader KPsdType::CheckHeader(ByteView head, uint64_t&) const
{
    tagPsdHeader h{};
    return ParseHeader(head, h) ? RawHeader::Open : RawHeader::No;
}

tagRawMatch KPsdType::FindEnd(KRawReader& reader) const
{
    tagPsdHeader h{};
    if (!ParseHeader(reader.ViewUpTo(0, kHeaderBytes), h)) return {};
    uint64_t pos = kHeaderBytes;
    for (int section = 0; section < 3; ++section)
    {
        uint32_t length = 0;
        if (!reader.U32BE(pos, length)) return {true, 0};
        // Image resources are a list of "8BIM" blocks: a second check that this is Photoshop's.
        if (section == 1 && length >= 4)
        {
            ByteView sig = reader.View(pos + 4, 4);
            if (sig.empty() || std::memcmp(sig.data(), "8BIM", 4) != 0) return {};
        }
        pos += 4 + static_cast<uint64_t>(length);
    }
    uint16_t compression = 0;
    if (!reader.U16BE(pos, compression)) return {true, 0};
    pos += 2;
    const uint64_t rows = static_cast<uint64_t>(h.channels) * h.height;
    if (compression == 0)
    {
        const uint64_t rowBytes = (static_cast<uint64_t>(h.width) * h.depth + 7) / 8;
        return {true, pos + rows * rowBytes};
    }
    if (compression != 1) return {true, 0}; // zip-coded merged data: no length stored
    // Run-length: a table of u16 byte counts, one per row of every channel, then the rows.
    uint64_t data = 0;
    for (uint64_t done = 0; done < rows;)
    {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(rows - done, KRawReader::kMaxView / 2));
        ByteView counts = reader.View(pos + done * 2, n * 2);
        if (counts.empty()) return {true, 0};
        for (size_t i = 0; i < n; ++i) data += static_cast<uint32_t>(counts[2 * i] << 8 | counts[2 * i + 1]);
        done += n;
    }
    return {true, pos + rows * 2 + data};
}
