#include "fat/KFatEntryParser.h"

#include <algorithm>
#include <cstring>

#include "base/TextCodec.h"
#include "os/OsTime.h"

namespace {

// Sizes from here up are not files (the top of the 32-bit range marks garbage).
constexpr uint32_t kFatMaxRecordSize = 0xFFFFFFF8u;

int64_t DosTime(uint16_t date, uint16_t time)
{
    int64_t ft = 0;
    if (!DosDateTimeToFileTime(date, time, &ft)) return 0;
    return ft;
}

} // namespace

void KFatEntryParser::Reset()
{
    m_LastFirstByte = 0;
    m_Count = 0;
    m_Checked = true;
    m_Checksum = 0;
    m_NextOrdinal = 0;
    m_InOrder = false;
    m_Chars.fill(0);
    m_Name.fill(0);
}

void KFatEntryParser::TakeLongNamePart(FatDirEntryView e)
{
    const bool deleted = e.IsDeleted();
    const bool lastDeleted = m_LastFirstByte == kFatDeletedMark;
    const uint8_t ordinal = e.Sequence() & kFatLongNameOrdinalMask;
    if (deleted != lastDeleted) m_Count = 0;
    // Another checksum, or a present part flagged as the last of its name, begins a new name.
    if (m_Checked && m_Count > 0 && e.Checksum() != m_Checksum) m_Count = 0;
    if (!deleted && (e.Sequence() & kFatLongNameLastFlag)) m_Count = 0;
    if (m_Count >= kFatMaxLongNameParts) m_Count = 0;
    if (m_Count == 0)
    {
        m_Checked = true;
        m_Checksum = e.Checksum();
        m_InOrder = !deleted && (e.Sequence() & kFatLongNameLastFlag);
        m_NextOrdinal = ordinal;
    }
    if (!deleted)
    {
        if (ordinal != m_NextOrdinal) m_InOrder = false;
        m_NextOrdinal = ordinal > 0 ? static_cast<uint8_t>(ordinal - 1) : 0;
    }
    char16_t* slot = m_Chars.data() + m_Count * kFatLongNameChars;
    // Stored back to front so that reversing the whole collection yields the reading order.
    for (size_t i = 0; i < kFatLongNameChars; ++i) slot[i] = e.LongNameChar(kFatLongNameChars - 1 - i);
    ++m_Count;
    m_LastFirstByte = e.Sequence();
}

std::string KFatEntryParser::AssembleLongName() const
{
    const size_t units = static_cast<size_t>(m_Count) * kFatLongNameChars;
    std::array<char16_t, kFatMaxLongNameParts * kFatLongNameChars> ordered{};
    std::reverse_copy(m_Chars.begin(), m_Chars.begin() + static_cast<std::ptrdiff_t>(units), ordered.begin());
    return CutUtf8(Utf16ToUtf8(ordered.data(), units), kFatMaxNameBytes);
}

char16_t KFatEntryParser::FirstNameChar() const
{
    // Parts are stored back to front: the name's first character is the last one collected.
    for (size_t i = static_cast<size_t>(m_Count) * kFatLongNameChars; i-- > 0;)
        if (m_Chars[i] != u'.' && m_Chars[i] != u' ') return m_Chars[i];
    return 0;
}

bool KFatEntryParser::LongNameBelongsTo(FatDirEntryView e) const
{
    if (!m_Checked) return true;
    if (!e.IsDeleted())
        return m_LastFirstByte != kFatDeletedMark && m_InOrder && m_NextOrdinal == 0 &&
            m_Checksum == FatShortNameChecksum(e.NameAndExt());
    // Deleting overwrote the short name's first byte, and with it the part numbers. The
    // checksum fixes what that byte was; a name that begins with a letter or digit gave the
    // short name that letter, in upper case.
    std::array<uint8_t, 11> name;
    std::copy(e.NameAndExt().begin(), e.NameAndExt().end(), name.begin());
    int first = -1;
    for (int c = 0; c < 256 && first < 0; ++c)
    {
        name[0] = static_cast<uint8_t>(c);
        if (FatShortNameChecksum(name) == m_Checksum) first = c;
    }
    const char16_t lead = FirstNameChar();
    const bool letter =
        (lead >= u'a' && lead <= u'z') || (lead >= u'A' && lead <= u'Z') || (lead >= u'0' && lead <= u'9');
    if (!letter) return true;
    const int upper = lead >= u'a' && lead <= u'z' ? lead - u'a' + 'A' : lead;
    return first == upper;
}

FatParseOutcome KFatEntryParser::Parse(FatDirEntryView e, const FatEntryLimits& limits, FatParsedEntry* out)
{
    const bool longName = e.IsLongName();
    if (e.IsUnused() || e.NameLead() == ' ' || e.NameLead() == '.' || (!longName && (e.Attributes() & FAT_ATTR_VOLUME)))
    {
        m_Count = 0;
        return FatParseOutcome::Skipped;
    }
    if (!IsValidEntry(e, limits) || (!longName && e.FirstCluster() >= limits.ClusterCount))
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
    if (m_Count > 0 && LongNameBelongsTo(e))
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

    const uint32_t size = e.FileSize();
    if (size >= kFatMaxRecordSize) return FatParseOutcome::Skipped;
    out->Name = std::move(name);
    out->Size = size;
    out->Created = DosTime(e.CreateDate(), e.CreateTime());
    out->Modified = DosTime(e.WriteDate(), e.WriteTime());
    out->Attributes = e.Attributes();
    out->Deleted = e.IsDeleted();
    out->FirstCluster = e.FirstCluster();
    return FatParseOutcome::Record;
}

KFatEntryParser::Stored KFatEntryParser::Store() const
{
    Stored out{};
    out[0] = m_LastFirstByte;
    for (size_t i = 0; i < m_Chars.size(); ++i)
    {
        out[1 + 2 * i] = static_cast<uint8_t>(m_Chars[i] & 0xFF);
        out[2 + 2 * i] = static_cast<uint8_t>(m_Chars[i] >> 8);
    }
    const size_t countAt = 1 + kFatNameBufferBytes;
    for (size_t i = 0; i < 4; ++i) out[countAt + i] = static_cast<uint8_t>(m_Count >> (8 * i));
    std::memcpy(out.data() + countAt + 4, m_Name.data(), kFatNameBufferBytes);
    return out;
}

void KFatEntryParser::Restore(const Stored& in)
{
    m_LastFirstByte = in[0];
    for (size_t i = 0; i < m_Chars.size(); ++i)
        m_Chars[i] = static_cast<char16_t>(in[1 + 2 * i] | (in[2 + 2 * i] << 8));
    const size_t countAt = 1 + kFatNameBufferBytes;
    uint32_t count = 0;
    for (size_t i = 0; i < 4; ++i) count |= static_cast<uint32_t>(in[countAt + i]) << (8 * i);
    // A stored count beyond the buffer would index past it: such a file is damaged.
    m_Count = count <= kFatMaxLongNameParts ? count : 0;
    m_Checked = false;
    std::memcpy(m_Name.data(), in.data() + countAt + 4, kFatNameBufferBytes);
    m_Name[kFatNameBufferBytes - 1] = 0;
}
