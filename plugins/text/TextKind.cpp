#include "text/TextKind.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <string_view>

namespace {
constexpr size_t kMaxLeadingSpace = 256; // blank lines or spaces before markup
constexpr size_t kMaxHeaderName = 76;
constexpr size_t kMaxFromLine = 256;
constexpr size_t kJsonLook = 4096;
constexpr int kJsonMaxDepth = 512;
constexpr int kCsvLines = 20;
constexpr int kCsvMinLines = 3;

std::string_view AsText(ByteView v) { return {reinterpret_cast<const char*>(v.data()), v.size()}; }

std::string_view WithoutBom(ByteView head)
{
    std::string_view s = AsText(head);
    if (s.size() >= 3 && s.substr(0, 3) == "\xEF\xBB\xBF") s.remove_prefix(3);
    return s;
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view SkipSpace(std::string_view s)
{
    size_t i = 0;
    while (i < s.size() && i < kMaxLeadingSpace && IsSpace(s[i])) ++i;
    return s.substr(i);
}

bool StartsNoCase(std::string_view s, std::string_view prefix)
{
    if (s.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(s[i])) != prefix[i]) return false;
    return true;
}

bool IsHeaderNameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_'; }

// Length of "Name:" at the start of `line` (the name and its colon), or 0.
size_t HeaderName(std::string_view line)
{
    size_t i = 0;
    while (i < line.size() && i < kMaxHeaderName && IsHeaderNameChar(line[i])) ++i;
    return i > 0 && i < line.size() && line[i] == ':' && std::isalpha(static_cast<unsigned char>(line[0])) ? i + 1 : 0;
}

bool KnownMailHeader(std::string_view name)
{
    static constexpr std::string_view kNames[] = {
        "from:",        "to:",           "date:",         "subject:", "message-id:", "received:",
        "return-path:", "mime-version:", "delivered-to:", "cc:",      "reply-to:",   "x-mailer:"};
    for (std::string_view k : kNames)
        if (name.size() == k.size() && StartsNoCase(name, k)) return true;
    return false;
}

// A header block: "Name: value" lines and their continuation lines, up to a blank line or the
// end of what was read, with at least two names every message carries.
bool MailHeaders(std::string_view s)
{
    int known = 0, lines = 0;
    bool blank = false;
    while (!s.empty())
    {
        const size_t nl = s.find('\n');
        if (nl == std::string_view::npos) break; // a cut line is not judged
        std::string_view line = s.substr(0, nl);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        s.remove_prefix(nl + 1);
        if (line.empty())
        {
            blank = true;
            break;
        }
        if (line[0] == ' ' || line[0] == '\t')
        {
            if (lines == 0) return false;
            continue;
        }
        const size_t name = HeaderName(line);
        if (name == 0) return false;
        ++lines;
        if (KnownMailHeader(line.substr(0, name))) ++known;
    }
    return known >= 2 && (blank || lines >= 4);
}

// "From sender date" as an mbox separator: an address-like word and a time of day.
bool FromLine(std::string_view s, std::string_view& rest)
{
    if (s.substr(0, 5) != "From ") return false;
    const size_t nl = s.find('\n');
    if (nl == std::string_view::npos || nl > kMaxFromLine) return false;
    const std::string_view line = s.substr(0, nl);
    rest = s.substr(nl + 1);
    const size_t colon = line.find(':');
    return line.size() > 20 && colon != std::string_view::npos && colon > 5 && colon + 2 < line.size() &&
        std::isdigit(static_cast<unsigned char>(line[colon - 1])) &&
        std::isdigit(static_cast<unsigned char>(line[colon + 1]));
}

// The first bytes tokenize as JSON: strings, numbers, literals and punctuation, nesting that
// never closes more than it opened, and nothing after the value that closes the outermost.
bool JsonHead(std::string_view s)
{
    s = s.substr(0, kJsonLook);
    int depth = 0, values = 0;
    size_t i = 0;
    while (i < s.size())
    {
        const char c = s[i];
        if (IsSpace(c) || c == ',' || c == ':')
        {
            ++i;
        }
        else if (c == '{' || c == '[')
        {
            if (++depth > kJsonMaxDepth) return false;
            ++i;
        }
        else if (c == '}' || c == ']')
        {
            if (--depth < 0) return false;
            ++i;
            if (depth == 0) return SkipSpace(s.substr(i)).empty() && values > 0;
        }
        else if (c == '"')
        {
            ++i;
            while (i < s.size() && s[i] != '"')
            {
                if (static_cast<unsigned char>(s[i]) < 0x20) return false;
                i += s[i] == '\\' ? 2u : 1u;
            }
            ++i;
            ++values;
        }
        else if (c == '-' || std::isdigit(static_cast<unsigned char>(c)))
        {
            while (i < s.size() && (std::isdigit(static_cast<unsigned char>(s[i])) || std::strchr("+-.eE", s[i]))) ++i;
            ++values;
        }
        else if (s.substr(i, 4) == "true" || s.substr(i, 4) == "null")
        {
            i += 4;
            ++values;
        }
        else if (s.substr(i, 5) == "false")
        {
            i += 5;
            ++values;
        }
        else if (i + 5 >= s.size())
        {
            break; // a literal cut by the end of the look
        }
        else
        {
            return false;
        }
        if (depth == 0) return false; // a bare value is not a JSON file here
    }
    return values > 0;
}

// The name of the first element after the XML prolog (declaration, comments, doctype,
// processing instructions), lower case, or empty.
std::string_view RootElement(std::string_view s)
{
    for (int guard = 0; guard < 64; ++guard)
    {
        const size_t lt = s.find('<');
        if (lt == std::string_view::npos || lt + 1 >= s.size()) return {};
        s.remove_prefix(lt + 1);
        if (s[0] == '?' || s[0] == '!')
        {
            const size_t gt = s.substr(0, 2) == "!-" ? s.find("-->") : s.find('>');
            if (gt == std::string_view::npos) return {};
            if (StartsNoCase(s, "!doctype svg")) return "svg";
            if (StartsNoCase(s, "!doctype html")) return "html";
            s.remove_prefix(gt + 1);
            continue;
        }
        size_t n = 0;
        while (n < s.size() && (std::isalnum(static_cast<unsigned char>(s[n])) || s[n] == ':' || s[n] == '-')) ++n;
        return s.substr(0, n);
    }
    return {};
}

// Rows of the same number of fields: at least three complete lines whose count of separators
// (outside quotes) is the same and not zero. Prose has commas too, but follows them with a
// space; a table rarely does.
bool CsvHead(std::string_view s)
{
    for (char sep : {',', ';', '\t'})
    {
        int lines = 0, fields = -1, count = 0, spaced = 0, total = 0;
        bool quoted = false, same = true;
        for (size_t i = 0; i < s.size() && lines < kCsvLines && same; ++i)
        {
            const char c = s[i];
            if (c == '"')
            {
                quoted = !quoted;
            }
            else if (c == sep && !quoted)
            {
                ++count;
                ++total;
                if (sep != '\t' && i + 1 < s.size() && s[i + 1] == ' ') ++spaced;
            }
            else if (c == '\n' && !quoted)
            {
                if (fields < 0) fields = count;
                same = fields > 0 && count == fields;
                ++lines;
                count = 0;
            }
        }
        if (same && lines >= kCsvMinLines && spaced * 2 <= total) return true;
    }
    return false;
}
} // namespace

TextKind MarkerKind(ByteView head)
{
    const std::string_view raw = WithoutBom(head);
    const std::string_view s = SkipSpace(raw);
    if (s.empty()) return TextKind::None;
    switch (s[0])
    {
    case '<':
        if (s.size() > 1 && (s[1] == '?' || s[1] == '!' || std::isalpha(static_cast<unsigned char>(s[1]))))
            return TextKind::Xml;
        return TextKind::None;
    case '{':
    case '[': return TextKind::Json;
    case '#':
        if (s.substr(0, 2) == "#!" && s.data() == raw.data()) return TextKind::Script;
        return TextKind::None;
    case '%':
        if (s.substr(0, 4) != "%!PS" || s.data() != raw.data()) return TextKind::None;
        return s.substr(0, s.find('\n')).find("EPSF") != std::string_view::npos ? TextKind::Eps : TextKind::PostScript;
    case 'B':
        if (StartsNoCase(s, "begin:vcard")) return TextKind::Vcf;
        if (StartsNoCase(s, "begin:vcalendar")) return TextKind::Ics;
        break;
    default: break;
    }
    if (s.data() != raw.data()) return TextKind::None; // mail starts at the first byte
    if (s.substr(0, 5) == "From ") return TextKind::Mbox;
    const size_t name = HeaderName(s.substr(0, s.find('\n')));
    return name && KnownMailHeader(s.substr(0, name)) ? TextKind::Eml : TextKind::None;
}

namespace {
constexpr int kMaxLeadingLines = 200; // comment lines before a source file's first statement

std::string_view NextLine(std::string_view& s)
{
    const size_t nl = s.find('\n');
    std::string_view line = s.substr(0, nl);
    s.remove_prefix(nl == std::string_view::npos ? s.size() : nl + 1);
    return line;
}

std::string_view TrimLeft(std::string_view line)
{
    while (!line.empty() && (line[0] == ' ' || line[0] == '\t' || line[0] == '\r')) line.remove_prefix(1);
    return line;
}

// C and C++: comments (block and line) and blank lines, then a preprocessor line.
bool CSourceHead(std::string_view s)
{
    bool inBlock = false;
    for (int n = 0; n < kMaxLeadingLines && !s.empty(); ++n)
    {
        std::string_view line = TrimLeft(NextLine(s));
        if (inBlock)
        {
            const size_t end = line.find("*/");
            if (end == std::string_view::npos) continue;
            inBlock = false;
            line = TrimLeft(line.substr(end + 2));
        }
        if (line.empty() || line.substr(0, 2) == "//") continue;
        if (line.substr(0, 2) == "/*")
        {
            const size_t end = line.find("*/", 2);
            if (end == std::string_view::npos)
            {
                inBlock = true;
                continue;
            }
            line = TrimLeft(line.substr(end + 2));
            if (line.empty()) continue;
        }
        for (std::string_view d : {"#include", "#ifndef ", "#define ", "#pragma ", "#if "})
            if (line.substr(0, d.size()) == d) return true;
        return false;
    }
    return false;
}

// Python: comment lines, blank lines and a module docstring, then an import statement
// ("import x" or "from x import y", without the semicolon of other languages' imports).
bool PythonHead(std::string_view s)
{
    std::string_view quote;
    for (int n = 0; n < kMaxLeadingLines && !s.empty(); ++n)
    {
        std::string_view line = TrimLeft(NextLine(s));
        if (!quote.empty())
        {
            if (line.find(quote) != std::string_view::npos) quote = {};
            continue;
        }
        if (line.empty() || line[0] == '#') continue;
        if (line.substr(0, 3) == "\"\"\"" || line.substr(0, 3) == "'''")
        {
            const std::string_view q = line.substr(0, 3);
            if (line.find(q, 3) == std::string_view::npos) quote = q;
            continue;
        }
        if (!line.empty() && line.back() == ';') return false;
        if (line.substr(0, 7) == "import ") return true;
        return line.substr(0, 5) == "from " && line.find(" import ") != std::string_view::npos;
    }
    return false;
}

TextKind Plain(std::string_view s)
{
    if (CSourceHead(s)) return TextKind::CSource;
    if (PythonHead(s)) return TextKind::Python;
    return CsvHead(s) ? TextKind::Csv : TextKind::Txt;
}
} // namespace

TextKind ClassifyText(ByteView head)
{
    // Formats of their own that are text too: a rich-text document is not plain text.
    if (StartsNoCase(WithoutBom(head), "{\\rtf")) return TextKind::None;
    const TextKind marker = MarkerKind(head);
    const std::string_view s = SkipSpace(WithoutBom(head));
    switch (marker)
    {
    case TextKind::Xml:
    {
        if (StartsNoCase(s, "<!doctype html") || StartsNoCase(s, "<html")) return TextKind::Html;
        const std::string_view root = RootElement(s);
        if (root == "svg") return TextKind::Svg;
        if (root.size() == 4 && StartsNoCase(root, "html")) return TextKind::Html;
        if (root.empty()) return Plain(s);
        // Without a declaration, markup is XML when it closes its root or names a namespace.
        const std::string closing = "</" + std::string(root);
        const bool xml = StartsNoCase(s, "<?xml") || s.find(closing) != std::string_view::npos ||
            s.find("xmlns") != std::string_view::npos;
        return xml ? TextKind::Xml : Plain(s);
    }
    case TextKind::Json: return JsonHead(s) ? TextKind::Json : Plain(s);
    case TextKind::Eml: return MailHeaders(s) ? TextKind::Eml : Plain(s);
    case TextKind::Mbox:
    {
        std::string_view rest;
        return FromLine(s, rest) && MailHeaders(rest) ? TextKind::Mbox : Plain(s);
    }
    case TextKind::None: return Plain(s);
    default: return marker;
    }
}
