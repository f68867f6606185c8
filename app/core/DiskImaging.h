#pragma once
// One copy of a device or volume to a raw image file with its rescue map, as both front ends
// run it: the checks before a byte is written (neither output on the source, two different
// files, a target that exists only with the map of the run that wrote it, room for what is
// left), the copy itself (KDiskImager) with the map kept on disk, and the end: the file grown
// to the source's size, synced and closed, the map written last, so that a run stopped at any
// point continues with the same map.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "device/KDiskImager.h"
#include "format/rescuemap/RescueMap.h"

class IDeviceIO;
class IVolumeIO;
class OsFile;

struct tagImagingJob
{
    std::string strTarget;
    std::string strMap; // optional: without it a stopped run cannot be continued
    uint32_t nRetryPasses = 1;
    std::string strCommandLine; // written into the map's header
};

enum class EImagingResult
{
    Complete,  // every sector was read
    Partial,   // finished; unreadable areas remain (listed in the map)
    Cancelled, // stopped; the map (when given) holds where to go on
    Failed,    // could not start, or the target or map could not be written (see Error)
};

class CDiskImaging
{
public:
    /// `source` is only read; `sourcePaths` are the image files and device nodes it comes from
    /// (the outputs must not lie on any of them).
    CDiskImaging(IDeviceIO& source, std::vector<std::string> sourcePaths, tagImagingJob job);
    ~CDiskImaging();
    CDiskImaging(const CDiskImaging&) = delete;
    CDiskImaging& operator=(const CDiskImaging&) = delete;

    /// The checks that need no access to the source: an image file given, neither output on
    /// the source, image and map two files.
    bool CheckOutputs();
    /// CheckOutputs, the checks that need the source's size, then the map loaded (to continue) and the target opened. False with the
    /// reason in Error(); UsageError() tells a wrong request (image and map the same file).
    bool Prepare();
    /// Copies until done or until `progress` (called after every read, on the calling thread)
    /// returns false; then finishes the target and writes the map.
    EImagingResult Run(const std::function<bool(const tagImagerStatus&)>& progress);

    const std::string& Error() const { return m_strError; }
    bool UsageError() const { return m_bUsageError; }
    uint64_t SourceBytes() const { return m_u64Size; }
    tagImagerStatus Status() const;

    /// Bytes per second over `seconds` (0 until half a second has passed).
    static double Rate(const tagImagerStatus& s, double seconds);
    /// Seconds left at `rate` for what is not tried yet; -1 when unknown.
    static int64_t SecondsLeft(const tagImagerStatus& s, double rate);
    /// "about 9 minutes", as the scan shows the time left.
    static std::string RemainingText(int64_t seconds);
    /// "rescued 10.00MB, bad areas 2 (1.00KB), 5.00MB/s, about 3 s left".
    static std::string StatusText(const tagImagerStatus& s, double seconds);

private:
    bool Fail(const std::string& text, bool usage = false);

    IDeviceIO& m_Source;
    std::vector<std::string> m_SourcePaths;
    tagImagingJob m_Job;
    uint64_t m_u64Size = 0;
    uint32_t m_nBytesPerSector = 512;
    RescueMap m_Map;
    std::unique_ptr<OsFile> m_pFile;
    std::unique_ptr<KDiskImager> m_pImager;
    std::string m_strError;
    bool m_bUsageError = false;
};

/// A volume of the device list read as a device (the imager reads whole sectors of either).
std::unique_ptr<IDeviceIO> VolumeAsDevice(IVolumeIO& volume);
