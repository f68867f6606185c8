#include "common/IsoBoxWalk.h"

#include <cstring>

namespace {
constexpr uint64_t kBoxHeader = 8;
constexpr uint64_t kLargeBoxHeader = 16;
constexpr uint32_t kMinFtypBytes = 16;
constexpr uint32_t kMaxFtypBytes = 1024;
constexpr int kMaxBoxes = 1 << 16;

bool KnownTopLevel(const uint8_t* t)
{
    static constexpr const char* kTypes[] = {"ftyp", "styp", "moov", "mdat", "free", "skip", "wide", "pnot", "uuid",
                                             "moof", "mfra", "meta", "sidx", "ssix", "prft", "emsg", "pdin", "bloc"};
    for (const char* k : kTypes)
        if (IsoTypeIs(t, k)) return true;
    return false;
}
} // namespace

bool IsoTypeIs(const uint8_t* type, const char* name) { return std::memcmp(type, name, 4) == 0; }

bool IsoFtypInHead(ByteView head, uint32_t& ftypSize)
{
    return LoadU32BE(head, 0, ftypSize) && head.size() >= kMinFtypBytes && IsoTypeIs(head.data() + 4, "ftyp") &&
        ftypSize >= kMinFtypBytes && ftypSize <= kMaxFtypBytes && ftypSize % 4 == 0 && ftypSize <= head.size();
}

bool IsoHasBrand(ByteView head, uint32_t ftypSize, const char* brand)
{
    // Major brand at 8, minor version at 12, compatible brands from 16 to the box's end.
    if (!RangeFits(head.size(), 0, ftypSize) || ftypSize < kMinFtypBytes) return false;
    if (IsoTypeIs(head.data() + 8, brand)) return true;
    for (uint32_t off = kMinFtypBytes; off + 4 <= ftypSize; off += 4)
        if (IsoTypeIs(head.data() + off, brand)) return true;
    return false;
}

tagIsoBoxes WalkIsoBoxes(KRawReader& reader)
{
    tagIsoBoxes b;
    uint64_t pos = 0;
    for (; b.count < kMaxBoxes; ++b.count)
    {
        ByteView h = reader.View(pos, kBoxHeader);
        if (h.empty() || !KnownTopLevel(h.data() + 4)) break;
        const uint8_t* type = h.data() + 4;
        b.moov |= IsoTypeIs(type, "moov");
        b.mdat |= IsoTypeIs(type, "mdat");
        b.moof |= IsoTypeIs(type, "moof");
        b.meta |= IsoTypeIs(type, "meta");
        uint32_t size32 = 0;
        LoadU32BE(h, 0, size32);
        uint64_t size = size32;
        if (size == 1)
        {
            ByteView large = reader.View(pos, kLargeBoxHeader);
            if (large.empty()) break;
            LoadU64BE(large, 8, size);
            if (size < kLargeBoxHeader) break;
        }
        else if (size == 0)
        {
            b.openEnd = true;
            break;
        }
        else if (size < kBoxHeader)
        {
            break;
        }
        if (size > reader.Limit() - pos)
        {
            b.openEnd = true;
            break;
        }
        pos += size;
    }
    b.end = pos;
    return b;
}
