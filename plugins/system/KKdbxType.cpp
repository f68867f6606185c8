#include "system/KKdbxType.h"

namespace {
constexpr tagRawTypeInfo kInfo{"kdbx", "Password Database", 128, 1024LL * 1024 * 1024};
constexpr tagRawSignature kSignatures[] = {{0, 8, "\x03\xD9\xA2\x9A\x67\xFB\x4B\xB5"}};

constexpr size_t kMinor = 8, kMajor = 10;
constexpr uint64_t kFirstField = 12;
constexpr int kMaxFields = 64;
constexpr uint32_t kMaxField = 1u << 20;
constexpr uint64_t kHeaderCodes = 64; // SHA-256 of the header and its HMAC
constexpr uint64_t kBlockCode = 32;
constexpr uint32_t kMaxBlock = 1u << 30;
constexpr uint64_t kMaxBlocks = 1ull << 20;
} // namespace

KKdbxType::KKdbxType() : KRawTypeBase(kInfo, kSignatures) {}

RawHeader KKdbxType::CheckHeader(ByteView head, uint64_t&) const
{
    uint16_t major = 0;
    if (!LoadU16LE(head, kMajor, major) || (major != 3 && major != 4)) return RawHeader::No;
    return RawHeader::Open;
}

tagRawMatch KKdbxType::FindEnd(KRawReader& reader) const
{
    uint16_t major = 0;
    if (!reader.U16LE(kMajor, major)) return {};
    const bool v4 = major == 4;
    uint64_t pos = kFirstField;
    bool ended = false;
    for (int n = 0; n < kMaxFields && !ended; ++n)
    {
        uint8_t id = 0;
        uint32_t length = 0;
        if (!reader.U8(pos, id)) return {};
        if (v4)
        {
            if (!reader.U32LE(pos + 1, length)) return {};
        }
        else
        {
            uint16_t short16 = 0;
            if (!reader.U16LE(pos + 1, short16)) return {};
            length = short16;
        }
        if (id > 12 || length > kMaxField) return {};
        pos += (v4 ? 5 : 3) + static_cast<uint64_t>(length);
        ended = id == 0;
    }
    if (!ended) return {};
    if (!v4) return {true, 0, pos}; // the encrypted payload carries no length
    pos += kHeaderCodes;
    for (uint64_t b = 0; b < kMaxBlocks; ++b)
    {
        uint32_t length = 0;
        if (!reader.U32LE(pos + kBlockCode, length)) return {true, 0, pos};
        if (length > kMaxBlock) return {};
        pos += kBlockCode + 4 + length;
        if (length == 0) return {true, pos};
    }
    return {true, 0, pos};
}
