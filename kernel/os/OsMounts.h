#pragma once
// File systems mounted from block devices: where each one is mounted, and the first sector of
// its device. On this platform mount points stand in for drive letters.
#include <cstdint>
#include <string>
#include <vector>

struct OsMountedDevice
{
    std::string MountPoint;
    std::string DevicePath; // the mount source, a /dev node
};

// Parses mountinfo text: one entry per line whose source is a /dev node, octal escapes in
// the mount point decoded, the first mount of each device only.
std::vector<OsMountedDevice> OsParseMountInfo(const std::string& text);

// The mounted block devices of this machine (from /proc/self/mountinfo), skipping sources
// that are not block devices.
std::vector<OsMountedDevice> OsListBlockMounts();

// Reads the first 512 bytes of a block device, opened read-only.
bool OsReadFirstSector(const std::string& devicePath, std::vector<uint8_t>* sector);
