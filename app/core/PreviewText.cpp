#include "core/PreviewText.h"

#include <cstring>

namespace {

constexpr char32_t kReplacement = 0xFFFD;

} // namespace

void AppendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80)
        out.push_back(static_cast<char>(c));
    else if (c < 0x800)
    {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
    else if (c < 0x10000)
    {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
    else
    {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

namespace {

enum class EUtf8Step
{
    Ok,
    Bad,       // not a well-formed sequence
    Truncated, // a well-formed start cut off by the end of the bytes
};

// Decodes one sequence at `i`: rejects overlong forms, surrogates and values above U+10FFFF.
EUtf8Step DecodeUtf8(ByteView b, size_t i, char32_t& c, size_t& length)
{
    const uint8_t lead = b[i];
    if (lead < 0x80)
    {
        c = lead;
        length = 1;
        return EUtf8Step::Ok;
    }
    char32_t min = 0;
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2, c = lead & 0x1Fu, min = 0x80;
    else if (lead >= 0xE0 && lead <= 0xEF)
        length = 3, c = lead & 0x0Fu, min = 0x800;
    else if (lead >= 0xF0 && lead <= 0xF4)
        length = 4, c = lead & 0x07u, min = 0x10000;
    else
        return EUtf8Step::Bad;
    for (size_t k = 1; k < length; ++k)
    {
        if (i + k >= b.size()) return EUtf8Step::Truncated;
        if ((b[i + k] & 0xC0) != 0x80) return EUtf8Step::Bad;
        c = (c << 6) | (b[i + k] & 0x3Fu);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return EUtf8Step::Bad;
    return EUtf8Step::Ok;
}

bool StartsWith(ByteView b, const char* prefix)
{
    const size_t n = std::strlen(prefix);
    return b.size() >= n && std::memcmp(b.data(), prefix, n) == 0;
}

void Utf16ToUtf8(ByteView b, bool bigEndian, std::string& out)
{
    auto unit = [&](size_t i) -> char32_t {
        return bigEndian ? static_cast<char32_t>((b[i] << 8) | b[i + 1])
                         : static_cast<char32_t>(b[i] | (b[i + 1] << 8));
    };
    size_t i = 2; // past the byte-order mark
    while (i + 1 < b.size())
    {
        const char32_t u = unit(i);
        i += 2;
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < b.size())
        {
            const char32_t low = unit(i);
            if (low >= 0xDC00 && low <= 0xDFFF)
            {
                AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
                i += 2;
                continue;
            }
        }
        AppendUtf8(out, (u >= 0xD800 && u <= 0xDFFF) ? kReplacement : u);
    }
    if (i < b.size()) AppendUtf8(out, kReplacement);
}

} // namespace

bool IsRichText(ByteView bytes) { return StartsWith(bytes, "{\\rtf"); }

ETextEncoding GuessTextEncoding(ByteView bytes)
{
    if (StartsWith(bytes, "\xEF\xBB\xBF")) return ETextEncoding::Utf8;
    if (StartsWith(bytes, "\xFF\xFE")) return ETextEncoding::Utf16LE;
    if (StartsWith(bytes, "\xFE\xFF")) return ETextEncoding::Utf16BE;
    for (size_t i = 0; i < bytes.size();)
    {
        char32_t c = 0;
        size_t length = 1;
        const EUtf8Step step = DecodeUtf8(bytes, i, c, length);
        if (step == EUtf8Step::Bad) return ETextEncoding::Latin1;
        if (step == EUtf8Step::Truncated) break;
        i += length;
    }
    return ETextEncoding::Utf8;
}

std::string TextToUtf8(ByteView bytes, ETextEncoding encoding)
{
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 8);
    switch (encoding)
    {
    case ETextEncoding::Utf16LE:
    case ETextEncoding::Utf16BE: Utf16ToUtf8(bytes, encoding == ETextEncoding::Utf16BE, out); return out;
    case ETextEncoding::Latin1:
        for (uint8_t b : bytes) AppendUtf8(out, b);
        return out;
    case ETextEncoding::Utf8: break;
    }
    size_t i = StartsWith(bytes, "\xEF\xBB\xBF") ? 3 : 0;
    while (i < bytes.size())
    {
        char32_t c = 0;
        size_t length = 1;
        const EUtf8Step step = DecodeUtf8(bytes, i, c, length);
        if (step == EUtf8Step::Ok)
        {
            out.append(reinterpret_cast<const char*>(bytes.data() + i), length);
            i += length;
            continue;
        }
        AppendUtf8(out, kReplacement);
        if (step == EUtf8Step::Truncated) break;
        ++i;
    }
    return out;
}

std::string PlainTextToUtf8(ByteView bytes) { return TextToUtf8(bytes, GuessTextEncoding(bytes)); }
