#include "core/DiskImaging.h"

#include <algorithm>
#include <cstdio>

#include "base/FormatSize.h"
#include "base/VlmErrors.h"
#include "base/VlmTrace.h"
#include "core/TextFormat.h"
#include "core/VlmStrings.h"
#include "device/IDeviceIO.h"
#include "os/OsError.h"
#include "os/OsFile.h"
#include "os/OsRescueMapFile.h"
#include "os/OsSameDevice.h"
#include "volume/IVolumeIO.h"

namespace {

class CFileSink final : public IImageSink
{
public:
    explicit CFileSink(OsFile& file) : m_File(file) {}
    uint32_t WriteAt(uint64_t offset, const void* data, size_t length) override
    {
        return m_File.WriteAt(offset, data, length);
    }
    uint32_t Sync() override { return m_File.Sync(); }

private:
    OsFile& m_File;
};

// A volume read as a device: the same whole-sector reads, relative to the volume's start.
class CVolumeDevice final : public IDeviceIO
{
public:
    explicit CVolumeDevice(IVolumeIO& volume) : m_Volume(volume) {}
    uint32_t Open(uint32_t, uint32_t) override { return ERROR_SUCCESS; }
    uint32_t Close() override { return ERROR_SUCCESS; }
    bool IsOpen() override { return true; }
    int32_t GetNumber() override { return m_Volume.GetIndex(); }
    uint32_t ReadSectors(uint64_t firstSector, void* buffer, uint32_t count) override
    {
        return m_Volume.ReadSectors(firstSector, buffer, count);
    }
    uint32_t GetKind(uint32_t* kind) override { return m_Volume.GetDeviceKind(kind); }
    uint32_t GetGeometry(tagDiskGeometry* geometry) override { return m_Volume.GetGeometry(geometry); }
    uint32_t GetDescription(std::string* text) override { return m_Volume.GetDescription(text); }
    bool IsRemovable() override { return m_Volume.IsRemovable(); }
    void AdviseSequential() override { m_Volume.AdviseSequential(); }

private:
    IVolumeIO& m_Volume;
};

std::string FolderOf(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
}

} // namespace

std::unique_ptr<IDeviceIO> VolumeAsDevice(IVolumeIO& volume) { return std::make_unique<CVolumeDevice>(volume); }

CDiskImaging::CDiskImaging(IDeviceIO& source, std::vector<std::string> sourcePaths, tagImagingJob job)
    : m_Source(source), m_SourcePaths(std::move(sourcePaths)), m_Job(std::move(job))
{}

CDiskImaging::~CDiskImaging() = default;

bool CDiskImaging::Fail(const std::string& text, bool usage)
{
    m_strError = text;
    m_bUsageError = usage;
    VlmTrace("Imaging refused: %s\n", text.c_str());
    return false;
}

bool CDiskImaging::CheckOutputs()
{
    const std::string& target = m_Job.strTarget;
    const std::string& mapPath = m_Job.strMap;
    if (target.empty()) return Fail("no image file was given", true);
    for (const std::string& output : {target, mapPath})
    {
        for (const std::string& source : m_SourcePaths)
        {
            if (!output.empty() && OsTargetIsOnSource(output, source))
                return Fail("Nothing is written to '" + output + "': it is on the source '" + source + "'.");
        }
    }
    if (target == mapPath) return Fail("the image and its map must be two files", true);
    return true;
}

bool CDiskImaging::Prepare()
{
    if (!CheckOutputs()) return false;
    const std::string& target = m_Job.strTarget;
    const std::string& mapPath = m_Job.strMap;

    tagDiskGeometry g;
    if (const uint32_t rc = m_Source.GetGeometry(&g); rc != ERROR_SUCCESS || g.BytesPerSector == 0)
        return Fail("cannot read the size of the source: " + OsErrorText(rc ? rc : ERROR_INVALID_DATA));
    m_nBytesPerSector = g.BytesPerSector;
    m_u64Size = g.TotalSectors * g.BytesPerSector;

    m_Map = RescueMap(m_u64Size);
    if (!mapPath.empty() && OsPathExists(mapPath))
    {
        std::string why;
        if (const uint32_t rc = OsLoadRescueMap(mapPath, &m_Map, &why); rc != ERROR_SUCCESS)
            return Fail("cannot read the rescue map '" + mapPath + "': " + (why.empty() ? OsErrorText(rc) : why));
    }
    else if (OsPathExists(target))
    {
        // Without a map that describes it, what the file holds is unknown.
        return Fail("'" + target + "' exists; give the rescue map of the run that wrote it (--map) to continue");
    }
    const uint64_t rescued = m_Map.BytesWith('+');
    uint64_t freeBytes = 0;
    if (OsFreeSpace(FolderOf(target), &freeBytes) == ERROR_SUCCESS && m_u64Size > rescued &&
        freeBytes < m_u64Size - rescued)
    {
        return Fail("not enough free space for '" + target +
                    "': " + FormatSize(static_cast<int64_t>(m_u64Size - rescued)) + " needed, " +
                    FormatSize(static_cast<int64_t>(freeBytes)) + " free");
    }
    m_pFile = std::make_unique<OsFile>();
    if (const uint32_t rc = m_pFile->OpenWrite(target); rc != ERROR_SUCCESS)
    {
        m_pFile.reset();
        return Fail("cannot write '" + target + "': " + OsErrorText(rc));
    }
    return true;
}

EImagingResult CDiskImaging::Run(const std::function<bool(const tagImagerStatus&)>& progress)
{
    if (!m_pFile) return EImagingResult::Failed;
    CFileSink sink(*m_pFile);
    tagImagerOptions options;
    options.RetryPasses = m_Job.nRetryPasses;
    options.ReadSectors = std::max<uint32_t>(1, (1u << 20) / m_nBytesPerSector);
    m_pImager = std::make_unique<KDiskImager>(m_Source, sink, m_Map, options);
    uint32_t saveError = ERROR_SUCCESS;
    auto save = [&] {
        saveError = OsSaveRescueMap(m_Job.strMap, m_Map, m_Job.strCommandLine);
        return saveError == ERROR_SUCCESS;
    };
    // Without a map the image is flushed once, at the end (the imager flushes it before each
    // map it saves).
    const uint32_t rc = m_pImager->Run(m_Job.strMap.empty() ? std::function<bool()>() : save, progress);
    uint32_t fileError = m_pFile->Grow(m_u64Size);
    if (fileError == ERROR_SUCCESS) fileError = m_pFile->Sync();
    if (const uint32_t closed = m_pFile->Close(); fileError == ERROR_SUCCESS) fileError = closed;
    m_pFile.reset();
    // Written once more now that the image has its full length and is closed (not after an
    // error: a flush that failed once may succeed later over lost data).
    const bool imagerOk = rc == ERROR_SUCCESS || rc == ERROR_CANCELLED;
    if (imagerOk && fileError == ERROR_SUCCESS && saveError == ERROR_SUCCESS && !m_Job.strMap.empty()) save();
    if (saveError != ERROR_SUCCESS)
    {
        Fail("cannot write the rescue map '" + m_Job.strMap + "': " + OsErrorText(saveError));
        return EImagingResult::Failed;
    }
    if (fileError != ERROR_SUCCESS || (rc != ERROR_SUCCESS && rc != ERROR_CANCELLED))
    {
        Fail("imaging to '" + m_Job.strTarget +
             "' failed: " + OsErrorText(fileError != ERROR_SUCCESS ? fileError : rc));
        return EImagingResult::Failed;
    }
    if (rc == ERROR_CANCELLED) return EImagingResult::Cancelled;
    return Status().BadBytes > 0 ? EImagingResult::Partial : EImagingResult::Complete;
}

tagImagerStatus CDiskImaging::Status() const
{
    if (m_pImager) return m_pImager->Status();
    tagImagerStatus s;
    s.RescuedBytes = m_Map.BytesWith('+');
    s.BadBytes = m_Map.BytesWith('-');
    s.BadAreas = m_Map.BlocksWith('-');
    s.PendingBytes = m_u64Size - std::min(m_u64Size, s.RescuedBytes + s.BadBytes);
    return s;
}

double CDiskImaging::Rate(const tagImagerStatus& s, double seconds)
{
    return seconds > 0.5 ? static_cast<double>(s.ReadBytes) / seconds : 0.0;
}

int64_t CDiskImaging::SecondsLeft(const tagImagerStatus& s, double rate)
{
    if (rate <= 0) return -1;
    return static_cast<int64_t>(static_cast<double>(s.PendingBytes) / rate);
}

std::string CDiskImaging::StatusText(const tagImagerStatus& s, double seconds)
{
    const double rate = Rate(s, seconds);
    std::string text = "rescued " + FormatSize(static_cast<int64_t>(s.RescuedBytes)) + ", bad areas " +
        std::to_string(s.BadAreas) + " (" + FormatSize(static_cast<int64_t>(s.BadBytes)) + ")";
    if (rate > 0)
    {
        text += ", " + FormatSize(static_cast<int64_t>(rate)) + "/s";
        if (s.PendingBytes > 0) text += ", about " + std::to_string(SecondsLeft(s, rate)) + " s left";
    }
    return text;
}

std::string CDiskImaging::RemainingText(int64_t seconds)
{
    const int64_t hours = seconds / 3600;
    const int64_t minutes = (seconds % 3600) / 60;
    if (hours > 0) return FormatText(VlmString(IDS_HOURS_MINUTES), static_cast<int>(hours), static_cast<int>(minutes));
    if (minutes > 0) return FormatText(VlmString(IDS_ABOUT_MINUTES), static_cast<int>(minutes));
    return VlmString(IDS_LESS_THAN_MINUTE);
}
