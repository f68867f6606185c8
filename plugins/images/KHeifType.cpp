#include "images/KHeifType.h"

#include <algorithm>

#include "common/MetaName.h"
#include "common/TiffWalk.h"

namespace {
constexpr tagRawTypeInfo kHeic{"heic", "HEIF Image", 64, 1LL * 1024 * 1024 * 1024};
constexpr tagRawTypeInfo kAvif{"avif", "AVIF Image", 64, 1LL * 1024 * 1024 * 1024};
constexpr tagRawSignature kSignatures[] = {{4, 4, "ftyp"}};

// The item tree: "meta" (a full box) holds "iinf" (item infos, "infe" boxes naming each item's
// type) and "iloc" (where each item's bytes lie). A picture's EXIF block is the item of type
// "Exif": a 32-bit offset to the TIFF header, then the header and its directories.
constexpr int kMaxBoxes = 64;        // boxes looked at on one level
constexpr uint32_t kMaxItems = 4096; // entries of iinf and iloc
constexpr uint64_t kMaxMetaBytes = KRawReader::kMaxView;
constexpr uint32_t kMaxExifBytes = 1024 * 1024;

// A box's position: payload offset and end, from the header at `at`; false when unreadable.
bool BoxAt(KRawReader& r, uint64_t at, uint64_t limit, uint64_t& payload, uint64_t& end, uint32_t& type)
{
    uint32_t size = 0;
    if (!r.U32BE(at, size) || !r.U32BE(at + 4, type)) return false;
    payload = at + 8;
    uint64_t total = size;
    if (size == 1)
    {
        if (!r.U64BE(at + 8, total)) return false;
        payload += 8;
    }
    else if (size == 0)
    {
        total = limit - at;
    }
    if (total < payload - at || total > limit - at) return false;
    end = at + total;
    return true;
}

// The child box of `type` within [from, to); false when there is none.
bool FindBox(KRawReader& r, uint64_t from, uint64_t to, const char* name, uint64_t& payload, uint64_t& end)
{
    const uint32_t want = uint32_t{uint8_t(name[0])} << 24 | uint32_t{uint8_t(name[1])} << 16 |
        uint32_t{uint8_t(name[2])} << 8 | uint8_t(name[3]);
    for (int n = 0; n < kMaxBoxes && from + 8 <= to; ++n)
    {
        uint32_t type = 0;
        if (!BoxAt(r, from, to, payload, end, type)) return false;
        if (type == want) return true;
        from = end;
    }
    return false;
}

// An unsigned big-endian number of `bytes` bytes (0, 2, 4 or 8) at `at`; advances at.
bool Field(KRawReader& r, uint64_t& at, uint32_t bytes, uint64_t& v)
{
    v = 0;
    uint16_t v16 = 0;
    uint32_t v32 = 0;
    bool ok = true;
    if (bytes == 2)
    {
        ok = r.U16BE(at, v16);
        v = v16;
    }
    else if (bytes == 4)
    {
        ok = r.U32BE(at, v32);
        v = v32;
    }
    else if (bytes == 8)
        ok = r.U64BE(at, v);
    else if (bytes != 0)
        return false;
    at += bytes;
    return ok;
}

// The item id of the "Exif" item named in iinf [from, to).
bool ExifItem(KRawReader& r, uint64_t from, uint64_t to, uint32_t& id)
{
    uint8_t version = 0;
    if (!r.U8(from, version)) return false;
    uint64_t at = from + 4, count = 0;
    if (!Field(r, at, version == 0 ? 2 : 4, count)) return false;
    for (uint64_t i = 0; i < count && i < kMaxItems && at + 8 <= to; ++i)
    {
        uint64_t payload = 0, end = 0;
        uint32_t type = 0;
        if (!BoxAt(r, at, to, payload, end, type)) return false;
        uint8_t infeVersion = 0;
        uint64_t p = payload + 4, item = 0, protection = 0;
        uint32_t itemType = 0;
        if (r.U8(payload, infeVersion) && infeVersion >= 2 && Field(r, p, infeVersion == 2 ? 2 : 4, item) &&
            Field(r, p, 2, protection) && r.U32BE(p, itemType) && itemType == 0x45786966)
        { // "Exif"
            id = static_cast<uint32_t>(item);
            return true;
        }
        at = end;
    }
    return false;
}

// The file offset and length of item `id`'s first extent, from iloc [from, to).
bool ItemPlace(KRawReader& r, uint64_t from, uint64_t to, uint32_t id, uint64_t& offset, uint64_t& length)
{
    uint8_t version = 0, sizes = 0, sizes2 = 0;
    if (!r.U8(from, version) || version > 2 || !r.U8(from + 4, sizes) || !r.U8(from + 5, sizes2)) return false;
    const uint32_t offsetSize = sizes >> 4, lengthSize = sizes & 15, baseSize = sizes2 >> 4;
    const uint32_t indexSize = version ? sizes2 & 15 : 0;
    uint64_t at = from + 6, count = 0;
    if (!Field(r, at, version < 2 ? 2 : 4, count)) return false;
    for (uint64_t i = 0; i < count && i < kMaxItems && at < to; ++i)
    {
        uint64_t item = 0, method = 0, ref = 0, base = 0, extents = 0;
        if (!Field(r, at, version < 2 ? 2 : 4, item)) return false;
        if (version && !Field(r, at, 2, method)) return false;
        if (!Field(r, at, 2, ref) || !Field(r, at, baseSize, base) || !Field(r, at, 2, extents)) return false;
        for (uint64_t e = 0; e < extents && at < to; ++e)
        {
            uint64_t index = 0, off = 0, len = 0;
            if (!Field(r, at, indexSize, index) || !Field(r, at, offsetSize, off) || !Field(r, at, lengthSize, len))
                return false;
            // Only bytes in the file itself (construction method 0) are followed.
            if (item == id && e == 0)
            {
                if ((method & 15) != 0 || ref != 0) return false;
                offset = base + off;
                length = len;
                return true;
            }
        }
    }
    return false;
}
} // namespace

KHeifType::Flavour KHeifType::FlavourOf(ByteView head, uint32_t ftypSize)
{
    // The major brand decides; the generic HEIF brands ("mif1" for items, "msf1" for
    // sequences) leave it to the compatible brands, which name the codec.
    const uint8_t* major = head.data() + 8;
    if (IsoTypeIs(major, "avif") || IsoTypeIs(major, "avis")) return Flavour::Avif;
    for (const char* b : {"heic", "heix", "heim", "heis", "hevc", "hevx"})
        if (IsoTypeIs(major, b)) return Flavour::Heic;
    if (!IsoTypeIs(major, "mif1") && !IsoTypeIs(major, "msf1")) return Flavour::None;
    if (IsoHasBrand(head, ftypSize, "avif") || IsoHasBrand(head, ftypSize, "avis")) return Flavour::Avif;
    return Flavour::Heic;
}

RawHeader KHeifType::CheckHeader(ByteView head, uint64_t&) const
{
    uint32_t ftypSize = 0;
    if (!IsoFtypInHead(head, ftypSize)) return RawHeader::No;
    return FlavourOf(head, ftypSize) == m_Flavour ? RawHeader::Open : RawHeader::No;
}

tagRawMatch KHeifType::FindEnd(KRawReader& reader) const
{
    const tagIsoBoxes boxes = WalkIsoBoxes(reader);
    // A still picture keeps its item tree in "meta"; a picture sequence is a movie.
    if (!boxes.meta && !boxes.moov) return {};
    if (boxes.openEnd) return {true, 0};
    if (!boxes.mdat && boxes.count < 3) return {};
    return {true, boxes.end};
}

KHeicType::KHeicType() : KHeifType(kHeic, kSignatures, Flavour::Heic) {}
KAvifType::KAvifType() : KHeifType(kAvif, kSignatures, Flavour::Avif) {}

std::string KHeifType::NameOf(KRawReader& reader, const tagRawMatch& match) const
{
    const uint64_t limit = match.size ? match.size : reader.Limit();
    uint64_t meta = 0, metaEnd = 0, iinf = 0, iinfEnd = 0, iloc = 0, ilocEnd = 0;
    if (!FindBox(reader, 0, limit, "meta", meta, metaEnd)) return {};
    metaEnd = std::min(metaEnd, meta + kMaxMetaBytes);
    uint32_t id = 0;
    uint64_t offset = 0, length = 0;
    uint32_t tiff = 0;
    tagTiffMeta exif;
    // "meta" is a full box: four bytes of version and flags before its children.
    if (!FindBox(reader, meta + 4, metaEnd, "iinf", iinf, iinfEnd) || !ExifItem(reader, iinf, iinfEnd, id) ||
        !FindBox(reader, meta + 4, metaEnd, "iloc", iloc, ilocEnd) ||
        !ItemPlace(reader, iloc, ilocEnd, id, offset, length) || length < 4 || offset >= limit ||
        !reader.U32BE(offset, tiff) || tiff > length - 4)
        return {};
    const uint64_t span = std::min<uint64_t>(length - 4 - tiff, kMaxExifBytes);
    return ReadTiffMeta(reader, offset + 4 + tiff, span, exif) ? PhotoName(exif) : std::string();
}
