#include "images/KJpgType.h"

#include <cstring>

#include "common/MetaName.h"

namespace {
constexpr tagRawTypeInfo kInfo{"jpg", "JPEG Image", 128, 256LL * 1024 * 1024};
constexpr tagRawSignature kSignatures[] = {{0, 3, "\xFF\xD8\xFF"}};

// Markers (the byte after 0xFF).
constexpr uint8_t kSOF0 = 0xC0, kDHT = 0xC4, kJPG = 0xC8, kDAC = 0xCC, kSOF15 = 0xCF;
constexpr uint8_t kRST0 = 0xD0, kRST7 = 0xD7, kSOI = 0xD8, kEOI = 0xD9, kSOS = 0xDA;
constexpr uint8_t kDQT = 0xDB, kDNL = 0xDC, kDRI = 0xDD, kEXP = 0xDF;
constexpr uint8_t kAPP0 = 0xE0, kAPP1 = 0xE1, kAPP15 = 0xEF, kCOM = 0xFE, kTEM = 0x01;

// Segments between SOI and EOI; a real picture has a few dozen, a progressive one a few hundred.
constexpr int kMaxSegments = 8192;
// Segments looked at for the EXIF block: it comes first or right after the JFIF block.
constexpr int kMaxMetaSegments = 16;
// "Exif", two zero bytes, then the TIFF structure.
constexpr uint64_t kExifHeader = 6;
// Fill bytes (0xFF) allowed before a marker.
constexpr int kMaxFill = 64;

bool IsSof(uint8_t m) { return m >= kSOF0 && m <= kSOF15 && m != kDHT && m != kJPG && m != kDAC; }

// Markers with a length field that may appear between SOI and EOI.
bool IsSegment(uint8_t m)
{
    return IsSof(m) || m == kDHT || m == kDAC || m == kSOS || m == kDQT || m == kDNL || m == kDRI || m == kEXP ||
        (m >= kAPP0 && m <= kAPP15) || m == kCOM;
}
} // namespace

KJpgType::KJpgType() : KRawTypeBase(kInfo, kSignatures) {}

RawHeader KJpgType::CheckHeader(ByteView head, uint64_t&) const
{
    // The first segment after SOI is a table, an application block, a frame or a comment; a
    // marker segment length is at least 2 (the length field itself).
    uint8_t marker = 0;
    uint16_t length = 0;
    if (!LoadU8(head, 3, marker) || !LoadU16BE(head, 4, length)) return RawHeader::No;
    if (!IsSegment(marker) || marker == kSOS || length < 2) return RawHeader::No;
    return RawHeader::Open;
}

// Scans entropy-coded data from `pos` for the next marker that is not a stuffed 0xFF00 or a
// restart marker. Returns its offset (of the 0xFF) with the marker byte in `marker`, or the
// reader's limit when the data runs out first.
uint64_t KJpgType::SkipEntropyData(KRawReader& reader, uint64_t pos, uint8_t& marker)
{
    const uint64_t limit = reader.Limit();
    for (;;)
    {
        const uint64_t ff = reader.FindByte(pos, limit, 0xFF);
        if (ff >= limit) return limit;
        uint64_t at = ff + 1;
        uint8_t next = 0;
        while (reader.U8(at, next) && next == 0xFF) ++at; // fill bytes
        if (at >= limit || !reader.U8(at, next)) return limit;
        if (next == 0x00 || (next >= kRST0 && next <= kRST7))
        {
            pos = at + 1;
            continue;
        }
        marker = next;
        return at - 1;
    }
}

tagRawMatch KJpgType::FindEnd(KRawReader& reader) const
{
    uint64_t pos = 2;
    bool sawFrame = false;
    bool sawScan = false;
    for (int n = 0; n < kMaxSegments; ++n)
    {
        uint8_t b = 0, marker = 0;
        if (!reader.U8(pos, b) || b != 0xFF) break;
        int fill = 0;
        while (reader.U8(pos + 1, marker) && marker == 0xFF && fill < kMaxFill)
        {
            ++pos;
            ++fill;
        }
        if (!reader.U8(pos + 1, marker)) break;
        if (marker == kEOI)
        {
            if (!sawScan) return {}; // tables alone are no picture
            return {true, pos + 2};
        }
        if (marker == kTEM || (marker >= kRST0 && marker <= kRST7))
        {
            pos += 2;
            continue;
        }
        if (!IsSegment(marker) || marker == kSOI) break;
        uint16_t length = 0;
        if (!reader.U16BE(pos + 2, length) || length < 2) break;
        if (IsSof(marker)) sawFrame = true;
        // APP1 may carry an EXIF thumbnail, a whole JPEG with its own EOI: skipping the segment
        // by its length keeps that EOI from ending the picture.
        pos += 2 + static_cast<uint64_t>(length);
        if (marker != kSOS) continue;
        if (!sawFrame) return {};
        sawScan = true;
        uint8_t next = 0;
        pos = SkipEntropyData(reader, pos, next);
        if (pos >= reader.Limit()) break;
    }
    // The structure broke off or ran past what can be read: a picture whose end is unknown,
    // once it got as far as its image data.
    if (!sawScan) return {};
    return {true, 0};
}

bool KJpgType::ExifMeta(KRawReader& reader, uint64_t start, tagTiffMeta& meta)
{
    uint8_t b0 = 0, b1 = 0;
    if (!reader.U8(start, b0) || !reader.U8(start + 1, b1) || b0 != 0xFF || b1 != kSOI) return false;
    uint64_t pos = start + 2;
    for (int n = 0; n < kMaxMetaSegments; ++n)
    {
        uint8_t ff = 0, marker = 0;
        uint16_t length = 0;
        if (!reader.U8(pos, ff) || ff != 0xFF || !reader.U8(pos + 1, marker) || !reader.U16BE(pos + 2, length))
            return false;
        // The application blocks come before the frame; past them there is no EXIF block.
        if (marker < kAPP0 || marker > kAPP15 || length < 2) return false;
        const ByteView id = reader.View(pos + 4, kExifHeader);
        if (marker == kAPP1 && length > 2 + kExifHeader && !id.empty() && std::memcmp(id.data(), "Exif\0\0", 6) == 0)
            return ReadTiffMeta(reader, pos + 4 + kExifHeader, length - 2 - kExifHeader, meta);
        pos += 2 + static_cast<uint64_t>(length);
    }
    return false;
}

std::string KJpgType::NameOf(KRawReader& reader, const tagRawMatch&) const
{
    tagTiffMeta meta;
    return ExifMeta(reader, 0, meta) ? PhotoName(meta) : std::string();
}
