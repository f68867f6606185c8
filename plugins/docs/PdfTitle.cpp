#include "PdfTitle.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

#include "common/MetaName.h"

namespace {

constexpr size_t kTail = 4096;                // the trailer and startxref lie in the last bytes
constexpr size_t kHead = 4096;                // a linearized file's first trailer lies near its start
constexpr size_t kObjectBytes = 4096;         // read of the information dictionary
constexpr size_t kMaxTitle = 1024;            // bytes of the encoded title taken
constexpr uint64_t kSearchBytes = 256 * 1024; // object search without a usable table

bool IsSpace(char c) { return c == ' ' || c == '\r' || c == '\n' || c == '\t' || c == '\f' || c == '\0'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string ReadText(IDocSource& src, uint64_t off, size_t len)
{
    std::string text(len, '\0');
    text.resize(src.ReadSome(off, text.data(), len));
    return text;
}

// A non-negative integer at `pos` (after blanks); advances pos.
std::optional<uint64_t> Integer(std::string_view s, size_t& pos)
{
    while (pos < s.size() && IsSpace(s[pos])) ++pos;
    if (pos >= s.size() || !IsDigit(s[pos])) return std::nullopt;
    uint64_t v = 0;
    for (int digits = 0; pos < s.size() && IsDigit(s[pos]); ++pos)
    {
        if (++digits > 12) return std::nullopt;
        v = v * 10 + static_cast<uint64_t>(s[pos] - '0');
    }
    return v;
}

// "/Info n g R": the last one in `text` (a later trailer supersedes an earlier one).
std::optional<std::pair<uint64_t, uint64_t>> InfoRef(std::string_view text)
{
    for (size_t at = text.rfind("/Info"); at != std::string_view::npos;
         at = at ? text.rfind("/Info", at - 1) : std::string_view::npos)
    {
        size_t pos = at + 5;
        const auto num = Integer(text, pos);
        const auto gen = num ? Integer(text, pos) : std::nullopt;
        while (pos < text.size() && IsSpace(text[pos])) ++pos;
        if (gen && pos < text.size() && text[pos] == 'R') return std::make_pair(*num, *gen);
        if (at == 0) break;
    }
    return std::nullopt;
}

// The offset of object `num` from the classic cross-reference table at `xref`.
std::optional<uint64_t> TableOffset(IDocSource& src, uint64_t xref, uint64_t num)
{
    const std::string text = ReadText(src, xref, kObjectBytes);
    if (text.compare(0, 4, "xref") != 0) return std::nullopt;
    size_t pos = 4;
    // Subsections: "first count" then count 20-byte entries.
    for (int sections = 0; sections < 64; ++sections)
    {
        const auto first = Integer(text, pos);
        const auto count = first ? Integer(text, pos) : std::nullopt;
        if (!count) return std::nullopt;
        while (pos < text.size() && IsSpace(text[pos]) && text[pos] != '\0')
        {
            // The line end after the subsection header (the entries themselves start with digits).
            ++pos;
        }
        if (num >= *first && num - *first < *count)
        {
            const uint64_t entry = xref + pos + (num - *first) * 20;
            const std::string line = ReadText(src, entry, 18);
            size_t p = 0;
            const auto off = Integer(line, p);
            if (!off || line.size() < 18 || line[17] != 'n') return std::nullopt;
            return off;
        }
        const uint64_t skip = *count * 20;
        if (skip > text.size() - pos) return std::nullopt; // the table goes on beyond this read
        pos += static_cast<size_t>(skip);
    }
    return std::nullopt;
}

// Object `num gen obj` found by its header text: its last occurrence (the latest revision)
// within the last bytes of the file, else within its first bytes.
std::optional<uint64_t> SearchObject(IDocSource& src, uint64_t size, uint64_t num, uint64_t gen)
{
    const std::string header = std::to_string(num) + " " + std::to_string(gen) + " obj";
    const uint64_t starts[2] = {size > kSearchBytes ? size - kSearchBytes : 0, 0};
    for (const uint64_t from : starts)
    {
        const std::string text = ReadText(src, from, static_cast<size_t>(std::min(kSearchBytes, size - from)));
        for (size_t at = text.rfind(header); at != std::string::npos;
             at = at ? text.rfind(header, at - 1) : std::string::npos)
        {
            if (at == 0 || IsSpace(text[at - 1])) return from + at;
        }
        if (from == 0) break;
    }
    return std::nullopt;
}

// A literal string "(...)" at `pos` with its escapes resolved, or a hex string "<...>".
std::string StringAt(std::string_view s, size_t pos)
{
    std::string out;
    if (pos < s.size() && s[pos] == '<')
    {
        int nibble = -1;
        for (++pos; pos < s.size() && s[pos] != '>' && out.size() < kMaxTitle; ++pos)
        {
            const char c = s[pos];
            const int v = IsDigit(c)     ? c - '0'
                : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                         : -1;
            if (v < 0) continue;
            if (nibble < 0)
                nibble = v;
            else
            {
                out += static_cast<char>(nibble << 4 | v);
                nibble = -1;
            }
        }
        if (nibble >= 0) out += static_cast<char>(nibble << 4);
        return out;
    }
    if (pos >= s.size() || s[pos] != '(') return out;
    int depth = 1;
    for (++pos; pos < s.size() && out.size() < kMaxTitle; ++pos)
    {
        char c = s[pos];
        if (c == '\\' && pos + 1 < s.size())
        {
            c = s[++pos];
            switch (c)
            {
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case '\r':
                if (pos + 1 < s.size() && s[pos + 1] == '\n') ++pos;
                break; // a continued line
            case '\n': break;
            default:
                if (c >= '0' && c <= '7')
                {
                    int v = c - '0';
                    for (int k = 0; k < 2 && pos + 1 < s.size() && s[pos + 1] >= '0' && s[pos + 1] <= '7'; ++k)
                        v = v * 8 + (s[++pos] - '0');
                    out += static_cast<char>(v & 0xFF);
                }
                else
                {
                    out += c;
                }
            }
            continue;
        }
        if (c == '(') ++depth;
        if (c == ')' && --depth == 0) break;
        out += c;
    }
    return out;
}

std::string Decode(const std::string& raw)
{
    const ByteView bytes(reinterpret_cast<const uint8_t*>(raw.data()), raw.size());
    if (raw.size() >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF) return TextFromUtf16(bytes, true);
    if (raw.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) return raw.substr(3);
    // PDFDocEncoding agrees with ISO 8859-1 for every printable character but a few symbols.
    return TextFromLatin1(bytes);
}

} // namespace

std::string PdfTitle(IDocSource& src, uint64_t size)
{
    size = std::min(size, src.Limit());
    std::string tail;
    if (size > 0)
    {
        const uint64_t from = size > kTail ? size - kTail : 0;
        tail = ReadText(src, from, static_cast<size_t>(size - from));
    }
    auto ref = InfoRef(tail);
    if (!ref) ref = InfoRef(ReadText(src, 0, kHead));
    if (!ref) return {};

    std::optional<uint64_t> offset;
    if (const size_t at = tail.rfind("startxref"); at != std::string::npos)
    {
        size_t pos = at + 9;
        if (const auto xref = Integer(tail, pos); xref && *xref < size) offset = TableOffset(src, *xref, ref->first);
    }
    if (!offset && size > 0) offset = SearchObject(src, size, ref->first, ref->second);
    if (!offset) return {};

    const std::string object = ReadText(src, *offset, kObjectBytes);
    const std::string header = std::to_string(ref->first) + " " + std::to_string(ref->second) + " obj";
    if (object.compare(0, header.size(), header) != 0) return {};
    const size_t end = std::min(object.find("endobj"), object.size());
    const size_t title = std::string_view(object).substr(0, end).find("/Title");
    if (title == std::string::npos) return {};
    size_t pos = title + 6;
    while (pos < end && IsSpace(object[pos])) ++pos;
    return std::string(TrimBlanks(Decode(StringAt(std::string_view(object).substr(0, end), pos))));
}
