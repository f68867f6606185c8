#include "ImageCommand.h"

#include <chrono>

#include "CCliSession.h"
#include "CProgressLine.h"
#include "base/DeviceKind.h"
#include "base/FormatSize.h"
#include "base/VlmErrors.h"
#include "device/KDeviceIOPosix.h"
#include "device/KDiskImager.h"
#include "format/rescuemap/RescueMap.h"
#include "os/OsDeviceTable.h"
#include "os/OsError.h"
#include "os/OsFile.h"
#include "os/OsRescueMapFile.h"
#include "os/OsSameDevice.h"

namespace {

class CFileSink final : public IImageSink
{
public:
    explicit CFileSink(KOsFile& file) : m_File(file) {}
    uint32_t WriteAt(uint64_t offset, const void* data, size_t length) override
    {
        if (const uint32_t err = m_File.Seek(static_cast<int64_t>(offset), SEEK_SET); err != ERROR_SUCCESS)
            return err;
        return m_File.Write(data, length);
    }

private:
    KOsFile& m_File;
};

std::string FolderOf(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
}

std::string StatusText(const tagImagerStatus& s, double seconds, uint64_t total)
{
    const double rate = seconds > 0.5 ? static_cast<double>(s.ReadBytes) / seconds : 0.0;
    std::string text = "rescued " + FormatSize(static_cast<int64_t>(s.RescuedBytes)) + ", bad areas " +
                       std::to_string(s.BadAreas) + " (" + FormatSize(static_cast<int64_t>(s.BadBytes)) + ")";
    if (rate > 0)
    {
        text += ", " + FormatSize(static_cast<int64_t>(rate)) + "/s";
        if (s.PendingBytes > 0)
            text += ", about " + std::to_string(static_cast<uint64_t>(static_cast<double>(s.PendingBytes) / rate)) + " s left";
    }
    (void)total;
    return text;
}

} // namespace

int CmdImage(CCliSession& cli)
{
    const tagCliOptions& o = cli.Options();
    CTerminalPort& port = cli.Port();
    const std::string& source = o.strSource;
    const std::string& target = o.strTarget;
    for (const std::string& output : {target, o.strImageMap})
    {
        if (!output.empty() && OsTargetIsOnSource(output, source))
        {
            port.PrintError("Nothing is written to '" + output + "': it is on the source '" + source + "'.");
            return kExitFailure;
        }
    }
    if (target == o.strImageMap)
    {
        port.PrintError("the image and its map must be two files");
        return kExitUsage;
    }

    // The source is opened like any --image: read-only, through the same device object.
    OsDeviceTable& table = OsDeviceTable::Instance();
    table.SetMachineDevicesEnabled(false);
    const uint32_t number = table.HardDiskCount();
    table.RegisterImage(source);
    KDeviceIOPosix device;
    if (const uint32_t rc = device.Open(DEVICE_HARDDISK, number); rc != ERROR_SUCCESS)
    {
        port.PrintError("cannot open '" + source + "': " + OsErrorText(rc));
        return kExitFailure;
    }
    tagDiskGeometry g;
    device.GetGeometry(&g);
    const uint64_t size = g.TotalSectors * g.BytesPerSector;

    RescueMap map(size);
    const bool continuing = !o.strImageMap.empty() && OsPathExists(o.strImageMap);
    if (continuing)
    {
        std::string why;
        if (const uint32_t rc = OsLoadRescueMap(o.strImageMap, &map, &why); rc != ERROR_SUCCESS)
        {
            port.PrintError("cannot read the rescue map '" + o.strImageMap + "': " + (why.empty() ? OsErrorText(rc) : why));
            return kExitFailure;
        }
    }
    else if (OsPathExists(target))
    {
        // Without a map that describes it, what the file holds is unknown.
        port.PrintError("'" + target + "' exists; give the rescue map of the run that wrote it (--map) to continue");
        return kExitFailure;
    }
    const uint64_t rescued = map.BytesWith('+');
    uint64_t freeBytes = 0;
    if (OsFreeSpace(FolderOf(target), &freeBytes) == ERROR_SUCCESS && size > rescued && freeBytes < size - rescued)
    {
        port.PrintError("not enough free space for '" + target + "': " + FormatSize(static_cast<int64_t>(size - rescued)) +
                        " needed, " + FormatSize(static_cast<int64_t>(freeBytes)) + " free");
        return kExitFailure;
    }

    KOsFile file;
    if (const uint32_t rc = file.OpenWrite(target); rc != ERROR_SUCCESS)
    {
        port.PrintError("cannot write '" + target + "': " + OsErrorText(rc));
        return kExitFailure;
    }
    CFileSink sink(file);
    tagImagerOptions options;
    options.RetryPasses = o.nRetryPasses;
    options.ReadSectors = std::max<uint32_t>(1, (1u << 20) / g.BytesPerSector);
    KDiskImager imager(device, sink, map, options);
    const std::string commandLine = "vlm image " + source + " --to " + target + " --map " + o.strImageMap;
    uint32_t saveError = ERROR_SUCCESS;
    auto save = [&] {
        if (o.strImageMap.empty())
            return true;
        saveError = OsSaveRescueMap(o.strImageMap, map, commandLine);
        return saveError == ERROR_SUCCESS;
    };
    const auto start = std::chrono::steady_clock::now();
    auto last = start;
    CProgressLine line("Imaging " + source);
    auto progress = [&](const tagImagerStatus& s) {
        const auto now = std::chrono::steady_clock::now();
        if (now - last >= std::chrono::milliseconds(500))
        {
            last = now;
            const double seconds = std::chrono::duration<double>(now - start).count();
            line.Update(size ? static_cast<double>(s.RescuedBytes + s.BadBytes) / static_cast<double>(size) : 1.0,
                        StatusText(s, seconds, size));
        }
        return !CTerminalPort::Interrupted();
    };
    const uint32_t rc = imager.Run(save, progress);
    line.Finish();
    uint32_t fileError = file.Grow(size);
    if (fileError == ERROR_SUCCESS)
        fileError = file.Sync();
    if (const uint32_t closed = file.Close(); fileError == ERROR_SUCCESS)
        fileError = closed;
    const tagImagerStatus s = imager.Status();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::fprintf(CTerminalPort::Err(), "vlm: %s\n", StatusText(s, seconds, size).c_str());
    if (saveError != ERROR_SUCCESS)
    {
        port.PrintError("cannot write the rescue map '" + o.strImageMap + "': " + OsErrorText(saveError));
        return kExitFailure;
    }
    if (fileError != ERROR_SUCCESS || (rc != ERROR_SUCCESS && rc != ERROR_CANCELLED))
    {
        port.PrintError("imaging '" + source + "' to '" + target + "' failed: " +
                        OsErrorText(fileError != ERROR_SUCCESS ? fileError : rc));
        return kExitFailure;
    }
    if (rc == ERROR_CANCELLED)
    {
        port.PrintError(o.strImageMap.empty() ? "interrupted; without a rescue map the run cannot be continued"
                                              : "interrupted; run the same command again to continue");
        return kExitInterrupted;
    }
    if (s.BadBytes > 0)
    {
        std::fprintf(stdout, "'%s' holds every readable sector; %s in %llu areas could not be read%s.\n", target.c_str(),
                     FormatSize(static_cast<int64_t>(s.BadBytes)).c_str(), static_cast<unsigned long long>(s.BadAreas),
                     o.strImageMap.empty() ? "" : (" (listed in '" + o.strImageMap + "')").c_str());
        return kExitPartial;
    }
    std::fprintf(stdout, "OK! '%s' is a complete image of '%s'.\n", target.c_str(), source.c_str());
    return kExitOk;
}
