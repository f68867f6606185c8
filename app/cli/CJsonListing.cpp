#include "CJsonListing.h"

#include <charconv>

#include "CTreeWalk.h"
#include "core/FileListText.h"
#include "fs/KNodeTree.h"
#include "fs/tagFileNode.h"

namespace {

// The buffer goes out once this much text has gathered.
constexpr size_t kFlushBytes = 1 << 16;

// The length of the well-formed UTF-8 sequence at the start of `s` (2 to 4), or 0.
size_t Utf8SequenceLength(std::string_view s)
{
    const auto b = [&](size_t i) { return static_cast<uint8_t>(s[i]); };
    const auto tail = [&](size_t i) { return i < s.size() && (b(i) & 0xC0) == 0x80; };
    const uint8_t lead = b(0);
    if (lead >= 0xC2 && lead <= 0xDF) return tail(1) ? 2 : 0;
    if (lead >= 0xE0 && lead <= 0xEF)
    {
        if (!tail(1) || !tail(2)) return 0;
        // No overlong forms (E0 below A0) and no UTF-16 surrogates (ED from A0).
        if ((lead == 0xE0 && b(1) < 0xA0) || (lead == 0xED && b(1) >= 0xA0)) return 0;
        return 3;
    }
    if (lead >= 0xF0 && lead <= 0xF4)
    {
        if (!tail(1) || !tail(2) || !tail(3)) return 0;
        // No overlong forms (F0 below 90) and nothing beyond U+10FFFF (F4 from 90).
        if ((lead == 0xF0 && b(1) < 0x90) || (lead == 0xF4 && b(1) >= 0x90)) return 0;
        return 4;
    }
    return 0;
}

void AppendKey(std::string* out, const char* key)
{
    *out += "      \"";
    *out += key;
    *out += "\": ";
}

template <typename T> void AppendNumber(std::string* out, T value)
{
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    out->append(digits, result.ptr);
}

// A record time as the list's date column shows it ("%d-%d-%d %d:%d:%d": year, month, day,
// hour, minute, second), or null when the record has none: the same text, made without
// formatting through printf, which took a quarter of the listing's time.
void AppendDateOrNull(std::string* out, const tagFileNode* r, uint16_t mask, uint64_t fileTime)
{
    if (!(r->wValidMask & mask) || fileTime == 0)
    {
        *out += "null";
        return;
    }
    const tagCalendarTime t = FileTimeToCalendar(fileTime);
    *out += '"';
    const int fields[] = {t.nYear, t.nMonth, t.nDay, t.nHour, t.nMinute, t.nSecond};
    static const char kSeparators[] = "-- ::";
    for (size_t i = 0; i < 6; ++i)
    {
        AppendNumber(out, fields[i]);
        if (i < 5) *out += kSeparators[i];
    }
    *out += '"';
}

} // namespace

CJsonListing::CJsonListing(std::FILE* out) : m_Out(out)
{
    m_Buffer.reserve(kFlushBytes + 4096);
    m_Buffer += "{\n  \"files\": [";
}

CJsonListing::~CJsonListing() { Flush(); }

void CJsonListing::AppendString(std::string* out, std::string_view text)
{
    static const char kHex[] = "0123456789abcdef";
    *out += '"';
    size_t i = 0;
    while (i < text.size())
    {
        // Plain ASCII goes over in one piece.
        size_t run = i;
        while (run < text.size())
        {
            const auto c = static_cast<uint8_t>(text[run]);
            if (c < 0x20 || c >= 0x80 || c == '"' || c == '\\') break;
            ++run;
        }
        out->append(text.data() + i, run - i);
        i = run;
        if (i == text.size()) break;
        const auto c = static_cast<uint8_t>(text[i]);
        if (c >= 0x80)
        {
            const size_t len = Utf8SequenceLength(text.substr(i));
            if (len == 0)
            {
                *out += "\xEF\xBF\xBD";
                ++i;
            }
            else
            {
                out->append(text.data() + i, len);
                i += len;
            }
            continue;
        }
        switch (c)
        {
        case '"': *out += "\\\""; break;
        case '\\': *out += "\\\\"; break;
        case '\b': *out += "\\b"; break;
        case '\f': *out += "\\f"; break;
        case '\n': *out += "\\n"; break;
        case '\r': *out += "\\r"; break;
        case '\t': *out += "\\t"; break;
        default:
            *out += "\\u00";
            *out += kHex[c >> 4];
            *out += kHex[c & 0x0F];
            break;
        }
        ++i;
    }
    *out += '"';
}

void CJsonListing::Add(const KNodeTree& tree, const tagTreeNode* node, std::string_view path)
{
    const tagFileNode* r = node->pRecord;
    std::string& out = m_Buffer;
    out += m_Entries++ == 0 ? "\n    {\n" : ",\n    {\n";
    AppendKey(&out, "attributes");
    AppendString(&out, AttributeColumn(r));
    out += ",\n";
    AppendKey(&out, "condition");
    if (const char* condition = ConditionKey(r))
        AppendString(&out, condition);
    else
        out += "null";
    out += ",\n";
    AppendKey(&out, "created");
    AppendDateOrNull(&out, r, FN_MASK_CREATED, r->ftCreated);
    out += ",\n";
    AppendKey(&out, "folder");
    out += IsFolderRecord(r) ? "true" : "false";
    out += ",\n";
    AppendKey(&out, "modified");
    AppendDateOrNull(&out, r, FN_MASK_MODIFIED, r->ftModified);
    out += ",\n";
    AppendKey(&out, "name");
    AppendString(&out, tree.GetName(node));
    out += ",\n";
    AppendKey(&out, "path");
    AppendString(&out, path);
    out += ",\n";
    AppendKey(&out, "size");
    if (r->wValidMask & FN_MASK_SIZE)
        AppendNumber(&out, r->s64Size);
    else
        out += "null";
    out += ",\n";
    AppendKey(&out, "state");
    AppendString(&out, CTreeWalk::StateName(node));
    if (IsStreamRecord(r))
    {
        out += ",\n";
        AppendKey(&out, "stream");
        out += "true";
    }
    out += "\n    }";
    if (out.size() >= kFlushBytes) Flush();
}

bool CJsonListing::Finish(uint32_t totalFiles, uint64_t totalBytes)
{
    if (!m_Finished)
    {
        m_Finished = true;
        m_Buffer += m_Entries == 0 ? "]" : "\n  ]";
        m_Buffer += ",\n  \"total_bytes\": ";
        AppendNumber(&m_Buffer, totalBytes);
        m_Buffer += ",\n  \"total_files\": ";
        AppendNumber(&m_Buffer, totalFiles);
        m_Buffer += "\n}\n";
    }
    Flush();
    if (std::fflush(m_Out) != 0) m_Failed = true;
    return !m_Failed;
}

void CJsonListing::Flush()
{
    if (m_Buffer.empty()) return;
    if (!m_Failed && std::fwrite(m_Buffer.data(), 1, m_Buffer.size(), m_Out) != m_Buffer.size()) m_Failed = true;
    m_Buffer.clear();
}
