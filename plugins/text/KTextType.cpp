#include "text/KTextType.h"

#include <algorithm>
#include <cstring>

#include "text/MailSubject.h"
#include "text/TextBytes.h"

namespace {
// Text bytes a candidate's first bytes must be, and the bytes before it must not all be:
// random data passes this few bytes of text with a chance of about 1e-13.
constexpr size_t kQuickLook = 32;
// Bytes just before a start looked at: text there means this sector continues a longer text
// (or a string of a program's string table that crosses the sector boundary). Twelve bytes of
// other data pass for text with a chance of about 1 in 100,000.
constexpr size_t kBeforeLook = 12;
constexpr size_t kClassifyLook = 8192;
constexpr size_t kWalkPiece = 64 * 1024;

std::array<bool, 256> FirstByteTable(const char* bytes)
{
    std::array<bool, 256> t{};
    for (int b = 0; b < 256; ++b) t[static_cast<size_t>(b)] = bytes ? false : CanStartText(static_cast<uint8_t>(b));
    if (bytes)
        for (const char* p = bytes; *p; ++p) t[static_cast<uint8_t>(*p)] = true;
    return t;
}

bool AllZero(ByteView v)
{
    return std::all_of(v.begin(), v.end(), [](uint8_t b) { return b == 0; });
}

// Plain text shorter than a sector, without a marker to go by, must look like a file of lines:
// ending with a line break and mostly not blank (a padded field of spaces is not a file).
bool PlausibleShortText(ByteView text)
{
    if (text.empty() || text.back() != '\n') return false;
    const size_t blank = static_cast<size_t>(std::count_if(
        text.begin(), text.end(), [](uint8_t b) { return b == ' ' || b == '\t' || b == '\r' || b == '\n'; }));
    return blank * 2 < text.size();
}

// Kinds without a marker at the very start: decided by the whole classification.
bool Unmarked(TextKind kind)
{
    return kind == TextKind::Txt || kind == TextKind::Csv || kind == TextKind::CSource || kind == TextKind::Python;
}

bool SameFamily(TextKind marker, TextKind kind)
{
    if (marker == TextKind::Xml) return kind == TextKind::Xml || kind == TextKind::Html || kind == TextKind::Svg;
    return marker == kind;
}
} // namespace

KTextType::KTextType(const tagTextTypeDesc& desc)
    : KRawTypeBase(desc.info, FirstByteTable(desc.firstBytes)), m_Kind(desc.kind)
{}

bool KTextType::Plausible(const uint8_t* sector, const uint8_t* previous, uint32_t bytesPerSector) const
{
    // The middle of a longer text, the most common candidate, is dropped here at once.
    if (previous && bytesPerSector >= kBeforeLook &&
        IsTextSpan(ByteView(previous + bytesPerSector - kBeforeLook, kBeforeLook), false))
        return false;
    return IsTextSpan(ByteView(sector, std::min<size_t>(bytesPerSector, kQuickLook)));
}

RawHeader KTextType::CheckHeader(ByteView head, uint64_t&) const
{
    if (!IsTextSpan(head.first(std::min(head.size(), kQuickLook)))) return RawHeader::No;
    // Kinds with a marker look for it here; the others are decided in FindEnd, after the
    // cheaper test of the bytes before the start.
    if (!Unmarked(m_Kind) && !SameFamily(MarkerKind(head), m_Kind)) return RawHeader::No;
    return RawHeader::Open;
}

tagRawMatch KTextType::FindEnd(KRawReader& reader) const
{
    const ByteView before = reader.Preceding(kBeforeLook);
    // A character cut by the boundary would go on in this sector, whose first byte begins one.
    if (!before.empty() && IsTextSpan(before, false)) return {};
    // The kind is told from the text alone, not from what follows its end.
    const ByteView head = reader.ViewUpTo(0, kClassifyLook);
    KTextValidator headText;
    if (ClassifyText(head.first(headText.Feed(head))) != m_Kind) return {};

    KTextValidator text;
    uint64_t pos = 0, end = 0;
    for (;;)
    {
        const ByteView piece = reader.ViewUpTo(pos, kWalkPiece);
        if (piece.empty())
        {
            // The end of the volume: the text runs to it.
            end = pos;
            break;
        }
        const size_t ok = text.Feed(piece);
        if (ok < piece.size())
        {
            end = pos + ok - std::min<uint64_t>(text.Broken(), pos + ok);
            break;
        }
        pos += piece.size();
        if (pos >= reader.Limit()) return {true, 0, pos}; // longer than a file of this kind is kept
    }
    // A file's last sector is written whole, its rest zero-filled; text that stops mid-sector
    // at anything else is a string inside other data (a program's string table, a document's
    // text runs).
    const uint64_t bps = reader.BytesPerSector();
    const uint64_t inSector = end % bps;
    if (inSector != 0)
    {
        const ByteView rest = reader.View(end, static_cast<size_t>(bps - inSector));
        if (rest.empty() || !AllZero(rest)) return {};
    }
    if ((m_Kind == TextKind::Txt || m_Kind == TextKind::Csv) && end < bps && !PlausibleShortText(head.first(end)))
        return {};
    return {true, end};
}

std::string KTextType::NameOf(KRawReader& reader, const tagRawMatch& match) const
{
    if (m_Kind != TextKind::Eml) return {};
    const uint64_t size = match.size ? match.size : kHeadBytes;
    return MailSubject(reader.ViewUpTo(0, static_cast<size_t>(std::min<uint64_t>(size, kHeadBytes))));
}
