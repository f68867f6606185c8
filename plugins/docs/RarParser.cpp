#include "RarParser.h"

#include <cstring>
#include <vector>

#include "common/RawCrc32.h"
#include "DocsLayout.h"

namespace {

constexpr uint32_t kRarMaxBlocks = 1u << 20; // blocks walked before giving up

// Reads one header of `size` bytes and checks its CRC (RAR 4: low 16 bits over the bytes after
// the CRC field).
bool Rar4HeaderOk(IDocSource& src, uint64_t pos, const tagRar4Block& b, std::vector<uint8_t>& buf)
{
    buf.resize(b.HeadSize);
    if (!src.Read(pos, buf.data(), buf.size())) return false;
    return (RawCrc32(ByteView(buf.data() + 2, buf.size() - 2)) & 0xFFFF) == b.HeadCrc;
}

// Returns the archive's length, 0 when its end cannot be reached, -1 when not even the first
// block after the marker is sound (not an archive).
int64_t WalkRar4(IDocSource& src)
{
    std::vector<uint8_t> buf;
    uint64_t pos = sizeof kRar4Marker;
    for (uint32_t n = 0; n < kRarMaxBlocks; ++n)
    {
        tagRar4Block b;
        const int64_t bad = n == 0 ? -1 : 0;
        if (!src.Read(pos, &b, sizeof b) || b.HeadSize < sizeof b) return bad;
        if (b.HeadType < 0x72 || b.HeadType > kRar4End || (n == 0 && b.HeadType != kRar4Archive)) return bad;
        if (!Rar4HeaderOk(src, pos, b, buf)) return bad;
        if (b.HeadType == kRar4Archive && (b.HeadFlags & kRar4Encrypted))
            return 0; // the following headers are encrypted and cannot be walked
        uint64_t data = 0;
        if (b.HeadType == kRar4File || b.HeadType == kRar4NewSub || (b.HeadFlags & kRar4LongBlock))
        {
            if (buf.size() < 11) return 0;
            data = PeekU32LE(buf.data() + 7);
            if ((b.HeadType == kRar4File || b.HeadType == kRar4NewSub) && (b.HeadFlags & kRar4LargeFile))
            {
                if (buf.size() < 36) return 0;
                data |= uint64_t{PeekU32LE(buf.data() + 32)} << 32;
            }
        }
        const uint64_t next = pos + b.HeadSize;
        if (data > src.Limit() || next > src.Limit() - data) return 0;
        if (b.HeadType == kRar4End) return static_cast<int64_t>(next + data);
        pos = next + data;
    }
    return 0;
}

// RAR 5 variable-length integer: 7 bits per byte, high bit set on all but the last byte.
bool ReadVint(const uint8_t* p, size_t len, size_t& at, uint64_t& out)
{
    out = 0;
    for (unsigned shift = 0; shift < 64 && at < len; shift += 7)
    {
        const uint8_t c = p[at++];
        out |= uint64_t{c & 0x7Fu} << shift;
        if (!(c & 0x80)) return true;
    }
    return false;
}

int64_t WalkRar5(IDocSource& src)
{
    std::vector<uint8_t> buf;
    uint64_t pos = sizeof kRar5Marker;
    for (uint32_t n = 0; n < kRarMaxBlocks; ++n)
    {
        const int64_t bad = n == 0 ? -1 : 0;
        uint8_t head[7];
        if (!src.Read(pos, head, sizeof head)) return bad;
        size_t at = 4;
        uint64_t headerSize = 0;
        if (!ReadVint(head, sizeof head, at, headerSize) || headerSize == 0 || headerSize > kRar5MaxHeader) return bad;
        const size_t sizeLen = at - 4;
        buf.resize(sizeLen + static_cast<size_t>(headerSize));
        if (!src.Read(pos + 4, buf.data(), buf.size())) return bad;
        if (RawCrc32(ByteView(buf.data(), buf.size())) != PeekU32LE(head)) return bad;
        size_t q = sizeLen;
        uint64_t type = 0, flags = 0, extra = 0, data = 0;
        if (!ReadVint(buf.data(), buf.size(), q, type) || !ReadVint(buf.data(), buf.size(), q, flags)) return 0;
        if (n == 0 && type != kRar5Main) return -1;
        if (type == kRar5Encryption) return 0; // headers are encrypted from here on
        if ((flags & kRar5HasExtra) && !ReadVint(buf.data(), buf.size(), q, extra)) return 0;
        if ((flags & kRar5HasData) && !ReadVint(buf.data(), buf.size(), q, data)) return 0;
        const uint64_t next = pos + 4 + buf.size();
        if (data > src.Limit() || next > src.Limit() - data) return 0;
        if (type == kRar5End) return static_cast<int64_t>(next);
        pos = next + data;
    }
    return 0;
}

} // namespace

DocProbe ParseRar(IDocSource& src)
{
    DocProbe probe;
    uint8_t sig[8];
    if (!src.Read(0, sig, 7)) return probe;
    int64_t size = -1;
    if (std::memcmp(sig, kRar4Marker, 7) == 0)
        size = WalkRar4(src);
    else if (src.Read(0, sig, 8) && std::memcmp(sig, kRar5Marker, 8) == 0)
        size = WalkRar5(src);
    if (size >= 0)
    {
        probe.kind = DocKind::Rar;
        probe.size = static_cast<uint64_t>(size);
    }
    return probe;
}
