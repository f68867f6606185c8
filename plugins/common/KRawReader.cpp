#include "common/KRawReader.h"

#include <algorithm>
#include <cstring>

#include "volume/IVolumeIO.h"

namespace {
// Bytes fetched per volume read when a walk leaves the scan buffer: large enough that a
// sequential end search costs few reads, small enough to stay in cache.
constexpr size_t kReadAhead = 128 * 1024;
// Slack over the limit for re-reads when a walk jumps back and forth (an IFD chain, a box tree).
constexpr uint64_t kBudgetSlack = 4 * 1024 * 1024;
} // namespace

KRawReader::KRawReader(const RawScanArgs& args, uint32_t sectorIndex, uint64_t limit)
    : m_Buf(args.buffer + static_cast<size_t>(sectorIndex) * args.bytesPerSector), m_BufStart(args.buffer),
      m_BufBytes(static_cast<uint64_t>(args.sectorCount - sectorIndex) * args.bytesPerSector), m_Volume(args.volume),
      m_BytesPerSector(args.bytesPerSector), m_FileSector(static_cast<uint64_t>(args.firstSector) + sectorIndex),
      m_Limit(limit), m_Budget(limit > UINT64_MAX / 2 - kBudgetSlack ? UINT64_MAX : limit * 2 + kBudgetSlack)
{
    if (m_BufBytes > m_Limit) m_BufBytes = m_Limit;
}

uint64_t KRawReader::VolumeSectors()
{
    if (m_VolumeSectors < 0)
    {
        tagDiskGeometry g;
        m_VolumeSectors = 0;
        if (m_Volume && m_Volume->GetGeometry(&g) == 0 && g.TotalSectors <= INT64_MAX)
            m_VolumeSectors = static_cast<int64_t>(g.TotalSectors);
    }
    return static_cast<uint64_t>(m_VolumeSectors);
}

// Loads a window that starts at the sector holding `off` and covers as much of `len` bytes as
// the volume gives. False when not even the first byte could be read.
bool KRawReader::Fill(uint64_t off, size_t len)
{
    m_WinLen = 0;
    if (!m_Volume || m_BytesPerSector == 0) return false;
    const uint64_t bps = m_BytesPerSector;
    const uint64_t relSector = off / bps;
    const uint64_t skip = off % bps;
    const uint64_t total = VolumeSectors();
    if (total == 0 || m_FileSector >= total || relSector >= total - m_FileSector) return false;
    const uint64_t sector = m_FileSector + relSector;

    const uint64_t want = std::max<uint64_t>(len, kReadAhead);
    uint64_t count = (skip + want + bps - 1) / bps;
    const uint64_t need = (skip + len + bps - 1) / bps;
    count = std::min(count, total - sector);
    const uint64_t needClipped = std::min(need, count);
    if (m_VolumeBytes >= m_Budget) return false;

    const size_t bytes = static_cast<size_t>(count * bps);
    if (m_Window.size() < bytes) m_Window.resize(bytes);
    uint64_t got = count;
    if (m_Volume->ReadSectors(sector, m_Window.data(), static_cast<uint32_t>(count)) != 0)
    {
        // Read-ahead ran into a bad sector: read only what was asked, then sector by sector.
        got = 0;
        if (m_Volume->ReadSectors(sector, m_Window.data(), static_cast<uint32_t>(needClipped)) == 0)
        {
            got = needClipped;
        }
        else
        {
            while (got < needClipped && m_Volume->ReadSectors(sector + got, m_Window.data() + got * bps, 1) == 0) ++got;
        }
    }
    m_VolumeBytes += got * bps;
    if (got * bps <= skip) return false;
    m_WinOff = relSector * bps;
    m_WinLen = static_cast<size_t>(got * bps);
    return true;
}

ByteView KRawReader::ViewUpTo(uint64_t off, size_t len)
{
    if (off >= m_Limit) return {};
    len = static_cast<size_t>(std::min<uint64_t>({len, kMaxView, m_Limit - off}));
    if (len == 0) return {};
    if (off < m_BufBytes && m_BufBytes - off >= len) return ByteView(m_Buf + off, len);

    bool inWindow = m_WinLen && off >= m_WinOff && off - m_WinOff < m_WinLen && m_WinLen - (off - m_WinOff) >= len;
    if (!inWindow)
    {
        if (!Fill(off, len))
        {
            // Nothing through the volume: what the buffer still holds is all there is.
            if (off < m_BufBytes) return ByteView(m_Buf + off, static_cast<size_t>(m_BufBytes - off));
            return {};
        }
        if (off - m_WinOff >= m_WinLen) return {};
    }
    const size_t at = static_cast<size_t>(off - m_WinOff);
    return ByteView(m_Window.data() + at, std::min(len, m_WinLen - at));
}

ByteView KRawReader::View(uint64_t off, size_t len)
{
    if (len == 0 || len > kMaxView) return {};
    ByteView v = ViewUpTo(off, len);
    return v.size() == len ? v : ByteView();
}

bool KRawReader::U8(uint64_t off, uint8_t& out)
{
    ByteView v = View(off, 1);
    out = v.empty() ? 0 : v[0];
    return !v.empty();
}

bool KRawReader::U16LE(uint64_t off, uint16_t& out) { return LoadU16LE(View(off, 2), 0, out); }
bool KRawReader::U32LE(uint64_t off, uint32_t& out) { return LoadU32LE(View(off, 4), 0, out); }
bool KRawReader::U64LE(uint64_t off, uint64_t& out) { return LoadU64LE(View(off, 8), 0, out); }
bool KRawReader::U16BE(uint64_t off, uint16_t& out) { return LoadU16BE(View(off, 2), 0, out); }
bool KRawReader::U32BE(uint64_t off, uint32_t& out) { return LoadU32BE(View(off, 4), 0, out); }
bool KRawReader::U64BE(uint64_t off, uint64_t& out) { return LoadU64BE(View(off, 8), 0, out); }

ByteView KRawReader::Preceding(size_t len)
{
    if (len == 0 || len > m_BytesPerSector || m_FileSector == 0) return {};
    if (m_Buf != m_BufStart) return ByteView(m_Buf - len, len);
    if (!m_Volume) return {};
    m_Before.resize(m_BytesPerSector);
    if (m_Volume->ReadSectors(m_FileSector - 1, m_Before.data(), 1) != 0) return {};
    m_VolumeBytes += m_BytesPerSector;
    return ByteView(m_Before.data() + m_BytesPerSector - len, len);
}

uint64_t KRawReader::FindByte(uint64_t from, uint64_t to, uint8_t b)
{
    to = std::min(to, m_Limit);
    while (from < to)
    {
        ByteView v = ViewUpTo(from, static_cast<size_t>(std::min<uint64_t>(to - from, kMaxView)));
        if (v.empty()) return to;
        const void* hit = std::memchr(v.data(), b, v.size());
        if (hit) return from + static_cast<uint64_t>(static_cast<const uint8_t*>(hit) - v.data());
        from += v.size();
    }
    return to;
}
