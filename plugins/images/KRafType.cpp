#include "images/KRafType.h"

#include <algorithm>

#include "common/MetaName.h"
#include "images/KJpgType.h"

namespace {
constexpr tagRawTypeInfo kInfo{"raf", "Fujifilm Raw Image", 1024, 512LL * 1024 * 1024};
constexpr tagRawSignature kSignatures[] = {{0, 16, "FUJIFILMCCD-RAW "}};

// Header: magic (16), format version (4), camera id (8), camera name (32, zero padded),
// directory version (4), unknown (20), then three pairs of u32 offset and length.
constexpr size_t kCameraName = 28, kCameraNameBytes = 32;
constexpr size_t kParts = 84;
constexpr size_t kHeaderEnd = kParts + 6 * 4;
} // namespace

KRafType::KRafType() : KRawTypeBase(kInfo, kSignatures) {}

RawHeader KRafType::CheckHeader(ByteView head, uint64_t& size) const
{
    if (head.size() < kHeaderEnd) return RawHeader::No;
    // The camera name is printable text followed by zeros.
    const uint8_t first = head[kCameraName];
    if (first < 0x20 || first > 0x7E) return RawHeader::No;
    bool ended = false;
    for (size_t i = kCameraName; i < kCameraName + kCameraNameBytes; ++i)
    {
        const uint8_t c = head[i];
        if (c == 0)
            ended = true;
        else if (ended || c < 0x20 || c > 0x7E)
            return RawHeader::No;
    }
    uint64_t end = 0;
    for (size_t part = 0; part < 3; ++part)
    {
        uint32_t off = 0, len = 0;
        LoadU32BE(head, kParts + part * 8, off);
        LoadU32BE(head, kParts + part * 8 + 4, len);
        // Every part lies after the header; the preview and the sensor data are never empty.
        if (len == 0 && part != 1) return RawHeader::No;
        if (len != 0 && off < kHeaderEnd) return RawHeader::No;
        end = std::max(end, static_cast<uint64_t>(off) + len);
    }
    size = end;
    return RawHeader::Sized;
}

std::string KRafType::NameOf(KRawReader& reader, const tagRawMatch&) const
{
    uint32_t preview = 0;
    tagTiffMeta meta;
    if (!reader.U32BE(kParts, preview) || !KJpgType::ExifMeta(reader, preview, meta)) return {};
    return PhotoName(meta);
}
