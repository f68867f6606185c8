#include "ole/OleParser.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "ole/OleLayout.h"

namespace {

constexpr uint64_t kOleMaxFileSize = 4ull << 30; // larger compound files are not plausible
constexpr uint32_t kOleMaxDirSectors = 4096;     // directory sectors followed
constexpr uint32_t kOleMaxDirEntries = 65536;    // entries examined for root names
constexpr uint32_t kOleMaxMiniFatSectors = 1024; // mini FAT sectors read to reach a small stream

struct OleGeometry
{
    uint32_t shift = 0;
    uint32_t sectorSize = 0;
    uint64_t sectorCap = 0; // sectors that may exist within the limit
};

// Signature, byte order, and the one sector size each version allows.
bool CheckSignature(const tagOleHeader& h)
{
    return std::memcmp(h.Signature, kOleSignature, 8) == 0 && h.ByteOrder == 0xFFFE &&
        ((h.MajorVersion == 3 && h.SectorShift == 9) || (h.MajorVersion == 4 && h.SectorShift == 12));
}

bool CheckHeader(const tagOleHeader& h, uint64_t limit, OleGeometry& g)
{
    if (!CheckSignature(h)) return false;
    if (h.MiniSectorShift != 6 || h.FatSectorCount == 0) return false;
    g.shift = h.SectorShift;
    g.sectorSize = 1u << g.shift;
    // Sector n lies at (n + 1) << shift; the header takes the place of sector -1.
    const uint64_t bytes = std::min(limit, kOleMaxFileSize);
    g.sectorCap = bytes >> g.shift;
    const uint64_t perFat = g.sectorSize / 4;
    if (h.FatSectorCount > kOleMaxFileSize / g.sectorSize / perFat + 1) return false;
    if (h.FatSectorCount > kOleHeaderDifat && h.DifatSectorCount == 0) return false;
    return h.FirstDirSector < (kOleMaxFileSize >> g.shift);
}

bool ReadSector(IDocSource& src, const OleGeometry& g, uint32_t sector, std::vector<uint8_t>& buf)
{
    buf.resize(g.sectorSize);
    return src.Read((uint64_t{sector} + 1) << g.shift, buf.data(), g.sectorSize);
}

// Loads the whole FAT through the DIFAT. False when a FAT or DIFAT sector cannot be read.
bool LoadFat(IDocSource& src, const tagOleHeader& h, const OleGeometry& g, std::vector<uint32_t>& fat)
{
    if (h.FatSectorCount > g.sectorCap)
        return false; // every FAT sector lies in the file: more than fit the bytes at hand
    std::vector<uint32_t> fatSectors(h.Difat, h.Difat + std::min(h.FatSectorCount, kOleHeaderDifat));
    std::vector<uint8_t> buf;
    uint32_t difat = h.FirstDifatSector;
    const uint32_t perDifat = g.sectorSize / 4 - 1;
    for (uint32_t i = 0; fatSectors.size() < h.FatSectorCount; ++i)
    {
        // The FAT sector count bounds the chain: a cyclic DIFAT chain ends here as well.
        if (i >= h.DifatSectorCount || !ReadSector(src, g, difat, buf)) return false;
        for (uint32_t k = 0; k < perDifat && fatSectors.size() < h.FatSectorCount; ++k)
            fatSectors.push_back(PeekU32LE(buf.data() + 4 * k));
        difat = PeekU32LE(buf.data() + 4 * perDifat);
    }
    fat.clear();
    fat.reserve(fatSectors.size() * (g.sectorSize / 4));
    for (uint32_t s : fatSectors)
    {
        if (!ReadSector(src, g, s, buf)) return false;
        for (uint32_t k = 0; k < g.sectorSize / 4; ++k) fat.push_back(PeekU32LE(buf.data() + 4 * k));
    }
    return true;
}

// The directory stream: its chain through the FAT, or only its first sector without a FAT.
std::vector<uint8_t> ReadDirectory(IDocSource& src, const tagOleHeader& h, const OleGeometry& g,
                                   const std::vector<uint32_t>& fat)
{
    std::vector<uint8_t> dir, buf;
    std::vector<uint32_t> visited;
    uint32_t s = h.FirstDirSector;
    for (uint32_t n = 0; n < kOleMaxDirSectors && s != kOleEndOfChain; ++n)
    {
        // A chain that comes back to a sector of its own would only repeat entries.
        if (std::find(visited.begin(), visited.end(), s) != visited.end() ||
            dir.size() >= size_t{kOleMaxDirEntries} * sizeof(tagOleDirEntry))
            break;
        visited.push_back(s);
        if (!ReadSector(src, g, s, buf)) break;
        dir.insert(dir.end(), buf.begin(), buf.end());
        if (fat.empty() || s >= fat.size()) break;
        s = fat[s];
    }
    return dir;
}

std::string EntryName(const tagOleDirEntry& e)
{
    std::string name;
    const uint32_t units = std::min<uint32_t>(e.NameLength / 2, 32);
    for (uint32_t i = 0; i < units && e.Name[i] != 0; ++i)
        name.push_back(e.Name[i] < 0x80 ? static_cast<char>(e.Name[i]) : '?');
    return name;
}

bool Has(const std::vector<std::string>& names, std::string_view n)
{
    return std::find(names.begin(), names.end(), n) != names.end();
}

// The storages and streams directly below the root, as entry numbers. The root's children
// form a binary tree through the sibling links; a visited mark per entry stops cyclic links in
// a damaged directory.
std::vector<uint32_t> RootChildren(ByteView directory)
{
    std::vector<uint32_t> ids;
    const size_t count = std::min<size_t>(directory.size() / sizeof(tagOleDirEntry), kOleMaxDirEntries);
    tagOleDirEntry root;
    if (count == 0 || !LoadRecord(directory, 0, root) || root.Type != kOleTypeRoot) return ids;
    std::vector<uint8_t> seen(count, 0);
    std::vector<uint32_t> stack{root.Child};
    while (!stack.empty())
    {
        const uint32_t id = stack.back();
        stack.pop_back();
        if (id >= count || seen[id]) continue;
        seen[id] = 1;
        tagOleDirEntry e;
        LoadRecord(directory, size_t{id} * sizeof e, e);
        if (e.Type != kOleTypeStorage && e.Type != kOleTypeStream) continue;
        ids.push_back(id);
        stack.push_back(e.LeftSibling);
        stack.push_back(e.RightSibling);
    }
    return ids;
}

// The first `count` sectors of the chain that starts at `first` in `table`; fewer when the
// chain ends or leaves the table first. Taking no more than needed bounds a cyclic chain.
std::vector<uint32_t> Chain(const std::vector<uint32_t>& table, uint32_t first, uint64_t count)
{
    std::vector<uint32_t> sectors;
    for (uint32_t s = first; sectors.size() < count && s < table.size(); s = table[s]) sectors.push_back(s);
    return sectors;
}

// A stream's bytes: in sectors of the file through the FAT, or, below the cutoff, in 64-byte
// mini sectors of the mini stream (the root entry's own stream) through the mini FAT.
std::optional<std::vector<uint8_t>> ReadStream(IDocSource& src, const tagOleHeader& h, const OleGeometry& g,
                                               const std::vector<uint32_t>& fat, const tagOleDirEntry& root,
                                               const tagOleDirEntry& e, size_t cap)
{
    // Version 3 files keep only the low 32 bits of a size (the high ones may hold junk).
    const uint64_t size = h.MajorVersion == 3 ? (e.StreamSize & 0xFFFFFFFFu) : e.StreamSize;
    if (size > cap) return std::nullopt;
    std::vector<uint8_t> out, buf;
    out.reserve(static_cast<size_t>(size));
    if (size >= h.MiniStreamCutoff)
    {
        for (const uint32_t s : Chain(fat, e.StartSector, (size + g.sectorSize - 1) >> g.shift))
        {
            if (!ReadSector(src, g, s, buf)) return std::nullopt;
            const auto take = static_cast<std::ptrdiff_t>(std::min<uint64_t>(g.sectorSize, size - out.size()));
            out.insert(out.end(), buf.begin(), buf.begin() + take);
        }
        return out.size() == size ? std::optional(std::move(out)) : std::nullopt;
    }
    constexpr uint32_t kMini = 64;
    const uint64_t miniCount = (size + kMini - 1) / kMini;
    // The mini FAT, as far as the file's own count of its sectors and the bound allow.
    std::vector<uint32_t> miniFat;
    for (const uint32_t s : Chain(fat, h.FirstMiniFatSector, std::min(h.MiniFatSectorCount, kOleMaxMiniFatSectors)))
    {
        if (!ReadSector(src, g, s, buf)) return std::nullopt;
        for (uint32_t k = 0; k < g.sectorSize / 4; ++k) miniFat.push_back(PeekU32LE(buf.data() + 4 * k));
    }
    const std::vector<uint32_t> miniSectors = Chain(miniFat, e.StartSector, miniCount);
    if (miniSectors.size() != miniCount) return std::nullopt;
    uint32_t highest = 0;
    for (const uint32_t m : miniSectors) highest = std::max(highest, m);
    // The mini stream's sectors up to the highest mini sector the stream uses.
    const std::vector<uint32_t> container = Chain(fat, root.StartSector, (uint64_t{highest} * kMini >> g.shift) + 1);
    for (const uint32_t m : miniSectors)
    {
        const uint64_t at = uint64_t{m} * kMini;
        if ((at >> g.shift) >= container.size()) return std::nullopt;
        uint8_t bytes[kMini];
        const uint64_t off = ((uint64_t{container[at >> g.shift]} + 1) << g.shift) + (at & (g.sectorSize - 1));
        if (!src.Read(off, bytes, kMini)) return std::nullopt;
        out.insert(out.end(), bytes, bytes + std::min<uint64_t>(kMini, size - out.size()));
    }
    return out;
}

} // namespace

bool IsOleHeader(ByteView head)
{
    tagOleHeader h;
    return LoadRecord(head, 0, h) && CheckSignature(h);
}

std::vector<std::string> OleRootNames(ByteView directory)
{
    std::vector<std::string> names;
    for (const uint32_t id : RootChildren(directory))
    {
        tagOleDirEntry e;
        LoadRecord(directory, size_t{id} * sizeof e, e);
        names.push_back(EntryName(e));
    }
    return names;
}

OleProbe ParseOle(IDocSource& src)
{
    OleProbe probe;
    tagOleHeader h;
    OleGeometry g;
    if (!src.Read(0, &h, sizeof h) || !CheckHeader(h, src.Limit(), g)) return probe;

    std::vector<uint32_t> fat;
    const bool fatOk = LoadFat(src, h, g, fat);
    if (!fatOk) fat.clear();
    const std::vector<uint8_t> dir = ReadDirectory(src, h, g, fat);
    const std::vector<std::string> names = OleRootNames(dir);
    if (Has(names, "WordDocument"))
        probe.kind = EOleKind::Doc;
    else if (Has(names, "Workbook") || Has(names, "Book"))
        probe.kind = EOleKind::Xls;
    else if (Has(names, "PowerPoint Document"))
        probe.kind = EOleKind::Ppt;
    else if (Has(names, "Quill") || (Has(names, "Contents") && Has(names, "Escher")))
        probe.kind = EOleKind::Pub;
    else if (Has(names, "__properties_version1.0") && Has(names, "__nameid_version1.0"))
        probe.kind = EOleKind::Msg; // a mail message saved by the mail client
    else
        return probe;

    if (!fatOk) return probe;
    // The file ends with the highest sector the FAT does not mark free.
    uint64_t highest = 0;
    bool any = false;
    for (size_t i = 0; i < fat.size(); ++i)
        if (fat[i] != kOleFreeSect)
        {
            highest = i;
            any = true;
        }
    if (!any) return probe;
    const uint64_t size = (highest + 2) << g.shift;
    if (Reaches(src, size)) probe.size = size;
    return probe;
}

std::optional<std::vector<uint8_t>> ReadOleRootStream(IDocSource& src, std::string_view name, size_t cap)
{
    tagOleHeader h;
    OleGeometry g;
    std::vector<uint32_t> fat;
    if (!src.Read(0, &h, sizeof h) || !CheckHeader(h, src.Limit(), g) || !LoadFat(src, h, g, fat)) return std::nullopt;
    const std::vector<uint8_t> dir = ReadDirectory(src, h, g, fat);
    tagOleDirEntry root;
    if (!LoadRecord(dir, 0, root)) return std::nullopt;
    for (const uint32_t id : RootChildren(dir))
    {
        tagOleDirEntry e;
        LoadRecord(dir, size_t{id} * sizeof e, e);
        if (e.Type == kOleTypeStream && EntryName(e) == name) return ReadStream(src, h, g, fat, root, e, cap);
    }
    return std::nullopt;
}
