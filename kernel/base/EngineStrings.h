#pragma once
// The engine's own user-facing texts: the names it gives to devices, folders and files it makes
// up in the trees it builds. The application's table (app/core/VlmStrings) answers for these
// numbers too, so a front end looks every text up in one place.
#include <cstdint>

// Returns the text of engine string `id`, or "" when it is not an engine string (never null).
const char* EngineString(uint32_t id);

enum EngineStringId : uint32_t
{
    IDS_DEEP_SCAN_LABEL = 148,
    IDS_BUS_SCSI = 199,
    IDS_BUS_USB = 200,
    IDS_BUS_FIBRE = 201,
    IDS_BUS_RAID = 202,
    IDS_ROOT_PREFIX = 203,
    IDS_DIR_PREFIX = 204,
    IDS_FLOPPY_DISK = 2075,
    IDS_LOST_FILES = 2076,
    IDS_UNIDENTIFIED = 2077,
    IDS_EXTRA_FOUND_FILES = 2078,
};
