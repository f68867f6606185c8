#include "OfficeTitle.h"

#include <cstring>
#include <optional>
#include <vector>

#include "DocsLayout.h"
#include "ole/OleParser.h"
#include "ZipParser.h"
#include "base/ResourceLimits.h"
#include "common/MetaName.h"

namespace {

constexpr std::string_view kDcNamespace = "http://purl.org/dc/elements/1.1/";
constexpr size_t kMaxTitle = 1024; // bytes of the title's text taken

bool IsXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool IsNameChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-' ||
        c == '.' || static_cast<unsigned char>(c) >= 0x80;
}

// The prefix the part binds to the Dublin Core namespace; "dc" (what every writer uses) when
// no binding is found. A binding is an attribute: blank before "xmlns:", a name, "=", a quoted
// value (other namespaces' values may hold "xmlns:" themselves).
std::string_view DcPrefix(std::string_view xml)
{
    for (size_t at = xml.find("xmlns:"); at != std::string_view::npos; at = xml.find("xmlns:", at + 6))
    {
        if (at == 0 || !IsXmlSpace(xml[at - 1])) continue;
        size_t end = at + 6;
        while (end < xml.size() && IsNameChar(xml[end])) ++end;
        const std::string_view prefix = xml.substr(at + 6, end - at - 6);
        if (prefix.empty() || end + 1 >= xml.size() || xml[end] != '=') continue;
        const char quote = xml[end + 1];
        const size_t value = end + 2;
        if ((quote == '"' || quote == '\'') && xml.compare(value, kDcNamespace.size(), kDcNamespace) == 0 &&
            value + kDcNamespace.size() < xml.size() && xml[value + kDcNamespace.size()] == quote)
            return prefix;
    }
    return "dc";
}

// A character reference's code point ("#233", "#xE9"); nothing when it is malformed or names
// no character.
std::optional<uint32_t> CharRef(std::string_view ref)
{
    if (ref.size() < 2 || ref[0] != '#') return std::nullopt;
    const bool hex = ref[1] == 'x';
    const std::string_view digits = ref.substr(hex ? 2 : 1);
    if (digits.empty() || digits.size() > 8) return std::nullopt;
    uint32_t cp = 0;
    for (const char c : digits)
    {
        uint32_t d = 0;
        if (c >= '0' && c <= '9')
            d = static_cast<uint32_t>(c - '0');
        else if (hex && c >= 'a' && c <= 'f')
            d = static_cast<uint32_t>(c - 'a' + 10);
        else if (hex && c >= 'A' && c <= 'F')
            d = static_cast<uint32_t>(c - 'A' + 10);
        else
            return std::nullopt;
        cp = cp * (hex ? 16 : 10) + d;
    }
    if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return std::nullopt;
    return cp;
}

// Character data with its references decoded; an unknown or malformed reference stays as it
// stands.
void AppendCharData(std::string& out, std::string_view text)
{
    for (size_t i = 0; i < text.size(); ++i)
    {
        const size_t semi = text[i] == '&' ? text.find(';', i + 1) : std::string_view::npos;
        if (semi == std::string_view::npos || semi - i > 12)
        {
            out += text[i];
            continue;
        }
        const std::string_view ref = text.substr(i + 1, semi - i - 1);
        if (ref == "amp")
            out += '&';
        else if (ref == "lt")
            out += '<';
        else if (ref == "gt")
            out += '>';
        else if (ref == "quot")
            out += '"';
        else if (ref == "apos")
            out += '\'';
        else if (const auto cp = CharRef(ref))
            AppendCodePoint(out, *cp);
        else
        {
            out += text[i];
            continue;
        }
        i = semi;
    }
}

// Windows-1252 where it differs from ISO 8859-1 (0x80 .. 0x9F); 0: unassigned.
constexpr uint16_t kCp1252High[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// 8-bit text in a section's code page, up to its terminator. Code pages other than these are
// read only when the text is plain ASCII, which every code page shares.
std::string CodePageText(ByteView bytes, uint16_t codePage)
{
    size_t len = 0;
    while (len < bytes.size() && bytes[len] != 0) ++len;
    bytes = bytes.first(len);
    if (codePage == kCodePageUtf8) return std::string(bytes.begin(), bytes.end());
    std::string out;
    for (const uint8_t b : bytes)
    {
        if (b < 0x80)
            out += static_cast<char>(b);
        else if (codePage == kCodePageWestern && b >= 0xA0)
            AppendCodePoint(out, b);
        else if (codePage == kCodePageWestern && kCp1252High[b - 0x80] != 0)
            AppendCodePoint(out, kCp1252High[b - 0x80]);
        else
            return {};
    }
    return out;
}

} // namespace

std::string SummaryTitle(ByteView stream)
{
    tagPropertySetHeader h;
    tagPropertySection section;
    if (!LoadRecord(stream, 0, h) || h.ByteOrder != 0xFFFE || h.SectionCount == 0 ||
        !LoadRecord(stream, sizeof h, section) || std::memcmp(section.Fmtid, kSummaryInfoFmtid, 16) != 0)
        return {};
    uint32_t sectionSize = 0, count = 0;
    if (!LoadU32LE(stream, section.Offset, sectionSize) || !LoadU32LE(stream, size_t{section.Offset} + 4, count))
        return {};
    const ByteView body = stream.subspan(section.Offset, std::min<size_t>(sectionSize, stream.size() - section.Offset));
    // Property ids and offsets; the code page is needed before the title can be read.
    uint16_t codePage = 0;
    uint32_t titleAt = 0;
    for (uint32_t i = 0; i < count && RangeFits(body.size(), 8 + size_t{i} * 8, 8); ++i)
    {
        const uint32_t id = PeekU32LE(body.data() + 8 + size_t{i} * 8);
        const uint32_t at = PeekU32LE(body.data() + 12 + size_t{i} * 8);
        uint32_t type = 0;
        if (!LoadU32LE(body, at, type)) continue;
        if (id == kPidCodePage && (type & 0xFFFF) == kVtI2) LoadU16LE(body, size_t{at} + 4, codePage);
        if (id == kPidTitle) titleAt = at;
    }
    uint32_t type = 0, length = 0;
    if (titleAt == 0 || !LoadU32LE(body, titleAt, type) || !LoadU32LE(body, size_t{titleAt} + 4, length)) return {};
    const size_t text = size_t{titleAt} + 8;
    std::string title;
    if ((type & 0xFFFF) == kVtLpwstr || ((type & 0xFFFF) == kVtLpstr && codePage == kCodePageUtf16))
    {
        // UTF-16 text: a length in units for the wide type, in bytes for the 8-bit one.
        const uint64_t bytes = (type & 0xFFFF) == kVtLpwstr ? uint64_t{length} * 2 : length;
        if (!RangeFits(body.size(), text, bytes)) return {};
        title = TextFromUtf16(body.subspan(text, static_cast<size_t>(bytes)), false);
    }
    else if ((type & 0xFFFF) == kVtLpstr)
    {
        if (!RangeFits(body.size(), text, length)) return {};
        title = CodePageText(body.subspan(text, length), codePage);
    }
    if (title.size() > kMaxTitle) title.resize(kMaxTitle);
    return std::string(TrimBlanks(title));
}

std::string OleDocumentTitle(IDocSource& src)
{
    const auto stream = ReadOleRootStream(src, "\x05SummaryInformation", VlmLimits::kMaxPluginPropertyBytes);
    return stream ? SummaryTitle(*stream) : std::string();
}

std::string XmlDcTitle(std::string_view xml)
{
    const std::string open = "<" + std::string(DcPrefix(xml)) + ":title";
    size_t at = xml.find(open);
    for (; at != std::string_view::npos; at = xml.find(open, at + 1))
    {
        const size_t after = at + open.size();
        if (after < xml.size() && (xml[after] == '>' || xml[after] == '/' || IsXmlSpace(xml[after]))) break;
    }
    if (at == std::string_view::npos) return {};
    const size_t tagEnd = xml.find('>', at);
    if (tagEnd == std::string_view::npos || xml[tagEnd - 1] == '/') return {}; // <dc:title/>
    // The content runs to the next tag; CDATA sections are taken as they stand.
    std::string title;
    size_t pos = tagEnd + 1;
    while (pos < xml.size() && title.size() < kMaxTitle)
    {
        const size_t lt = xml.find('<', pos);
        if (lt == std::string_view::npos) return {}; // the element never ends
        AppendCharData(title, xml.substr(pos, lt - pos));
        if (xml.compare(lt, 9, "<![CDATA[") != 0) break;
        const size_t end = xml.find("]]>", lt + 9);
        if (end == std::string_view::npos) return {};
        title.append(xml.substr(lt + 9, end - lt - 9));
        pos = end + 3;
    }
    if (title.size() > kMaxTitle) title.resize(kMaxTitle); // the engine cuts on a character boundary
    return std::string(TrimBlanks(title));
}

std::string ZipDocumentTitle(IDocSource& src, uint64_t size, DocKind kind)
{
    std::string_view part;
    switch (kind)
    {
    case DocKind::Docx:
    case DocKind::Xlsx:
    case DocKind::Pptx: part = "docProps/core.xml"; break;
    case DocKind::Odt:
    case DocKind::Ods:
    case DocKind::Odp: part = "meta.xml"; break;
    default: return {};
    }
    const std::optional<std::vector<uint8_t>> bytes =
        ReadZipMember(src, size, part, VlmLimits::kMaxPluginPropertyBytes);
    if (!bytes || bytes->empty()) return {};
    const ByteView v(*bytes);
    // UTF-8 is what writers use; a part in UTF-16 says so with a byte order mark.
    if (v.size() >= 2 && ((v[0] == 0xFF && v[1] == 0xFE) || (v[0] == 0xFE && v[1] == 0xFF)))
        return XmlDcTitle(TextFromUtf16(v, false));
    return XmlDcTitle(std::string_view(reinterpret_cast<const char*>(v.data()), v.size()));
}
