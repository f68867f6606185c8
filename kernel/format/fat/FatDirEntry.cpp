#include "format/fat/FatDirEntry.h"

#include <algorithm>
#include <cstring>

#include "format/fat/FatLayout.h"
#include "base/TextCodec.h"

namespace {

bool StampIsClock(uint16_t date, uint16_t time)
{
    const unsigned month = (date >> 5) & 0x0F;
    const unsigned day = date & 0x1F;
    const unsigned hour = time >> 11;
    const unsigned minute = (time >> 5) & 0x3F;
    return month >= 1 && month <= 12 && day != 0 && hour <= 23 && minute <= 59;
}

bool IsForbiddenNameByte(uint8_t b)
{
    if (b < 0x1A || b == 0xFF) return true;
    switch (b)
    {
    case '"':
    case '*':
    case '/':
    case ':':
    case '<':
    case '>':
    case '?':
    case '\\':
    case '|': return true;
    default: return false;
    }
}

} // namespace

bool IsValidShortName(FatDirEntryView::ShortNameBytes name)
{
    bool blankSeen = false;
    for (size_t i = 0; i < name.size(); ++i)
    {
        const uint8_t b = name[i];
        if (IsForbiddenNameByte(b)) return false;
        if (i < 8)
        {
            if (b == ' ')
                blankSeen = true;
            else if (blankSeen)
                return false;
        }
    }
    return true;
}

bool IsCleanName(const char* name)
{
    if (name == nullptr || *name == 0) return false;
    return std::strpbrk(name, "?*|\\/:\"<>") == nullptr;
}

namespace {

// A long-name part: cluster 0, a part number of 1 to 22 (or the deleted mark), not one byte
// repeated.
bool IsValidLongNamePart(FatDirEntryView e)
{
    if (e.LongNameCluster() != 0) return false;
    if (e.Sequence() != kFatDeletedMark)
    {
        const unsigned seq = e.Sequence() & static_cast<uint8_t>(~kFatLongNameLastFlag);
        if (seq == 0 || seq > 22) return false;
    }
    return !e.AllBytesEqual();
}

} // namespace

bool IsValidEntry(FatDirEntryView e, const FatEntryLimits& limits)
{
    const uint8_t attr = e.Attributes();
    if (attr == FAT_ATTR_LONG_NAME) return IsValidLongNamePart(e);
    // Cheapest rejections first: the scan meets mostly non-entries.
    if (attr & FAT_ATTR_RESERVED) return false;
    const uint32_t cluster = e.FirstCluster();
    const uint32_t size = e.FileSize();
    if (limits.ClusterCount != 0 && cluster >= limits.ClusterCount) return false;
    if (cluster < 2 && size != 0) return false;
    if (limits.ClusterCount == 0 && cluster >= limits.VolumeSectors) return false;
    if (!IsValidShortName(e.NameAndExt())) return false;
    if (!(attr & FAT_ATTR_VOLUME))
    {
        if (limits.EndSector != limits.DataStart && limits.BytesPerSector != 0)
        {
            const int64_t dataSectors = limits.EndSector - limits.DataStart + 1;
            if (static_cast<int64_t>(size / limits.BytesPerSector) >= dataSectors) return false;
        }
        if (e.WriteTime() == 0 && e.WriteDate() == 0 && e.CreateDate() == 0 && e.CreateTime() == 0) return false;
    }
    return !e.AllBytesEqual();
}

bool IsPlausibleFolderEntry(FatDirEntryView e, uint64_t clusters)
{
    if (e.IsLongName()) return IsValidLongNamePart(e);
    if (e.AllBytesEqual()) return false;
    const uint64_t cluster = e.FirstCluster();
    if (clusters != 0 && cluster >= clusters) return false;
    if (cluster < 2 && e.FileSize() != 0) return false;
    for (const uint8_t b : e.NameAndExt())
        if (IsForbiddenNameByte(b)) return false;
    if (e.Attributes() & FAT_ATTR_RESERVED) return false;
    return (e.Attributes() & FAT_ATTR_VOLUME) || e.CreateTime() || e.CreateDate() || e.WriteTime() || e.WriteDate();
}

bool HasValidTimes(FatDirEntryView e)
{
    if (e.IsLongName()) return true;
    if (e.Attributes() & FAT_ATTR_RESERVED) return false;
    const uint16_t cTime = e.CreateTime(), cDate = e.CreateDate();
    if (cDate != 0 && cTime != 0 && !StampIsClock(cDate, cTime)) return false;
    return StampIsClock(e.WriteDate(), e.WriteTime());
}

std::string FatShortName(FatDirEntryView e)
{
    // NtCase records that a name written in lower case fits 8.3: bit 0x08 for the base name,
    // bit 0x10 for the extension. The entry itself stores upper case, in the DOS code page:
    // its accented capitals fold like the Latin-1 ones (0xC0-0xDE but for 0xD7).
    const bool lowerBase = (e.NtCase() & 0x08) != 0;
    const bool lowerExt = (e.NtCase() & 0x10) != 0;
    const auto append = [](std::string& out, uint8_t c, bool lower) {
        char32_t u = OemCharToUnicode(c);
        if (lower && ((u >= U'A' && u <= U'Z') || (u >= 0xC0 && u <= 0xDE && u != 0xD7))) u += 0x20;
        AppendUtf8(out, u);
    };
    const auto base = e.Name();
    const auto ext = e.Ext();
    std::string name;
    if (e.IsDeleted()) name.push_back('_');
    for (size_t i = e.IsDeleted() ? 1 : 0; i < base.size() && base[i] != ' '; ++i) append(name, base[i], lowerBase);
    if (ext[0] != ' ')
    {
        name.push_back('.');
        for (size_t i = 0; i < ext.size() && ext[i] != ' '; ++i) append(name, ext[i], lowerExt);
    }
    return name;
}

uint8_t FatShortNameChecksum(FatDirEntryView::ShortNameBytes name)
{
    uint8_t sum = 0;
    for (const uint8_t b : name) sum = static_cast<uint8_t>(((sum & 1) << 7) + (sum >> 1) + b);
    return sum;
}

bool FatRootLabel(ByteView root, std::string* label)
{
    for (const FatDirEntryView e : FatDirEntrySlots(root))
    {
        if (e.IsUnused()) return false;
        if (e.IsLongName() || e.IsDeleted() || !(e.Attributes() & FAT_ATTR_VOLUME)) continue;
        // A zero byte ends the name as it would a C string.
        const auto name = e.NameAndExt();
        size_t begin = 0, end = static_cast<size_t>(std::find(name.begin(), name.end(), uint8_t{0}) - name.begin());
        while (begin < end && (name[begin] == ' ' || name[begin] == '\t')) ++begin;
        while (end > begin && (name[end - 1] == ' ' || name[end - 1] == '\t')) --end;
        *label = OemToUtf8(name.data() + begin, end - begin);
        return true;
    }
    return false;
}

namespace {

// A lone entry makes a partial folder only with a plausible size (not a garbage 2-GB value).
constexpr uint64_t kMaxLoneEntrySize = 0x3FFFFFFF;

// Two entries close a folder as often as three: the last cluster may hold one file with its
// long name, or two files with 8.3 names (as cameras write them). Both must be sound, the
// last one a short entry, every file of a plausible size, and a live long name must carry the
// checksum of the short name after it.
bool IsPlausiblePair(FatDirEntryView a, FatDirEntryView b, const FatEntryLimits& limits)
{
    if (b.IsLongName()) return false;
    for (const FatDirEntryView e : {a, b})
    {
        if (!IsValidEntry(e, limits) || !HasValidTimes(e)) return false;
        if (e.IsLongName() || (e.Attributes() & FAT_ATTR_VOLUME)) continue;
        if (e.Attributes() & FAT_ATTR_FOLDER)
        {
            if (e.FirstCluster() < 2) return false;
        }
        else if (e.FileSize() == 0 || e.FileSize() > kMaxLoneEntrySize)
        {
            return false;
        }
    }
    if (a.IsLongName() && !a.IsDeleted() && !b.IsDeleted()) return a.Checksum() == FatShortNameChecksum(b.NameAndExt());
    return true;
}

} // namespace

bool LooksLikeFolderPart(ByteView sector, const FatEntryLimits& limits)
{
    const FatDirEntrySlots slots(sector);
    uint32_t walked = 0, valid = 0;
    uint64_t sizeSum = 0;
    for (const FatDirEntryView e : slots)
    {
        if (e.IsUnused()) break;
        if (IsValidEntry(e, limits) && HasValidTimes(e))
        {
            ++valid;
            if (!e.IsLongName()) sizeSum += e.FileSize();
        }
        else if (walked == 0)
        {
            return false;
        }
        ++walked;
    }
    if (valid >= 3 && valid >= walked / 2) return true;
    if (walked == 2) return IsPlausiblePair(*slots[0], *slots[1], limits);
    return walked == 1 && valid == 1 && sizeSum >= 1 && sizeSum <= kMaxLoneEntrySize;
}
