#include "system/KLnkType.h"

#include <cstring>

namespace {
constexpr tagRawTypeInfo kInfo{"lnk", "Windows Shortcut", 78, 16LL * 1024 * 1024};
// Header length 0x4C, then the class id 00021401-0000-0000-C000-000000000046.
constexpr tagRawSignature kSignatures[] = {{0, 16, "\x4C\0\0\0\x01\x14\x02\0\0\0\0\0\xC0\0\0\0"}};

constexpr uint64_t kHeaderBytes = 0x4C;
constexpr size_t kFlags = 0x14;
constexpr uint32_t kHasIdList = 0x01, kHasLinkInfo = 0x02, kUnicode = 0x80;
constexpr uint32_t kStringFlags[] = {0x04, 0x08, 0x10, 0x20, 0x40}; // name, path, dir, args, icon
constexpr uint32_t kMaxLinkInfo = 1u << 20, kMaxBlock = 1u << 20;
constexpr int kMaxBlocks = 64;
} // namespace

KLnkType::KLnkType() : KRawTypeBase(kInfo, kSignatures) {}

RawHeader KLnkType::CheckHeader(ByteView head, uint64_t&) const
{
    // The class id's last four bytes.
    return head.size() >= kHeaderBytes && std::memcmp(head.data() + 16, "\0\0\0\x46", 4) == 0 ? RawHeader::Open
                                                                                              : RawHeader::No;
}

tagRawMatch KLnkType::FindEnd(KRawReader& reader) const
{
    uint32_t flags = 0;
    if (!reader.U32LE(kFlags, flags)) return {};
    uint64_t pos = kHeaderBytes;
    if (flags & kHasIdList)
    {
        uint16_t bytes = 0;
        if (!reader.U16LE(pos, bytes)) return {};
        pos += 2 + static_cast<uint64_t>(bytes);
    }
    if (flags & kHasLinkInfo)
    {
        uint32_t bytes = 0, headerBytes = 0;
        if (!reader.U32LE(pos, bytes) || !reader.U32LE(pos + 4, headerBytes) || bytes < headerBytes ||
            bytes > kMaxLinkInfo || (headerBytes != 0x1C && headerBytes < 0x24))
            return {};
        pos += bytes;
    }
    for (uint32_t f : kStringFlags)
    {
        if (!(flags & f)) continue;
        uint16_t chars = 0;
        if (!reader.U16LE(pos, chars)) return {};
        pos += 2 + static_cast<uint64_t>(chars) * ((flags & kUnicode) ? 2 : 1);
    }
    for (int i = 0; i < kMaxBlocks; ++i)
    {
        uint32_t bytes = 0;
        if (!reader.U32LE(pos, bytes)) return {true, 0, pos};
        if (bytes < 4) return {true, pos + 4}; // the terminal block
        if (bytes < 8 || bytes > kMaxBlock) return {};
        pos += bytes;
    }
    return {};
}
