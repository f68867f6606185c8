#include "PdfParser.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// The end search reads 4 KiB first (a small file ends there) and doubles up to 64 KiB.
constexpr size_t kPdfFirstChunk = 4 * 1024;
constexpr size_t kPdfChunk = 64 * 1024;
constexpr size_t kPdfLookAhead = 64; // bytes after a marker examined for a continuation

bool IsPdfSpace(uint8_t c) { return c == ' ' || c == '\r' || c == '\n' || c == '\t' || c == '\f'; }

// Skips the digits at `i`; false when there are none.
bool SkipDigits(const uint8_t* buf, size_t len, size_t* i)
{
    const size_t start = *i;
    while (*i < len && buf[*i] >= '0' && buf[*i] <= '9') ++*i;
    return *i > start;
}

// Skips PDF white space at `i`; false when there is none. NUL counts as white space in PDF,
// but after a marker it is the slack of a sector, so it is not taken here.
bool SkipSpace(const uint8_t* buf, size_t len, size_t* i)
{
    const size_t start = *i;
    while (*i < len && IsPdfSpace(buf[*i])) ++*i;
    return *i > start;
}

// After "%%EOF" a file goes on only with an incremental update or the rest of a linearized
// file: optional white space and comment lines (editors mark their updates so, as in
// "%BeginExifToolUpdate"), then a cross-reference section ("xref") or an indirect object
// ("12 0 obj"). Anything else (zeros, the slack of a sector, stray digits, the next file)
// means the file ended at the marker.
bool ContinuesAfter(IDocSource& src, uint64_t end)
{
    uint8_t buf[kPdfLookAhead];
    if (end >= src.Limit()) return false;
    const size_t len =
        src.ReadSome(end, buf, static_cast<size_t>(std::min<uint64_t>(kPdfLookAhead, src.Limit() - end)));
    size_t i = 0;
    SkipSpace(buf, len, &i);
    // A comment runs to the end of its line; "%PDF-" would start another file.
    while (i < len && buf[i] == '%' && !(len - i >= 5 && std::memcmp(buf + i, "%PDF-", 5) == 0))
    {
        while (i < len && buf[i] != '\r' && buf[i] != '\n') ++i;
        SkipSpace(buf, len, &i);
    }
    if (len - i >= 4 && std::memcmp(buf + i, "xref", 4) == 0) return true;
    // "<object number> <generation> obj"
    if (!SkipDigits(buf, len, &i) || !SkipSpace(buf, len, &i) || !SkipDigits(buf, len, &i) || !SkipSpace(buf, len, &i))
        return false;
    if (len - i < 4 || std::memcmp(buf + i, "obj", 3) != 0) return false;
    // The keyword ends at white space or a delimiter ("obj<<", "obj\n").
    const uint8_t next = buf[i + 3];
    return IsPdfSpace(next) || (next != 0 && std::strchr("<[(/%", next) != nullptr);
}

// The end of the marker at `at` including one line end (CR, LF or CR LF).
uint64_t MarkerEnd(IDocSource& src, uint64_t at)
{
    uint64_t end = at + 5;
    uint8_t eol[2] = {0, 0};
    const size_t n =
        end < src.Limit() ? src.ReadSome(end, eol, static_cast<size_t>(std::min<uint64_t>(2, src.Limit() - end))) : 0;
    if (n == 0) return end;
    if (eol[0] == '\r') return end + ((n == 2 && eol[1] == '\n') ? 2 : 1);
    return end + (eol[0] == '\n' ? 1 : 0);
}

} // namespace

DocProbe ParsePdf(IDocSource& src, uint32_t alignment)
{
    DocProbe probe;
    uint8_t head[8];
    if (!src.Read(0, head, sizeof head) || std::memcmp(head, "%PDF-", 5) != 0) return probe;
    if (!((head[5] == '1' || head[5] == '2') && head[6] == '.' && head[7] >= '0' && head[7] <= '9')) return probe;
    probe.kind = DocKind::Pdf;
    if (alignment == 0) alignment = 512;

    std::vector<uint8_t> chunk;
    size_t step = kPdfFirstChunk / 2;
    uint64_t pos = 0;
    uint64_t lastEnd = 0;
    const uint64_t limit = src.Limit();
    while (pos < limit)
    {
        step = std::min(step * 2, kPdfChunk);
        chunk.resize(step);
        const size_t want = static_cast<size_t>(std::min<uint64_t>(step, limit - pos));
        const size_t len = src.ReadSome(pos, chunk.data(), want);
        if (len == 0) break;
        // Only a '%' can begin either marker, so the bytes between are skipped by memchr.
        const uint8_t* base = chunk.data();
        for (size_t i = 0; len >= 5 && i <= len - 5; ++i)
        {
            const void* hit = std::memchr(base + i, '%', len - 4 - i);
            if (!hit) break;
            i = static_cast<size_t>(static_cast<const uint8_t*>(hit) - base);
            const uint64_t abs = pos + i;
            // A new document starting on a sector boundary ends this one.
            if (base[i + 1] == 'P' && std::memcmp(base + i, "%PDF-", 5) == 0 && abs > 0 && abs % alignment == 0)
            {
                probe.size = lastEnd;
                return probe;
            }
            if (base[i + 1] != '%' || std::memcmp(base + i, "%%EOF", 5) != 0) continue;
            lastEnd = MarkerEnd(src, abs);
            if (!ContinuesAfter(src, lastEnd))
            {
                probe.size = lastEnd;
                return probe;
            }
        }
        if (len < want || len <= 4) break;
        pos += len - 4; // overlap so that a marker split between chunks is seen
    }
    probe.size = lastEnd;
    return probe;
}
