#include "fs/KOutStream.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

#include "base/VlmErrors.h"
#include "base/VlmTrace.h"
#include "fs/KFileNode.h"
#include "base/TextCodec.h"
#include "volume/IVolumeIO.h"

namespace {
// Whole sectors go straight into the caller's buffer in reads of at most this many sectors.
constexpr uint32_t kMaxSectorsPerRead = 8192;
constexpr int64_t kMaxBytes = std::numeric_limits<int64_t>::max();
} // namespace

KOutStream::KOutStream(const tagFileNode* record, IVolumeIO* volume, const KFileNode* store) : m_pVolume(volume)
{
    if (record && store)
    {
        const char* name = store->GetName(record);
        if (*name) SetName(name);
    }
    if (record) m_s64FileSize = record->s64Size;
    if (volume)
    {
        tagDiskGeometry geometry;
        if (volume->GetGeometry(&geometry) == ERROR_SUCCESS && geometry.BytesPerSector != 0)
            m_dwSectorSize = geometry.BytesPerSector;
    }
}

KOutStream::~KOutStream() = default;

int KOutStream::SetRuns(const StreamVector& runs)
{
    try
    {
        m_Runs = runs;
    }
    catch (const std::bad_alloc&)
    {
        m_Runs.clear();
        return 0;
    }
    m_CacheRun = 0;
    m_s64CacheStart = 0;
    return STREAM_OK;
}

int KOutStream::GetSize(int64_t* size)
{
    if (size) *size = m_s64FileSize;
    return STREAM_OK;
}

int KOutStream::GetName(std::string* name)
{
    if (name) *name = m_strName;
    return STREAM_OK;
}

int KOutStream::SetName(const std::string& name)
{
    try
    {
        m_strName = name;
        m_wszName = Utf8ToUtf16(name, kMaxWideName);
    }
    catch (const std::bad_alloc&)
    {
        return STREAM_FAIL;
    }
    return STREAM_OK;
}

int KOutStream::Seek(int origin, int64_t offset, int64_t* newPos)
{
    int64_t base = 0;
    switch (origin)
    {
    case SEEK_ORIGIN_BEGIN: base = 0; break;
    case SEEK_ORIGIN_CURRENT: base = m_s64Position; break;
    case SEEK_ORIGIN_END: base = m_s64FileSize; break;
    default: return STREAM_FAIL;
    }
    int64_t target = 0;
    const bool overflow = __builtin_add_overflow(base, offset, &target);
    if (newPos) *newPos = target;
    if (!overflow && target >= 0 && target <= m_s64FileSize)
    {
        m_s64Position = target;
        return STREAM_OK;
    }
    if (newPos) *newPos = m_s64Position;
    VlmTrace("s64NewPos>m_s64FileSize||s64NewPos<0\n");
    return STREAM_END;
}

// Finds the run holding the current position. Reads usually move forward, so the search starts
// at the run found last time when the position has not gone back before it.
bool KOutStream::Locate(Location* at)
{
    const int64_t pos = m_s64Position;
    size_t run = 0;
    int64_t start = 0;
    if (m_CacheRun < m_Runs.size() && pos >= m_s64CacheStart)
    {
        run = m_CacheRun;
        start = m_s64CacheStart;
    }
    const auto ss = static_cast<int64_t>(m_dwSectorSize);
    for (; run < m_Runs.size(); ++run)
    {
        const int64_t bytes = static_cast<int64_t>(m_Runs[run].dwSectorCount) * ss;
        if (bytes > kMaxBytes - start) return false; // runs beyond any file size
        if (start + bytes > pos)
        {
            const int64_t within = pos - start;
            at->run = run;
            at->sectorInRun = static_cast<uint64_t>(within / ss);
            at->byteInSector = static_cast<uint32_t>(within % ss);
            at->bytesLeftInRun = bytes - within;
            m_CacheRun = run;
            m_s64CacheStart = start;
            return true;
        }
        start += bytes;
    }
    return false;
}

bool KOutStream::ReadPartial(uint64_t sector, uint32_t offset, uint8_t* out, size_t bytes)
{
    try
    {
        m_Sector.resize(m_dwSectorSize);
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }
    if (m_pVolume->ReadSectors(sector, m_Sector.data(), 1) != ERROR_SUCCESS) return false;
    std::memcpy(out, m_Sector.data() + offset, bytes);
    return true;
}

// Reads `piece` bytes from the located position; the piece never leaves its run. Only the
// sectors that hold those bytes are read: a partial head sector, whole sectors straight into
// the output, a partial tail sector.
bool KOutStream::ReadPiece(const Location& at, uint8_t* out, int64_t piece)
{
    const tagStreamBlock& run = m_Runs[at.run];
    const auto length = static_cast<uint64_t>(piece);
    if (run.s64FirstSector == STREAM_HOLE_SECTOR)
    {
        std::memset(out, 0, length);
        return true;
    }
    const uint64_t ss = m_dwSectorSize;
    uint64_t sector = static_cast<uint64_t>(run.s64FirstSector) + at.sectorInRun;
    uint64_t left = length;
    if (at.byteInSector != 0 || left < ss)
    {
        const uint64_t n = std::min<uint64_t>(ss - at.byteInSector, left);
        if (!ReadPartial(sector, at.byteInSector, out, n)) return false;
        out += n;
        left -= n;
        ++sector;
    }
    while (left >= ss)
    {
        const auto count = static_cast<uint32_t>(std::min<uint64_t>(left / ss, kMaxSectorsPerRead));
        if (m_pVolume->ReadSectors(sector, out, count) != ERROR_SUCCESS) return false;
        out += count * ss;
        left -= count * ss;
        sector += count;
    }
    return left == 0 || ReadPartial(sector, 0, out, left);
}

int KOutStream::Read(uint8_t* buffer, int64_t length, int64_t* done)
{
    if (!m_pVolume || !buffer || length < 0) return STREAM_FAIL;
    Location at{};
    if (!Locate(&at)) return STREAM_FAIL;
    int64_t total = 0;
    for (;;)
    {
        const int64_t piece =
            std::max<int64_t>(0, std::min({at.bytesLeftInRun, length - total, m_s64FileSize - m_s64Position}));
        if (piece > 0 && !ReadPiece(at, buffer + total, piece))
        {
            if (done) *done = total;
            return STREAM_FAIL;
        }
        m_s64Position += piece;
        total += piece;
        if (total >= length || m_s64Position >= m_s64FileSize) break;
        if (!Locate(&at))
        {
            if (done) *done = total;
            return STREAM_END;
        }
    }
    if (done) *done = total;
    return STREAM_OK;
}
