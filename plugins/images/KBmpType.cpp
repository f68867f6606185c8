#include "images/KBmpType.h"

namespace {
constexpr tagRawTypeInfo kInfo{"bmp", "Windows Bitmap", 64, 512LL * 1024 * 1024};
constexpr tagRawSignature kSignatures[] = {{0, 2, "BM"}};

constexpr uint32_t kFileHeader = 14;
constexpr uint32_t kMaxDimension = 65536;
// Bytes a writer may leave after the pixel rows (row padding of the last line, a trailing
// alignment word); a size field beyond that is not believed for uncompressed images.
constexpr uint64_t kTailSlack = 4096;

bool KnownDibSize(uint32_t n) { return n == 12 || n == 40 || n == 52 || n == 56 || n == 64 || n == 108 || n == 124; }

bool KnownDepth(uint32_t bpp)
{
    return bpp == 1 || bpp == 2 || bpp == 4 || bpp == 8 || bpp == 16 || bpp == 24 || bpp == 32;
}
} // namespace

KBmpType::KBmpType() : KRawTypeBase(kInfo, kSignatures) {}

RawHeader KBmpType::CheckHeader(ByteView head, uint64_t& size) const
{
    KByteCursor c(head, 2);
    const uint32_t sizeField = c.U32LE();
    c.Skip(4); // two reserved words, written as 0 by most but not all writers
    const uint32_t dataOffset = c.U32LE();
    const uint32_t dibSize = c.U32LE();
    if (!c.Ok() || !KnownDibSize(dibSize) || dataOffset < kFileHeader + dibSize) return RawHeader::No;
    if (!RangeFits(head.size(), kFileHeader, dibSize)) return RawHeader::No;

    uint64_t width = 0, height = 0;
    uint32_t planes = 0, bpp = 0, compression = 0, imageSize = 0;
    if (dibSize == 12)
    {
        width = c.U16LE();
        height = c.U16LE();
        planes = c.U16LE();
        bpp = c.U16LE();
    }
    else
    {
        const int32_t w = static_cast<int32_t>(c.U32LE());
        const int32_t h = static_cast<int32_t>(c.U32LE());
        width = w < 0 ? 0 : static_cast<uint64_t>(w);
        height = h < 0 ? static_cast<uint64_t>(-static_cast<int64_t>(h)) : static_cast<uint64_t>(h);
        planes = c.U16LE();
        bpp = c.U16LE();
        compression = c.U32LE();
        imageSize = c.U32LE();
    }
    if (!c.Ok() || planes != 1 || !KnownDepth(bpp) || width == 0 || height == 0 || width > kMaxDimension ||
        height > kMaxDimension)
        return RawHeader::No;
    // 0 none, 1/2 run-length, 3 bit fields, 4 JPEG, 5 PNG, 6 alpha bit fields.
    if (compression > 6) return RawHeader::No;

    const bool raw = compression == 0 || compression == 3 || compression == 6;
    if (!raw)
    {
        // Compressed pixels: only the header tells the length.
        if (sizeField <= dataOffset) return RawHeader::No;
        if (imageSize && imageSize > sizeField - dataOffset) return RawHeader::No;
        size = sizeField;
        return RawHeader::Sized;
    }
    const uint64_t rowBytes = (width * bpp + 31) / 32 * 4;
    const uint64_t end = dataOffset + rowBytes * height;
    if (sizeField >= end && sizeField - end <= kTailSlack)
    {
        size = sizeField;
    }
    else if (sizeField != 0 && sizeField < dataOffset)
    {
        return RawHeader::No;
    }
    else
    {
        // The size field disagrees with the pixel rows; the rows are what a viewer reads.
        size = end;
    }
    return RawHeader::Sized;
}
