#include "core/SourceGuard.h"

#include "base/VlmTrace.h"
#include "core/CGlobalParamTable.h"
#include "core/TextFormat.h"
#include "os/OsDeviceTable.h"
#include "os/OsSameDevice.h"
#include "core/VlmStrings.h"

std::vector<std::string> CSourceGuard::Sources(CGlobalParamTable& session)
{
    return VolumeSources(session, session.GetSelectedVolumeIndex());
}

std::vector<std::string> CSourceGuard::VolumeSources(CGlobalParamTable& session, int index)
{
    std::vector<std::string> sources = OsDeviceTable::Instance().RegisteredImages();
    KVolumeManager& volumes = session.VolumeManager();
    if (index >= 0 && static_cast<size_t>(index) < volumes.GetVolumeCount())
    {
        for (const tagVolumeExtent& extent : volumes.GetVolumeInfo(static_cast<size_t>(index)).Extents)
        {
            OsDeviceEntry entry;
            if (OsDeviceTable::Instance().Lookup(extent.DeviceKind, extent.DeviceNumber, &entry))
                sources.push_back(entry.Path);
        }
    }
    return sources;
}

std::string CSourceGuard::SourceUnder(CGlobalParamTable& session, const std::string& path)
{
    for (const std::string& source : Sources(session))
    {
        if (OsTargetIsOnSource(path, source))
        {
            VlmTrace("Refused output '%s': it lies on the source '%s'\n", path.c_str(), source.c_str());
            return source;
        }
    }
    return {};
}

std::string CSourceGuard::RefusalText(const std::string& path, const std::string& source)
{
    return FormatText(VlmString(IDS_OUTPUT_ON_SOURCE), path.c_str(), source.c_str());
}
