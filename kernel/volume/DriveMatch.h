#pragma once
// The names the user knows volumes by. On this platform a mounted file system's mount point
// stands in for a drive letter: each mount of a block device is paired with the volume serial
// number in its boot sector, and a volume whose boot sector carries the serial of exactly one
// pair is given that mount point.
#include <cstdint>
#include <string>
#include <vector>

#include "base/ByteView.h"

struct tagDrivePair
{
    std::string Drive; // mount point
    uint32_t Serial = 0;
};

// The volume serial number of a FAT12/16 (byte 39), FAT32 (byte 67) or NTFS (byte 72) boot
// sector; false for any other sector.
bool BootSectorSerial(ByteView sector, uint32_t* serial);

// The pairs of the file systems mounted from this machine's block devices. Empty while the
// machine's own devices are switched off (tests), so that nothing reads the host's disks.
std::vector<tagDrivePair> ListDrivePairs();

// When exactly one pair has `serial`, sets `drive` to it, removes it from `pairs` and returns
// true. Two volumes sharing a serial leave both unmatched.
bool TakeDriveForSerial(uint32_t serial, std::vector<tagDrivePair>* pairs, std::string* drive);
