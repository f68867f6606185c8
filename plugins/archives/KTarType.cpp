#include "archives/KTarType.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "archives/ArchivesLayout.h"

namespace {
constexpr tagRawTypeInfo kInfo{"tar", "tar Archive", 2 * kTarBlock, 64LL * 1024 * 1024 * 1024};
constexpr tagRawSignature kSignatures[] = {{257, 5, kTarMagic}};
constexpr uint64_t kMaxMembers = 1ull << 24;

// An octal field: optional leading spaces, digits, then spaces or zeros to its end. A field
// whose first byte has bit 7 set holds a big-endian base-256 number in its other bytes.
bool Number(const char* field, size_t len, uint64_t& out)
{
    out = 0;
    const auto* f = reinterpret_cast<const uint8_t*>(field);
    if (f[0] & 0x80)
    {
        if (f[0] != 0x80) return false; // negative or beyond 64 bits
        for (size_t i = 1; i < len; ++i)
        {
            if (out >> 56) return false;
            out = out << 8 | f[i];
        }
        return true;
    }
    size_t i = 0;
    while (i < len && f[i] == ' ') ++i;
    size_t digits = 0;
    for (; i < len && f[i] >= '0' && f[i] <= '7'; ++i, ++digits)
    {
        if (out >> 60) return false;
        out = out << 3 | static_cast<uint64_t>(f[i] - '0');
    }
    for (; i < len; ++i)
        if (f[i] != ' ' && f[i] != 0) return false;
    return digits > 0;
}
} // namespace

KTarType::KTarType() : KRawTypeBase(kInfo, kSignatures) {}

KTarType::Block KTarType::Classify(ByteView block, uint64_t& dataBytes)
{
    if (block.size() < kTarBlock) return Block::Other;
    if (std::all_of(block.begin(), block.begin() + kTarBlock, [](uint8_t b) { return b == 0; })) return Block::Zero;
    tagTarHeader h;
    uint64_t stored = 0, size = 0;
    if (!LoadRecord(block, 0, h) || std::memcmp(h.Magic, kTarMagic, 5) != 0 ||
        !Number(h.Checksum, sizeof(h.Checksum), stored) || !Number(h.Size, sizeof(h.Size), size))
        return Block::Other;
    uint64_t sum = 0;
    for (size_t i = 0; i < kTarBlock; ++i)
    {
        const bool inChecksum = i >= offsetof(tagTarHeader, Checksum) && i < offsetof(tagTarHeader, TypeFlag);
        sum += inChecksum ? uint64_t{' '} : block[i];
    }
    if (sum != stored) return Block::Other;
    // Links, devices, folders and FIFOs have no data whatever their size field says.
    dataBytes = (h.TypeFlag >= '1' && h.TypeFlag <= '6') ? 0 : (size + kTarBlock - 1) / kTarBlock * kTarBlock;
    return Block::Header;
}

RawHeader KTarType::CheckHeader(ByteView head, uint64_t&) const
{
    uint64_t data = 0;
    return Classify(head, data) == Block::Header ? RawHeader::Open : RawHeader::No;
}

tagRawMatch KTarType::FindEnd(KRawReader& reader) const
{
    uint64_t pos = 0;
    for (uint64_t n = 0; n < kMaxMembers; ++n)
    {
        uint64_t data = 0;
        // Damaged, overwritten or cut: the end is unknown, but the members walked are this
        // archive's (each header would otherwise pass as the start of an archive of its own).
        const Block b = Classify(reader.View(pos, kTarBlock), data);
        if (b == Block::Other) return {true, 0, pos};
        if (b == Block::Zero) break;
        if (data > reader.Limit() - pos - kTarBlock) return {true, 0, pos};
        pos += kTarBlock + data;
    }
    if (pos == 0) return {};
    // The end: one zero block, a second one, then zeros to the end of the record.
    pos += kTarBlock;
    uint64_t ignored = 0;
    if (Classify(reader.View(pos, kTarBlock), ignored) != Block::Zero) return {true, pos};
    pos += kTarBlock;
    const uint64_t recordEnd = (pos + kTarRecord - 1) / kTarRecord * kTarRecord;
    for (uint64_t p = pos; p < recordEnd; p += kTarBlock)
        if (Classify(reader.View(p, kTarBlock), ignored) != Block::Zero) return {true, pos};
    return {true, recordEnd};
}
