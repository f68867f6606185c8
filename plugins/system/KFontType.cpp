#include "system/KFontType.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace {
constexpr int64_t MiB = 1024 * 1024;
constexpr tagRawTypeInfo kTtfInfo{"ttf", "TrueType Font", 256, 256 * MiB};
constexpr tagRawTypeInfo kOtfInfo{"otf", "OpenType Font", 256, 256 * MiB};
constexpr tagRawTypeInfo kWoffInfo{"woff", "Web Font", 64, 256 * MiB};
constexpr tagRawTypeInfo kWoff2Info{"woff2", "Web Font 2", 64, 256 * MiB};
constexpr tagRawSignature kTtfSigs[] = {{0, 4, "\0\x01\0\0"}, {0, 4, "true"}};
constexpr tagRawSignature kOtfSigs[] = {{0, 4, "OTTO"}};
constexpr tagRawSignature kWoffSigs[] = {{0, 4, "wOFF"}};
constexpr tagRawSignature kWoff2Sigs[] = {{0, 4, "wOF2"}};

constexpr size_t kDirectoryBytes = 12, kRecordBytes = 16;
constexpr uint16_t kMaxTables = 256;
constexpr size_t kWoffHeader = 44, kWoff2Header = 48;

// Table count and the three search fields that must agree with it.
bool DirectoryHeader(ByteView head, uint16_t& tables)
{
    uint16_t range = 0, selector = 0, shift = 0;
    if (!LoadU16BE(head, 4, tables) || !LoadU16BE(head, 6, range) || !LoadU16BE(head, 8, selector) ||
        !LoadU16BE(head, 10, shift))
        return false;
    if (tables == 0 || tables > kMaxTables) return false;
    const uint16_t power = static_cast<uint16_t>(std::bit_floor(tables));
    return range == power * 16 && selector == std::countr_zero(power) && shift == tables * 16 - range;
}

bool TagPrintable(const uint8_t* t)
{
    for (int i = 0; i < 4; ++i)
        if (t[i] < 0x20 || t[i] > 0x7E) return false;
    return true;
}
} // namespace

KSfntType::KSfntType(bool postscriptOutlines)
    : KRawTypeBase(postscriptOutlines ? kOtfInfo : kTtfInfo,
                   postscriptOutlines ? std::span<const tagRawSignature>(kOtfSigs)
                                      : std::span<const tagRawSignature>(kTtfSigs))
{}

RawHeader KSfntType::CheckHeader(ByteView head, uint64_t&) const
{
    uint16_t tables = 0;
    if (!DirectoryHeader(head, tables)) return RawHeader::No;
    return RawHeader::Open;
}

tagRawMatch KSfntType::FindEnd(KRawReader& reader) const
{
    uint16_t tables = 0;
    const ByteView all = reader.ViewUpTo(0, kDirectoryBytes + kRecordBytes * kMaxTables);
    if (!DirectoryHeader(all, tables) || !RangeFits(all.size(), kDirectoryBytes, kRecordBytes * tables)) return {};
    uint64_t end = kDirectoryBytes + kRecordBytes * tables;
    uint32_t lastTag = 0;
    for (uint16_t i = 0; i < tables; ++i)
    {
        const size_t at = kDirectoryBytes + kRecordBytes * i;
        uint32_t tag = 0, offset = 0, length = 0;
        LoadU32BE(all, at, tag);
        LoadU32BE(all, at + 8, offset);
        LoadU32BE(all, at + 12, length);
        // Records are sorted by tag; tables start on 4-byte boundaries after the directory.
        if (!TagPrintable(all.data() + at) || (i > 0 && tag <= lastTag) || (offset & 3) ||
            offset < kDirectoryBytes + kRecordBytes * tables)
            return {};
        lastTag = tag;
        end = std::max(end, (static_cast<uint64_t>(offset) + length + 3) / 4 * 4);
    }
    return {true, end};
}

KWoffType::KWoffType(bool version2)
    : KRawTypeBase(version2 ? kWoff2Info : kWoffInfo,
                   version2 ? std::span<const tagRawSignature>(kWoff2Sigs)
                            : std::span<const tagRawSignature>(kWoffSigs)),
      m_Version2(version2)
{}

RawHeader KWoffType::CheckHeader(ByteView head, uint64_t& size) const
{
    // Header: signature, flavour (the sfnt version inside), length, table count, reserved 0.
    uint32_t flavor = 0, length = 0;
    uint16_t tables = 0, reserved = 1;
    if (!LoadU32BE(head, 4, flavor) || !LoadU32BE(head, 8, length) || !LoadU16BE(head, 12, tables) ||
        !LoadU16BE(head, 14, reserved))
        return RawHeader::No;
    const bool knownFlavor =
        flavor == 0x00010000 || flavor == 0x4F54544F || flavor == 0x74727565 || flavor == 0x74746366;
    const size_t header = m_Version2 ? kWoff2Header : kWoffHeader;
    if (!knownFlavor || tables == 0 || tables > kMaxTables || reserved != 0 || length < header) return RawHeader::No;
    size = length;
    return RawHeader::Sized;
}
