#pragma once
// A full scan driven over a volume as the scan driver drives it: Begin_ScanFS, the sectors in
// chunks, End_ScanFS.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "fs/IFileSystem.h"
#include "volume/IVolumeIO.h"

/// Scans `count` sectors from `first` (to the volume's end by default) in chunks of `chunk`
/// sectors; a chunk that cannot be read is left out, as the driver leaves it. `firstError`
/// receives the first non-zero code of Begin_ScanFS, ScanFS or End_ScanFS (0 when none).
inline ScanStats RunFullScan(IFileSystem& fs, IVolumeIO& volume, uint32_t chunk = 512, uint32_t* firstError = nullptr,
                             uint64_t first = 0, uint64_t count = UINT64_MAX)
{
    ScanStats stats{};
    tagDiskGeometry g;
    volume.GetGeometry(&g);
    count = std::min(count, g.TotalSectors - std::min(first, g.TotalSectors));
    std::vector<uint8_t> buffer(static_cast<size_t>(chunk) * g.BytesPerSector);
    uint32_t error = 0;
    auto note = [&error](uint32_t rc) { error = error ? error : rc; };
    fs.SetVolume(&volume);
    note(fs.Begin_ScanFS());
    for (uint64_t s = 0; s < count; s += chunk)
    {
        const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(chunk, count - s));
        if (volume.ReadSectors(first + s, buffer.data(), n) == 0)
            note(fs.ScanFS(&stats, static_cast<int64_t>(first + s), buffer.data(), static_cast<int>(n)));
    }
    note(fs.End_ScanFS());
    if (firstError) *firstError = error;
    return stats;
}
