#include "base/TextCodec.h"

namespace {
constexpr char kReplacement = '_';

constexpr bool IsHighSurrogate(uint32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
constexpr bool IsLowSurrogate(uint32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }
constexpr bool IsContinuation(uint8_t b) { return (b & 0xC0) == 0x80; }

} // namespace

void AppendUtf8(std::string& out, uint32_t cp)
{
    if (cp < 0x80)
    {
        out.push_back(static_cast<char>(cp));
    }
    else if (cp < 0x800)
    {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
    else if (cp < 0x10000)
    {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
    else
    {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

namespace {

// Shared by both UTF-16 sources: `unitAt(i)` yields unit i of `count`.
template <typename UnitAt> std::string Utf16UnitsToUtf8(size_t count, UnitAt unitAt)
{
    std::string out;
    out.reserve(count);
    for (size_t i = 0; i < count; ++i)
    {
        const uint32_t unit = unitAt(i);
        if (unit == 0) break;
        if (IsHighSurrogate(unit) && i + 1 < count && IsLowSurrogate(unitAt(i + 1)))
        {
            const uint32_t low = unitAt(i + 1);
            AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
            ++i;
        }
        else if (IsHighSurrogate(unit) || IsLowSurrogate(unit))
        {
            out.push_back(kReplacement);
        }
        else
        {
            AppendUtf8(out, unit);
        }
    }
    return out;
}

// Decodes one UTF-8 sequence at `pos`. On success returns the code point and sets `length`;
// on an invalid sequence returns UINT32_MAX and sets `length` to the bytes to skip (the lead
// byte plus the continuation bytes that were still acceptable), so one bad sequence yields one
// replacement character.
uint32_t DecodeUtf8(const std::string& text, size_t pos, size_t* length)
{
    const auto lead = static_cast<uint8_t>(text[pos]);
    *length = 1;
    if (lead < 0x80) return lead;
    size_t need = 0;
    uint32_t cp = 0;
    uint32_t min = 0;
    if (lead >= 0xC2 && lead <= 0xDF)
    {
        need = 1;
        cp = lead & 0x1Fu;
        min = 0x80;
    }
    else if (lead >= 0xE0 && lead <= 0xEF)
    {
        need = 2;
        cp = lead & 0x0Fu;
        min = 0x800;
    }
    else if (lead >= 0xF0 && lead <= 0xF4)
    {
        need = 3;
        cp = lead & 0x07u;
        min = 0x10000;
    }
    else
    {
        return UINT32_MAX; // stray continuation byte, overlong lead, or beyond U+10FFFF
    }
    for (size_t k = 1; k <= need; ++k)
    {
        if (pos + k >= text.size() || !IsContinuation(static_cast<uint8_t>(text[pos + k])))
        {
            *length = k;
            return UINT32_MAX;
        }
        cp = (cp << 6) | (static_cast<uint8_t>(text[pos + k]) & 0x3Fu);
    }
    *length = need + 1;
    if (cp < min || cp > 0x10FFFF || IsHighSurrogate(cp) || IsLowSurrogate(cp))
        return UINT32_MAX; // overlong form or an encoded surrogate
    return cp;
}

// Code page 437, the DOS code page FAT short names are written in unless set otherwise:
// bytes 0x80-0xFF. Its accented letters (0x80-0xA5) are those of the Western code pages too.
constexpr char16_t kOem437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE,
    0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, 0x00FF, 0x00D6,
    0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA,
    0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502,
    0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, 0x2514,
    0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550,
    0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C,
    0x2588, 0x2584, 0x258C, 0x2590, 0x2580, 0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320,
    0x2321, 0x00F7, 0x2248, 0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

} // namespace

std::string Utf16ToUtf8(const char16_t* units, size_t count)
{
    if (units == nullptr) return {};
    return Utf16UnitsToUtf8(count, [units](size_t i) { return static_cast<uint32_t>(units[i]); });
}

std::string Utf16LEBytesToUtf8(const uint8_t* bytes, size_t byteCount)
{
    if (bytes == nullptr) return {};
    return Utf16UnitsToUtf8(byteCount / 2, [bytes](size_t i) {
        return static_cast<uint32_t>(bytes[2 * i]) | (static_cast<uint32_t>(bytes[2 * i + 1]) << 8);
    });
}

std::u16string Utf8ToUtf16(const std::string& text, size_t maxUnits)
{
    std::u16string out;
    size_t pos = 0;
    while (pos < text.size() && out.size() < maxUnits)
    {
        size_t length = 0;
        const uint32_t cp = DecodeUtf8(text, pos, &length);
        pos += length;
        if (cp == UINT32_MAX)
        {
            out.push_back(u'_');
        }
        else if (cp < 0x10000)
        {
            out.push_back(static_cast<char16_t>(cp));
        }
        else
        {
            if (maxUnits - out.size() < 2) break; // a surrogate pair is never split
            const uint32_t v = cp - 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (v >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (v & 0x3FF)));
        }
    }
    return out;
}

std::string CutUtf8(const std::string& text, size_t maxBytes)
{
    if (text.size() <= maxBytes) return text;
    // Walk back from the cut over at most three continuation bytes to the lead byte of the
    // sequence the cut falls into; drop that sequence when it does not end before the cut.
    size_t lead = maxBytes;
    for (int steps = 0; steps < 3 && lead > 0 && IsContinuation(static_cast<uint8_t>(text[lead])); ++steps) --lead;
    if (lead == maxBytes) return text.substr(0, maxBytes);
    const auto b = static_cast<uint8_t>(text[lead]);
    size_t length = 1;
    if (b >= 0xF0)
        length = 4;
    else if (b >= 0xE0)
        length = 3;
    else if (b >= 0xC0)
        length = 2;
    if (b >= 0xC0 && lead + length > maxBytes) return text.substr(0, lead);
    return text.substr(0, maxBytes);
}

char32_t OemCharToUnicode(uint8_t byte) { return byte < 0x80 ? byte : kOem437High[byte - 0x80]; }

std::string OemToUtf8(const uint8_t* bytes, size_t count)
{
    std::string out;
    for (size_t i = 0; i < count; ++i) AppendUtf8(out, OemCharToUnicode(bytes[i]));
    return out;
}
