#include "format/rescuemap/RescueMap.h"

#include <algorithm>
#include <cstdio>

#include "base/ResourceLimits.h"

namespace {

// Positions are file offsets: nothing at or past 2^63 can be one.
constexpr uint64_t kMaxPosition = uint64_t{1} << 63;

bool IsBlockStatus(char c) { return c == '?' || c == '*' || c == '/' || c == '-' || c == '+'; }

bool IsPhase(char c) { return IsBlockStatus(c) || c == 'F' || c == 'G'; }

// One C integer literal: 0x.. hex, 0.. octal, else decimal; false on overflow or junk.
bool ParseNumber(std::string_view token, uint64_t* value)
{
    unsigned base = 10;
    size_t i = 0;
    if (token.size() > 2 && token[0] == '0' && (token[1] == 'x' || token[1] == 'X'))
    {
        base = 16;
        i = 2;
    }
    else if (token.size() > 1 && token[0] == '0')
    {
        base = 8;
        i = 1;
    }
    if (i >= token.size()) return false;
    uint64_t v = 0;
    for (; i < token.size(); ++i)
    {
        const char c = token[i];
        unsigned digit = 0;
        if (c >= '0' && c <= '9')
            digit = static_cast<unsigned>(c - '0');
        else if (c >= 'a' && c <= 'f')
            digit = static_cast<unsigned>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            digit = static_cast<unsigned>(c - 'A' + 10);
        else
            return false;
        if (digit >= base || v > (kMaxPosition - digit) / base) return false;
        v = v * base + digit;
    }
    *value = v;
    return true;
}

std::vector<std::string_view> Tokens(std::string_view line)
{
    std::vector<std::string_view> out;
    size_t i = 0;
    while (i < line.size() && out.size() < 4)
    {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
        const size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') ++i;
        if (i > start) out.push_back(line.substr(start, i - start));
    }
    return out;
}

} // namespace

RescueMap::RescueMap(uint64_t size)
{
    if (size > 0) m_Blocks.push_back({0, std::min(size, kMaxPosition), '?'});
}

bool RescueMap::Parse(std::string_view text, RescueMap* map, std::string* why)
{
    RescueMap out;
    bool haveStatus = false;
    size_t lineNumber = 0;
    auto fail = [&](const char* reason) {
        *why = "line " + std::to_string(lineNumber) + ": " + reason;
        return false;
    };
    while (!text.empty())
    {
        ++lineNumber;
        const size_t eol = text.find('\n');
        const std::string_view line = text.substr(0, eol);
        text = eol == std::string_view::npos ? std::string_view{} : text.substr(eol + 1);
        const std::vector<std::string_view> t = Tokens(line);
        if (t.empty() || t[0][0] == '#') continue;
        if (!haveStatus)
        {
            // Current position, phase and (since later versions) pass.
            uint64_t pass = 1;
            if (t.size() < 2 || t.size() > 3 || !ParseNumber(t[0], &out.CurrentPos) || t[1].size() != 1 ||
                !IsPhase(t[1][0]) || (t.size() == 3 && (!ParseNumber(t[2], &pass) || pass == 0 || pass > 1000)))
                return fail("not a status line (position, phase, pass)");
            out.Phase = t[1][0];
            out.Pass = static_cast<int>(pass);
            haveStatus = true;
            continue;
        }
        uint64_t pos = 0;
        uint64_t size = 0;
        if (t.size() != 3 || !ParseNumber(t[0], &pos) || !ParseNumber(t[1], &size) || t[2].size() != 1 ||
            !IsBlockStatus(t[2][0]))
            return fail("not a block line (position, size, status)");
        if (size == 0 || size > kMaxPosition - pos) return fail("block size is 0 or runs past the largest position");
        if (out.m_Blocks.size() >= VlmLimits::kMaxRescueMapBlocks) return fail("too many blocks");
        const uint64_t end = out.End();
        if (pos != end && !(out.m_Blocks.empty()))
            return fail(pos < end ? "block overlaps the one before" : "gap after the block before");
        if (out.m_Blocks.empty() && pos > 0)
            out.m_Blocks.push_back({0, pos, '?'}); // nothing known before the first block
        const char status = t[2][0];
        if (!out.m_Blocks.empty() && out.m_Blocks.back().Status == status)
            out.m_Blocks.back().Size += size;
        else
            out.m_Blocks.push_back({pos, size, status});
    }
    if (!haveStatus)
    {
        lineNumber = 0;
        return fail("no status line: not a rescue map");
    }
    *map = std::move(out);
    return true;
}

std::string RescueMap::Format(std::string_view commandLine) const
{
    std::string out = "# Rescue map (GNU ddrescue mapfile format)\n# Command line: ";
    for (char c : commandLine) out += c == '\n' ? ' ' : c;
    out += "\n# current_pos  current_status  current_pass\n";
    char line[96];
    std::snprintf(line, sizeof(line), "0x%08llX     %c               %d\n", static_cast<unsigned long long>(CurrentPos),
                  Phase, Pass);
    out += line;
    out += "#      pos        size  status\n";
    for (const Block& b : m_Blocks)
    {
        std::snprintf(line, sizeof(line), "0x%08llX  0x%08llX  %c\n", static_cast<unsigned long long>(b.Pos),
                      static_cast<unsigned long long>(b.Size), b.Status);
        out += line;
    }
    return out;
}

size_t RescueMap::IndexOf(uint64_t pos) const
{
    const auto it =
        std::upper_bound(m_Blocks.begin(), m_Blocks.end(), pos, [](uint64_t p, const Block& b) { return p < b.Pos; });
    if (it == m_Blocks.begin()) return m_Blocks.size();
    const size_t i = static_cast<size_t>(it - m_Blocks.begin()) - 1;
    return pos - m_Blocks[i].Pos < m_Blocks[i].Size ? i : m_Blocks.size();
}

void RescueMap::Join(size_t first, size_t last)
{
    last = std::min(last, m_Blocks.size() - 1);
    for (size_t i = last; i > first && i < m_Blocks.size(); --i)
    {
        if (m_Blocks[i - 1].Status == m_Blocks[i].Status)
        {
            m_Blocks[i - 1].Size += m_Blocks[i].Size;
            m_Blocks.erase(m_Blocks.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
}

void RescueMap::Set(uint64_t pos, uint64_t size, char status)
{
    if (pos >= kMaxPosition || size == 0) return;
    size = std::min(size, kMaxPosition - pos);
    const uint64_t end = pos + size;
    if (end > End()) m_Blocks.push_back({End(), end - End(), '?'});
    const size_t i = IndexOf(pos);
    const size_t j = IndexOf(end - 1);
    const Block first = m_Blocks[i];
    const Block last = m_Blocks[j];
    std::vector<Block> pieces;
    if (first.Pos < pos) pieces.push_back({first.Pos, pos - first.Pos, first.Status});
    pieces.push_back({pos, size, status});
    if (last.Pos + last.Size > end) pieces.push_back({end, last.Pos + last.Size - end, last.Status});
    m_Blocks.erase(m_Blocks.begin() + static_cast<std::ptrdiff_t>(i),
                   m_Blocks.begin() + static_cast<std::ptrdiff_t>(j) + 1);
    m_Blocks.insert(m_Blocks.begin() + static_cast<std::ptrdiff_t>(i), pieces.begin(), pieces.end());
    Join(i == 0 ? 0 : i - 1, i + pieces.size());
}

bool RescueMap::Rescued(uint64_t pos, uint64_t size) const
{
    if (size == 0) return true;
    size_t i = IndexOf(pos);
    uint64_t at = pos;
    const uint64_t end = size > kMaxPosition - pos ? kMaxPosition : pos + size;
    while (i < m_Blocks.size() && at < end)
    {
        if (m_Blocks[i].Status != '+') return false;
        at = m_Blocks[i].Pos + m_Blocks[i].Size;
        ++i;
    }
    return at >= end;
}

bool RescueMap::FindFrom(uint64_t pos, char status, Block* found) const
{
    size_t i = IndexOf(pos);
    if (i == m_Blocks.size()) return false;
    for (; i < m_Blocks.size(); ++i)
    {
        if (m_Blocks[i].Status != status) continue;
        Block b = m_Blocks[i];
        if (b.Pos < pos)
        {
            b.Size -= pos - b.Pos;
            b.Pos = pos;
        }
        *found = b;
        return true;
    }
    return false;
}

uint64_t RescueMap::BytesWith(char status) const
{
    uint64_t n = 0;
    for (const Block& b : m_Blocks) n += b.Status == status ? b.Size : 0;
    return n;
}

uint64_t RescueMap::BlocksWith(char status) const
{
    return static_cast<uint64_t>(
        std::count_if(m_Blocks.begin(), m_Blocks.end(), [status](const Block& b) { return b.Status == status; }));
}
