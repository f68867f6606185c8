#include "system/KElfType.h"

#include <algorithm>

namespace {
constexpr tagRawTypeInfo kInfo{"elf", "ELF Executable", 128, 4LL * 1024 * 1024 * 1024};
constexpr tagRawSignature kSignatures[] = {{0, 4,
                                            "\x7F"
                                            "ELF"}};

constexpr uint8_t kClass32 = 1, kClass64 = 2, kLittle = 1, kBig = 2;
constexpr uint32_t kSectionNoBits = 8; // .bss: no bytes in the file
constexpr uint16_t kMaxHeaders = 8192;

// The fields of the file header this walk needs, for either class and byte order.
struct tagElfHeader
{
    bool wide = false, little = true;
    uint64_t phoff = 0, shoff = 0;
    uint16_t ehsize = 0, phentsize = 0, phnum = 0, shentsize = 0, shnum = 0;
};

uint16_t U16(ByteView v, size_t off, bool little)
{
    uint16_t x = 0;
    little ? LoadU16LE(v, off, x) : LoadU16BE(v, off, x);
    return x;
}
uint32_t U32(ByteView v, size_t off, bool little)
{
    uint32_t x = 0;
    little ? LoadU32LE(v, off, x) : LoadU32BE(v, off, x);
    return x;
}
uint64_t Word(ByteView v, size_t off, bool little, bool wide)
{
    uint64_t x = 0;
    if (!wide) return U32(v, off, little);
    little ? LoadU64LE(v, off, x) : LoadU64BE(v, off, x);
    return x;
}

bool ParseElfHeader(ByteView head, tagElfHeader& h)
{
    if (head.size() < 64 || (head[4] != kClass32 && head[4] != kClass64) || (head[5] != kLittle && head[5] != kBig) ||
        head[6] != 1)
        return false;
    for (size_t i = 9; i < 16; ++i)
        if (head[i] != 0) return false; // identification padding
    h.wide = head[4] == kClass64;
    h.little = head[5] == kLittle;
    const uint16_t type = U16(head, 16, h.little);
    if (type < 1 || type > 4 || U32(head, 20, h.little) != 1) return false;
    const size_t w = h.wide ? 8 : 4;
    h.phoff = Word(head, 24 + w, h.little, h.wide);
    h.shoff = Word(head, 24 + 2 * w, h.little, h.wide);
    const size_t rest = 24 + 3 * w + 4; // after e_flags
    h.ehsize = U16(head, rest, h.little);
    h.phentsize = U16(head, rest + 2, h.little);
    h.phnum = U16(head, rest + 4, h.little);
    h.shentsize = U16(head, rest + 6, h.little);
    h.shnum = U16(head, rest + 8, h.little);
    const uint16_t ehsize = h.wide ? 64 : 52, phsize = h.wide ? 56 : 32, shsize = h.wide ? 64 : 40;
    if (h.ehsize != ehsize || (h.phnum && h.phentsize != phsize) || (h.shnum && h.shentsize != shsize)) return false;
    if (h.phnum > kMaxHeaders || h.shnum > kMaxHeaders || (h.phnum == 0 && h.shnum == 0)) return false;
    return true;
}
} // namespace

KElfType::KElfType() : KRawTypeBase(kInfo, kSignatures) {}

RawHeader KElfType::CheckHeader(ByteView head, uint64_t&) const
{
    tagElfHeader h;
    return ParseElfHeader(head, h) ? RawHeader::Open : RawHeader::No;
}

tagRawMatch KElfType::FindEnd(KRawReader& reader) const
{
    tagElfHeader h;
    if (!ParseElfHeader(reader.ViewUpTo(0, 64), h)) return {};
    uint64_t end = h.ehsize;
    const uint64_t limit = reader.Limit();
    if (h.phoff > limit || h.shoff > limit) return {};
    end = std::max(end, h.phoff + static_cast<uint64_t>(h.phnum) * h.phentsize);
    end = std::max(end, h.shoff + static_cast<uint64_t>(h.shnum) * h.shentsize);
    for (uint16_t i = 0; i < h.phnum; ++i)
    {
        const ByteView p = reader.View(h.phoff + static_cast<uint64_t>(i) * h.phentsize, h.phentsize);
        if (p.empty()) return {true, 0, end};
        const uint64_t off = Word(p, h.wide ? 8 : 4, h.little, h.wide);
        const uint64_t filesz = Word(p, h.wide ? 32 : 16, h.little, h.wide);
        if (off > limit || filesz > limit) return {};
        end = std::max(end, off + filesz);
    }
    for (uint16_t i = 0; i < h.shnum; ++i)
    {
        const ByteView s = reader.View(h.shoff + static_cast<uint64_t>(i) * h.shentsize, h.shentsize);
        if (s.empty()) return {true, 0, end};
        if (U32(s, 4, h.little) == kSectionNoBits) continue;
        const uint64_t off = Word(s, h.wide ? 24 : 16, h.little, h.wide);
        const uint64_t size = Word(s, h.wide ? 32 : 20, h.little, h.wide);
        if (off > limit || size > limit) return {};
        end = std::max(end, off + size);
    }
    return {true, end};
}
