#include "format/fat/FatGeometry.h"

#include <algorithm>

#include "base/VlmErrors.h"

uint32_t FatClusterCount(int32_t type, uint32_t sectorsPerFat, int64_t sectorCount, uint32_t sectorsPerCluster,
                         uint32_t bytesPerSector)
{
    const uint64_t f = sectorsPerFat;
    if (f == 0)
    {
        const uint64_t spc = std::max<uint32_t>(sectorsPerCluster, 1);
        const uint64_t n = sectorCount > 0 ? static_cast<uint64_t>(sectorCount) / spc + 2 : 2;
        return static_cast<uint32_t>(std::min<uint64_t>(n, 0xFFFFFFFFu));
    }
    const uint64_t bytes = f * bytesPerSector;
    if (type == kFatType16) return static_cast<uint32_t>(std::min<uint64_t>(bytes / 2, 0xFFFF));
    if (type == kFatType12) return static_cast<uint32_t>(std::min<uint64_t>(bytes * 2 / 3, 0xFFF));
    return static_cast<uint32_t>(std::min<uint64_t>(bytes / 4, 0xFFFFFFFFu));
}

FatGeometry FatGeometryFromCandidate(const FatCandidate& c, uint32_t bytesPerSector)
{
    FatGeometry g;
    g.BytesPerSector = bytesPerSector;
    g.SectorsPerCluster = c.SectorsPerCluster != 0 ? c.SectorsPerCluster : 1;
    g.SectorsPerFat = c.SectorsPerFat;
    g.Fat1Start = c.Fat1Start;
    g.Fat2Start = c.Fat2Start;
    g.RootStart = c.RootStart;
    g.RootSectors = c.RootSectors;
    g.DataStart = c.DataStart;
    g.EndSector = c.FirstSector + c.SectorCount;
    g.FatType = c.FatType;
    g.ClusterCount = FatClusterCount(c.FatType, c.SectorsPerFat, c.SectorCount, g.SectorsPerCluster, bytesPerSector);
    return g;
}

uint32_t FatGeometryFromBootSector(ByteView boot, int32_t type, uint32_t bytesPerSector, FatGeometry* out)
{
    tagFatBootCommon bpb;
    tagFat32BootTail tail32;
    if (!LoadRecord(boot, 0, bpb) || !LoadRecord(boot, kFatBootTailOffset, tail32)) return ERROR_INVALID_PARAMETER;
    if (type != kFatType12 && type != kFatType16 && type != kFatType32) return ERROR_INVALID_PARAMETER;
    const uint32_t total = bpb.TotalSectors16 != 0 ? bpb.TotalSectors16 : bpb.TotalSectors32;
    if (total == 0) return ERROR_INVALID_PARAMETER;
    if (bpb.BytesPerSector != bytesPerSector || !FatSectorSizeIsValid(bytesPerSector)) return ERROR_INVALID_PARAMETER;

    FatGeometry g;
    g.FatType = type;
    g.BytesPerSector = bytesPerSector;
    g.SectorsPerCluster = bpb.SectorsPerCluster != 0 ? bpb.SectorsPerCluster : 1;
    const uint32_t f = type == kFatType32 ? tail32.FatSize32 : bpb.FatSize16;
    g.SectorsPerFat = f;
    g.Fat1Start = bpb.ReservedSectors;
    g.Fat2Start = bpb.FatCount < 2 ? -1 : g.Fat1Start + f;
    const int64_t afterFats = g.Fat1Start + static_cast<int64_t>(bpb.FatCount) * f;
    if (type == kFatType32)
    {
        g.DataStart = afterFats;
        g.RootStart = g.DataStart + (static_cast<int64_t>(tail32.RootCluster) - 2) * g.SectorsPerCluster;
        g.RootSectors = g.SectorsPerCluster;
    }
    else
    {
        g.RootStart = afterFats;
        g.RootSectors = FatRootSectors(bpb.RootEntries, bytesPerSector);
        g.DataStart = g.RootStart + g.RootSectors;
    }
    g.EndSector = static_cast<int64_t>(total) - 1;
    g.ClusterCount = FatClusterCount(type, f, total, g.SectorsPerCluster, bytesPerSector);
    *out = g;
    return ERROR_SUCCESS;
}

uint32_t FatSectorsForVolume(const FatGeometry& g, int64_t volumeSectors)
{
    if (volumeSectors <= 0 || g.DataStart < 0 || g.DataStart >= volumeSectors) return 0;
    const uint64_t spc = std::max<uint32_t>(g.SectorsPerCluster, 1);
    const uint64_t clusters = (static_cast<uint64_t>(volumeSectors - g.DataStart) + spc - 1) / spc;
    const uint64_t entries = std::min<uint64_t>(clusters + 2, g.ClusterCount);
    const uint64_t bytes = g.FatType == kFatType12 ? (entries * 3 + 1) / 2
        : g.FatType == kFatType16                  ? entries * 2
                                                   : entries * 4;
    const uint64_t bps = std::max<uint32_t>(g.BytesPerSector, kFatSectorSize);
    const uint64_t sectors = (bytes + bps - 1) / bps;
    return static_cast<uint32_t>(std::min<uint64_t>(sectors, 0xFFFFFFFFu));
}
