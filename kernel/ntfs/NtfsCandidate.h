#pragma once
// One NTFS file system recognised on a volume: where it lies, its geometry, its MFT runs and
// how well the scan matched it. The first 165 bytes are what GetCandidate hands out.
#include <cstdint>

#include "fs/IFileSystem.h"
#include "fs/IOutStream.h"

inline constexpr uint16_t kNtfsCandidateLength = 222;

struct NtfsCandidate
{
    FileSystemCandidate Head{}; // length, type 7, cluster size, position, label, counts;
                                // Head.byExtra = 1 when found from a boot sector
    uint8_t byRebuilt = 0;      // 1 when rebuilt from a $MFT or $MFTMirr record
    int64_t s64MftSector = -1;
    int64_t s64MirrorSector = -1;
    int64_t s64HighestCluster = 0; // highest cluster used by file data counted for it
    uint16_t wSectorsPerFileRecord = 0;
    uint16_t wSectorsPerIndexRecord = 0;
    StreamVector MftRuns;

    NtfsCandidate() { Head.dwType = 0xFFFFFFFF; }
};
