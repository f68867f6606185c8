#include "fat/KFatEntryParser.h"

#include <algorithm>
#include <cstring>

#include "os/OsText.h"
#include "os/OsTime.h"

namespace {

// Offsets of the 13 UTF-16 characters of a long-name part, in reading order.
constexpr size_t kLongNameCharOffsets[kFatLongNameChars] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};

// Sizes from here up are not files (the top of the 32-bit range marks garbage).
constexpr uint32_t kFatMaxRecordSize = 0xFFFFFFF8u;

int64_t DosTime(uint16_t date, uint16_t time)
{
    int64_t ft = 0;
    if (!DosDateTimeToFileTime(date, time, &ft)) return 0;
    return ft;
}

uint16_t Word(const uint8_t* e, size_t off) { return static_cast<uint16_t>(e[off] | (e[off + 1] << 8)); }

} // namespace

void KFatEntryParser::Reset()
{
    m_LastFirstByte = 0;
    m_Count = 0;
    m_Chars.fill(0);
    m_Name.fill(0);
}

void KFatEntryParser::TakeLongNamePart(const uint8_t* e)
{
    const bool deleted = e[0] == kFatDeletedMark;
    const bool lastDeleted = m_LastFirstByte == kFatDeletedMark;
    if (deleted != lastDeleted) m_Count = 0;
    if (m_Count >= kFatMaxLongNameParts) m_Count = 0;
    char16_t* slot = m_Chars.data() + m_Count * kFatLongNameChars;
    // Stored back to front so that reversing the whole collection yields the reading order.
    for (size_t i = 0; i < kFatLongNameChars; ++i)
        slot[i] = static_cast<char16_t>(Word(e, kLongNameCharOffsets[kFatLongNameChars - 1 - i]));
    ++m_Count;
    m_LastFirstByte = e[0];
}

std::string KFatEntryParser::AssembleLongName() const
{
    const size_t units = static_cast<size_t>(m_Count) * kFatLongNameChars;
    std::array<char16_t, kFatMaxLongNameParts * kFatLongNameChars> ordered{};
    std::reverse_copy(m_Chars.begin(), m_Chars.begin() + static_cast<std::ptrdiff_t>(units), ordered.begin());
    return CutUtf8(Utf16ToUtf8(ordered.data(), units), kFatMaxNameBytes);
}

FatParseOutcome KFatEntryParser::Parse(const uint8_t* e, const FatEntryLimits& limits, FatParsedEntry* out)
{
    const bool longName = FatEntryIsLongName(e);
    if (e[0] == 0x00 || e[0] == ' ' || e[0] == '.' || (!longName && (e[11] & FAT_ATTR_VOLUME)))
    {
        m_Count = 0;
        return FatParseOutcome::Skipped;
    }
    if (!IsValidEntry(e, limits) || (!longName && FatEntryFirstCluster(e) >= limits.ClusterCount))
    {
        m_Count = 0;
        return FatParseOutcome::Skipped;
    }
    if (longName)
    {
        TakeLongNamePart(e);
        return FatParseOutcome::LongNamePart;
    }

    std::string name;
    if (m_Count > 0)
    {
        name = AssembleLongName();
        if (!IsCleanName(name.c_str())) name = FatShortName(e);
    }
    else
    {
        name = FatShortName(e);
    }
    m_Name.fill(0);
    std::memcpy(m_Name.data(), name.data(), std::min<size_t>(name.size(), kFatMaxNameBytes));
    m_LastFirstByte = 0;
    m_Count = 0;

    const uint32_t size = FatEntrySize(e);
    if (size >= kFatMaxRecordSize) return FatParseOutcome::Skipped;
    out->Name = std::move(name);
    out->Size = size;
    out->Created = DosTime(Word(e, 16), Word(e, 14));
    out->Modified = DosTime(Word(e, 24), Word(e, 22));
    out->Attributes = e[11];
    out->Deleted = e[0] == kFatDeletedMark;
    out->FirstCluster = FatEntryFirstCluster(e);
    return FatParseOutcome::Record;
}

void KFatEntryParser::Store(uint8_t* out) const
{
    out[0] = m_LastFirstByte;
    for (size_t i = 0; i < m_Chars.size(); ++i)
    {
        out[1 + 2 * i] = static_cast<uint8_t>(m_Chars[i] & 0xFF);
        out[2 + 2 * i] = static_cast<uint8_t>(m_Chars[i] >> 8);
    }
    const size_t countAt = 1 + kFatNameBufferBytes;
    for (size_t i = 0; i < 4; ++i)
        out[countAt + i] = static_cast<uint8_t>(m_Count >> (8 * i));
    std::memcpy(out + countAt + 4, m_Name.data(), kFatNameBufferBytes);
}

void KFatEntryParser::Restore(const uint8_t* in)
{
    m_LastFirstByte = in[0];
    for (size_t i = 0; i < m_Chars.size(); ++i)
        m_Chars[i] = static_cast<char16_t>(in[1 + 2 * i] | (in[2 + 2 * i] << 8));
    const size_t countAt = 1 + kFatNameBufferBytes;
    uint32_t count = 0;
    for (size_t i = 0; i < 4; ++i)
        count |= static_cast<uint32_t>(in[countAt + i]) << (8 * i);
    // A stored count beyond the buffer would index past it: such a file is damaged.
    m_Count = count <= kFatMaxLongNameParts ? count : 0;
    std::memcpy(m_Name.data(), in + countAt + 4, kFatNameBufferBytes);
    m_Name[kFatNameBufferBytes - 1] = 0;
}
