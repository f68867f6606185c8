#include "images/KJp2Type.h"

#include <cstring>

namespace {
constexpr tagRawTypeInfo kInfo{"jp2", "JPEG 2000 Image", 64, 1024LL * 1024 * 1024};
constexpr tagRawSignature kSignatures[] = {{0, 12, "\0\0\0\x0CjP  \r\n\x87\n"}};

constexpr uint64_t kSignatureBox = 12;
constexpr int kMaxBoxes = 4096;

bool BoxType(const uint8_t* t)
{
    for (int i = 0; i < 4; ++i)
        if (t[i] < 0x20 || t[i] > 0x7E) return false;
    return true;
}
} // namespace

KJp2Type::KJp2Type() : KRawTypeBase(kInfo, kSignatures) {}

RawHeader KJp2Type::CheckHeader(ByteView head, uint64_t&) const
{
    // The file type box follows the signature.
    return head.size() >= 24 && std::memcmp(head.data() + 16, "ftyp", 4) == 0 ? RawHeader::Open : RawHeader::No;
}

tagRawMatch KJp2Type::FindEnd(KRawReader& reader) const
{
    uint64_t pos = kSignatureBox;
    bool codestream = false;
    for (int n = 0; n < kMaxBoxes; ++n)
    {
        const ByteView h = reader.View(pos, 16);
        if (h.empty()) return codestream ? tagRawMatch{true, 0, pos} : tagRawMatch{};
        uint32_t length = 0;
        LoadU32BE(h, 0, length);
        if (!BoxType(h.data() + 4)) break;
        uint64_t bytes = length;
        if (length == 1) LoadU64BE(h, 8, bytes);
        if (length == 0) return {true, 0, pos}; // the last box runs to an end not told
        if (bytes < 8 || bytes > reader.Limit()) break;
        if (std::memcmp(h.data() + 4, "jp2c", 4) == 0) codestream = true;
        pos += bytes;
    }
    if (!codestream) return {};
    return {true, pos};
}
