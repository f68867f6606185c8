#include "common/MetaName.h"

#include <cstdint>
#include <cstdio>

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\0'; }

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool StartsWithNoCase(std::string_view text, std::string_view prefix)
{
    if (prefix.size() > text.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (Lower(text[i]) != Lower(prefix[i])) return false;
    return true;
}

// Digits text[at .. at+n) as a number; -1 when any is not a digit.
int Number(std::string_view text, size_t at, size_t n)
{
    int v = 0;
    for (size_t i = at; i < at + n; ++i)
    {
        if (i >= text.size() || text[i] < '0' || text[i] > '9') return -1;
        v = v * 10 + (text[i] - '0');
    }
    return v;
}

// An EXIF date "YYYY:MM:DD HH:MM:SS" as "YYYY-MM-DD HH-MM-SS"; empty when it is not a real
// moment (cameras without a set clock write zeros or blanks).
std::string Moment(std::string_view date)
{
    if (date.size() < 19 || date[4] != ':' || date[7] != ':' || date[10] != ' ' || date[13] != ':' || date[16] != ':')
        return {};
    const int year = Number(date, 0, 4), month = Number(date, 5, 2), day = Number(date, 8, 2);
    const int hour = Number(date, 11, 2), minute = Number(date, 14, 2), second = Number(date, 17, 2);
    if (year < 1900 || month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 || hour > 23 || minute < 0 ||
        minute > 59 || second < 0 || second > 60)
        return {};
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d-%02d-%02d", year, month, day, hour, minute, second);
    return text;
}

} // namespace

void AppendCodePoint(std::string& out, uint32_t cp)
{
    if (cp < 0x80)
    {
        out += static_cast<char>(cp);
    }
    else if (cp < 0x800)
    {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
    else if (cp < 0x10000)
    {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
    else
    {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::string_view TrimBlanks(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

std::string PhotoName(const tagTiffMeta& meta)
{
    std::string name = Moment(meta.dateTime);
    if (name.empty()) return {};
    const std::string_view make = TrimBlanks(meta.make);
    const std::string_view model = TrimBlanks(meta.model);
    const std::string_view makeWord = make.substr(0, make.find(' '));
    std::string camera;
    if (!model.empty())
    {
        if (!makeWord.empty() && !StartsWithNoCase(model, makeWord)) camera.append(makeWord).append(" ");
        camera.append(model);
    }
    else
    {
        camera.append(make);
    }
    if (!camera.empty()) name.append(" ").append(camera);
    return name;
}

std::string SongName(std::string_view artist, std::string_view title)
{
    artist = TrimBlanks(artist);
    title = TrimBlanks(title);
    if (title.empty()) return {};
    std::string name;
    if (!artist.empty()) name.append(artist).append(" - ");
    name.append(title);
    return name;
}

std::string TextFromLatin1(ByteView bytes)
{
    std::string out;
    for (const uint8_t b : bytes)
    {
        if (b == 0) break;
        AppendCodePoint(out, b);
    }
    return out;
}

std::string TextFromUtf16(ByteView bytes, bool bigEndian)
{
    size_t i = 0;
    if (bytes.size() >= 2 && ((bytes[0] == 0xFE && bytes[1] == 0xFF) || (bytes[0] == 0xFF && bytes[1] == 0xFE)))
    {
        bigEndian = bytes[0] == 0xFE;
        i = 2;
    }
    std::string out;
    for (; i + 1 < bytes.size(); i += 2)
    {
        const uint32_t u = bigEndian ? (bytes[i] << 8 | bytes[i + 1]) : (bytes[i + 1] << 8 | bytes[i]);
        if (u == 0) break;
        if (u >= 0xD800 && u <= 0xDBFF && i + 3 < bytes.size())
        {
            const uint32_t lo = bigEndian ? (bytes[i + 2] << 8 | bytes[i + 3]) : (bytes[i + 3] << 8 | bytes[i + 2]);
            if (lo >= 0xDC00 && lo <= 0xDFFF)
            {
                AppendCodePoint(out, 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00));
                i += 2;
                continue;
            }
        }
        AppendCodePoint(out, u >= 0xD800 && u <= 0xDFFF ? 0xFFFD : u);
    }
    return out;
}

std::string TextFromLegacy(ByteView bytes)
{
    size_t len = 0;
    while (len < bytes.size() && bytes[len] != 0) ++len;
    bytes = bytes.first(len);
    for (size_t i = 0; i < len;)
    {
        const uint8_t b = bytes[i];
        const size_t n = b < 0x80             ? 1
            : (b & 0xE0) == 0xC0 && b >= 0xC2 ? 2
            : (b & 0xF0) == 0xE0              ? 3
            : (b & 0xF8) == 0xF0 && b <= 0xF4 ? 4
                                              : 0;
        if (n == 0 || len - i < n) return TextFromLatin1(bytes);
        for (size_t k = 1; k < n; ++k)
            if ((bytes[i + k] & 0xC0) != 0x80) return TextFromLatin1(bytes);
        i += n;
    }
    return std::string(bytes.begin(), bytes.end());
}
