#include "PdfParser.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// The end search reads 4 KiB first (a small file ends there) and doubles up to 64 KiB.
constexpr size_t kPdfFirstChunk = 4 * 1024;
constexpr size_t kPdfChunk = 64 * 1024;
constexpr size_t kPdfLookAhead = 64; // bytes after a marker examined for a continuation

bool IsPdfSpace(uint8_t c)
{
    return c == ' ' || c == '\r' || c == '\n' || c == '\t' || c == '\f';
}

// After "%%EOF" an incremental update or the rest of a linearized file starts with an object
// ("12 0 obj"), a cross-reference section ("xref") or a comment; anything else (zeros, the slack
// of a sector, the next file) means the file ended at the marker.
bool ContinuesAfter(IDocSource& src, uint64_t end)
{
    uint8_t buf[kPdfLookAhead];
    if (end >= src.Limit())
        return false;
    const size_t len = src.ReadSome(end, buf, static_cast<size_t>(std::min<uint64_t>(kPdfLookAhead, src.Limit() - end)));
    if (len == 0)
        return false;
    size_t i = 0;
    while (i < len && IsPdfSpace(buf[i]))
        ++i;
    if (i == len)
        return false;
    if (buf[i] >= '0' && buf[i] <= '9')
        return true;
    if (len - i >= 4 && std::memcmp(buf + i, "xref", 4) == 0)
        return true;
    return buf[i] == '%' && !(len - i >= 5 && std::memcmp(buf + i, "%PDF-", 5) == 0);
}

// The end of the marker at `at` including one line end (CR, LF or CR LF).
uint64_t MarkerEnd(IDocSource& src, uint64_t at)
{
    uint64_t end = at + 5;
    uint8_t eol[2] = {0, 0};
    const size_t n = end < src.Limit() ? src.ReadSome(end, eol, static_cast<size_t>(std::min<uint64_t>(2, src.Limit() - end))) : 0;
    if (n == 0)
        return end;
    if (eol[0] == '\r')
        return end + ((n == 2 && eol[1] == '\n') ? 2 : 1);
    return end + (eol[0] == '\n' ? 1 : 0);
}

} // namespace

DocProbe ParsePdf(IDocSource& src, uint32_t alignment)
{
    DocProbe probe;
    uint8_t head[8];
    if (!src.Read(0, head, sizeof head) || std::memcmp(head, "%PDF-", 5) != 0)
        return probe;
    if (!((head[5] == '1' || head[5] == '2') && head[6] == '.' && head[7] >= '0' && head[7] <= '9'))
        return probe;
    probe.kind = DocKind::Pdf;
    if (alignment == 0)
        alignment = 512;

    std::vector<uint8_t> chunk;
    size_t step = kPdfFirstChunk / 2;
    uint64_t pos = 0;
    uint64_t lastEnd = 0;
    const uint64_t limit = src.Limit();
    while (pos < limit) {
        step = std::min(step * 2, kPdfChunk);
        chunk.resize(step);
        const size_t want = static_cast<size_t>(std::min<uint64_t>(step, limit - pos));
        const size_t len = src.ReadSome(pos, chunk.data(), want);
        if (len == 0)
            break;
        for (size_t i = 0; i < len; ++i) {
            const uint64_t abs = pos + i;
            // A new document starting on a sector boundary ends this one.
            if (abs > 0 && abs % alignment == 0 && len - i >= 5 && std::memcmp(&chunk[i], "%PDF-", 5) == 0) {
                probe.size = lastEnd;
                return probe;
            }
            if (chunk[i] != '%' || len - i < 5 || std::memcmp(&chunk[i], "%%EOF", 5) != 0)
                continue;
            lastEnd = MarkerEnd(src, abs);
            if (!ContinuesAfter(src, lastEnd)) {
                probe.size = lastEnd;
                return probe;
            }
        }
        if (len < want || len <= 4)
            break;
        pos += len - 4; // overlap so that a marker split between chunks is seen
    }
    probe.size = lastEnd;
    return probe;
}
