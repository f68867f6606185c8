#include "text/MailSubject.h"

#include <string_view>

#include "common/MetaName.h"

namespace {

constexpr size_t kMaxSubject = 1024; // bytes of the raw field taken

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

int Hex(char c)
{
    return c >= '0' && c <= '9'  ? c - '0'
        : (c >= 'A' && c <= 'F') ? c - 'A' + 10
        : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                                 : -1;
}

int Base64(char c)
{
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    return c == '+' ? 62 : c == '/' ? 63 : -1;
}

// One encoded word's text decoded to bytes ("B": base64, "Q": quoted-printable with "_" as space).
bool DecodeWord(std::string_view encoding, std::string_view text, std::string& out)
{
    if (EqualNoCase(encoding, "b"))
    {
        uint32_t bits = 0;
        int count = 0;
        for (const char c : text)
        {
            const int v = Base64(c);
            if (v < 0) continue;
            bits = bits << 6 | static_cast<uint32_t>(v);
            if ((count += 6) >= 8)
            {
                count -= 8;
                out += static_cast<char>((bits >> count) & 0xFF);
            }
        }
        return true;
    }
    if (!EqualNoCase(encoding, "q")) return false;
    for (size_t i = 0; i < text.size(); ++i)
    {
        if (text[i] == '_')
            out += ' ';
        else if (text[i] == '=' && i + 2 < text.size() && Hex(text[i + 1]) >= 0 && Hex(text[i + 2]) >= 0)
        {
            out += static_cast<char>(Hex(text[i + 1]) << 4 | Hex(text[i + 2]));
            i += 2;
        }
        else
            out += text[i];
    }
    return true;
}

// The field's value with its encoded words decoded; false for a character set not handled.
bool DecodeField(std::string_view value, std::string& out)
{
    bool afterWord = false;
    while (!value.empty())
    {
        const size_t start = value.find("=?");
        const size_t q1 = start == std::string_view::npos ? start : value.find('?', start + 2);
        const size_t q2 = q1 == std::string_view::npos ? q1 : value.find('?', q1 + 1);
        const size_t end = q2 == std::string_view::npos ? q2 : value.find("?=", q2 + 1);
        if (end == std::string_view::npos)
        {
            out.append(value);
            return true;
        }
        const std::string_view between = value.substr(0, start);
        // Blanks between two encoded words are not part of the text.
        if (!(afterWord && between.find_first_not_of(" \t") == std::string_view::npos)) out.append(between);
        const std::string_view charset = value.substr(start + 2, q1 - start - 2);
        std::string bytes;
        if (!DecodeWord(value.substr(q1 + 1, q2 - q1 - 1), value.substr(q2 + 1, end - q2 - 1), bytes)) return false;
        if (EqualNoCase(charset, "utf-8") || EqualNoCase(charset, "us-ascii"))
            out += bytes;
        else if (EqualNoCase(charset, "iso-8859-1") || EqualNoCase(charset, "latin1"))
            out += TextFromLatin1(ByteView(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
        else
            return false;
        value.remove_prefix(end + 2);
        afterWord = true;
    }
    return true;
}

} // namespace

std::string MailSubject(ByteView head)
{
    const std::string_view text(reinterpret_cast<const char*>(head.data()), head.size());
    size_t pos = 0;
    while (pos < text.size())
    {
        size_t eol = text.find('\n', pos);
        if (eol == std::string_view::npos) eol = text.size();
        std::string_view line = text.substr(pos, eol - pos);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) return {}; // the end of the header section
        const size_t colon = line.find(':');
        if (colon != std::string_view::npos && EqualNoCase(line.substr(0, colon), "subject"))
        {
            std::string value(line.substr(colon + 1));
            // Folded continuation lines start with a blank.
            for (pos = eol + 1;
                 pos < text.size() && (text[pos] == ' ' || text[pos] == '\t') && value.size() < kMaxSubject;)
            {
                eol = text.find('\n', pos);
                if (eol == std::string_view::npos) eol = text.size();
                std::string_view more = text.substr(pos, eol - pos);
                if (!more.empty() && more.back() == '\r') more.remove_suffix(1);
                value.append(more);
                pos = eol + 1;
            }
            if (value.size() > kMaxSubject) value.resize(kMaxSubject);
            std::string out;
            if (!DecodeField(TrimBlanks(value), out)) return {};
            return std::string(TrimBlanks(out));
        }
        pos = eol + 1;
    }
    return {};
}
