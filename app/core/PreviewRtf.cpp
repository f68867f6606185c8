#include "core/PreviewRtf.h"

#include <cctype>
#include <cstring>
#include <string_view>
#include <vector>

#include "core/PreviewText.h"

namespace {

constexpr size_t kMaxDepth = 256; // group nesting followed; deeper groups are flattened
constexpr int kMaxSkip = 16;      // \ucN: bytes that stand in for a \u character

// Windows-1252 for 0x80..0x9F; the rest of the upper half is Latin-1.
constexpr char16_t kCp1252High[32] = {0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,
                                      0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

// Destinations whose content is not document text.
constexpr std::string_view kSkipped[] = {"fonttbl", "colortbl",  "stylesheet", "info",      "pict",
                                         "object",  "header",    "footer",     "listtable", "listoverridetable",
                                         "rsidtbl", "generator", "xmlnstbl",   "themedata", "datastore"};

struct tagRtfState
{
    bool bSkip = false;
    bool bBold = false;
    bool bItalic = false;
    bool bUnderline = false;
    int nUnicodeSkip = 1;
};

class KRtfWriter
{
public:
    explicit KRtfWriter(std::string& html) : m_Html(html) {}

    void Char(char32_t c, const tagRtfState& s)
    {
        Format(s);
        switch (c)
        {
        case '<': m_Html += "&lt;"; break;
        case '>': m_Html += "&gt;"; break;
        case '&': m_Html += "&amp;"; break;
        case '\t': m_Html += "&emsp;"; break;
        default: AppendUtf8(m_Html, c);
        }
    }
    void Paragraph()
    {
        Close();
        m_Html += "<br>\n";
    }
    void Close() { Format({}); }

private:
    void Format(const tagRtfState& s)
    {
        // Tags are closed in the reverse order of opening, so each change closes and reopens.
        if (s.bBold == m_Open.bBold && s.bItalic == m_Open.bItalic && s.bUnderline == m_Open.bUnderline) return;
        if (m_Open.bUnderline) m_Html += "</u>";
        if (m_Open.bItalic) m_Html += "</i>";
        if (m_Open.bBold) m_Html += "</b>";
        if (s.bBold) m_Html += "<b>";
        if (s.bItalic) m_Html += "<i>";
        if (s.bUnderline) m_Html += "<u>";
        m_Open = s;
    }

    std::string& m_Html;
    tagRtfState m_Open;
};

int HexValue(uint8_t c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

char32_t FromCp1252(uint8_t b) { return b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : b; }

} // namespace

bool RtfToHtml(ByteView b, std::string& html)
{
    html.clear();
    if (!IsRichText(b)) return false;
    KRtfWriter out(html);
    std::vector<tagRtfState> stack;
    tagRtfState s;
    int pendingSkip = 0; // bytes still to drop after a \u character
    size_t i = 0;
    while (i < b.size())
    {
        const uint8_t c = b[i];
        if (c == '{' || c == '}')
        {
            if (c == '{' && stack.size() < kMaxDepth)
                stack.push_back(s);
            else if (c == '}' && !stack.empty())
            {
                s = stack.back();
                stack.pop_back();
            }
            pendingSkip = 0;
            ++i;
            continue;
        }
        if (c == '\r' || c == '\n')
        {
            ++i;
            continue;
        }
        if (c != '\\')
        {
            if (pendingSkip > 0)
                --pendingSkip;
            else if (!s.bSkip)
                out.Char(c < 0x80 ? c : FromCp1252(c), s);
            ++i;
            continue;
        }
        // A control symbol or word; one cut off by the end of the bytes ends the text.
        if (i + 1 >= b.size()) break;
        const uint8_t next = b[i + 1];
        if (next == '\'')
        {
            if (i + 3 >= b.size()) break;
            const int hi = HexValue(b[i + 2]), lo = HexValue(b[i + 3]);
            i += 4;
            if (hi < 0 || lo < 0) continue;
            if (pendingSkip > 0)
                --pendingSkip;
            else if (!s.bSkip)
                out.Char(FromCp1252(static_cast<uint8_t>(hi * 16 + lo)), s);
            continue;
        }
        if (!std::isalpha(next))
        {
            if (next == '*')
                s.bSkip = true; // an ignorable destination
            else if (!s.bSkip && (next == '\\' || next == '{' || next == '}'))
                out.Char(next, s);
            else if (!s.bSkip && next == '~')
                out.Char(0xA0, s);
            i += 2;
            continue;
        }
        size_t j = i + 1;
        while (j < b.size() && std::isalpha(b[j]) && j - i < 32) ++j;
        const std::string_view word(reinterpret_cast<const char*>(b.data() + i + 1), j - i - 1);
        bool hasValue = false, negative = false;
        long value = 0;
        if (j < b.size() && b[j] == '-') negative = true, ++j;
        while (j < b.size() && std::isdigit(b[j]) && value < 100000000)
            hasValue = true, value = value * 10 + (b[j++] - '0');
        if (negative) value = -value;
        if (j < b.size() && b[j] == ' ') ++j;
        i = j;
        for (std::string_view skipped : kSkipped)
            if (word == skipped) s.bSkip = true;
        if (s.bSkip) continue;
        const bool on = !hasValue || value != 0;
        if (word == "par" || word == "line" || word == "sect" || word == "page")
            out.Paragraph();
        else if (word == "tab")
            out.Char('\t', s);
        else if (word == "b")
            s.bBold = on;
        else if (word == "i")
            s.bItalic = on;
        else if (word == "ul")
            s.bUnderline = on;
        else if (word == "ulnone")
            s.bUnderline = false;
        else if (word == "plain")
            s.bBold = s.bItalic = s.bUnderline = false;
        else if (word == "uc" && hasValue)
            s.nUnicodeSkip = static_cast<int>(std::min<long>(std::max<long>(value, 0), kMaxSkip));
        else if (word == "u" && hasValue)
        {
            const long unit = value < 0 ? value + 65536 : value;
            out.Char(unit >= 0xD800 && unit <= 0xDFFF ? char32_t{0xFFFD} : static_cast<char32_t>(unit & 0xFFFF), s);
            pendingSkip = s.nUnicodeSkip;
        }
    }
    out.Close();
    return true;
}
