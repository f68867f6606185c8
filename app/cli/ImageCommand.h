#pragma once
class CCliSession;

/// vlm image DEVICE --to FILE [--map MAPFILE] [--retry-passes N]: copies a device or an image to
/// a raw image file, keeping a rescue map. 0 when every sector was read, 3 when bad sectors
/// remain (listed in the map), 130 when interrupted (run again with the same map to continue),
/// 1 when it could not start or the target failed.
int CmdImage(CCliSession& cli);
