#pragma once
// The recovery modules a session runs in and the views of the recovery page. Their numbers are
// stored in scan-result files (module and view) and must not change; the numbers are taken
// and given only where such a file is written or read.
#include <cstdint>

enum class EModule : int32_t
{
    Undelete = 0,
    Advanced = 1,
    DeepScan = 2,
    Resume = 3,
};

enum class EView : int32_t
{
    Devices = 0,
    Unused = 1, // kept so that the stored numbers of the views below stay as they are
    Partitions = 2,
    Files = 3,
    Resume = 4,
};
