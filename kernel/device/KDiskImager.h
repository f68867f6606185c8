#pragma once
// Copies a failing device to an image, keeping a rescue map of what was read, so that the disk
// is read once and recovery works from the copy. The order is the one that gets the most data
// off a dying disk before it dies: large reads while they succeed, skipping ahead over a failing
// area with a step that grows while the failures go on; then the skipped and failed areas are
// trimmed from both edges sector by sector, the rest scraped sector by sector, and what is still
// bad is retried a bounded number of times. The map records every step (GNU ddrescue mapfile
// format), so a run stopped at any point continues where it stopped and reads nothing twice.
// The source is only ever read.
#include <chrono>
#include <cstdint>
#include <functional>
#include <vector>

#include "format/rescuemap/RescueMap.h"

class IDeviceIO;

// Where the rescued bytes go. Bytes never written read back as zeros (a sparse file).
class IImageSink
{
public:
    virtual ~IImageSink() = default;
    /// Writes `length` bytes at `offset`; a system error number.
    virtual uint32_t WriteAt(uint64_t offset, const void* data, size_t length) = 0;
    /// Makes what was written durable (called before each map save); a system error number.
    virtual uint32_t Sync() { return 0; }
};

struct tagImagerOptions
{
    uint32_t ReadSectors = 2048;         // sectors per large read (1 MiB of 512-byte sectors)
    uint32_t RetryPasses = 1;            // passes over the bad sectors after scraping
    uint64_t MaxSkipBytes = 64ull << 20; // the skip after repeated failures grows up to this
    uint32_t SaveSeconds = 30;           // the map is kept on disk this often, and at the end
};

struct tagImagerStatus
{
    uint64_t RescuedBytes = 0;
    uint64_t BadBytes = 0;     // known bad ('-')
    uint64_t PendingBytes = 0; // not tried, trimmed or scraped yet
    uint64_t BadAreas = 0;
    uint64_t ReadBytes = 0; // read from the source in this run (for the rate)
    char Phase = '?';
};

class KDiskImager
{
public:
    /// `map` covers the device (a new map for a fresh run, the loaded one to continue).
    KDiskImager(IDeviceIO& source, IImageSink& sink, RescueMap& map, const tagImagerOptions& options);

    /// `save` is called every SaveSeconds and at the end to keep the map on disk (false: stop),
    /// each time right after the sink was synced, so that the map never calls rescued what a
    /// crash could still take from the image; after a failed sync it is not called again.
    /// `progress` after every read (false: stop, as on Ctrl-C). Returns 0 when every phase ran
    /// to its end (bad sectors may remain: see the map), 1223 when stopped, or the error of the
    /// sink or of the device's geometry.
    uint32_t Run(const std::function<bool()>& save, const std::function<bool(const tagImagerStatus&)>& progress);

    tagImagerStatus Status() const;

private:
    bool Copy(bool skipping);
    bool Trim();
    bool Scrape(char status, char phase);
    bool ReadArea(uint64_t firstSector, uint32_t count, bool* ok);
    bool Tick();
    bool SyncAndSave();

    IDeviceIO& m_Source;
    IImageSink& m_Sink;
    RescueMap& m_Map;
    tagImagerOptions m_Options;
    uint32_t m_BytesPerSector = 512;
    uint64_t m_TotalSectors = 0;
    uint32_t m_Error = 0;
    bool m_SyncFailed = false;
    bool m_Stopped = false;
    uint64_t m_ReadBytes = 0;
    std::chrono::steady_clock::time_point m_LastSave;
    std::vector<uint8_t> m_Buffer;
    std::function<bool()> m_Save;
    std::function<bool(const tagImagerStatus&)> m_Progress;
};
