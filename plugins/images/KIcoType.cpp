#include "images/KIcoType.h"

#include <cstring>

namespace {
constexpr tagRawTypeInfo kIcoInfo{"ico", "Windows Icon", 70, 16LL * 1024 * 1024};
constexpr tagRawTypeInfo kCurInfo{"cur", "Windows Cursor", 70, 16LL * 1024 * 1024};
// Reserved 0, type 1 (icon) or 2 (cursor).
constexpr tagRawSignature kIcoSignatures[] = {{0, 4, "\0\0\1\0"}};
constexpr tagRawSignature kCurSignatures[] = {{0, 4, "\0\0\2\0"}};

constexpr uint32_t kDirHeader = 6;
constexpr uint32_t kEntryBytes = 16;
constexpr uint32_t kMaxImages = 64; // real icons carry up to a dozen sizes
constexpr uint32_t kMaxImageBytes = 4 * 1024 * 1024;

// Entry: width, height, colours, reserved, planes u16, bit count u16, bytes u32, offset u32.
// A cursor's entry holds the hot spot (x, y) in place of planes and bit count, inside the
// image (a width or height of 0 means 256).
bool EntryEnd(ByteView head, uint32_t index, uint32_t count, bool cursor, uint64_t& end, uint32_t& offset)
{
    const size_t at = kDirHeader + static_cast<size_t>(index) * kEntryBytes;
    uint16_t planes = 0, bits = 0;
    uint32_t bytes = 0;
    LoadU16LE(head, at + 4, planes);
    LoadU16LE(head, at + 6, bits);
    LoadU32LE(head, at + 8, bytes);
    LoadU32LE(head, at + 12, offset);
    if (head[at + 3] != 0 && head[at + 3] != 0xFF) return false;
    const uint32_t width = head[at] ? head[at] : 256u, height = head[at + 1] ? head[at + 1] : 256u;
    if (cursor ? (planes >= width || bits >= height) : (planes > 1 || bits > 32)) return false;
    if (bytes < 40 || bytes > kMaxImageBytes) return false;
    if (offset < kDirHeader + count * kEntryBytes) return false;
    end = static_cast<uint64_t>(offset) + bytes;
    return true;
}

// The directory: count entries after the 6-byte header. `end` is where the last image ends.
bool ParseDirectory(ByteView head, bool cursor, uint64_t& end, uint32_t& firstOffset)
{
    uint16_t count = 0;
    if (!LoadU16LE(head, 4, count) || count == 0 || count > kMaxImages) return false;
    if (!RangeFits(head.size(), kDirHeader, static_cast<uint64_t>(count) * kEntryBytes)) return false;
    end = 0;
    for (uint32_t i = 0; i < count; ++i)
    {
        uint64_t e = 0;
        uint32_t offset = 0;
        if (!EntryEnd(head, i, count, cursor, e, offset)) return false;
        if (i == 0) firstOffset = offset;
        end = e > end ? e : end;
    }
    return true;
}
} // namespace

KIcoType::KIcoType(bool cursor)
    : KRawTypeBase(cursor ? kCurInfo : kIcoInfo,
                   cursor ? std::span<const tagRawSignature>(kCurSignatures)
                          : std::span<const tagRawSignature>(kIcoSignatures)),
      m_Cursor(cursor)
{}

RawHeader KIcoType::CheckHeader(ByteView head, uint64_t&) const
{
    uint16_t count = 0;
    if (!LoadU16LE(head, 4, count) || count == 0 || count > kMaxImages) return RawHeader::No;
    // A directory longer than the head is checked whole by the end finder.
    if (!RangeFits(head.size(), kDirHeader, static_cast<uint64_t>(count) * kEntryBytes)) return RawHeader::Open;
    uint64_t end = 0;
    uint32_t first = 0;
    return ParseDirectory(head, m_Cursor, end, first) ? RawHeader::Open : RawHeader::No;
}

tagRawMatch KIcoType::FindEnd(KRawReader& reader) const
{
    // The directory alone is four bytes of pattern and a few small numbers; the first image's
    // data must also be a bitmap info header (40) or a PNG signature.
    uint64_t end = 0;
    uint32_t first = 0;
    if (!ParseDirectory(reader.ViewUpTo(0, KRawTypeBase::kHeadBytes), m_Cursor, end, first)) return {};
    ByteView image = reader.View(first, 8);
    if (image.empty()) return {};
    uint32_t infoSize = 0;
    LoadU32LE(image, 0, infoSize);
    if (infoSize != 40 && std::memcmp(image.data(), "\x89PNG\r\n\x1A\n", 8) != 0) return {};
    return {true, end};
}
