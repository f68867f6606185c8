#include "system/KPeType.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr int64_t GiB = 1024LL * 1024 * 1024;
constexpr tagRawTypeInfo kExeInfo{"exe", "Windows Program", 512, 4 * GiB};
constexpr tagRawTypeInfo kDllInfo{"dll", "Windows Library", 512, 4 * GiB};
constexpr tagRawSignature kSignatures[] = {{0, 2, "MZ"}};

constexpr size_t kLfanew = 0x3C;
constexpr uint32_t kMaxLfanew = 4096;
constexpr size_t kCoffBytes = 20;
constexpr uint16_t kMaxSections = 96;
constexpr uint16_t kPe32 = 0x10B, kPe32Plus = 0x20B;
constexpr uint16_t kCharExecutable = 0x0002, kCharDll = 0x2000;
constexpr size_t kSectionBytes = 40;
constexpr uint32_t kSecurityDirectory = 4;
constexpr uint64_t kSymbolBytes = 18;

struct tagPeHeaders
{
    uint32_t pe = 0; // offset of "PE\0\0"
    uint16_t sections = 0, optionalBytes = 0, characteristics = 0;
    uint32_t symbols = 0, symbolCount = 0;
};

bool ParsePe(ByteView head, tagPeHeaders& h)
{
    if (!LoadU32LE(head, kLfanew, h.pe) || h.pe < 0x40 || h.pe > kMaxLfanew || (h.pe & 3)) return false;
    if (!RangeFits(head.size(), h.pe, 4 + kCoffBytes + 2) || std::memcmp(head.data() + h.pe, "PE\0\0", 4) != 0)
        return false;
    const size_t coff = h.pe + 4;
    uint16_t magic = 0;
    LoadU16LE(head, coff + 2, h.sections);
    LoadU32LE(head, coff + 8, h.symbols);
    LoadU32LE(head, coff + 12, h.symbolCount);
    LoadU16LE(head, coff + 16, h.optionalBytes);
    LoadU16LE(head, coff + 18, h.characteristics);
    LoadU16LE(head, coff + kCoffBytes, magic);
    return h.sections > 0 && h.sections <= kMaxSections && (magic == kPe32 || magic == kPe32Plus) &&
        (h.characteristics & kCharExecutable) && h.optionalBytes >= (magic == kPe32 ? 96 : 112);
}
} // namespace

KPeType::KPeType(bool library) : KRawTypeBase(library ? kDllInfo : kExeInfo, kSignatures), m_Library(library) {}

RawHeader KPeType::CheckHeader(ByteView head, uint64_t&) const
{
    tagPeHeaders h;
    if (!ParsePe(head, h) || ((h.characteristics & kCharDll) != 0) != m_Library) return RawHeader::No;
    return RawHeader::Open;
}

tagRawMatch KPeType::FindEnd(KRawReader& reader) const
{
    tagPeHeaders h;
    const ByteView head = reader.ViewUpTo(0, kMaxLfanew + 4 + kCoffBytes + 2);
    if (!ParsePe(head, h)) return {};
    const uint64_t optional = h.pe + 4 + kCoffBytes;
    uint16_t magic = 0;
    uint32_t sizeOfHeaders = 0, directories = 0;
    reader.U16LE(optional, magic);
    const uint64_t dirCountAt = optional + (magic == kPe32 ? 92 : 108);
    if (!reader.U32LE(optional + 60, sizeOfHeaders) || !reader.U32LE(dirCountAt, directories)) return {};
    const uint64_t sectionTable = optional + h.optionalBytes;
    uint64_t end = std::max<uint64_t>(sizeOfHeaders, sectionTable + kSectionBytes * h.sections);
    for (uint16_t i = 0; i < h.sections; ++i)
    {
        const ByteView s = reader.View(sectionTable + kSectionBytes * i, kSectionBytes);
        if (s.empty()) return {true, 0, end};
        uint32_t rawSize = 0, rawPtr = 0;
        LoadU32LE(s, 16, rawSize);
        LoadU32LE(s, 20, rawPtr);
        if (rawSize) end = std::max(end, static_cast<uint64_t>(rawPtr) + rawSize);
    }
    // The signature: a file offset and length, unlike every other directory's address.
    if (directories > kSecurityDirectory &&
        dirCountAt + 4 + 8ull * (kSecurityDirectory + 1) <= optional + h.optionalBytes)
    {
        uint32_t off = 0, len = 0;
        reader.U32LE(dirCountAt + 4 + 8ull * kSecurityDirectory, off);
        reader.U32LE(dirCountAt + 8 + 8ull * kSecurityDirectory, len);
        if (off && len) end = std::max(end, static_cast<uint64_t>(off) + len);
    }
    // COFF symbols (object-style debugging information) with their string table after them.
    if (h.symbols && h.symbolCount)
    {
        const uint64_t strings = h.symbols + kSymbolBytes * h.symbolCount;
        uint32_t stringBytes = 0;
        if (reader.U32LE(strings, stringBytes) && stringBytes >= 4) end = std::max(end, strings + stringBytes);
    }
    if (end > reader.Limit()) return {};
    return {true, end};
}
