#include "raw/KRawNames.h"
#include "raw/RawFileTypeAbi.h"

#include <cstring>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string_view>

namespace {

constexpr std::string_view kNumberedPrefix = "Recovered_";
// A name that keeps its " (n)" suffix within kMaxNameBytes even for the highest n.
constexpr size_t kMaxSuffix = sizeof(" (4294967295)") - 1;

// Length of the well-formed UTF-8 sequence at s[i] and its code point; 0 when it is not one
// (a stray continuation byte, a cut or overlong sequence, a surrogate, beyond U+10FFFF).
size_t Utf8At(std::string_view s, size_t i, uint32_t& cp)
{
    const auto b0 = static_cast<uint8_t>(s[i]);
    if (b0 < 0x80)
    {
        cp = b0;
        return 1;
    }
    size_t n = 0;
    uint32_t min = 0;
    if ((b0 & 0xE0) == 0xC0)
    {
        n = 2;
        cp = b0 & 0x1F;
        min = 0x80;
    }
    else if ((b0 & 0xF0) == 0xE0)
    {
        n = 3;
        cp = b0 & 0x0F;
        min = 0x800;
    }
    else if ((b0 & 0xF8) == 0xF0)
    {
        n = 4;
        cp = b0 & 0x07;
        min = 0x10000;
    }
    else
        return 0;
    if (s.size() - i < n) return 0;
    for (size_t k = 1; k < n; ++k)
    {
        const auto b = static_cast<uint8_t>(s[i + k]);
        if ((b & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return n;
}

bool Forbidden(char c)
{
    return c == '/' || c == '\\' || c == ':' || c == '*' || c == '?' || c == '"' || c == '<' || c == '>' || c == '|';
}

// Characters that reorder the text around them when shown: a name could pass for another
// extension than the one it has.
bool Reordering(uint32_t cp)
{
    return (cp >= 0x202A && cp <= 0x202E) || (cp >= 0x2066 && cp <= 0x2069) || cp == 0x200E || cp == 0x200F;
}

void TrimEnd(std::string& s)
{
    while (!s.empty() && (s.back() == ' ' || s.back() == '.')) s.pop_back();
}

} // namespace

std::string KRawNames::Clean(std::string_view text, size_t maxBytes)
{
    std::string out;
    out.reserve(std::min(text.size(), maxBytes));
    for (size_t i = 0; i < text.size();)
    {
        uint32_t cp = 0;
        size_t n = Utf8At(text, i, cp);
        std::string_view piece;
        if (n == 0)
        {
            piece = "_";
            n = 1;
        }
        else if (cp < 0x20 || cp == 0x7F || (cp >= 0x80 && cp < 0xA0))
        {
            piece = " ";
        }
        else if (n == 1 && Forbidden(text[i]))
        {
            piece = "_";
        }
        else if (Reordering(cp))
        {
            piece = "_";
        }
        else
        {
            piece = text.substr(i, n);
        }
        i += n;
        if (piece == " " && (out.empty() || out.back() == ' ')) continue;
        if (out.empty() && piece == ".") continue;
        if (out.size() + piece.size() > maxBytes) break;
        out += piece;
    }
    TrimEnd(out);
    return out;
}

void KRawNames::Clear()
{
    std::unordered_set<std::string>().swap(m_Taken);
    std::unordered_map<std::string, uint32_t>().swap(m_NextSuffix);
}

std::string KRawNames::Claim(int typeIndex, std::string_view text, std::string_view ext)
{
    const size_t tail = (ext.empty() ? 0 : ext.size() + 1) + kMaxSuffix;
    if (tail >= kMaxNameBytes) return {};
    const std::string stem = Clean(text, kMaxNameBytes - tail);
    if (stem.empty()) return {};
    const std::string dotExt = ext.empty() ? std::string() : "." + std::string(ext);
    std::string key = std::to_string(typeIndex);
    key += '\0';
    const size_t keyHead = key.size();
    // A text that reads like a numbered name could meet one of the numbered files: such a name
    // always gets a suffix.
    const bool likeNumbered = stem.compare(0, kNumberedPrefix.size(), kNumberedPrefix) == 0;
    uint32_t& next = m_NextSuffix[key + stem + dotExt];
    if (next == 0) next = likeNumbered ? 2 : 1;
    for (; next != 0; ++next)
    {
        std::string name = stem;
        if (next > 1)
        {
            char suffix[kMaxSuffix + 1];
            std::snprintf(suffix, sizeof suffix, " (%u)", next);
            name += suffix;
        }
        name += dotExt;
        key.resize(keyHead);
        key += name;
        if (m_Taken.insert(key).second)
        {
            ++next;
            return name;
        }
    }
    return {};
}

std::string HitMetadataText(IRawFileType* type, int64_t firstSector)
{
    RawHitName query{};
    query.firstSector = firstSector;
    if (!type || type->GetInfo(RAW_INFO_HIT_NAME, &query, sizeof query) != 0) return {};
    // The plug-in's text is held to its buffer whether or not it wrote the terminator.
    return std::string(query.name, strnlen(query.name, sizeof query.name));
}
