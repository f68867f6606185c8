#include "format/fat/FatDirEntry.h"

#include <cstring>

#include "format/fat/FatLayout.h"
#include "base/TextCodec.h"

namespace {

uint16_t Word(const uint8_t* e, size_t off) { return static_cast<uint16_t>(e[off] | (e[off + 1] << 8)); }

bool AllBytesEqual(const uint8_t* e)
{
    for (size_t i = 1; i < kFatEntrySize; ++i)
        if (e[i] != e[0]) return false;
    return true;
}

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

bool IsValidShortName(const uint8_t* name11)
{
    bool blankSeen = false;
    for (size_t i = 0; i < 11; ++i)
    {
        const uint8_t b = name11[i];
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

bool IsValidEntry(const uint8_t* e, const FatEntryLimits& limits)
{
    const uint8_t attr = e[11];
    if (attr == FAT_ATTR_LONG_NAME)
    {
        if (Word(e, 26) != 0) return false;
        if (e[0] != kFatDeletedMark)
        {
            const unsigned seq = e[0] & 0xBFu;
            if (seq == 0 || seq > 22) return false;
        }
        return !AllBytesEqual(e);
    }
    // Cheapest rejections first: the scan meets mostly non-entries.
    if (attr & FAT_ATTR_RESERVED) return false;
    const uint32_t cluster = FatEntryFirstCluster(e);
    const uint32_t size = FatEntrySize(e);
    if (limits.ClusterCount != 0 && cluster >= limits.ClusterCount) return false;
    if (cluster < 2 && size != 0) return false;
    if (limits.ClusterCount == 0 && cluster >= limits.VolumeSectors) return false;
    if (!IsValidShortName(e)) return false;
    if (!(attr & FAT_ATTR_VOLUME))
    {
        if (limits.EndSector != limits.DataStart && limits.BytesPerSector != 0)
        {
            const int64_t dataSectors = limits.EndSector - limits.DataStart + 1;
            if (static_cast<int64_t>(size / limits.BytesPerSector) >= dataSectors) return false;
        }
        if (Word(e, 22) == 0 && Word(e, 24) == 0 && Word(e, 16) == 0 && Word(e, 14) == 0) return false;
    }
    return !AllBytesEqual(e);
}

bool HasValidTimes(const uint8_t* e)
{
    if (e[11] == FAT_ATTR_LONG_NAME) return true;
    if (e[11] & FAT_ATTR_RESERVED) return false;
    const uint16_t cTime = Word(e, 14), cDate = Word(e, 16);
    if (cDate != 0 && cTime != 0 && !StampIsClock(cDate, cTime)) return false;
    return StampIsClock(Word(e, 24), Word(e, 22));
}

std::string FatShortName(const uint8_t* e)
{
    // Byte 12 of an entry records that a name written in lower case fits 8.3: bit 0x08 for the
    // base name, bit 0x10 for the extension. The entry itself stores upper case, in the DOS
    // code page: its accented capitals fold like the Latin-1 ones (0xC0-0xDE but for 0xD7).
    const bool lowerBase = (e[12] & 0x08) != 0;
    const bool lowerExt = (e[12] & 0x10) != 0;
    const auto append = [](std::string& out, uint8_t c, bool lower) {
        char32_t u = OemCharToUnicode(c);
        if (lower && ((u >= U'A' && u <= U'Z') || (u >= 0xC0 && u <= 0xDE && u != 0xD7))) u += 0x20;
        AppendUtf8(out, u);
    };
    std::string name;
    if (e[0] == kFatDeletedMark) name.push_back('_');
    for (size_t i = e[0] == kFatDeletedMark ? 1 : 0; i < 8 && e[i] != ' '; ++i) append(name, e[i], lowerBase);
    if (e[8] != ' ')
    {
        name.push_back('.');
        for (size_t i = 8; i < 11 && e[i] != ' '; ++i) append(name, e[i], lowerExt);
    }
    return name;
}

uint8_t FatShortNameChecksum(const uint8_t* name11)
{
    uint8_t sum = 0;
    for (size_t i = 0; i < 11; ++i) sum = static_cast<uint8_t>(((sum & 1) << 7) + (sum >> 1) + name11[i]);
    return sum;
}

namespace {

// A lone entry makes a partial folder only with a plausible size (not a garbage 2-GB value).
constexpr uint64_t kMaxLoneEntrySize = 0x3FFFFFFF;

// Two entries close a folder as often as three: the last cluster may hold one file with its
// long name, or two files with 8.3 names (as cameras write them). Both must be sound, the
// last one a short entry, every file of a plausible size, and a live long name must carry the
// checksum of the short name after it.
bool IsPlausiblePair(const uint8_t* a, const uint8_t* b, const FatEntryLimits& limits)
{
    if (FatEntryIsLongName(b)) return false;
    for (const uint8_t* e : {a, b})
    {
        if (!IsValidEntry(e, limits) || !HasValidTimes(e)) return false;
        if (FatEntryIsLongName(e) || (e[11] & FAT_ATTR_VOLUME)) continue;
        if (e[11] & FAT_ATTR_FOLDER)
        {
            if (FatEntryFirstCluster(e) < 2) return false;
        }
        else if (FatEntrySize(e) == 0 || FatEntrySize(e) > kMaxLoneEntrySize)
        {
            return false;
        }
    }
    if (FatEntryIsLongName(a) && a[0] != kFatDeletedMark && b[0] != kFatDeletedMark)
        return a[13] == FatShortNameChecksum(b);
    return true;
}

} // namespace

bool LooksLikeFolderPart(ByteView sector, const FatEntryLimits& limits)
{
    const size_t slots = sector.size() / kFatEntrySize;
    uint32_t walked = 0, valid = 0;
    uint64_t sizeSum = 0;
    for (size_t i = 0; i < slots; ++i)
    {
        const uint8_t* e = sector.data() + i * kFatEntrySize;
        if (e[0] == 0) break;
        ++walked;
        if (IsValidEntry(e, limits) && HasValidTimes(e))
        {
            ++valid;
            if (!FatEntryIsLongName(e)) sizeSum += FatEntrySize(e);
        }
        else if (i == 0)
        {
            return false;
        }
    }
    if (valid >= 3 && valid >= walked / 2) return true;
    if (walked == 2) return IsPlausiblePair(sector.data(), sector.data() + kFatEntrySize, limits);
    return walked == 1 && valid == 1 && sizeSum >= 1 && sizeSum <= kMaxLoneEntrySize;
}
