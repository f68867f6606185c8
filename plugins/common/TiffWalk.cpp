#include "common/TiffWalk.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {
constexpr uint32_t kMaxEntries = 1024;    // entries of one directory
constexpr size_t kMaxIfds = 256;          // directories followed in all (chains, sub-IFDs, EXIF)
constexpr uint32_t kMaxValues = 1u << 20; // strips or tiles of one image

// Tags whose values locate data or further directories.
constexpr uint16_t kStripOffsets = 273, kStripByteCounts = 279;
constexpr uint16_t kTileOffsets = 324, kTileByteCounts = 325;
constexpr uint16_t kSubIfds = 330, kJpegOffset = 513, kJpegLength = 514;
constexpr uint16_t kExifIfd = 34665, kGpsIfd = 34853, kInteropIfd = 40965;

uint32_t TypeBytes(uint16_t type)
{
    // BYTE ASCII SHORT LONG RATIONAL SBYTE UNDEFINED SSHORT SLONG SRATIONAL FLOAT DOUBLE IFD
    static constexpr uint8_t kBytes[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4};
    return type < sizeof(kBytes) ? kBytes[type] : 0;
}

struct tagTiffEntry
{
    uint16_t tag, type;
    uint32_t count, value; // value: inline data or the offset of the data
};

class KTiffWalk
{
public:
    // Offsets in the tree count from `base` (the header's first byte) and stay below `span`.
    KTiffWalk(KRawReader& reader, bool le, uint64_t base = 0, uint64_t span = UINT64_MAX)
        : m_Reader(reader), m_Le(le), m_Base(base), m_Span(span)
    {}

    bool U16(uint64_t off, uint16_t& v)
    {
        return In(off, 2) && (m_Le ? m_Reader.U16LE(m_Base + off, v) : m_Reader.U16BE(m_Base + off, v));
    }
    bool U32(uint64_t off, uint32_t& v)
    {
        return In(off, 4) && (m_Le ? m_Reader.U32LE(m_Base + off, v) : m_Reader.U32BE(m_Base + off, v));
    }
    ByteView View(uint64_t off, size_t len) { return In(off, len) ? m_Reader.View(m_Base + off, len) : ByteView{}; }

    // An ASCII entry's text up to its first zero, at most `max` bytes.
    std::string Ascii(const tagTiffEntry& e, uint64_t entryOff, size_t max)
    {
        if (e.type != 2 || e.count == 0) return {};
        const uint64_t from = e.count <= 4 ? entryOff + 8 : e.value;
        const ByteView v = View(from, std::min<size_t>(e.count, max));
        std::string text(v.begin(), v.end());
        text.resize(std::strlen(text.c_str()));
        return text;
    }

    // One value of an entry's SHORT or LONG array.
    bool Value(const tagTiffEntry& e, uint32_t index, uint64_t entryOff, uint32_t& out)
    {
        const uint32_t size = TypeBytes(e.type);
        const uint64_t base = static_cast<uint64_t>(size) * e.count <= 4 ? entryOff + 8 : e.value;
        if (e.type == 3)
        {
            uint16_t v = 0;
            if (!U16(base + 2ull * index, v)) return false;
            out = v;
            return true;
        }
        return (e.type == 4 || e.type == 13) && U32(base + 4ull * index, out);
    }

    // Reads the directory at `off`; false when it is not a plausible directory. `unreadable`
    // tells a directory beyond what can be read (a cut file) from a damaged one.
    bool ReadIfd(uint64_t off, std::vector<tagTiffEntry>& entries, std::vector<uint64_t>& entryOffs, uint32_t& next,
                 bool& unreadable)
    {
        uint16_t count = 0;
        unreadable = false;
        if (off < 8 || (off & 1)) return false;
        if (!U16(off, count))
        {
            unreadable = true;
            return false;
        }
        if (count == 0 || count > kMaxEntries) return false;
        if (View(off, 2 + 12ull * count + 4).empty())
        {
            unreadable = true;
            return false;
        }
        entries.clear();
        entryOffs.clear();
        uint16_t lastTag = 0;
        for (uint32_t i = 0; i < count; ++i)
        {
            const uint64_t at = off + 2 + 12ull * i;
            tagTiffEntry e{};
            if (!U16(at, e.tag) || !U16(at + 2, e.type) || !U32(at + 4, e.count) || !U32(at + 8, e.value)) return false;
            // Entries are sorted by tag and typed; a directory that is not is not one.
            if (TypeBytes(e.type) == 0 || (i > 0 && e.tag <= lastTag)) return false;
            lastTag = e.tag;
            entries.push_back(e);
            entryOffs.push_back(at);
        }
        Extend(off + 2 + 12ull * count + 4);
        return U32(off + 2 + 12ull * count, next);
    }

    void Extend(uint64_t end) { m_End = std::max(m_End, end); }
    uint64_t End() const { return m_End; }

    // Data located by a pair of offset and byte-count arrays (strips, tiles).
    bool ExtendByPairs(const tagTiffEntry& offs, uint64_t offsAt, const tagTiffEntry& lens, uint64_t lensAt)
    {
        const uint32_t n = std::min(offs.count, lens.count);
        if (n > kMaxValues) return false;
        for (uint32_t i = 0; i < n; ++i)
        {
            uint32_t o = 0, l = 0;
            if (!Value(offs, i, offsAt, o) || !Value(lens, i, lensAt, l)) return false;
            Extend(static_cast<uint64_t>(o) + l);
        }
        return true;
    }

private:
    bool In(uint64_t off, uint64_t len) const { return off <= m_Span && len <= m_Span - off; }

    KRawReader& m_Reader;
    bool m_Le;
    uint64_t m_Base;
    uint64_t m_Span;
    uint64_t m_End = 8;
};

const tagTiffEntry* FindTag(const std::vector<tagTiffEntry>& entries, uint16_t tag, size_t& index)
{
    for (index = 0; index < entries.size(); ++index)
        if (entries[index].tag == tag) return &entries[index];
    return nullptr;
}

constexpr uint16_t kMake = 271, kModel = 272, kDateTime = 306, kDateTimeOriginal = 36867, kDngVersion = 50706;
constexpr size_t kMaxMake = 32;
constexpr size_t kMaxMetaText = 64; // a camera name; a date is 19 characters
} // namespace

bool ReadTiffHeader(ByteView head, tagTiffHeader& out)
{
    if (head.size() < 8 || head[0] != head[1] || (head[0] != 'I' && head[0] != 'M')) return false;
    out.littleEndian = head[0] == 'I';
    if (out.littleEndian)
    {
        LoadU16LE(head, 2, out.magic);
        LoadU32LE(head, 4, out.firstIfd);
    }
    else
    {
        LoadU16BE(head, 2, out.magic);
        LoadU32BE(head, 4, out.firstIfd);
    }
    return out.firstIfd >= 8 && (out.firstIfd & 1) == 0;
}

tagTiffTree WalkTiff(KRawReader& reader, const tagTiffHeader& header)
{
    KTiffWalk walk(reader, header.littleEndian);
    tagTiffTree tree;
    std::vector<uint64_t> pending{header.firstIfd};
    std::vector<uint64_t> seen;
    std::vector<tagTiffEntry> entries;
    std::vector<uint64_t> at;
    while (!pending.empty() && seen.size() < kMaxIfds)
    {
        const uint64_t off = pending.back();
        pending.pop_back();
        if (std::find(seen.begin(), seen.end(), off) != seen.end()) continue; // a cycle
        seen.push_back(off);
        uint32_t next = 0;
        bool unreadable = false;
        if (!walk.ReadIfd(off, entries, at, next, unreadable))
        {
            if (seen.size() == 1) return {}; // the first directory must be sound
            if (unreadable)
            { // the file goes on beyond what can be read
                tree.end = 0;
                return tree;
            }
            continue;
        }
        tree.found = true;
        if (next) pending.push_back(next);
        for (size_t i = 0; i < entries.size(); ++i)
        {
            const tagTiffEntry& e = entries[i];
            const uint64_t bytes = static_cast<uint64_t>(TypeBytes(e.type)) * e.count;
            if (bytes > 4) walk.Extend(e.value + bytes);
            if (e.tag == kSubIfds || e.tag == kExifIfd || e.tag == kGpsIfd || e.tag == kInteropIfd)
            {
                for (uint32_t k = 0; k < std::min<uint32_t>(e.count, 16); ++k)
                {
                    uint32_t sub = 0;
                    if (walk.Value(e, k, at[i], sub)) pending.push_back(sub);
                }
            }
            if (e.tag == kDngVersion) tree.dng = true;
            if (e.tag == kMake && seen.size() == 1 && tree.make.empty()) tree.make = walk.Ascii(e, at[i], kMaxMake);
        }
        size_t io = 0, il = 0;
        const tagTiffEntry* offs = FindTag(entries, kStripOffsets, io);
        const tagTiffEntry* lens = FindTag(entries, kStripByteCounts, il);
        if (!offs || !lens)
        {
            offs = FindTag(entries, kTileOffsets, io);
            lens = FindTag(entries, kTileByteCounts, il);
        }
        if (offs && lens && !walk.ExtendByPairs(*offs, at[io], *lens, at[il]))
        {
            tree.end = 0;
            return tree;
        }
        offs = FindTag(entries, kJpegOffset, io);
        lens = FindTag(entries, kJpegLength, il);
        if (offs && lens) walk.ExtendByPairs(*offs, at[io], *lens, at[il]);
    }
    tree.end = walk.End() > reader.Limit() ? 0 : walk.End();
    return tree;
}

bool ReadTiffMeta(KRawReader& reader, uint64_t base, uint64_t span, tagTiffMeta& out)
{
    tagTiffHeader header;
    if (span < 8 || !ReadTiffHeader(reader.View(base, 8), header)) return false;
    KTiffWalk walk(reader, header.littleEndian, base, span);
    std::vector<tagTiffEntry> entries;
    std::vector<uint64_t> at;
    uint32_t next = 0;
    bool unreadable = false;
    if (!walk.ReadIfd(header.firstIfd, entries, at, next, unreadable)) return false;
    uint32_t exif = 0;
    std::string dateTime;
    for (size_t i = 0; i < entries.size(); ++i)
    {
        const tagTiffEntry& e = entries[i];
        if (e.tag == kMake)
            out.make = walk.Ascii(e, at[i], kMaxMetaText);
        else if (e.tag == kModel)
            out.model = walk.Ascii(e, at[i], kMaxMetaText);
        else if (e.tag == kDateTime)
            dateTime = walk.Ascii(e, at[i], kMaxMetaText);
        else if (e.tag == kExifIfd && e.count >= 1)
            walk.Value(e, 0, at[i], exif);
    }
    // The moment the picture was taken is in the EXIF directory; the main directory's date may
    // be that of a later edit.
    if (exif && exif != header.firstIfd && walk.ReadIfd(exif, entries, at, next, unreadable))
    {
        size_t index = 0;
        if (const tagTiffEntry* e = FindTag(entries, kDateTimeOriginal, index))
            out.dateTime = walk.Ascii(*e, at[index], kMaxMetaText);
    }
    if (out.dateTime.empty()) out.dateTime = std::move(dateTime);
    return true;
}
