#include "images/KDjvuType.h"

#include <cstring>

namespace {
constexpr tagRawTypeInfo kInfo{"djvu", "DjVu Document", 64, 1024LL * 1024 * 1024};
constexpr tagRawSignature kSignatures[] = {{0, 8, "AT&TFORM"}};

constexpr size_t kFormType = 12, kFirstChunk = 16;
} // namespace

KDjvuType::KDjvuType() : KRawTypeBase(kInfo, kSignatures) {}

RawHeader KDjvuType::CheckHeader(ByteView head, uint64_t& size) const
{
    uint32_t length = 0;
    if (!LoadU32BE(head, 8, length) || head.size() < kFirstChunk + 8) return RawHeader::No;
    const uint8_t* type = head.data() + kFormType;
    if (std::memcmp(type, "DJVU", 4) != 0 && std::memcmp(type, "DJVM", 4) != 0 && std::memcmp(type, "DJVI", 4) != 0 &&
        std::memcmp(type, "THUM", 4) != 0)
        return RawHeader::No;
    // The first chunk: a printable identifier (INFO, DIRM, ...).
    for (size_t i = kFirstChunk; i < kFirstChunk + 4; ++i)
        if (head[i] < 0x20 || head[i] > 0x7E) return RawHeader::No;
    size = 12 + static_cast<uint64_t>(length);
    return length >= 12 ? RawHeader::Sized : RawHeader::No;
}
