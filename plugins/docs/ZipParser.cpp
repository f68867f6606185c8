#include "ZipParser.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "DocSearch.h"
#include "DocsLayout.h"
#include "common/Inflate.h"

namespace {

constexpr uint16_t kZipMaxNameLength = 1024;       // longer member names are not plausible
constexpr uint32_t kZipMaxWalkEntries = 1u << 20;  // members walked before falling back to search
constexpr uint32_t kZipMaxNamesChecked = 65536;    // central entries examined to name the kind
constexpr uint64_t kZipSearchBudget = 64ull << 20; // bytes searched for the end record
constexpr uint32_t kOdfMimeMax = 100;              // "mimetype" content longer than this is not ODF
constexpr uint32_t kZipMaxMembersFollowed = 4096;  // local headers followed to find a member
constexpr uint32_t kZipMaxStreamsPassed = 16;      // of them, deflated ones passed by inflating

bool KnownMethod(uint16_t m)
{
    switch (m)
    {
    case 0:
    case 1:
    case 2:
    case 3:
    case 4:
    case 5:
    case 6:
    case 8:
    case 9:
    case 10:
    case 12:
    case 14:
    case 18:
    case 19:
    case 93:
    case 94:
    case 95:
    case 96:
    case 97:
    case 98:
    case 99: return true;
    default: return false;
    }
}

struct ZipEnd
{
    uint64_t end = 0; // offset just past the end record and its comment
    uint64_t centralOffset = 0;
    uint64_t centralSize = 0;
};

// An end record at `pos` belongs to the archive that starts at offset 0 only when its central
// directory ends exactly where the end record (or the ZIP64 records before it) begins; the end
// records of archives stored inside this one fail that test.
bool CheckEnd(IDocSource& src, uint64_t pos, ZipEnd& out)
{
    tagZipEndRecord rec;
    if (!src.Read(pos, &rec, sizeof rec) || rec.Signature != kZipEndSig) return false;
    if (rec.DiskNumber != rec.CentralDisk && rec.DiskNumber != 0xFFFF) return false;
    const uint64_t end = pos + sizeof rec + rec.CommentLength;
    if (!Reaches(src, end)) return false;
    const bool zip64 = rec.CentralOffset == 0xFFFFFFFF || rec.CentralSize == 0xFFFFFFFF || rec.EntriesTotal == 0xFFFF;
    if (!zip64)
    {
        if (rec.CentralOffset > pos || rec.CentralSize != pos - rec.CentralOffset) return false;
        out = {end, rec.CentralOffset, rec.CentralSize};
        return true;
    }
    tagZip64Locator loc;
    if (pos < sizeof loc || !src.Read(pos - sizeof loc, &loc, sizeof loc) || loc.Signature != kZip64LocSig)
        return false;
    const uint64_t locPos = pos - sizeof loc;
    tagZip64EndRecord z;
    if (loc.EndOffset > locPos || !src.Read(loc.EndOffset, &z, sizeof z) || z.Signature != kZip64EndSig) return false;
    if (z.RecordSize < sizeof z - 12 || z.RecordSize != locPos - loc.EndOffset - 12) return false;
    if (z.CentralOffset > loc.EndOffset || z.CentralSize != loc.EndOffset - z.CentralOffset) return false;
    out = {end, z.CentralOffset, z.CentralSize};
    return true;
}

struct MemberFlags
{
    bool contentTypes = false, word = false, xl = false, ppt = false;
};

bool StartsWith(const std::string& s, std::string_view p)
{
    return s.size() >= p.size() && std::memcmp(s.data(), p.data(), p.size()) == 0;
}

void NoteName(MemberFlags& f, const std::string& name)
{
    f.contentTypes |= name == "[Content_Types].xml";
    f.word |= StartsWith(name, "word/");
    f.xl |= StartsWith(name, "xl/");
    f.ppt |= StartsWith(name, "ppt/");
}

DocKind OoxmlKind(const MemberFlags& f)
{
    if (!f.contentTypes) return DocKind::Zip;
    if (f.word) return DocKind::Docx;
    if (f.xl) return DocKind::Xlsx;
    return f.ppt ? DocKind::Pptx : DocKind::Zip;
}

// Follows local headers whose sizes are known, then the central directory, to the end record.
// Returns false where the walk cannot go on; `reached` is then the start of the last record
// whose signature was seen.
bool WalkToEnd(IDocSource& src, ZipEnd& out, uint64_t& reached, MemberFlags& local)
{
    uint64_t pos = 0;
    reached = 0;
    for (uint32_t n = 0; n < kZipMaxWalkEntries; ++n)
    {
        uint32_t sig = 0;
        if (!SrcU32(src, pos, sig)) return false;
        // A record with a good signature starts here; a damaged size field further on cannot
        // carry the fallback search past it.
        reached = pos;
        if (sig == kZipLocalSig)
        {
            tagZipLocalHeader h;
            if (!src.Read(pos, &h, sizeof h)) return false;
            // Member names also name the kind of an archive whose end is lost.
            std::string name(std::min<uint16_t>(h.NameLength, kZipMaxNameLength), '\0');
            if (src.Read(pos + sizeof h, name.data(), name.size())) NoteName(local, name);
            if ((h.Flags & 0x0008) || h.CompressedSize == 0xFFFFFFFF)
                return false; // size in a trailing descriptor or in ZIP64 fields: search instead
            pos += sizeof h + h.NameLength + h.ExtraLength + uint64_t{h.CompressedSize};
        }
        else if (sig == kZipCentralSig)
        {
            tagZipCentralHeader c;
            if (!src.Read(pos, &c, sizeof c)) return false;
            pos += sizeof c + c.NameLength + uint64_t{c.ExtraLength} + c.CommentLength;
        }
        else if (sig == kZipDigSigSig)
        {
            uint16_t len = 0;
            if (!SrcU16(src, pos + 4, len)) return false;
            pos += 6 + uint64_t{len};
        }
        else if (sig == kZip64EndSig)
        {
            uint64_t len = 0;
            if (!SrcU64(src, pos + 4, len) || len > src.Limit()) return false;
            pos += 12 + len;
        }
        else if (sig == kZip64LocSig)
        {
            pos += sizeof(tagZip64Locator);
        }
        else if (sig == kZipEndSig)
        {
            return CheckEnd(src, pos, out);
        }
        else
        {
            return false;
        }
        if (pos > src.Limit()) return false;
    }
    return false;
}

bool SearchEnd(IDocSource& src, uint64_t from, ZipEnd& out)
{
    const uint64_t until = from + std::min(kZipSearchBudget, src.Limit() - std::min(from, src.Limit()));
    static constexpr char kEnd[] = {'P', 'K', 5, 6};
    uint64_t at = 0;
    while (FindForward(src, from, until, std::string_view(kEnd, 4), &at))
    {
        if (CheckEnd(src, at, out)) return true;
        from = at + 1;
    }
    return false;
}

// Calls visit(header, offset) for each header of the central directory in turn, at most
// kZipMaxNamesChecked of them; stops where a header is missing or visit returns false.
template <class Visit> void ForEachCentral(IDocSource& src, const ZipEnd& end, Visit visit)
{
    uint64_t pos = end.centralOffset;
    const uint64_t stop = end.centralOffset + end.centralSize;
    for (uint32_t n = 0; n < kZipMaxNamesChecked && pos < stop; ++n)
    {
        tagZipCentralHeader c;
        if (!src.Read(pos, &c, sizeof c) || c.Signature != kZipCentralSig || !visit(c, pos)) return;
        pos += sizeof c + c.NameLength + uint64_t{c.ExtraLength} + c.CommentLength;
    }
}

MemberFlags ScanCentral(IDocSource& src, const ZipEnd& end)
{
    MemberFlags f;
    ForEachCentral(src, end, [&](const tagZipCentralHeader& c, uint64_t pos) {
        std::string name(std::min<uint16_t>(c.NameLength, kZipMaxNameLength), '\0');
        if (!src.Read(pos + sizeof c, name.data(), name.size())) return false;
        NoteName(f, name);
        return true;
    });
    return f;
}

DocKind OdfKindOfMime(std::string_view type)
{
    if (type == "application/vnd.oasis.opendocument.text") return DocKind::Odt;
    if (type == "application/vnd.oasis.opendocument.spreadsheet") return DocKind::Ods;
    if (type == "application/vnd.oasis.opendocument.presentation") return DocKind::Odp;
    // Electronic books keep the same first member.
    if (type == "application/epub+zip") return DocKind::Epub;
    return DocKind::None;
}

// OpenDocument files store an uncompressed member "mimetype" first, holding the media type.
bool IsOdfMimeMember(const tagZipLocalHeader& h, std::string_view name)
{
    return name == "mimetype" && h.Method == 0 && h.CompressedSize == h.UncompressedSize &&
        h.CompressedSize <= kOdfMimeMax;
}

DocKind OdfKind(IDocSource& src, const tagZipLocalHeader& h, const std::string& name)
{
    if (!IsOdfMimeMember(h, name)) return DocKind::None;
    std::string type(h.CompressedSize, '\0');
    if (!src.Read(sizeof h + uint64_t{h.NameLength} + h.ExtraLength, type.data(), type.size())) return DocKind::None;
    return OdfKindOfMime(type);
}

// Where a member's data lies and how it is stored.
struct ZipMember
{
    uint16_t method = 0;
    uint16_t flags = 0;
    uint64_t data = 0;   // offset of the first byte of its data
    uint64_t packed = 0; // bytes of data; with !packedKnown an upper bound to read
    bool packedKnown = true;
};

// The end record of an archive that ends at `size`: it lies in the last 22 + 65535 bytes (its
// comment is at most that long), and the one that belongs to this archive ends exactly there.
bool EndAt(IDocSource& src, uint64_t size, ZipEnd& out)
{
    // Most archives carry no comment: their end record is the last 22 bytes.
    if (size >= sizeof(tagZipEndRecord) && CheckEnd(src, size - sizeof(tagZipEndRecord), out) && out.end == size)
        return true;
    const uint64_t tail = std::min<uint64_t>(size, sizeof(tagZipEndRecord) + 0xFFFF);
    std::vector<uint8_t> bytes(static_cast<size_t>(tail));
    if (tail < sizeof(tagZipEndRecord) || !src.Read(size - tail, bytes.data(), bytes.size())) return false;
    for (size_t at = bytes.size() - sizeof(tagZipEndRecord) + 1; at-- > 0;)
    {
        if (PeekU32LE(bytes.data() + at) != kZipEndSig) continue;
        if (CheckEnd(src, size - tail + at, out) && out.end == size) return true;
    }
    return false;
}

bool NameIs(IDocSource& src, uint64_t at, uint16_t length, std::string_view name)
{
    if (length != name.size()) return false;
    std::string stored(length, '\0');
    return src.Read(at, stored.data(), stored.size()) && stored == name;
}

// The member's data follows its local header, whose name and extra field may differ in
// length from the central directory's.
bool MemberData(IDocSource& src, uint64_t local, std::string_view name, ZipMember& m)
{
    tagZipLocalHeader h;
    if (!src.Read(local, &h, sizeof h) || h.Signature != kZipLocalSig) return false;
    if (!NameIs(src, local + sizeof h, h.NameLength, name)) return false;
    m.data = local + sizeof h + h.NameLength + h.ExtraLength;
    return true;
}

bool FindInCentral(IDocSource& src, const ZipEnd& end, std::string_view name, ZipMember& m)
{
    bool found = false;
    ForEachCentral(src, end, [&](const tagZipCentralHeader& c, uint64_t pos) {
        if (!NameIs(src, pos + sizeof c, c.NameLength, name)) return true;
        // Sizes and offsets of ZIP64 members live in an extra field; the small parts a name is
        // read from never need it.
        if (c.CompressedSize == 0xFFFFFFFF || c.LocalHeaderOffset == 0xFFFFFFFF) return false;
        m.method = c.Method;
        m.flags = c.Flags;
        m.packed = c.CompressedSize;
        found = MemberData(src, c.LocalHeaderOffset, name, m);
        return false;
    });
    return found;
}

// The end of a deflated member whose sizes follow its data: its stream ends by itself (when it
// inflates within the cap), and the descriptor after it must repeat the compressed size.
bool PassTrailing(IDocSource& src, uint64_t data, size_t maxPacked, size_t cap, uint64_t& next)
{
    std::vector<uint8_t> packed(maxPacked);
    packed.resize(src.ReadSome(data, packed.data(), packed.size()));
    const tagInflated in = Inflate(packed, cap);
    if (in.outcome != InflateOutcome::Done) return false;
    uint64_t at = data + in.used;
    uint32_t sig = 0;
    if (SrcU32(src, at, sig) && sig == kZipDescriptorSig) at += 4;
    tagZipDescriptor d;
    if (!src.Read(at, &d, sizeof d) || d.CompressedSize != in.used) return false;
    next = at + sizeof d;
    return true;
}

// Without the central directory: member after member from the start, as far as each local
// header tells its own size or a deflated member's stream and descriptor tell it.
bool FindInLocal(IDocSource& src, std::string_view name, size_t maxPacked, size_t cap, ZipMember& m)
{
    uint64_t pos = 0;
    uint32_t passed = 0;
    for (uint32_t n = 0; n < kZipMaxMembersFollowed; ++n)
    {
        tagZipLocalHeader h;
        if (!src.Read(pos, &h, sizeof h) || h.Signature != kZipLocalSig) return false;
        const bool trailing = (h.Flags & 0x0008) != 0;
        if (NameIs(src, pos + sizeof h, h.NameLength, name))
        {
            m.method = h.Method;
            m.flags = h.Flags;
            m.data = pos + sizeof h + h.NameLength + h.ExtraLength;
            m.packedKnown = !trailing;
            m.packed = trailing ? maxPacked : h.CompressedSize;
            return !(m.packedKnown && h.CompressedSize == 0xFFFFFFFF);
        }
        const uint64_t data = pos + sizeof h + h.NameLength + h.ExtraLength;
        if (trailing)
        {
            if (h.Method != 8 || ++passed > kZipMaxStreamsPassed || !PassTrailing(src, data, maxPacked, cap, pos))
                return false;
            continue;
        }
        if (h.CompressedSize == 0xFFFFFFFF) return false;
        pos = data + h.CompressedSize;
    }
    return false;
}

} // namespace

bool CheckZipLocalHeader(ByteView header30, ByteView name)
{
    tagZipLocalHeader h;
    if (!LoadRecord(header30, 0, h) || h.Signature != kZipLocalSig) return false;
    // Version needed: low byte is version x 10 (1.0 .. 6.3), high byte a host-system code.
    if ((h.VersionNeeded & 0xFF) > 63 || (h.VersionNeeded >> 8) > 19) return false;
    if ((h.Flags & 0xC000) || !KnownMethod(h.Method)) return false;
    if (h.NameLength == 0 || h.NameLength > kZipMaxNameLength || name.size() != h.NameLength) return false;
    for (uint8_t ch : name)
        if (ch < 0x20 || ch == 0x7F) return false;
    return true;
}

DocKind OdfKindOfHead(ByteView head)
{
    tagZipLocalHeader h;
    if (!LoadRecord(head, 0, h) || !RangeFits(head.size(), sizeof h, h.NameLength)) return DocKind::None;
    const auto* name = reinterpret_cast<const char*>(head.data() + sizeof h);
    if (!IsOdfMimeMember(h, std::string_view(name, h.NameLength))) return DocKind::None;
    const size_t at = sizeof h + size_t{h.NameLength} + h.ExtraLength;
    if (!RangeFits(head.size(), at, h.CompressedSize)) return DocKind::None;
    return OdfKindOfMime(std::string_view(reinterpret_cast<const char*>(head.data() + at), h.CompressedSize));
}

DocProbe ParseZip(IDocSource& src)
{
    DocProbe probe;
    tagZipLocalHeader h;
    if (!src.Read(0, &h, sizeof h)) return probe;
    std::string name(std::min<uint16_t>(h.NameLength, kZipMaxNameLength), '\0');
    if (!src.Read(sizeof h, name.data(), name.size())) return probe;
    const auto* hb = reinterpret_cast<const uint8_t*>(&h);
    if (!CheckZipLocalHeader(ByteView(hb, sizeof h),
                             ByteView(reinterpret_cast<const uint8_t*>(name.data()), name.size())))
        return probe;

    const DocKind odf = OdfKind(src, h, name);
    ZipEnd end;
    uint64_t reached = 0;
    MemberFlags local;
    if (!WalkToEnd(src, end, reached, local) && !SearchEnd(src, reached, end))
    {
        // A ZIP start without a reachable end: size unknown, kind from the members seen.
        probe.kind = odf != DocKind::None ? odf : OoxmlKind(local);
        return probe;
    }
    probe.size = end.end;
    probe.kind = odf != DocKind::None ? odf : OoxmlKind(ScanCentral(src, end));
    return probe;
}

std::optional<std::vector<uint8_t>> ReadZipMember(IDocSource& src, uint64_t size, std::string_view name, size_t cap)
{
    // Encoders store a block that would not shrink (5 bytes more per 65535), and fixed codes
    // take at most 9 bits a byte: a part that inflates to `cap` or less is not packed larger
    // than this by any real writer, so no more is read.
    const size_t maxPacked = cap + cap / 8 + 64;
    ZipMember m;
    ZipEnd end;
    const bool found = size > 0 ? EndAt(src, size, end) && FindInCentral(src, end, name, m)
                                : FindInLocal(src, name, maxPacked, cap, m);
    if (!found || (m.flags & 0x0001)) return std::nullopt; // absent or encrypted
    if (m.method == 0)
    {
        if (!m.packedKnown || m.packed > cap) return std::nullopt;
        std::vector<uint8_t> bytes(static_cast<size_t>(m.packed));
        if (!bytes.empty() && !src.Read(m.data, bytes.data(), bytes.size())) return std::nullopt;
        return bytes;
    }
    if (m.method != 8 || m.packed == 0 || m.packed > maxPacked) return std::nullopt;
    std::vector<uint8_t> packed(static_cast<size_t>(m.packed));
    packed.resize(src.ReadSome(m.data, packed.data(), packed.size()));
    if (m.packedKnown && packed.size() != m.packed) return std::nullopt;
    tagInflated out = Inflate(packed, cap);
    if (out.outcome != InflateOutcome::Done) return std::nullopt;
    return std::move(out.bytes);
}
