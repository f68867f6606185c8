#include "device/KDiskImager.h"

#include <algorithm>
#include <cstring>

#include "base/VlmErrors.h"
#include "device/IDeviceIO.h"

namespace {

bool AllZero(const uint8_t* data, size_t length)
{
    // Every byte equals its successor and the first is zero (memcmp runs at memory speed).
    return length == 0 || (data[0] == 0 && std::memcmp(data, data + 1, length - 1) == 0);
}

} // namespace

KDiskImager::KDiskImager(IDeviceIO& source, IImageSink& sink, RescueMap& map, const tagImagerOptions& options)
    : m_Source(source), m_Sink(sink), m_Map(map), m_Options(options)
{
    m_Options.ReadSectors = std::max<uint32_t>(1, m_Options.ReadSectors);
}

tagImagerStatus KDiskImager::Status() const
{
    tagImagerStatus s;
    s.RescuedBytes = m_Map.BytesWith('+');
    s.BadBytes = m_Map.BytesWith('-');
    s.PendingBytes = m_Map.BytesWith('?') + m_Map.BytesWith('*') + m_Map.BytesWith('/');
    s.BadAreas = m_Map.BlocksWith('-');
    s.ReadBytes = m_ReadBytes;
    s.Phase = m_Map.Phase;
    return s;
}

// The image is made durable before the map is written, so the map lags the image, never leads
// it. A sync that failed is not tried again: a later one may succeed over the data it lost.
bool KDiskImager::SyncAndSave()
{
    if (m_SyncFailed) return false;
    if (const uint32_t err = m_Sink.Sync(); err != ERROR_SUCCESS)
    {
        m_SyncFailed = true;
        if (m_Error == ERROR_SUCCESS) m_Error = err;
        return false;
    }
    return m_Save();
}

// The map is saved by the clock, not by the number of reads: each save flushes the image first,
// and a count of reads that suits 1 MiB reads would flush after every few sectors when scraping.
bool KDiskImager::Tick()
{
    if (m_Progress && !m_Progress(Status())) m_Stopped = true;
    if (!m_Stopped && m_Save)
    {
        const auto now = std::chrono::steady_clock::now();
        if (now - m_LastSave >= std::chrono::seconds(m_Options.SaveSeconds))
        {
            m_LastSave = now;
            if (!SyncAndSave()) m_Stopped = true;
        }
    }
    return !m_Stopped;
}

// Reads `count` sectors; what was read is written to the image before the map calls it rescued,
// so the map never claims bytes the image does not hold. `ok` tells whether the read succeeded.
bool KDiskImager::ReadArea(uint64_t firstSector, uint32_t count, bool* ok)
{
    const uint64_t pos = firstSector * m_BytesPerSector;
    const size_t length = size_t{count} * m_BytesPerSector;
    m_Map.CurrentPos = pos;
    *ok = m_Source.ReadSectors(firstSector, m_Buffer.data(), count) == ERROR_SUCCESS;
    m_ReadBytes += length;
    if (*ok)
    {
        // Runs of zero sectors are not written: the image stays sparse there and reads back
        // the same.
        for (uint32_t s = 0; s < count;)
        {
            const uint8_t* at = m_Buffer.data() + size_t{s} * m_BytesPerSector;
            if (AllZero(at, m_BytesPerSector))
            {
                ++s;
                continue;
            }
            uint32_t e = s + 1;
            while (e < count && !AllZero(m_Buffer.data() + size_t{e} * m_BytesPerSector, m_BytesPerSector)) ++e;
            if (const uint32_t err =
                    m_Sink.WriteAt(pos + uint64_t{s} * m_BytesPerSector, at, size_t{e - s} * m_BytesPerSector);
                err != ERROR_SUCCESS)
            {
                m_Error = err;
                return false;
            }
            s = e;
        }
        m_Map.Set(pos, length, '+');
    }
    return Tick();
}

bool KDiskImager::Copy(bool skipping)
{
    m_Map.Phase = '?';
    uint64_t pos = 0;
    uint32_t failures = 0;
    RescueMap::Block b{};
    while (m_Map.FindFrom(pos, '?', &b))
    {
        const uint64_t first = b.Pos / m_BytesPerSector;
        const uint64_t end = std::min(m_TotalSectors, (b.Pos + b.Size + m_BytesPerSector - 1) / m_BytesPerSector);
        if (first >= end) break;
        const uint32_t count = static_cast<uint32_t>(std::min<uint64_t>(m_Options.ReadSectors, end - first));
        bool ok = false;
        if (!ReadArea(first, count, &ok)) return false;
        pos = (first + count) * m_BytesPerSector;
        if (ok)
        {
            failures = 0;
            continue;
        }
        m_Map.Set(first * m_BytesPerSector, uint64_t{count} * m_BytesPerSector, '*');
        if (!skipping) continue;
        // A failing area is usually larger than one read: jump ahead, further while the
        // failures go on, and come back for what was jumped over in the next pass.
        failures = std::min<uint32_t>(failures + 1, 30);
        const uint64_t skip = std::min(m_Options.MaxSkipBytes, (uint64_t{count} * m_BytesPerSector) << (failures - 1));
        pos += skip / m_BytesPerSector * m_BytesPerSector;
    }
    return true;
}

bool KDiskImager::Trim()
{
    m_Map.Phase = '*';
    uint64_t pos = 0;
    RescueMap::Block b{};
    while (m_Map.FindFrom(pos, '*', &b))
    {
        uint64_t first = b.Pos / m_BytesPerSector;
        uint64_t end = std::min(m_TotalSectors, (b.Pos + b.Size) / m_BytesPerSector);
        pos = b.Pos + b.Size;
        bool ok = true;
        // From the leading edge forward until a sector fails...
        while (first < end && ok)
        {
            if (!ReadArea(first, 1, &ok)) return false;
            if (!ok) m_Map.Set(first * m_BytesPerSector, m_BytesPerSector, '-');
            ++first;
        }
        // ...and from the trailing edge back.
        ok = true;
        while (first < end && ok)
        {
            if (!ReadArea(end - 1, 1, &ok)) return false;
            if (!ok) m_Map.Set((end - 1) * m_BytesPerSector, m_BytesPerSector, '-');
            --end;
        }
        if (first < end) m_Map.Set(first * m_BytesPerSector, (end - first) * m_BytesPerSector, '/');
    }
    return true;
}

bool KDiskImager::Scrape(char status, char phase)
{
    m_Map.Phase = phase;
    uint64_t pos = 0;
    RescueMap::Block b{};
    while (m_Map.FindFrom(pos, status, &b))
    {
        const uint64_t end = std::min(m_TotalSectors, (b.Pos + b.Size + m_BytesPerSector - 1) / m_BytesPerSector);
        pos = b.Pos + b.Size;
        for (uint64_t s = b.Pos / m_BytesPerSector; s < end; ++s)
        {
            bool ok = false;
            if (!ReadArea(s, 1, &ok)) return false;
            if (!ok) m_Map.Set(s * m_BytesPerSector, m_BytesPerSector, '-');
        }
    }
    return true;
}

uint32_t KDiskImager::Run(const std::function<bool()>& save,
                          const std::function<bool(const tagImagerStatus&)>& progress)
{
    m_Save = save;
    m_Progress = progress;
    tagDiskGeometry g;
    if (const uint32_t err = m_Source.GetGeometry(&g); err != ERROR_SUCCESS) return err;
    if (g.BytesPerSector == 0 || g.BytesPerSector % 512 != 0) return ERROR_INVALID_PARAMETER;
    m_BytesPerSector = g.BytesPerSector;
    m_TotalSectors = g.TotalSectors;
    const uint64_t size = m_TotalSectors * m_BytesPerSector;
    // The map covers the device exactly: a fresh map is all not-tried; a map continued from
    // another run keeps what it knows.
    if (m_Map.End() < size) m_Map.Set(m_Map.End(), size - m_Map.End(), '?');
    try
    {
        m_Buffer.resize(size_t{m_Options.ReadSectors} * m_BytesPerSector);
    }
    catch (const std::bad_alloc&)
    {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    m_LastSave = std::chrono::steady_clock::now();
    // The copy passes read from start to end: the system may read further ahead, so that the
    // device is never idle while the last block is written out.
    m_Source.AdviseSequential();
    bool done = Copy(true) && Copy(false) && Trim() && Scrape('/', '/');
    for (uint32_t pass = 0; done && pass < m_Options.RetryPasses && m_Map.BytesWith('-') > 0; ++pass)
    {
        m_Map.Pass = static_cast<int>(pass + 1);
        done = Scrape('-', '-');
    }
    if (done)
    {
        m_Map.Phase = '+';
        m_Map.CurrentPos = 0;
    }
    const bool saved = !m_Save || SyncAndSave();
    if (m_Error != ERROR_SUCCESS) return m_Error;
    if (!done) return ERROR_CANCELLED;
    return saved ? ERROR_SUCCESS : ERROR_FUNCTION_FAILED;
}
