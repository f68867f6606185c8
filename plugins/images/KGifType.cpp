#include "images/KGifType.h"

namespace {
constexpr tagRawTypeInfo kInfo{"gif", "GIF Image", 35, 128LL * 1024 * 1024};
constexpr tagRawSignature kSignatures[] = {{0, 6, "GIF87a"}, {0, 6, "GIF89a"}};

constexpr uint64_t kScreenEnd = 13; // header (6) + logical screen descriptor (7)
constexpr uint8_t kImage = 0x2C, kExtension = 0x21, kTrailer = 0x3B;
constexpr int kMaxBlocks = 1 << 20;
constexpr int kMaxSubBlocks = 1 << 22;

uint64_t ColourTableBytes(uint8_t flags) { return (flags & 0x80) ? 3ull << ((flags & 7) + 1) : 0; }
} // namespace

KGifType::KGifType() : KRawTypeBase(kInfo, kSignatures) {}

RawHeader KGifType::CheckHeader(ByteView head, uint64_t&) const
{
    uint16_t width = 0, height = 0;
    uint8_t first = 0;
    if (!LoadU16LE(head, 6, width) || !LoadU16LE(head, 8, height) || width == 0 || height == 0) return RawHeader::No;
    // The first block after the global colour table is an image or an extension.
    if (!LoadU8(head, static_cast<size_t>(kScreenEnd + ColourTableBytes(head[10])), first))
        return RawHeader::Open; // beyond the head; the end finder reads it
    return first == kImage || first == kExtension ? RawHeader::Open : RawHeader::No;
}

// Data sub-blocks: a length byte and that many bytes, ended by a zero length.
bool KGifType::SkipSubBlocks(KRawReader& reader, uint64_t& pos)
{
    for (int n = 0; n < kMaxSubBlocks; ++n)
    {
        uint8_t len = 0;
        if (!reader.U8(pos, len)) return false;
        pos += 1 + static_cast<uint64_t>(len);
        if (len == 0) return true;
    }
    return false;
}

tagRawMatch KGifType::FindEnd(KRawReader& reader) const
{
    uint8_t flags = 0;
    uint16_t screenW = 0, screenH = 0;
    if (!reader.U8(10, flags) || !reader.U16LE(6, screenW) || !reader.U16LE(8, screenH)) return {};
    uint64_t pos = kScreenEnd + ColourTableBytes(flags);
    bool sawImage = false;
    bool sawFittingImage = false;
    for (int n = 0; n < kMaxBlocks; ++n)
    {
        uint8_t kind = 0;
        if (!reader.U8(pos, kind)) break;
        if (kind == kTrailer) return sawImage ? tagRawMatch{true, pos + 1} : tagRawMatch{};
        if (kind == kExtension)
        {
            pos += 2; // introducer and label
        }
        else if (kind == kImage)
        {
            // Left, top, width, height, flags; then a local colour table and the LZW code size.
            uint8_t imageFlags = 0, codeSize = 0;
            uint16_t left = 0, top = 0, w = 0, h = 0;
            if (!reader.U16LE(pos + 1, left) || !reader.U16LE(pos + 3, top) || !reader.U16LE(pos + 5, w) ||
                !reader.U16LE(pos + 7, h) || !reader.U8(pos + 9, imageFlags) || w == 0 || h == 0)
                break;
            if (left + w <= screenW && top + h <= screenH) sawFittingImage = true;
            pos += 10 + ColourTableBytes(imageFlags);
            if (!reader.U8(pos, codeSize) || codeSize < 1 || codeSize > 12) break;
            ++pos;
            sawImage = true;
        }
        else
        {
            break;
        }
        if (!SkipSubBlocks(reader, pos)) break;
    }
    // Broken off: a picture whose end is unknown, if what was read looks like one (an image
    // inside the logical screen; random bytes after the signature rarely manage that).
    return sawFittingImage ? tagRawMatch{true, 0} : tagRawMatch{};
}
