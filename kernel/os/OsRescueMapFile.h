#pragma once
// Rescue map files on disk: read whole and parsed, written through a temporary file and a
// rename so that an interrupted run never leaves half a map behind.
#include <cstdint>
#include <string>

class RescueMap;

/// Reads and parses `path`. 13 (invalid data) with the reason in `why` when it is no map;
/// the file is refused when larger than a map of the block limit could be.
uint32_t OsLoadRescueMap(const std::string& path, RescueMap* map, std::string* why);
/// Writes `map` to `path` (replacing it) with `commandLine` recorded in it.
uint32_t OsSaveRescueMap(const std::string& path, const RescueMap& map, const std::string& commandLine);
