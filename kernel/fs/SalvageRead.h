#pragma once
// Reading over bad sectors. A volume read is all or nothing, so one unreadable sector fails a
// whole chunk; a failing disk must cost only the sectors that are really bad. The read is tried
// whole first (the common, fast case); when it fails, every sector is read on its own, once,
// and only those that still fail are filled with zeros.
#include <cstdint>

class IVolumeIO;
class KSectorRanges;

/// Reads `count` sectors of `bytesPerSector` bytes from volume sector `first` into `buffer`.
/// Returns the number of sectors that could not be read (their bytes are zero); 0 when the
/// whole read succeeded. `unreadable` (optional) receives the failed sectors.
uint32_t ReadSectorsSalvaging(IVolumeIO& volume, uint64_t first, uint8_t* buffer, uint32_t count,
                              uint32_t bytesPerSector, KSectorRanges* unreadable = nullptr);
