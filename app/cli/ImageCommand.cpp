#include "ImageCommand.h"

#include <chrono>

#include "CCliSession.h"
#include "CProgressLine.h"
#include "base/FormatSize.h"
#include "core/DeviceAccess.h"
#include "core/DiskImaging.h"
#include "device/IDeviceIO.h"

int CmdImage(CCliSession& cli)
{
    const tagCliOptions& o = cli.Options();
    CTerminalPort& port = cli.Port();
    const std::string& source = o.strSource;
    const std::string& target = o.strTarget;

    // The source is opened like any --image: read-only, through the same device object.
    const uint32_t number = DeviceAccess::UseImageOnly(source);
    const std::unique_ptr<IDeviceIO> device = DeviceAccess::NewDiskDevice();
    tagImagingJob job;
    job.strTarget = target;
    job.strMap = o.strImageMap;
    job.nRetryPasses = o.nRetryPasses;
    job.strCommandLine = "vlm image " + source + " --to " + target + " --map " + o.strImageMap;
    CDiskImaging imaging(*device, {source}, job);
    // The outputs are checked before the source is opened: a target on the source is refused
    // whether or not the source can be read.
    if (!imaging.CheckOutputs())
    {
        port.PrintError(imaging.Error());
        return imaging.UsageError() ? kExitUsage : kExitFailure;
    }
    if (std::string why; !DeviceAccess::OpenDisk(*device, number, &why))
    {
        port.PrintError("cannot open '" + source + "': " + why);
        return kExitFailure;
    }
    if (!imaging.Prepare())
    {
        port.PrintError(imaging.Error());
        return imaging.UsageError() ? kExitUsage : kExitFailure;
    }
    const uint64_t size = imaging.SourceBytes();
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
                        CDiskImaging::StatusText(s, seconds));
        }
        return !CTerminalPort::Interrupted();
    };
    const EImagingResult result = imaging.Run(progress);
    line.Finish();
    const tagImagerStatus s = imaging.Status();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::fprintf(CTerminalPort::Err(), "vlm: %s\n", CDiskImaging::StatusText(s, seconds).c_str());
    switch (result)
    {
    case EImagingResult::Failed: port.PrintError(imaging.Error()); return kExitFailure;
    case EImagingResult::Cancelled:
        port.PrintError(o.strImageMap.empty() ? "interrupted; without a rescue map the run cannot be continued"
                                              : "interrupted; run the same command again to continue");
        return kExitInterrupted;
    case EImagingResult::Partial:
        std::fprintf(stdout, "'%s' holds every readable sector; %s in %llu areas could not be read%s.\n",
                     target.c_str(), FormatSize(static_cast<int64_t>(s.BadBytes)).c_str(),
                     static_cast<unsigned long long>(s.BadAreas),
                     o.strImageMap.empty() ? "" : (" (listed in '" + o.strImageMap + "')").c_str());
        return kExitPartial;
    case EImagingResult::Complete: break;
    }
    std::fprintf(stdout, "OK! '%s' is a complete image of '%s'.\n", target.c_str(), source.c_str());
    return kExitOk;
}
